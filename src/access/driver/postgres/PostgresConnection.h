// A connection to one PostgreSQL database through libpq.
//
// Statements go through the extended query protocol, so the server itself
// refuses a text holding more than one statement and every value travels as
// a parameter. Rows added inside a transaction are gathered into a COPY
// stream instead of one round trip each; the stream is finished before any
// other statement, savepoint, commit or read, and an error in it surfaces
// there. A connection lost outside a transaction is re-established once on
// the next call; a statement that was in flight is never sent again.
//
// A setting may name several servers (a primary and its standbys). Then the
// driver connects to the one that takes writes, and re-establishing a lost
// link looks through the whole list again, so after a standby is promoted
// the next call lands on it. A server found to have turned read-only (an
// old primary fenced or demoted) counts as lost. A COMMIT whose answer the
// lost link took with it is settled on the server reached next, by the
// token the transaction stored as it committed (PostgresLostCommit.cpp): the
// call reports what really happened, never a guess.
//
// BEGIN waits for the transaction's first statement and travels with it.
// A transaction whose statements need no answer before the commit (the
// caller says so with HoldAnswers) sends them, the token and COMMIT in the
// same flight: one round trip in all (PostgresFlight.cpp).
//
// A caller's text runs as written the first time its shape (StatementShape.h)
// is seen; from the second time on the shape is prepared under a name and
// run with the text's literals as parameters, so that the server parses and
// plans each kind of statement once per session. A shape whose meaning the
// time of parsing fixes is never kept. When another connection changes a
// table so that a kept statement no longer fits (the server refuses it:
// "cached plan must not change result type"), every kept statement is let
// go and the text runs afresh in the same call; inside a transaction that
// has already done something, the server has spoiled it, and the call fails
// with an error that says so (the next call, after the rollback, works).
//
// The class is written in one file per duty:
//   PostgresConnection.cpp  connecting, the link and reconnecting,
//                           transactions, and the factory ConnectPostgres
//   PostgresExecution.cpp   running statements and streaming their rows
//   PostgresRowWriting.cpp  rows added and edited, and the COPY stream
//   PostgresErrors.cpp      turning the server's errors into exceptions
//   PostgresLostCommit.cpp  committing with a token, and settling a commit
//                           whose answer was lost by it
//   PostgresPortal.cpp      reading a query's rows a chunk at a time
//   PostgresFlight.cpp      statements whose answers come back with the
//                           commit's, in one round trip
//   PostgresFollowing.cpp   a kept query of few rows and the query that
//                           follows it, in one round trip
// with the statement texts they send in PostgresStatementText.cpp, the row
// a cursor writes in PostgresRowTexts.h, and the owners of libpq's handles
// in PostgresHandles.h.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "access/driver/Driver.h"
#include "access/driver/StatementCache.h"
#include "access/driver/StatementShape.h"
#include "access/driver/TransactionNesting.h"
#include "access/driver/postgres/PostgresHandles.h"
#include "access/driver/postgres/PostgresRowTexts.h"

namespace qz::access::postgres {

class PostgresCursor;

// A query to send when its first row is needed.
struct PendingQuery {
  std::string sql;                  // the text
  uint64_t statement = 0;           // its number while it may sit parsed as the unnamed statement
  std::string name;                 // the prepared statement to run instead, when not empty
  std::vector<std::string> params;  // the values of that statement's parameters
};

// The key of a row being edited: column names and the server's own text of
// their values, so that the WHERE clause matches exactly what was read.
struct RowKey {
  std::vector<std::wstring> columns;
  std::vector<std::string> values;
};

class PostgresConnection : public Connection, private TransactionSteps {
 public:
  // The libpq keywords and values to connect with; several_servers when
  // they name a list to choose the writable one from. Throws CQZDBException.
  PostgresConnection(std::vector<std::string> keywords, std::vector<std::string> values, std::wstring description,
                     bool several_servers);
  ~PostgresConnection() override;

  bool IsConnected() override;
  void Close() override;
  bool BeginTransaction() override;
  bool CommitTransaction() override;
  bool RollbackTransaction() override;
  std::unique_ptr<Cursor> Execute(const std::wstring& sql, ROWOPERATION operation) override;
  bool HoldAnswers() override;
  std::vector<SQZHeldAnswer> HeldAnswers() const override { return held_answers_; }
  // Reads sql through the portal, and declares following in the same
  // transaction as soon as sql's last chunk has come (PostgresPortal.cpp).
  std::unique_ptr<Cursor> ExecuteWithFollowing(const std::wstring& sql, const std::wstring& following) override;
  // Never in a caller's transaction (PostgresPortal.cpp).
  bool MaySendFollowing() const override { return transactions_.depth() == 0; }
  // A cursor on no statement, for a rewrite by key: nothing is sent until
  // its Update.
  std::unique_ptr<Cursor> KeyedEditCursor() override;
  // The setting's description; with several servers, also the one in use.
  std::wstring Describe() const override;

  // --- For cursors ---------------------------------------------------------

  // Sends sql and puts the connection in single-row mode for cursor, which
  // then reads its rows with NextStreamResult until it returns null.
  // A query numbered by Execute is only bound and run while the server
  // still holds it parsed as the unnamed statement. A query run by name
  // answers its first result (as NextStreamResult would), so that a kept
  // statement gone stale is run afresh; null otherwise.
  Result StartStream(PostgresCursor* cursor, const PendingQuery& query);
  // The next result of the stream: a row (PGRES_SINGLE_TUPLE) or a chunk
  // of rows through a portal, an error result, or null at the end.
  Result NextStreamResult(PostgresCursor* cursor);
  // Ends cursor's stream early: cancels the query and drops what is left.
  void AbandonStream(PostgresCursor* cursor);
  // The cursor of the query declared after cursor's (ExecuteWithFollowing),
  // its first chunk read; null when none waits for cursor. Raises the
  // query's error.
  std::unique_ptr<Cursor> OpenFollowing(PostgresCursor* cursor);
  // cursor closes: the query declared after it will not be read.
  void DropFollowing(PostgresCursor* cursor);

  // The row a cursor writes through, lent for the cursor's life. The one a
  // cursor gave back goes to the next, so that a run of one-row writes,
  // each through a record set of its own, keeps the texts' room.
  std::unique_ptr<RowTexts> LendRow() { return rows_.Lend(); }
  void GiveBackRow(std::unique_ptr<RowTexts> row) { rows_.GiveBack(std::move(row)); }

  // Each takes a row settled by RowTexts::Finish.
  void InsertRow(const RowTexts& row);
  // Ends a COPY of gathered rows in progress, raising its error.
  void FinishHeldRows() { FinishCopy(true); }
  void UpdateRow(const RowTexts& row, const RowKey& key);
  // Rewrites the row the key fields name (see KeyedUpdate.h); the number of
  // rows changed. Holding answers, *row is kept until the commit (see
  // HoldStatement) and another, or null, is left in its place.
  int UpdateRowByKey(std::unique_ptr<RowTexts>* row);

  // The primary key columns of table, in key order; empty when it has none.
  const std::vector<std::wstring>& PrimaryKey(const std::wstring& table);

  // Raises the error of result (or of the connection when result is null),
  // prefixed by what was being done.
  [[noreturn]] void RaiseResultError(const PGresult* result, const char* doing);

 private:
  struct PreparedInsert {
    std::string signature;  // table and columns, as in the statement text
    std::string name;
  };
  struct PrimaryKeyEntry {
    std::wstring table;
    std::vector<std::wstring> columns;
  };
  // A statement shape the server holds prepared under a name.
  struct PreparedShape {
    std::string name;
    bool returns_rows = false;
  };

  // --- The link (PostgresConnection.cpp) ------------------------------------

  // Before any statement: ends a COPY in progress (raising its error), and
  // lets a streaming cursor take the rest of its rows into memory so that
  // the connection is free.
  void Quiesce();
  // Makes sure the link is up before a statement is sent: notices a server
  // that went away while we were idle and, outside a transaction, connects
  // again once. Inside a transaction a lost link throws.
  void EnsureLink();
  void Reconnect();
  // After a failed call: was the link lost? Marks the transaction lost.
  bool NoteLinkLoss();
  void ForgetSessionState();
  // The link is up and holds no transaction the server has dropped.
  bool LinkUsable() const;
  // With several servers: the one we are on no longer takes writes.
  bool ServerWentReadOnly() const;

  // TransactionSteps: what each transaction level runs on the server.
  void BeginOutermost() override;
  void CommitOutermost() override;
  void RollbackOutermost() override;
  void RunSavepointStatement(const std::string& sql) override;

  // Sends the BEGIN of the outermost transaction when it is still waiting
  // for its first statement (BeginOutermost); nothing otherwise. Every
  // statement that cannot travel with it calls this before it is sent.
  void SendPendingBegin();
  // Notes from the answer to "SELECT current_setting('transaction_read_only')"
  // what would settle the transaction's commit; false when result is not
  // that answer.
  bool NoteWhetherWrites(const PGresult* result);
  // Sends the pending BEGIN, that question and one statement (prepared as
  // name with values, or sql with values) in one flight, and answers the
  // statement's result. Raises the error of BEGIN; the statement's own
  // result is the caller's to check.
  Result RunWithBegin(const std::string& name, const std::string& sql, const std::vector<const char*>& values);

  // --- Commits and their tokens (PostgresLostCommit.cpp) ----------------------

  // What settles the outermost transaction's COMMIT if its answer is lost.
  enum class CommitEvidence {
    kNothingToSettle,  // the transaction cannot have written anything
    kToken,            // commit_token_ is stored exactly when it committed
    kNone,             // it may write, and the database keeps no tokens
  };
  enum class TokenTable { kUnknown, kPresent, kAbsent };
  enum class Outcome { kCommitted, kNotCommitted, kUndecided, kNoTable };

  // Once per session, before its first transaction: whether the database
  // holds the token table, made now when it lacks it and may take it.
  void FindTokenTable();
  // Reads what the session may do with the table; true when it may store
  // tokens.
  bool LookForTokenTable();
  // COMMIT, with the transaction's token stored (and the tokens of earlier
  // commits deleted) in the same flight, when it has one (kToken), and
  // behind the statements of the open flight, if any. Throws like
  // RunCommand; a held statement's failure is raised as its own.
  void CommitWithToken();
  // The link went while COMMIT was on its way. Connects again and settles
  // by the token: returns when the transaction was committed, throws
  // CQZDBException when it was not or nobody can say.
  void SettleLostCommit();
  // One try at settling token on the link as it is now.
  Outcome FenceToken(const std::string& token);

  // --- Answers held back for the commit (PostgresFlight.cpp) ----------------

  // A statement sent in the open flight, kept until its answer is read: as
  // a text it can run afresh with its values, should the statement kept
  // for it turn out stale.
  struct HeldStatement {
    std::string sql;          // runs with the values as parameters
    std::string name;         // the kept statement it ran as; empty: as sql
    bool prepared = false;    // name was prepared in the flight itself
    std::string values;       // each value followed by a NUL
    std::vector<int> starts;  // where each value begins in values; -1: NULL
    // A row's values are not copied: the row itself is kept (values_in_row)
    // until the next flight begins (HoldAnswers), and pointers into it.
    bool values_in_row = false;
    std::unique_ptr<RowTexts> row;
    std::vector<const char*> row_values;
  };
  // Whether the statement of text (shaped in shape_) may be held back: it
  // returns no rows whatever it meets.
  bool MayHold(const std::string& text, ROWOPERATION operation) const;
  // Sends sql with values into the flight, opening the flight (BEGIN and
  // the question whether the transaction writes, in pipeline mode) for the
  // first; by the statement kept for shape (a text that may be kept), when
  // there is one or it is now worth preparing. Raises when libpq refuses to
  // queue it.
  // With row, values point into row's texts (ParameterPointers): the row
  // is kept with the statement instead of a copy of them, and *row is left
  // holding the row of an earlier flight, or null.
  void HoldStatement(const std::string& sql, const std::vector<const char*>& values, bool shape,
                     std::unique_ptr<RowTexts>* row = nullptr);
  // Queues held, by its kept name (prepared first when it is new) or as
  // text.
  bool SendHeld(const HeldStatement& held, bool by_name);
  // The results the open flight's BEGIN, question and held statements give.
  size_t FlightLength() const;
  // Reads the answers to BEGIN, the question and the held statements from
  // results (a flight's, in order) into held_answers_. Raises the first
  // failure among them, after which nothing was committed (commit_sent_ is
  // cleared). True when a held statement's kept statement went stale: every
  // kept statement was let go, and the flight is to be sent again as text.
  bool JudgeHeldAnswers(std::vector<Result>& results);
  // The flight is sent without its commit: a statement needs its answer
  // now. Reads the held answers (JudgeHeldAnswers) and ends holding.
  void FlushFlight();
  // After a stale kept statement spoiled the flight: rolls the transaction
  // back and queues BEGIN, the question and every held statement again, as
  // text.
  void ResendFlight();
  // Queues BEGIN and the question of whether the transaction writes.
  bool SendBegin();
  // Ends a flight that is rolled back: ROLLBACK goes in it, and the answers
  // are read and dropped.
  void RollbackFlight();

  // --- Statements (PostgresExecution.cpp) -----------------------------------

  // Runs a statement without parameters and results.
  void RunCommand(const char* sql);
  // Sends the query sql (or the statement prepared as name, with params)
  // and waits for its first row: a cursor streaming the rest, or one
  // holding the whole (empty or row-less) result. Raises the statement's
  // error. Null when the statement run by name was stale and the text is
  // to run afresh (RecoverFromStale; untouched as there).
  std::unique_ptr<Cursor> RunQuery(const std::string& sql, const std::string& name = std::string(),
                                   const std::vector<std::string>& params = {}, bool untouched = false);
  // Runs the statement kept as name (with params) and, in the same flight,
  // the one kept for the following query (following_, shaped): both whole,
  // one round trip in all (PostgresFollowing.cpp). A cursor holding the
  // first's rows, whose TakeFollowing opens the second's; null as for
  // RunQuery. Raises the first's error.
  std::unique_ptr<Cursor> RunKeptWithFollowing(const std::string& name, const std::vector<std::string>& params,
                                               bool untouched);
  // The cursor of the following query RunKeptWithFollowing ran for
  // cursor; null when none waits for it. Raises that query's error.
  std::unique_ptr<Cursor> OpenKeptFollowing(PostgresCursor* cursor);
  // text is to follow the next query (ExecuteWithFollowing): shaped, and
  // its shape sighted for keeping.
  void NoteFollowing(const std::string& text);
  // Parses sql as the statement name ("" the unnamed one) and describes
  // it, both in one round trip; the description, or raises the first error.
  Result PrepareAndDescribe(const std::string& sql, const std::string& name = std::string());
  // The statement prepared for text, from the cache or prepared now on the
  // text's second sighting; null when it is not worth preparing.
  // REQUIRES: text is a data statement that may be kept.
  const PreparedShape* PreparedFor(const std::string& text);
  // Whether the transaction open has run nothing of the caller's yet (as
  // outside a transaction); from now on it has.
  bool TakeUntouched();
  // result is what a statement run by its kept name answered. When it says
  // the statement no longer fits the tables, every kept statement is let go
  // and the answer is true: the caller runs the text afresh. Outside a
  // transaction that is so at once; a transaction that had run nothing yet
  // (untouched, from TakeUntouched) is begun again first. In any other
  // transaction the server has spoiled it: raises an error that says so.
  // False for a success or any other failure.
  bool RecoverFromStale(const PGresult* result, bool untouched);
  // Runs a statement that returns no rows by its prepared name, or as
  // text when the text has not been seen before. Raises its error.
  Result RunCommandWithParameters(const std::string& sql, const std::vector<const char*>& values);
  // Lets the server drop the statements the cache let go of, when no
  // transaction is open that a failure could spoil.
  void DeallocateDropped();
  // Pointers to the literals of shape_, for libpq.
  const std::vector<const char*>& LiteralPointers(const std::vector<std::string>& literals);
  // Reads the rest of a pipeline up to its sync and leaves pipeline mode;
  // the first error result met on the way, if any.
  Result FinishPipeline();

  // --- Reading through a portal (PostgresPortal.cpp) -------------------------

  // Runs the query sql (ReadsThroughPortal) with params as a cursor on the
  // server and reads its first chunk of rows: a cursor reading the rest a
  // chunk at a time, or holding them all. Raises the query's error. A
  // shape (the text of a statement that may be kept) whose rows fit in the
  // first chunk joins few_row_shapes_.
  std::unique_ptr<Cursor> RunPortal(const std::string& sql, const std::vector<std::string>& params,
                                    const std::string* shape);
  // The next chunk of the portal being read, or null after the last one.
  Result NextPortalChunk();
  // Sends a FETCH of the next chunk, not waiting for it.
  void SendFetch();
  // Ends the portal's reading: closes it (or commits the transaction that
  // was begun for it), not waiting for the answer.
  void EndPortal();
  // The portal's last chunk came and a following query waits: declares it
  // in the portal's place and fetches its first chunk, not waiting.
  void SwitchToFollowing();
  // Reads the answers to one group of statements sent together, up to its
  // sync: the first error, else the last rows, else null. Null too when the
  // link went (see PQstatus).
  Result ReadGroup();
  // Reads the answers still owed to groups sent earlier and leaves pipeline
  // mode, so that the link is free for any statement.
  void DrainPipeline();

  // --- Errors (PostgresErrors.cpp) ------------------------------------------

  // result when the statement succeeded; otherwise ends a COPY state it left
  // and raises its error.
  Result Check(Result result, const char* doing);

  // --- Rows written (PostgresRowWriting.cpp) --------------------------------

  // The COPY stream that gathers inserts inside a transaction.
  void CopyRow(const std::string& signature, const RowTexts& row);
  void FinishCopy(bool keep);
  void SendCopyBuffer();

  const std::string& PrepareInsert(const std::string& signature, const std::string& sql);

  Link conn_;
  std::vector<std::string> keywords_;
  std::vector<std::string> values_;
  std::wstring description_;
  bool closed_ = false;

  bool several_servers_ = false;
  // A statement was refused because the server is read-only: look through
  // the list again before the next statement outside a transaction.
  bool look_again_ = false;

  TransactionNesting transactions_;
  bool transaction_lost_ = false;       // the link broke inside the transaction
  bool transaction_untouched_ = false;  // see TakeUntouched
  bool commit_sent_ = false;            // the outermost COMMIT has gone out
  bool begin_pending_ = false;          // the outermost BEGIN waits for a statement

  // Answers held back for the commit (HoldAnswers): holding_ while the
  // transaction may hold them, flight_open_ once BEGIN and held statements
  // are queued in pipeline mode and not yet sent (libpq sends a pipeline
  // at its sync). held_ is reused from one flight to the next: held_count_
  // entries are the open flight's.
  bool holding_ = false;
  bool flight_open_ = false;
  std::vector<HeldStatement> held_;
  size_t held_count_ = 0;
  std::vector<SQZHeldAnswer> held_answers_;

  TokenTable token_table_ = TokenTable::kUnknown;  // in this session's database
  CommitEvidence commit_evidence_ = CommitEvidence::kNothingToSettle;
  std::string commit_token_;               // the token the last COMMIT carried
  std::vector<std::string> spent_tokens_;  // tokens of known commits, to delete
  bool deletes_tokens_ = false;            // the session may delete tokens
  bool swept_ = false;                     // it deleted the day-old tokens

  PostgresCursor* streaming_ = nullptr;  // the cursor reading in single-row mode or through the portal

  // The portal streaming_ reads through, when portal_reading_.
  bool portal_reading_ = false;
  bool portal_transaction_ = false;  // the transaction it lives in was begun for it
  int fetches_ahead_ = 0;            // groups of the portal sent whose chunks are not read yet
  std::deque<int> fetch_rows_;       // the rows each of them asks for, in order
  int rows_per_fetch_ = 0;           // what the next FETCH asks for
  int groups_owed_ = 0;              // groups sent whose answers are not read and belong to no portal
  // The query asked to follow the next one (ExecuteWithFollowing), and
  // the one to declare when the portal's last chunk has come (UTF-8); once
  // declared, the cursor whose TakeFollowing opens it.
  std::string following_;
  std::string portal_following_;
  bool following_ready_ = false;
  PostgresCursor* following_owner_ = nullptr;
  // Shapes of queries whose rows fitted in one chunk when last read: they
  // run kept prepared instead of through the portal.
  std::unordered_set<std::string> few_row_shapes_;
  // The answer to the following query sent with a kept one
  // (RunKeptWithFollowing), for owner's TakeFollowing, and its text should
  // it have to run afresh.
  struct KeptFollowing {
    PostgresCursor* owner = nullptr;
    Result result;
    std::string text;
    StatementShape shape;
  } kept_following_;

  bool copying_ = false;
  std::string copy_signature_;
  std::string copy_buffer_;
  size_t copy_rows_ = 0;

  // Which query the server holds parsed as the unnamed statement (the
  // number Execute gave it), 0 when none or unknown. Anything else sent on
  // the link may replace it, so every other send clears it.
  uint64_t unnamed_statement_ = 0;
  uint64_t last_statement_ = 0;

  std::vector<PreparedInsert> inserts_;
  StatementCache<PreparedShape> shapes_;
  std::vector<std::string> dropped_shapes_;  // names to deallocate on the server
  StatementShape shape_;
  std::vector<const char*> literal_pointers_;
  int next_statement_number_ = 1;
  std::vector<PrimaryKeyEntry> primary_keys_;

  // The last rewrite by key: the layout of its row, and its text.
  uint64_t keyed_layout_ = 0;
  std::string keyed_sql_;
  std::vector<bool> key_fields_;

  RowLender<RowTexts> rows_;
  std::vector<const char*> param_values_;
  // The target ("table (a,b,c)") of the last row added, and its layout.
  std::string insert_target_;
  uint64_t insert_target_layout_ = 0;
};

// Inserts kept prepared per connection.
constexpr size_t kPreparedInsertLimit = 32;

}  // namespace qz::access::postgres
