#include <QZDatabaseAccess.h>

#include "access/StorableValue.h"
#include "access/driver/Driver.h"

CQZRecordSet::CQZRecordSet(CQZDatabase* database) : m_database(database) {}

CQZRecordSet::~CQZRecordSet() { ReleaseCursor(); }

void CQZRecordSet::ReleaseCursor() {
  if (!m_cursor) return;
  std::unique_ptr<qz::access::Cursor> cursor = std::move(m_cursor);
  if (m_database) {
    std::vector<CQZRecordSet*>& sets = m_database->m_openSets;
    for (size_t i = sets.size(); i-- > 0;) {
      if (sets[i] == this) {
        sets.erase(sets.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
  }
  cursor->Close();
}

qz::access::Cursor& CQZRecordSet::RequireCursor() {
  if (!m_cursor) CQZDBException::Raise(L"the record set is not open", "", 0);
  return *m_cursor;
}

bool CQZRecordSet::Open(const std::wstring& sql, ROWOPERATION operation) {
  ReleaseCursor();  // rows held back go with the statement below
  if (!m_database || m_database->m_closed || !m_database->m_connection->IsConnected()) return false;
  qz::access::RefuseSqlWithNul(sql);
  m_cursor = m_database->m_connection->Execute(sql, operation);
  if (!m_cursor) return false;
  m_database->m_openSets.push_back(this);
  return true;
}

bool CQZRecordSet::IsOpen() const { return m_cursor != nullptr; }

void CQZRecordSet::Close() {
  if (!m_cursor) return;
  try {
    m_cursor->Flush();
  } catch (CQZDBException*) {
    ReleaseCursor();
    throw;
  }
  ReleaseCursor();
}

bool CQZRecordSet::IsBOF() { return RequireCursor().IsBOF(); }

bool CQZRecordSet::IsEOF() { return RequireCursor().IsEOF(); }

bool CQZRecordSet::MoveNext(bool) { return RequireCursor().MoveNext(); }

bool CQZRecordSet::AddNew(const std::wstring& table) { return RequireCursor().AddNew(table); }

bool CQZRecordSet::Edit(const std::wstring& table) { return RequireCursor().Edit(table); }

bool CQZRecordSet::SetFieldValue(std::wstring_view column, const CQZDBVariant& value) {
  if (!m_cursor) RequireCursor();  // throws
  qz::access::RefuseUnstorableValue(column, value);
  return m_cursor->SetFieldValue(qz::access::BareColumnName(column), value);
}

bool CQZRecordSet::Update() { return RequireCursor().Update(); }

bool CQZRecordSet::GetValueInColumn(std::wstring_view column, CQZDBVariant& value) {
  if (!m_cursor) RequireCursor();  // throws
  m_cursor->GetValue(qz::access::BareColumnName(column), value);
  return true;
}
