#include <QZDatabaseAccess.h>

#include "access/driver/Driver.h"

CQZDatabase::CQZDatabase() = default;

// The driver's own destructor releases its handle (an open transaction is
// rolled back by the engine), so destroying without Close leaks nothing.
// Record sets still open are cut loose first: they answer false to Open
// from then on instead of reaching into a freed driver.
CQZDatabase::~CQZDatabase() { ReleaseOpenSets(true); }

void CQZDatabase::ReleaseOpenSets(bool forget_database) {
  std::vector<CQZRecordSet*> sets;
  sets.swap(m_openSets);
  for (CQZRecordSet* set : sets) set->DetachFromDatabase(forget_database);
}

qz::access::Connection* CQZDatabase::UsableConnection() {
  return !m_closed && m_connection->IsConnected() ? m_connection.get() : nullptr;
}

void CQZDatabase::Attach(CQZRecordSet* set) { m_openSets.push_back(set); }

// The set opened last is usually the first to close: look from the end.
void CQZDatabase::Detach(CQZRecordSet* set) {
  for (size_t i = m_openSets.size(); i-- > 0;) {
    if (m_openSets[i] == set) {
      m_openSets.erase(m_openSets.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

int CQZDatabase::Connect(DATABASETYPE type, const std::wstring& connect1, const std::wstring& connect2,
                         const std::wstring& connect3, const std::wstring& connect4) {
  Close();
  ReleaseOpenSets(false);
  m_connection.reset();
  qz::access::DriverFactory factory = qz::access::FindDriver(type);
  m_connection = factory(qz::access::ConnectionTexts{connect1, connect2, connect3, connect4});
  m_closed = false;
  return 1;
}

int CQZDatabase::IsConnectted() { return !m_closed && m_connection->IsConnected() ? 1 : 0; }

int CQZDatabase::Close() {
  // The driver object stays until this object goes or connects again, so a
  // record set still open on it can release its statement safely.
  if (m_connection && !m_closed) {
    m_closed = true;
    m_connection->Close();
  }
  return 1;
}

int CQZDatabase::BeginTrans() { return !m_closed && m_connection->BeginTransaction() ? 1 : 0; }

int CQZDatabase::CommitTrans() { return !m_closed && m_connection->CommitTransaction() ? 1 : 0; }

bool CQZDatabase::HoldAnswers() { return !m_closed && m_connection->HoldAnswers(); }

std::vector<SQZHeldAnswer> CQZDatabase::HeldAnswers() const {
  return m_closed ? std::vector<SQZHeldAnswer>() : m_connection->HeldAnswers();
}

int CQZDatabase::Rollback() { return !m_closed && m_connection->RollbackTransaction() ? 1 : 0; }

std::wstring CQZDatabase::Describe() const { return m_closed ? L"not connected" : m_connection->Describe(); }

std::wstring CQZDatabase::GetDBMSName() const { return m_closed ? std::wstring() : m_connection->DbmsName(); }
