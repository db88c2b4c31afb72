// The control object: its one shared connection, opened from a setting and
// closed once for all the copies that share it.
#include <QZNVGeZhuanDBControl.h>

#include "common/KindCode.h"
#include "control/LastFailure.h"
#include "platform/DebugOutput.h"

CQZNVGeZhuanDBControl::CQZNVGeZhuanDBControl() = default;
CQZNVGeZhuanDBControl::CQZNVGeZhuanDBControl(const CQZNVGeZhuanDBControl& other) = default;
CQZNVGeZhuanDBControl& CQZNVGeZhuanDBControl::operator=(const CQZNVGeZhuanDBControl& other) = default;
CQZNVGeZhuanDBControl::~CQZNVGeZhuanDBControl() = default;

int CQZNVGeZhuanDBControl::OpenQZNVGeZhuanDB(DBsSetNode node) {
  // One connection at a time. Copies may share the earlier one: let go of
  // this object's share only, and close it when no copy holds it any more,
  // so reopening one copy never cuts the others off.
  if (m_pDatabase) {
    if (m_pDatabase.use_count() == 1) {
      try {
        m_pDatabase->Close();
      } catch (CQZDBException* e) {
        e->Delete();
      }
    }
    m_pDatabase.reset();
  }

  const DATABASETYPE type = qz::common::DatabaseTypeOfKind(node.nDBType);
  m_pDatabase = std::make_shared<CQZDatabase>();
  try {
    m_pDatabase->Connect(type, node.strConnect1, node.strConnect2, node.strConnect3, node.strConnect4);
  } catch (CQZDBException* e) {
    qz::platform::WriteDebugOutput(L"Open QZNVMANAGE DBERROR");
    qz::control::NoteFailure(*e);
    e->Delete();
    m_pDatabase.reset();
    return 0;
  }
  if (m_pDatabase->IsConnectted()) return 1;
  m_pDatabase.reset();
  return 0;
}

void CQZNVGeZhuanDBControl::CloseQZNVGeZhuanDB() {
  if (!m_pDatabase) return;
  m_pDatabase->Close();  // may throw; the object then keeps its connection
  m_pDatabase.reset();
}
