#include <QZDatabaseAccess.h>

#include "access/driver/Driver.h"

CQZRecordSet::CQZRecordSet(CQZDatabase* database) : m_database(database) {}

CQZRecordSet::~CQZRecordSet() {
  if (m_cursor) m_cursor->Close();
}

qz::access::Cursor& CQZRecordSet::RequireCursor() {
  if (!m_cursor) CQZDBException::Raise(L"the record set is not open", "", 0);
  return *m_cursor;
}

bool CQZRecordSet::Open(const std::wstring& sql, ROWOPERATION operation) {
  if (m_cursor) {  // rows held back go with the statement below
    m_cursor->Close();
    m_cursor.reset();
  }
  if (!m_database || m_database->m_closed || !m_database->m_connection->IsConnected()) return false;
  m_cursor = m_database->m_connection->Execute(sql, operation);
  return m_cursor != nullptr;
}

bool CQZRecordSet::IsOpen() const { return m_cursor != nullptr; }

void CQZRecordSet::Close() {
  if (!m_cursor) return;
  std::unique_ptr<qz::access::Cursor> cursor = std::move(m_cursor);
  try {
    cursor->Flush();
  } catch (CQZDBException*) {
    cursor->Close();
    throw;
  }
  cursor->Close();
}

bool CQZRecordSet::IsBOF() { return RequireCursor().IsBOF(); }

bool CQZRecordSet::IsEOF() { return RequireCursor().IsEOF(); }

bool CQZRecordSet::MoveNext(bool) { return RequireCursor().MoveNext(); }

bool CQZRecordSet::AddNew(const std::wstring& table) { return RequireCursor().AddNew(table); }

bool CQZRecordSet::Edit(const std::wstring& table) { return RequireCursor().Edit(table); }

bool CQZRecordSet::SetFieldValue(std::wstring_view column, const CQZDBVariant& value) {
  if (!m_cursor) RequireCursor();  // throws
  return m_cursor->SetFieldValue(qz::access::BareColumnName(column), value);
}

bool CQZRecordSet::Update() { return RequireCursor().Update(); }

bool CQZRecordSet::GetValueInColumn(std::wstring_view column, CQZDBVariant& value) {
  if (!m_cursor) RequireCursor();  // throws
  m_cursor->GetValue(qz::access::BareColumnName(column), value);
  return true;
}
