// Running statements: a query opened for reading runs at Open and streams
// its rows through a forward-only cursor; one opened to write rows is only
// prepared, and runs when a row is first asked for, so that a query opened
// just to add rows reads nothing.
#include <optional>

#include "access/driver/odbc/OdbcConnection.h"
#include "access/driver/odbc/OdbcCursor.h"
#include "access/driver/odbc/OdbcErrors.h"
#include "access/driver/odbc/OdbcStatementText.h"

namespace qz::access::odbc {
namespace {

bool MentionsWord(std::wstring_view text, std::wstring_view lower) {
  std::wstring folded(text);
  for (wchar_t& c : folded)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return folded.find(lower) != std::wstring::npos;
}

}  // namespace

// A driver manager passes a text on as it is, and psqlODBC (or MariaDB's
// driver with its multi-statement option) runs every statement in it, so
// the text is read here as the server will read it. Only a backslash reads
// differently under the session's settings, which the caller may have
// changed since the connection was made: a text holding one asks the
// server how it reads them now.
TextRules OdbcConnection::RulesFor(std::wstring_view sql) {
  TextRules rules{dialect_, Backslash::kPlain, false};
  if (sql.find(L'\\') == std::wstring_view::npos || dialect_ == SqlDialect::kSqlite) return rules;
  rules.backslash = Backslash::kEither;
  // SET STATEMENT sql_mode=... FOR ... may read its statement either way.
  if (dialect_ == SqlDialect::kUnknown || (dialect_ == SqlDialect::kMySql && MentionsWord(sql, L"sql_mode")))
    return rules;
  // Rows held back go first, and their refusal is the caller's to see.
  PrepareForStatement();
  try {
    if (dialect_ == SqlDialect::kPostgres) {
      const std::optional<std::wstring> standard = QueryText(L"SHOW standard_conforming_strings");
      if (standard == L"on") rules.backslash = Backslash::kPlain;
      if (standard == L"off") rules.backslash = Backslash::kEscape;
    } else if (const std::optional<std::wstring> mode = QueryText(L"SELECT @@SESSION.sql_mode")) {
      // An empty mode is a mode too: backslashes escape.
      const std::wstring listed = L"," + *mode + L",";
      rules.backslash =
          listed.find(L",NO_BACKSLASH_ESCAPES,") != std::wstring::npos ? Backslash::kPlain : Backslash::kEscape;
      rules.ansi_quotes = listed.find(L",ANSI_QUOTES,") != std::wstring::npos;
    }
  } catch (CQZDBException* e) {
    // Read both ways; the statement itself then meets what failed here.
    e->Delete();
  }
  return rules;
}

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
  switch (CountStatements(sql, RulesFor(sql))) {
    case StatementCount::kNone:
      RaiseNoStatement();
    case StatementCount::kSeveral:
      RaiseSecondStatement();
    case StatementCount::kOne:
      break;
  }
  PrepareForStatement();
  RefreshSchemaCopy();
  if (operation != ROWOPERATION_WRITE)
    if (std::unique_ptr<Cursor> cursor = RunKept(sql)) return cursor;
  Handle statement = NewStatement();

  if (operation == ROWOPERATION_WRITE) {
    wrote_ = true;
    if (!SQL_SUCCEEDED(PrepareText(statement.get(), sql))) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
    SQLSMALLINT columns = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(statement.get(), &columns))) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
    if (columns > 0) return std::make_unique<OdbcCursor>(this, std::move(statement), OdbcCursor::State::kPending);
    const SQLRETURN rc = SQLExecute(statement.get());
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
    return std::make_unique<OdbcCursor>(this, std::move(statement), OdbcCursor::State::kDone);
  }

  const SQLRETURN rc = ExecDirect(statement.get(), sql);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  SQLSMALLINT columns = 0;
  if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(SQLNumResultCols(statement.get(), &columns)))
    RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  // A statement without rows to read may have changed some: a commit that
  // follows stores a token.
  if (columns == 0) wrote_ = true;
  return std::make_unique<OdbcCursor>(this, std::move(statement),
                                      columns > 0 ? OdbcCursor::State::kExecuted : OdbcCursor::State::kDone);
}

}  // namespace qz::access::odbc
