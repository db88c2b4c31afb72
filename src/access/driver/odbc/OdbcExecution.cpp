// Running statements: a query opened for reading runs at Open and streams
// its rows through a forward-only cursor; one opened to write rows is only
// prepared, and runs when a row is first asked for, so that a query opened
// just to add rows reads nothing.
#include "access/driver/odbc/OdbcConnection.h"
#include "access/driver/odbc/OdbcCursor.h"
#include "access/driver/odbc/OdbcErrors.h"
#include "access/driver/odbc/OdbcStatementText.h"

namespace qz::access::odbc {

// SQLite prepares a statement from the connection's own copy of the schema
// and notices a change another connection made only when the statement
// first steps, preparing it again then. The SQLite ODBC driver describes a
// query's columns as first prepared, so after a column was added or
// dropped elsewhere it would read columns that are no longer there, or
// leave out new ones (reading past the real ones crashes it). A statement
// that reads the schema table steps at once and brings the copy up to
// date, so the caller's statement is prepared from the schema as it is.
// (The driver may step a query only when it is fetched from.) Not inside
// a transaction: it runs just before one begins, and a read inside would
// start the transaction as a reader, whose first write then fails at once
// when another writer got in first.
void OdbcConnection::RefreshSchemaCopy() {
  if (!schema_copy_may_lag_ || transactions_.depth() > 0) return;
  Handle statement = NewStatement();
  const SqlText text = ToSqlText(L"SELECT 1 FROM sqlite_master LIMIT 0");
  SQLRETURN rc =
      SQLExecDirectW(statement.get(), const_cast<SQLWCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
  if (SQL_SUCCEEDED(rc)) rc = SQLFetch(statement.get());
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  ReturnStatement(std::move(statement));
}

std::unique_ptr<Cursor> OdbcConnection::Execute(const std::wstring& sql, ROWOPERATION operation) {
  if (closed_) return nullptr;
  if (HoldsSecondStatement(sql))
    CQZDBException::Raise(L"the text holds more than one statement; only one may run at a time", "42000", 0);
  PrepareForStatement();
  RefreshSchemaCopy();
  Handle statement = NewStatement();
  const SqlText text = ToSqlText(sql);
  SQLWCHAR* const data = const_cast<SQLWCHAR*>(text.data());
  const SQLINTEGER length = static_cast<SQLINTEGER>(text.size());

  if (operation == ROWOPERATION_WRITE) {
    if (!SQL_SUCCEEDED(SQLPrepareW(statement.get(), data, length))) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
    SQLSMALLINT columns = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(statement.get(), &columns))) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
    if (columns > 0) return std::make_unique<OdbcCursor>(this, std::move(statement), OdbcCursor::State::kPending);
    const SQLRETURN rc = SQLExecute(statement.get());
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
    return std::make_unique<OdbcCursor>(this, std::move(statement), OdbcCursor::State::kDone);
  }

  const SQLRETURN rc = SQLExecDirectW(statement.get(), data, length);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  SQLSMALLINT columns = 0;
  if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(SQLNumResultCols(statement.get(), &columns)))
    RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  return std::make_unique<OdbcCursor>(this, std::move(statement),
                                      columns > 0 ? OdbcCursor::State::kExecuted : OdbcCursor::State::kDone);
}

}  // namespace qz::access::odbc
