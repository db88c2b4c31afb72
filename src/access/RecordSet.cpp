#include <QZDatabaseAccess.h>

#include "access/StorableValue.h"
#include "access/driver/Driver.h"

// The calling rules of a record set are checked here, once, before a driver
// sees the call: so misuse raises the same exception on every engine, and a
// driver may take it that GetValue and Edit come only on a row, and
// SetFieldValue and Update only after AddNew or Edit.

namespace {

// The standard SQLSTATE of a call made out of sequence.
constexpr char kFunctionSequenceError[] = "HY010";

[[noreturn]] void RefuseCall(const wchar_t* why) { CQZDBException::Raise(why, kFunctionSequenceError, 0); }

}  // namespace

CQZRecordSet::CQZRecordSet(CQZDatabase* database) : m_database(database) {}

CQZRecordSet::~CQZRecordSet() { ReleaseCursor(); }

void CQZRecordSet::ReleaseCursor() {
  m_pendingRow = PendingRow::kNone;
  if (!m_cursor) return;
  std::unique_ptr<qz::access::Cursor> cursor = std::move(m_cursor);
  if (m_database) m_database->Detach(this);
  cursor->Close();
}

void CQZRecordSet::DetachFromDatabase(bool forget_database) {
  ReleaseCursor();
  if (forget_database) m_database = nullptr;
}

qz::access::Cursor& CQZRecordSet::RequireCursor() {
  if (!m_cursor) RefuseCall(L"the record set is not open");
  // The statement outlives a closed connection only so that it can be
  // released safely; each engine would answer differently from there on.
  if (m_database->IsClosed()) CQZDBException::Raise(L"the connection of the record set is closed", "08003", 0);
  return *m_cursor;
}

qz::access::Cursor& CQZRecordSet::RequireRow(const wchar_t* refusal) {
  qz::access::Cursor& cursor = RequireCursor();
  if (!cursor.HasRow()) RefuseCall(refusal);
  return cursor;
}

void CQZRecordSet::RequireWritable() {
  if (m_operation != ROWOPERATION_WRITE)
    RefuseCall(L"the record set was opened read-only; AddNew and Edit need ROWOPERATION_WRITE");
}

bool CQZRecordSet::Open(const std::wstring& sql, ROWOPERATION operation) {
  ReleaseCursor();  // rows held back go with the statement below
  m_operation = operation;
  qz::access::Connection* connection = m_database ? m_database->UsableConnection() : nullptr;
  if (!connection) return false;
  qz::access::RefuseUnrunnableSql(sql);
  m_cursor = connection->Execute(sql, operation);
  if (!m_cursor) return false;
  m_database->Attach(this);
  return true;
}

bool CQZRecordSet::OpenWithFollowing(const std::wstring& sql, const std::wstring& following) {
  ReleaseCursor();
  m_operation = ROWOPERATION_READONLY;
  qz::access::Connection* connection = m_database ? m_database->UsableConnection() : nullptr;
  if (!connection) return false;
  qz::access::RefuseUnrunnableSql(sql);
  qz::access::RefuseUnrunnableSql(following);
  m_cursor = connection->ExecuteWithFollowing(sql, following);
  if (!m_cursor) return false;
  m_database->Attach(this);
  return true;
}

bool CQZRecordSet::OpenFollowing() {
  std::unique_ptr<qz::access::Cursor> following = RequireCursor().TakeFollowing();
  if (!following) return false;
  ReleaseCursor();
  m_cursor = std::move(following);
  m_database->Attach(this);
  return true;
}

bool CQZRecordSet::MaySendFollowing() {
  qz::access::Connection* connection = m_database ? m_database->UsableConnection() : nullptr;
  return connection != nullptr && connection->MaySendFollowing();
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

bool CQZRecordSet::AddNew(const std::wstring& table) {
  RequireCursor();
  RequireWritable();
  m_pendingRow = PendingRow::kNone;
  const bool begun = m_cursor->AddNew(table);
  if (begun) m_pendingRow = PendingRow::kNew;
  return begun;
}

bool CQZRecordSet::Edit(const std::wstring& table) {
  RequireCursor();
  RequireWritable();
  RequireRow(L"there is no current row to edit");
  m_pendingRow = PendingRow::kNone;
  const bool begun = m_cursor->Edit(table);
  if (begun) m_pendingRow = PendingRow::kEdited;
  return begun;
}

bool CQZRecordSet::EditByKey(const std::wstring& table) {
  if (!m_cursor) {
    // No query to read the row by is needed where the engine rewrites by
    // key; elsewhere the caller opens one.
    qz::access::Connection* connection = m_database ? m_database->UsableConnection() : nullptr;
    m_cursor = connection ? connection->KeyedEditCursor() : nullptr;
    if (!m_cursor) return false;
    m_operation = ROWOPERATION_WRITE;
    m_database->Attach(this);
  }
  RequireCursor();
  RequireWritable();
  m_pendingRow = PendingRow::kNone;
  const bool begun = m_cursor->EditByKey(table);
  if (begun) m_pendingRow = PendingRow::kEdited;
  return begun;
}

qz::access::Cursor& CQZRecordSet::RequirePendingRow() {
  // A row begun has its cursor (ReleaseCursor ends the row): the checks
  // below, in their order, only for what is out of the ordinary.
  if (m_pendingRow != PendingRow::kNone && !m_database->IsClosed()) return *m_cursor;
  qz::access::Cursor& cursor = RequireCursor();
  if (m_pendingRow == PendingRow::kNone) RefuseCall(L"SetFieldValue needs AddNew or Edit first");
  return cursor;
}

bool CQZRecordSet::SetFieldValue(std::wstring_view column, const CQZDBVariant& value) {
  qz::access::Cursor& cursor = RequirePendingRow();
  qz::access::RefuseUnstorableValue(column, value);
  return cursor.SetFieldValue(qz::access::BareColumnName(column), value);
}

bool CQZRecordSet::SetTextField(std::wstring_view column, std::wstring_view text) {
  qz::access::Cursor& cursor = RequirePendingRow();
  qz::access::RefuseUnstorableText(column, text);
  return cursor.SetTextField(qz::access::BareColumnName(column), text);
}

bool CQZRecordSet::SetUtf8Field(std::wstring_view column, std::string_view text) {
  qz::access::Cursor& cursor = RequirePendingRow();
  qz::access::RefuseUnstorableUtf8(column, text);
  return cursor.SetUtf8Field(qz::access::BareColumnName(column), text);
}

bool CQZRecordSet::SetIntegerField(std::wstring_view column, int64_t value) {
  return RequirePendingRow().SetIntegerField(qz::access::BareColumnName(column), value);
}

bool CQZRecordSet::SetDateTimeField(std::wstring_view column, const SQZDateTime& value) {
  qz::access::Cursor& cursor = RequirePendingRow();
  qz::access::RefuseUnstorableDateTime(column, value);
  return cursor.SetDateTimeField(qz::access::BareColumnName(column), value);
}

bool CQZRecordSet::Update() {
  RequireCursor();
  if (m_pendingRow == PendingRow::kNone) RefuseCall(L"Update needs AddNew or Edit first");
  // Written or refused, the row is over: the next one begins with AddNew
  // or Edit again.
  m_pendingRow = PendingRow::kNone;
  return m_cursor->Update();
}

bool CQZRecordSet::GetValueInColumn(std::wstring_view column, CQZDBVariant& value) {
  RequireRow(L"there is no current row to read").GetValue(qz::access::BareColumnName(column), value);
  return true;
}
