#include "access/driver/odbc/OdbcConnection.h"

#include <algorithm>
#include <mutex>

#include "access/driver/odbc/OdbcCursor.h"
#include "access/driver/odbc/OdbcErrors.h"
#include "platform/TextEncoding.h"

namespace qz::access::odbc {
namespace {

// Seconds to wait for a server that does not answer a connection attempt.
constexpr SQLULEN kLoginTimeoutSeconds = 10;

// A link unused for this long is tried before the next statement.
constexpr std::chrono::milliseconds kIdleBeforeCheck{1000};

}  // namespace

OdbcConnection::OdbcConnection(SqlText connection_string, std::wstring description)
    : connection_string_(std::move(connection_string)), description_(std::move(description)) {
  Connect();
}

OdbcConnection::~OdbcConnection() { Close(); }

void OdbcConnection::Connect() {
  SQLHENV environment = Environment();
  // Declared before the lock: on a failure it lets go of the handle, which
  // takes the lock, after the lock is released.
  Handle owned;
  {
    const std::lock_guard<std::mutex> turn(ConnectingLock());
    SQLHANDLE allocated = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, environment, &allocated))) {
      const Diagnostic diagnostic = ReadDiagnostic(SQL_HANDLE_ENV, environment);
      RaiseDiagnostic(diagnostic, L"cannot start a connection");
    }
    owned = Handle(SQL_HANDLE_DBC, allocated);
    SQLSetConnectAttrW(allocated, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);
    SQLSMALLINT out_length = 0;
    const SQLRETURN rc = SQLDriverConnectW(allocated, nullptr, connection_string_.data(),
                                           static_cast<SQLSMALLINT>(connection_string_.size()), nullptr, 0, &out_length,
                                           SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
      Diagnostic diagnostic = ReadDiagnostic(SQL_HANDLE_DBC, allocated);
      if (diagnostic.state.empty()) diagnostic.state = kConnectionNotOpened;
      diagnostic.message += L" (" + description_ + L")";
      RaiseDiagnostic(diagnostic, L"cannot connect");
    }
  }
  connection_ = std::move(owned);
  const SQLHDBC dbc = connection_.get();

  SQLWCHAR name[128] = {};
  SQLSMALLINT length = 0;
  if (SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_DBMS_NAME, name, sizeof name, &length)))
    dbms_name_ = FromSqlText(name, static_cast<size_t>(length) / sizeof(SQLWCHAR));
  SQLWCHAR quote[8] = {};
  length = 0;
  if (SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &length)))
    quote_ = FromSqlText(quote, static_cast<size_t>(length) / sizeof(SQLWCHAR));
  dialect_ = DialectOfProduct(dbms_name_);
  SQLUINTEGER getdata = 0;
  any_order_ = SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_GETDATA_EXTENSIONS, &getdata, sizeof getdata, nullptr)) &&
               (getdata & SQL_GD_ANY_COLUMN) && (getdata & SQL_GD_ANY_ORDER);
  // MySQL and MariaDB read a backslash in quoted text as an escape unless
  // told not to. Pin the standard reading, as the PostgreSQL driver pins
  // standard_conforming_strings, so that a doubled quote in a literal
  // always stands for one quote and a backslash for itself.
  if (dialect_ == SqlDialect::kMySql)
    RunDirect(L"SET SESSION sql_mode = CONCAT(@@SESSION.sql_mode, ',NO_BACKSLASH_ESCAPES')");
  if (!text_form_decided_) DecideTextForm();
  const bool sqlite = dialect_ == SqlDialect::kSqlite;
  keeps_statements_ = dialect_ == SqlDialect::kMySql || dialect_ == SqlDialect::kPostgres;
  transactions_in_sql_ = sqlite;
  schema_copy_may_lag_ = sqlite;
  link_lost_ = false;
  last_used_ = std::chrono::steady_clock::now();
}

void OdbcConnection::Disconnect() {
  // Statements go before the link they belong to.
  for (OdbcCursor* cursor : cursors_) cursor->LoseStatement();
  cursors_.clear();
  idle_statements_.clear();
  kept_.Clear([](KeptStatement&) {});
  inserts_.clear();
  primary_keys_.clear();
  last_layout_ = 0;
  held_rows_ = 0;
  connection_.reset();
  transactions_.Forget();
  transaction_lost_ = false;
}

void OdbcConnection::Close() {
  if (closed_) return;
  closed_ = true;
  // Rows still held back belong to a transaction that ends with the
  // connection: the database rolls it back.
  Disconnect();
}

void OdbcConnection::Reconnect() {
  Disconnect();
  try {
    Connect();
  } catch (CQZDBException* e) {
    link_lost_ = true;
    throw;
  }
}

bool OdbcConnection::IsConnected() {
  if (closed_ || transaction_lost_) return false;
  if (link_lost_ && transactions_.depth() > 0) return false;
  try {
    // Outside a transaction a lost link is mended here, so that a caller
    // asking before each operation never has to reopen after a restart.
    if (link_lost_) Reconnect();
    CheckIdleLink();
  } catch (CQZDBException* e) {
    e->Delete();
    return false;
  }
  return true;
}

void OdbcConnection::CheckIdleLink() {
  if (transactions_.depth() > 0 || held_rows_ > 0) return;
  if (std::chrono::steady_clock::now() - last_used_ < kIdleBeforeCheck) return;
  try {
    RunDirect(L"SELECT 1");
  } catch (CQZDBException* e) {
    // A product that wants another spelling of the probe (FROM DUAL) says
    // nothing about the link: carry on.
    e->Delete();
    if (link_lost_) Reconnect();
  }
}

void OdbcConnection::EnsureLink() {
  if (closed_) CQZDBException::Raise(L"the connection is closed", kConnectionFailure, 0);
  if (!link_lost_) return;
  if (transactions_.depth() > 0) {
    transaction_lost_ = true;
    CQZDBException::Raise(
        L"the connection to the server was lost inside a transaction; the server rolled the transaction back",
        kConnectionFailure, 0);
  }
  Reconnect();
}

void OdbcConnection::PrepareForStatement() {
  if (held_rows_ > 0) FlushHeldRows();
  EnsureLink();
  last_used_ = std::chrono::steady_clock::now();
}

Handle OdbcConnection::NewStatement() {
  if (!idle_statements_.empty()) {
    Handle statement = std::move(idle_statements_.back());
    idle_statements_.pop_back();
    return statement;
  }
  SQLHANDLE statement = SQL_NULL_HANDLE;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection_.get(), &statement)))
    RaiseError(SQL_HANDLE_DBC, connection_.get(), L"cannot start a statement");
  return Handle(SQL_HANDLE_STMT, statement);
}

Diagnostic OdbcConnection::TakeDiagnostic(SQLSMALLINT handle_type, SQLHANDLE handle) {
  Diagnostic diagnostic = ReadDiagnostic(handle_type, handle);
  if (IsLinkLoss(diagnostic) || DriverSaysDead()) {
    link_lost_ = true;
    if (transactions_.depth() > 0) transaction_lost_ = true;
    held_rows_ = 0;
  }
  return diagnostic;
}

bool OdbcConnection::DriverSaysDead() {
  if (!connection_ || dbms_name_ != L"PostgreSQL") return false;
  SQLUINTEGER dead = SQL_CD_FALSE;
  return SQL_SUCCEEDED(SQLGetConnectAttrW(connection_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
         dead == SQL_CD_TRUE;
}

void OdbcConnection::RaiseError(SQLSMALLINT handle_type, SQLHANDLE handle, const wchar_t* doing) {
  RaiseDiagnostic(TakeDiagnostic(handle_type, handle), doing);
}

void OdbcConnection::ReturnStatement(Handle statement) {
  if (!statement || !connection_ || idle_statements_.size() >= kIdleStatementLimit) return;
  if (!SQL_SUCCEEDED(SQLFreeStmt(statement.get(), SQL_CLOSE)) ||
      !SQL_SUCCEEDED(SQLFreeStmt(statement.get(), SQL_UNBIND)) ||
      !SQL_SUCCEEDED(SQLFreeStmt(statement.get(), SQL_RESET_PARAMS)))
    return;  // freed as it goes
  idle_statements_.push_back(std::move(statement));
}

void OdbcConnection::Unregister(OdbcCursor* cursor) {
  auto found = std::find(cursors_.begin(), cursors_.end(), cursor);
  if (found != cursors_.end()) cursors_.erase(found);
}

namespace {

// Gives sql to call_narrow (SQLExecDirect or SQLPrepare) as UTF-8, or to
// call_wide (their wide forms) as UTF-16.
template <typename Narrow, typename Wide>
SQLRETURN SendText(bool narrow, SQLHSTMT statement, std::wstring_view sql, Narrow call_narrow, Wide call_wide) {
  if (narrow) {
    std::string bytes = platform::WideToUtf8(sql);
    return call_narrow(statement, reinterpret_cast<SQLCHAR*>(bytes.data()), static_cast<SQLINTEGER>(bytes.size()));
  }
  SqlText text = ToSqlText(sql);
  return call_wide(statement, text.data(), static_cast<SQLINTEGER>(text.size()));
}

// The narrow forms by their plain names, which a Windows build with UNICODE
// set maps to the wide ones. (Not SQLExecDirectA: Wine's driver manager has
// only a stub of it.)
#undef SQLExecDirect
#undef SQLPrepare
constexpr auto kExecDirectNarrow = SQLExecDirect;
constexpr auto kPrepareNarrow = SQLPrepare;

}  // namespace

SQLRETURN OdbcConnection::ExecDirect(SQLHSTMT statement, std::wstring_view sql) {
  return SendText(narrow_statements_, statement, sql, kExecDirectNarrow, SQLExecDirectW);
}

SQLRETURN OdbcConnection::PrepareText(SQLHSTMT statement, std::wstring_view sql) {
  return SendText(narrow_statements_, statement, sql, kPrepareNarrow, SQLPrepareW);
}

void OdbcConnection::RunDirect(const std::wstring& sql) {
  Handle statement = NewStatement();
  const SQLRETURN rc = ExecDirect(statement.get(), sql);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  ReturnStatement(std::move(statement));
  last_used_ = std::chrono::steady_clock::now();
}

void OdbcConnection::DecideTextForm() {
  // U+8F6C U+6362 (two Chinese characters), U+1F600 (outside the BMP), U+00E9.
  static const char kExpected[] = "\xE8\xBD\xAC\xE6\x8D\xA2\xF0\x9F\x98\x80\xC3\xA9";
  const std::wstring probe = L"SELECT '\u8F6C\u6362\U0001F600\u00E9'";
  // Whether the literal, sent the way narrow_statements_ says, reads back
  // as exactly kExpected; none when the probe failed.
  const auto reads_back = [&]() -> std::optional<bool> {
    Handle statement = NewStatement();
    char buffer[64] = {};
    SQLLEN length = 0;
    const bool read = SQL_SUCCEEDED(ExecDirect(statement.get(), probe)) && SQL_SUCCEEDED(SQLFetch(statement.get())) &&
                      SQL_SUCCEEDED(SQLGetData(statement.get(), 1, SQL_C_CHAR, buffer, sizeof buffer, &length));
    ReturnStatement(std::move(statement));
    if (!read) return std::nullopt;
    return length == static_cast<SQLLEN>(sizeof kExpected - 1) &&
           std::string_view(buffer, static_cast<size_t>(length)) == kExpected;
  };
  // A failure here (a lost link, say) leaves the text in UTF-16 for now and
  // shows itself to the next statement; the next connection asks again.
  narrow_statements_ = false;
  const std::optional<bool> wide = reads_back();
  if (wide && *wide) {
    utf8_text_ = text_form_decided_ = true;
    return;
  }
  // Only SQLite reads any bytes it is sent as UTF-8: a server in another
  // character set would give the narrow probe back unchanged too. (Cut to
  // bytes, the wide probe may not even run there.) A driver that reads
  // narrow text in another code page does not give the narrow probe back;
  // then the text stays UTF-16, whatever the driver manager makes of it.
  if (dialect_ == SqlDialect::kSqlite) {
    narrow_statements_ = true;
    const std::optional<bool> narrow = reads_back();
    if (narrow && *narrow) {
      utf8_text_ = text_form_decided_ = true;
      return;
    }
    narrow_statements_ = false;
  }
  utf8_text_ = false;
  text_form_decided_ = wide.has_value();
}

std::optional<std::wstring> OdbcConnection::QueryText(const std::wstring& sql) {
  Handle statement = NewStatement();
  const SQLRETURN rc = ExecDirect(statement.get(), sql);
  if (!SQL_SUCCEEDED(rc)) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  std::optional<std::wstring> value;
  const SQLRETURN fetched = SQLFetch(statement.get());
  if (fetched != SQL_NO_DATA && !SQL_SUCCEEDED(fetched)) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  if (SQL_SUCCEEDED(fetched)) {
    SQLWCHAR buffer[1024] = {};
    SQLLEN length = 0;
    if (!SQL_SUCCEEDED(SQLGetData(statement.get(), 1, SQL_C_WCHAR, buffer, sizeof buffer, &length)))
      RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
    // A longer value is cut to what the buffer holds.
    if (length >= 0)
      value = FromSqlText(buffer,
                          std::min(static_cast<size_t>(length), sizeof buffer - sizeof(SQLWCHAR)) / sizeof(SQLWCHAR));
  }
  ReturnStatement(std::move(statement));
  last_used_ = std::chrono::steady_clock::now();
  return value;
}

// --- Transactions ---------------------------------------------------------
// The nesting is TransactionNesting's. The outermost level turns autocommit
// off and ends with SQLEndTran (on SQLite: see BeginOutermost); inner
// levels are savepoints. Rows held back
// go before a savepoint or commit, and their refusal stops it.

void OdbcConnection::SetAutocommit(bool on) {
  const SQLRETURN rc = SQLSetConnectAttrW(
      connection_.get(), SQL_ATTR_AUTOCOMMIT,
      reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)), 0);
  if (!SQL_SUCCEEDED(rc)) RaiseError(SQL_HANDLE_DBC, connection_.get(), L"");
}

bool OdbcConnection::BeginTransaction() {
  if (closed_) return false;
  PrepareForStatement();
  RefreshSchemaCopy();
  transactions_.Begin(*this);
  return true;
}

bool OdbcConnection::CommitTransaction() {
  if (closed_ || transactions_.depth() == 0) return false;
  if (transaction_lost_)
    CQZDBException::Raise(L"the connection to the server was lost inside the transaction; nothing was committed",
                          kConnectionFailure, 0);
  PrepareForStatement();
  try {
    transactions_.Commit(*this);
  } catch (CQZDBException* e) {
    if (!commit_answer_lost_) throw;
    e->Delete();
    SettleLostCommit();
  }
  return true;
}

bool OdbcConnection::RollbackTransaction() {
  if (closed_ || transactions_.depth() == 0) return false;
  // Rows held back are dropped: the level they belong to is undone.
  held_rows_ = 0;
  if (transaction_lost_ || link_lost_) {
    transactions_.DropLevel();
  } else {
    try {
      transactions_.Rollback(*this);
    } catch (CQZDBException* e) {
      // A link lost now loses the transaction with it: that is a rollback.
      if (!link_lost_) throw;
      e->Delete();
      transactions_.DropLevel();
    }
  }
  if (transactions_.depth() == 0) {
    transaction_lost_ = false;
    if (!link_lost_) {
      try {
        SetAutocommit(true);
      } catch (CQZDBException* e) {
        e->Delete();
      }
    }
  }
  return true;
}

// The SQLite ODBC driver, with autocommit off, begins its transactions
// deferred, as a reader: a write then has to take the write lock part way
// through, and SQLite refuses that at once when another program wrote in
// between. So on SQLite autocommit stays on and the transaction is SQLite's
// own, begun as a writer, as the native driver begins it.
void OdbcConnection::BeginOutermost() {
  wrote_ = false;
  commit_token_.clear();
  commit_answer_lost_ = false;
  if (transactions_in_sql_) return RunDirect(L"BEGIN IMMEDIATE");
  FindTokenTable();
  SetAutocommit(false);
}

void OdbcConnection::CommitOutermost() {
  if (transactions_in_sql_) return RunDirect(L"COMMIT");
  StoreCommitToken();
  const bool answered = SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_COMMIT));
  Diagnostic diagnostic;
  if (!answered) diagnostic = TakeDiagnostic(SQL_HANDLE_DBC, connection_.get());
  // psqlODBC answers success for a COMMIT that went down with the link
  // when it sent it together with statements it had queued. A link the
  // driver now knows dead leaves the outcome unknown, and unknown is not
  // success: a transaction that wrote is settled by its token (see
  // CommitTransaction).
  if (link_lost_ || DriverSaysDead()) {
    link_lost_ = true;
    transaction_lost_ = true;
    commit_answer_lost_ = wrote_;
    lost_token_ = commit_token_;
    CQZDBException::Raise(
        L"the connection to the server was lost at the commit; whether the transaction was committed is unknown",
        kConnectionFailure, 0);
  }
  if (!answered) RaiseDiagnostic(diagnostic, L"commit");
  if (!commit_token_.empty()) {
    spent_tokens_.clear();  // the transaction deleted them
    spent_tokens_.push_back(commit_token_);
  }
  // The work is committed: failing to turn autocommit back on (some
  // drivers send a statement for it, which a lost link loses) must not
  // report the commit as failed. A link left without autocommit would hold
  // later statements in a transaction nobody commits, so the next call
  // starts on a new one.
  try {
    SetAutocommit(true);
  } catch (CQZDBException* e) {
    e->Delete();
    link_lost_ = true;
    transaction_lost_ = false;
  }
}

void OdbcConnection::RollbackOutermost() {
  if (transactions_in_sql_) return RunDirect(L"ROLLBACK");
  if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_ROLLBACK)))
    RaiseError(SQL_HANDLE_DBC, connection_.get(), L"rollback");
}

void OdbcConnection::RunSavepointStatement(const std::string& sql) { RunDirect(std::wstring(sql.begin(), sql.end())); }

// --- Factory --------------------------------------------------------------

// connect1 is a DSN, or a whole connection string when it holds '=';
// connect2, connect3 and connect4 add the database, user and password.
std::unique_ptr<Connection> ConnectOdbc(const ConnectionTexts& texts) {
  if (texts.connect1.empty())
    CQZDBException::Raise(L"no data source named: the first connection text is empty", kConnectionNotOpened, 0);
  return std::make_unique<OdbcConnection>(ToSqlText(BuildConnectionString(texts)), DescribeSource(texts));
}

}  // namespace qz::access::odbc
