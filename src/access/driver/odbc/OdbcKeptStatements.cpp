// Queries prepared once per shape (StatementShape.h) and kept, run again
// with each text's literals bound as parameters.
//
// Only where the shaper reads the text as the server does: MariaDB, MySQL
// and PostgreSQL, and never a text holding a backslash (whose reading the
// session's settings decide) or, on MySQL, a '#' (a comment there). Not on
// SQLite: its ODBC driver describes a query's columns once, when it is
// prepared, and a kept query would read the columns of a table as they
// were before another program altered it (reading past the real ones
// crashes the driver).
//
// A kept query whose table another program changed: PostgreSQL refuses it
// (0A000, "cached plan must not change result type"; 26000 for a statement
// gone), MariaDB's driver refuses its new columns (2057) or the server
// gives up preparing it again (1615). Every kept query is then let go and
// the text runs as written in the same call. On MySQL and MariaDB a
// refused statement leaves the transaction as it was; on PostgreSQL it
// spoils it, so inside one the call fails saying so.
#include <algorithm>
#include <optional>

#include "access/driver/odbc/OdbcConnection.h"
#include "access/driver/odbc/OdbcCursor.h"
#include "access/driver/odbc/OdbcErrors.h"
#include "platform/TextEncoding.h"

namespace qz::access::odbc {
namespace {

// MariaDB's client: the result has other columns than the statement had
// when prepared. Its server: preparing the statement again kept failing.
constexpr int kNewStatementColumns = 2057;
constexpr int kNeedsPreparingAgain = 1615;

// Parameter buffers are never smaller: a GUID and most keys fit the first.
constexpr size_t kLeastParameterBytes = 80;

void Discard(KeptStatement&) {}

}  // namespace

bool OdbcConnection::IsStale(const Diagnostic& diagnostic) const {
  if (dialect_ == SqlDialect::kMySql)
    return diagnostic.native_error == kNewStatementColumns || diagnostic.native_error == kNeedsPreparingAgain;
  return diagnostic.state == "0A000" || diagnostic.state == "26000";
}

void OdbcConnection::BindLiterals(KeptStatement* kept) {
  const std::vector<std::string>& literals = shape_.literals;
  kept->parameters.resize(literals.size());
  SqlText units;
  for (size_t i = 0; i < literals.size(); ++i) {
    BoundText& parameter = kept->parameters[i];
    const char* data = literals[i].data();
    size_t size = literals[i].size();
    SQLSMALLINT c_type = SQL_C_CHAR, sql_type = SQL_VARCHAR;
    size_t unit = 1;
    if (!utf8_text_) {
      // The connection's own character set is not UTF-8: the driver
      // converts from UTF-16.
      ToSqlText(platform::Utf8ToWide(literals[i]), &units);
      data = reinterpret_cast<const char*>(units.data());
      size = units.size() * sizeof(SQLWCHAR);
      c_type = SQL_C_WCHAR;
      sql_type = SQL_WVARCHAR;
      unit = sizeof(SQLWCHAR);
    }
    // Never empty: an empty text is bound by a length of 0, not a null pointer.
    if (parameter.bytes.empty() || parameter.bytes.size() < size)
      parameter.bytes.resize(std::max(size, kLeastParameterBytes));
    std::copy(data, data + size, parameter.bytes.begin());
    parameter.length = static_cast<SQLLEN>(size);
    // Bound once while the buffer stays: the driver reads it at each run.
    if (parameter.bound_at == parameter.bytes.data() && parameter.bound_type == c_type) continue;
    const SQLRETURN rc = SQLBindParameter(kept->statement.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                                          c_type, sql_type, parameter.bytes.size() / unit, 0, parameter.bytes.data(),
                                          static_cast<SQLLEN>(parameter.bytes.size()), &parameter.length);
    if (!SQL_SUCCEEDED(rc)) RaiseError(SQL_HANDLE_STMT, kept->statement.get(), L"");
    parameter.bound_at = parameter.bytes.data();
    parameter.bound_type = c_type;
  }
}

std::unique_ptr<Cursor> OdbcConnection::RunKept(const std::wstring& sql) {
  if (!keeps_statements_ || sql.find(L'\\') != std::wstring::npos ||
      (dialect_ == SqlDialect::kMySql && sql.find(L'#') != std::wstring::npos))
    return nullptr;
  platform::WideToUtf8(sql, &utf8_sql_);
  ShapeOfStatement(utf8_sql_, MarkerStyle::kQuestion, &shape_);
  if (!shape_.keep) return nullptr;
  std::optional<KeptStatement> kept = kept_.Take(shape_.text);
  if (!kept) {
    if (!kept_.Admit(shape_.text)) return nullptr;  // the first sighting
    kept.emplace();
    kept->statement = NewStatement();
    if (!SQL_SUCCEEDED(PrepareText(kept->statement.get(), platform::Utf8ToWide(shape_.text)))) {
      // Not this way; the text as written prepares or says what is wrong.
      const Diagnostic refused = TakeDiagnostic(SQL_HANDLE_STMT, kept->statement.get());
      if (!IsLinkLoss(refused)) kept_.Put(shape_.text, KeptStatement{}, Discard);
      return nullptr;
    }
  }
  if (!kept->statement) {
    kept_.Put(shape_.text, std::move(*kept), Discard);
    return nullptr;
  }
  BindLiterals(&*kept);
  const SQLRETURN rc = SQLExecute(kept->statement.get());
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
    const Diagnostic diagnostic = TakeDiagnostic(SQL_HANDLE_STMT, kept->statement.get());
    if (!IsStale(diagnostic)) RaiseDiagnostic(diagnostic, L"");
    // A change to one table is seldom alone: every kept query goes, and
    // each is prepared again when its text comes back.
    kept_.Clear(Discard);
    if (dialect_ == SqlDialect::kPostgres && transactions_.depth() > 0)
      CQZDBException::Raise(
          L"a table changed under a statement this connection kept prepared (another connection "
          L"altered it), which spoils the transaction; roll it back and the next call prepares the "
          L"statement afresh",
          diagnostic.state, diagnostic.native_error);
    return nullptr;
  }
  SQLSMALLINT columns = 0;
  if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(SQLNumResultCols(kept->statement.get(), &columns)))
    RaiseError(SQL_HANDLE_STMT, kept->statement.get(), L"");
  if (columns == 0) {
    wrote_ = true;
    SQLFreeStmt(kept->statement.get(), SQL_CLOSE);
    kept_.Put(shape_.text, std::move(*kept), Discard);
    return std::make_unique<OdbcCursor>(this, Handle(), OdbcCursor::State::kDone);
  }
  return std::make_unique<OdbcCursor>(this, std::move(*kept), shape_.text);
}

void OdbcConnection::ReturnKept(std::string shape, KeptStatement kept) {
  if (!kept.statement || !connection_) return;
  if (!SQL_SUCCEEDED(SQLFreeStmt(kept.statement.get(), SQL_CLOSE))) return;  // freed as it goes
  kept_.Put(std::move(shape), std::move(kept), Discard);
}

}  // namespace qz::access::odbc
