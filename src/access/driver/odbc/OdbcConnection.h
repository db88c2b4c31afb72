// A connection to one data source through the ODBC driver manager (unixODBC
// on Linux, the system's on Windows), with the wide API only.
//
// Rows added inside a transaction are held back and sent together as one
// parameter array (SQL_ATTR_PARAMSET_SIZE) of a statement prepared once;
// they are sent before any other statement, savepoint, commit, close or
// read, and a row the database refuses surfaces there. A driver that cannot
// take arrays gets them one row at a time. A connection lost outside a
// transaction (SQLSTATE class 08) is made again once by the next call; a
// statement that was in flight is never sent again.
//
// A query's text runs as written the first time its shape (StatementShape.h)
// is seen; from the second time on, on MariaDB, MySQL and PostgreSQL, the
// shape is prepared with '?' markers, kept, and run again with the text's
// literals bound as parameters, so that the server parses each kind of
// query once per connection (OdbcKeptStatements.cpp).
//
// The class is written in one file per duty:
//   OdbcConnection.cpp   connecting, the link and reconnecting,
//                        transactions, and the factory ConnectOdbc
//   OdbcExecution.cpp    running statements
//   OdbcKeptStatements.cpp  queries prepared once per shape and kept
//   OdbcRowWriting.cpp   rows added and edited, and the held-back rows
//   OdbcLostCommit.cpp   committing with a token on a server engine, and
//                        settling a commit whose answer was lost by it
// with the statement texts in OdbcStatementText.cpp, the parameters in
// OdbcParameters.cpp, text and connection strings in OdbcText.cpp, the
// driver's diagnostics in OdbcErrors.cpp and the handles' owner in
// OdbcHandles.h.
#pragma once

#ifdef _WIN32
#include <windows.h>  // the ODBC headers take their types from it there
#endif
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "access/driver/Driver.h"
#include "access/driver/RowBuffer.h"
#include "access/driver/StatementCache.h"
#include "access/driver/StatementShape.h"
#include "access/driver/TransactionNesting.h"
#include "access/driver/odbc/OdbcErrors.h"
#include "access/driver/odbc/OdbcHandles.h"
#include "access/driver/odbc/OdbcParameters.h"
#include "access/driver/odbc/OdbcStatementText.h"
#include "access/driver/odbc/OdbcText.h"

namespace qz::access::odbc {

class OdbcCursor;

// A parameter's value as bound to a kept statement: the driver reads it
// from bytes at each run, so the buffer stays where it was bound for as
// long as it is big enough.
struct BoundText {
  std::vector<char> bytes;
  SQLLEN length = 0;
  const void* bound_at = nullptr;
  SQLSMALLINT bound_type = 0;
};

// A query prepared from a shape, with its parameters. A shape the driver
// would not prepare is kept without a statement, so that it is not tried
// again: its texts run as written.
struct KeptStatement {
  Handle statement;
  std::vector<BoundText> parameters;
};

class OdbcConnection : public Connection, private TransactionSteps {
 public:
  // Connects with connection_string (which may hold a password: it is kept
  // only to connect again, never shown). Throws CQZDBException.
  OdbcConnection(SqlText connection_string, std::wstring description);
  ~OdbcConnection() override;

  bool IsConnected() override;
  void Close() override;
  bool BeginTransaction() override;
  bool CommitTransaction() override;
  bool RollbackTransaction() override;
  std::unique_ptr<Cursor> Execute(const std::wstring& sql, ROWOPERATION operation) override;
  std::wstring Describe() const override { return description_; }
  std::wstring DbmsName() const override { return dbms_name_; }

  // --- For cursors ---------------------------------------------------------

  // Before a statement runs or a row is read: sends the rows held back
  // (raising their refusal) and makes sure the link is up.
  void PrepareForStatement();
  // Sends the rows held back; a refusal among them throws.
  void FlushHeldRows();
  // A statement handle on the connection: one given back earlier, or a
  // new one. Throws.
  Handle NewStatement();
  // Takes back a statement handle that is done with, its cursor closed, to
  // hand out again: freeing and allocating a handle costs some drivers a
  // message to the server each time.
  void ReturnStatement(Handle statement);
  // Takes back a kept statement whose cursor is done, under its shape.
  void ReturnKept(std::string shape, KeptStatement kept);
  // What the driver said about the failed call on handle; notes a lost
  // link. RaiseError throws it.
  Diagnostic TakeDiagnostic(SQLSMALLINT handle_type, SQLHANDLE handle);
  [[noreturn]] void RaiseError(SQLSMALLINT handle_type, SQLHANDLE handle, const wchar_t* doing);

  // Whether text read as SQL_C_CHAR arrives as UTF-8, so that it can be read
  // so instead of as UTF-16 (which costs some drivers a conversion on every
  // read). Decided once per connection, when it is first made.
  bool ReadsUtf8Text() const { return utf8_text_; }
  // Whether the driver reads a row's columns in any order (SQLGetData with
  // SQL_GD_ANY_COLUMN and SQL_GD_ANY_ORDER), so that a cursor can read just
  // the columns asked for.
  bool ReadsColumnsInAnyOrder() const { return any_order_; }

  // Cursors with a statement handle, which must go before the connection.
  void Register(OdbcCursor* cursor) { cursors_.push_back(cursor); }
  void Unregister(OdbcCursor* cursor);

  // layout_id names the table and column list (RowBuffer::layout_id).
  void InsertRow(const std::wstring& table, uint64_t layout_id, const FieldValue* fields, size_t count);
  void UpdateRow(const std::wstring& table, const std::vector<std::wstring>& key,
                 const std::vector<CQZDBVariant>& key_values, const FieldValue* fields, size_t count);
  // The primary key columns of table, in key order; empty when it has none.
  const std::vector<std::wstring>& PrimaryKey(const std::wstring& table);

 private:
  struct PreparedInsert {
    std::wstring sql;
    Handle statement;
  };
  struct PrimaryKeyEntry {
    std::wstring table;
    std::vector<std::wstring> columns;
  };

  void Connect();
  // Lets go of every statement and the link itself.
  void Disconnect();
  void Reconnect();
  // Whether psqlODBC knows the link to be gone: it reports a lost link
  // under a general state too (HY000, "server closed the connection
  // unexpectedly"), and answers this from what it knows. Other drivers are
  // not asked: MariaDB's would ask the server (a round trip), and reports
  // its lost links by codes of their own (IsLinkLoss).
  bool DriverSaysDead();
  // Before a statement: a link known lost is made again outside a
  // transaction, and throws inside one.
  void EnsureLink();
  // A connection idle for a while is tried with a trivial query before it
  // is used, so that a server that dropped it meanwhile costs no call.
  void CheckIdleLink();
  // Reads back a literal of Chinese and non-BMP text as SQL_C_CHAR: the
  // connection delivers UTF-8 when the bytes are exactly its UTF-8. A
  // driver without the wide API gets statements from the driver manager
  // cut to a byte per UTF-16 unit (SQLite's): when the literal comes back
  // exact sent as UTF-8 through the narrow API, statements go that way.
  void DecideTextForm();
  // Runs or prepares sql on statement in the form the driver reads
  // exactly: UTF-16 through the wide API, or UTF-8 through the narrow one
  // (see DecideTextForm).
  SQLRETURN ExecDirect(SQLHSTMT statement, std::wstring_view sql);
  SQLRETURN PrepareText(SQLHSTMT statement, std::wstring_view sql);
  void SetAutocommit(bool on);
  // A cursor on the kept statement for sql's shape, run with its literals;
  // null when sql is to run as written (see OdbcKeptStatements.cpp).
  std::unique_ptr<Cursor> RunKept(const std::wstring& sql);
  // Binds the shape's literals to kept's parameters.
  void BindLiterals(KeptStatement* kept);
  // Whether diagnostic says a kept statement no longer fits its tables.
  bool IsStale(const Diagnostic& diagnostic) const;
  // Runs a statement without parameters or rows.
  void RunDirect(const std::wstring& sql);
  // The first column of the first row of a query, as text; none when it
  // has no row or the value is NULL. Throws.
  std::optional<std::wstring> QueryText(const std::wstring& sql);
  // How the server reads sql's quotes in this session.
  TextRules RulesFor(std::wstring_view sql);
  // Whether table holds a row with the key values. Throws.
  bool RowExists(const std::wstring& table, const std::vector<std::wstring>& key,
                 const std::vector<CQZDBVariant>& key_values);
  // Before a statement or a transaction on an SQLite file, outside a
  // transaction: brings this connection's copy of the schema up to date
  // (see OdbcExecution.cpp).
  void RefreshSchemaCopy();

  // --- Commits and their tokens (OdbcLostCommit.cpp) ----------------------

  enum class TokenTable { kUnknown, kPresent, kAbsent };
  enum class Outcome { kCommitted, kNotCommitted, kUndecided };
  // On a server engine, outside a transaction: whether the database holds
  // the token table, made now when it lacks it and may take it.
  void FindTokenTable();
  // Inside a transaction that wrote, before its COMMIT: deletes the tokens
  // of earlier known commits and stores this one's.
  void StoreCommitToken();
  // After COMMIT's answer was lost with the link: connects again and
  // settles it by the token; returns when the transaction was committed,
  // throws when it was not or nobody could say.
  void SettleLostCommit();
  // One try at settling token on a new connection.
  Outcome FenceToken(const std::string& token);

  void BeginOutermost() override;
  void CommitOutermost() override;
  void RollbackOutermost() override;
  void RunSavepointStatement(const std::string& sql) override;

  SQLHSTMT PreparedInsertFor(const std::wstring& sql);
  // Runs statement once per row of values (rows x columns), as one array
  // when the driver takes arrays.
  void RunRows(SQLHSTMT statement, const CQZDBVariant* const* values, size_t rows, size_t columns);
  void HoldRow(const std::wstring& sql, const FieldValue* fields, size_t count);

  Handle connection_;
  SqlText connection_string_;
  std::wstring description_;
  std::wstring dbms_name_;
  std::wstring quote_;  // the server's identifier quote
  SqlDialect dialect_ = SqlDialect::kUnknown;
  bool closed_ = false;
  bool text_form_decided_ = false;
  bool utf8_text_ = false;            // see ReadsUtf8Text
  bool narrow_statements_ = false;    // see DecideTextForm
  bool any_order_ = false;            // see ReadsColumnsInAnyOrder
  bool link_lost_ = false;            // the driver reported class 08
  bool transaction_lost_ = false;     // ... inside the transaction
  bool arrays_refused_ = false;       // the driver cannot take parameter arrays
  bool schema_copy_may_lag_ = false;  // an SQLite file: see RefreshSchemaCopy
  // SQLite's own statements begin and end transactions (see BeginOutermost).
  bool transactions_in_sql_ = false;
  std::chrono::steady_clock::time_point last_used_;

  TokenTable token_table_ = TokenTable::kUnknown;  // in this session's database
  bool wrote_ = false;                             // the transaction ran a write
  std::string commit_token_;                       // stored by the transaction now committing
  std::string lost_token_;                         // the token of a COMMIT whose answer was lost
  bool commit_answer_lost_ = false;                // a writing transaction's COMMIT lost its answer
  std::vector<std::string> spent_tokens_;          // tokens of known commits, to delete

  TransactionNesting transactions_;
  std::vector<OdbcCursor*> cursors_;

  std::vector<Handle> idle_statements_;
  bool keeps_statements_ = false;  // see RunKept
  StatementCache<KeptStatement> kept_;
  StatementShape shape_;
  std::string utf8_sql_;
  std::vector<PreparedInsert> inserts_;
  std::vector<PrimaryKeyEntry> primary_keys_;
  uint64_t last_layout_ = 0;
  std::wstring last_insert_sql_;

  // Rows held back inside a transaction: one statement, row after row.
  std::wstring held_sql_;
  size_t held_columns_ = 0;
  size_t held_rows_ = 0;
  std::vector<CQZDBVariant> held_values_;

  ParameterArray parameters_;
  std::vector<const CQZDBVariant*> value_pointers_;
  std::vector<SQLUSMALLINT> row_status_;
};

// Rows held back at most before they are sent.
constexpr size_t kHeldRowLimit = 1000;
// Statement handles kept to hand out again.
constexpr size_t kIdleStatementLimit = 4;
// Inserts kept prepared per connection.
constexpr size_t kPreparedInsertLimit = 16;

}  // namespace qz::access::odbc
