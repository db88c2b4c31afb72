#include "access/driver/postgres/PostgresConnection.h"

#include <poll.h>

#include <cstdio>
#include <cstring>

#include "access/TimestampText.h"
#include "access/driver/postgres/PostgresCursor.h"
#include "platform/TextEncoding.h"

namespace qz::access {
namespace {

// SQLSTATE class 08: the link to the server.
constexpr char kConnectionFailure[] = "08006";
constexpr char kConnectionNotOpened[] = "08001";

// COPY data is handed to libpq in pieces of about this size, so a long run
// of rows never sits in memory whole.
constexpr size_t kCopyChunkBytes = 256 * 1024;

// The server notices (NOTICE, WARNING, and the FATAL a dying backend sends
// while we are idle) are not for the user's terminal.
void IgnoreNotice(void*, const char*) {}

bool IsPlainIdentifierPart(std::wstring_view part) {
  if (part.empty()) return false;
  for (size_t i = 0; i < part.size(); ++i) {
    const wchar_t c = part[i];
    const bool letter = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_';
    const bool digit = c >= L'0' && c <= L'9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

// A name as the statement text carries it. Plain names ([A-Za-z_][A-Za-z0-9_]*,
// optionally schema-qualified) go unquoted, so the server folds them to lower
// case exactly as it folded the unquoted names of CREATE TABLE; anything else
// is quoted verbatim with embedded quotes doubled, so it can never end the
// quote.
void AppendIdentifier(std::string* sql, std::wstring_view name) {
  bool plain = true;
  for (size_t start = 0; plain;) {
    const size_t dot = name.find(L'.', start);
    plain = IsPlainIdentifierPart(name.substr(start, dot == std::wstring_view::npos ? dot : dot - start));
    if (dot == std::wstring_view::npos) break;
    start = dot + 1;
  }
  if (plain) {
    for (wchar_t c : name) sql->push_back(static_cast<char>(c));
    return;
  }
  sql->push_back('"');
  for (char c : platform::WideToUtf8(name)) {
    if (c == '"') sql->push_back('"');
    sql->push_back(c);
  }
  sql->push_back('"');
}

// "table (a,b,c)": what an INSERT and a COPY of these columns share.
void BuildTarget(std::string* out, const std::wstring& table, const FieldValue* fields, size_t count) {
  out->clear();
  AppendIdentifier(out, table);
  if (count == 0) return;
  out->append(" (");
  for (size_t i = 0; i < count; ++i) {
    if (i) out->push_back(',');
    AppendIdentifier(out, fields[i].column);
  }
  out->push_back(')');
}

// The text a value travels as, in the server's input syntax for the column
// it lands in (the server parses it with the column's type, so an integer
// column takes the text of a number). False for NULL: a database NULL, an
// invalid date-time, an all-zero timestamp.
bool ValueText(const CQZDBVariant& value, std::string* out) {
  switch (value.GetType()) {
    case CQZDBVariant::TYPE_NULL:
      return false;
    case CQZDBVariant::TYPE_INTEGER:
      *out = std::to_string(value.GetInteger64());
      return true;
    case CQZDBVariant::TYPE_REAL: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.17g", value.GetReal());
      out->assign(buffer);
      return true;
    }
    case CQZDBVariant::TYPE_TEXT:
      platform::WideToUtf8(value.GetTextRef(), out);
      return true;
    case CQZDBVariant::TYPE_DATETIME:
      if (!value.GetDateTime().IsValid()) return false;
      *out = FormatTimestamp(TimestampFromDateTime(value.GetDateTime()));
      return true;
    case CQZDBVariant::TYPE_TIMESTAMP: {
      const SQZTimestamp timestamp = value.GetTimestamp();
      if (timestamp.year == 0 && timestamp.month == 0) return false;
      *out = FormatTimestamp(timestamp);
      return true;
    }
  }
  return false;
}

// One field of a COPY text-format row.
void AppendCopyField(std::string* row, const CQZDBVariant& value, std::string* scratch) {
  if (!ValueText(value, scratch)) {
    row->append("\\N");
    return;
  }
  for (char c : *scratch) {
    switch (c) {
      case '\\':
        row->append("\\\\");
        break;
      case '\n':
        row->append("\\n");
        break;
      case '\r':
        row->append("\\r");
        break;
      case '\t':
        row->append("\\t");
        break;
      default:
        row->push_back(c);
        break;
    }
  }
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Whether the statement can return rows, judged by its first word. Those
// that can are prepared and described first (so that "WITH ... DELETE" and
// "SELECT ... INTO" without a result still run at once); the others run
// at once and keep whatever rows they return (INSERT ... RETURNING).
bool MayReturnRows(const std::string& sql) {
  size_t i = 0;
  for (;;) {
    while (i < sql.size() && IsSpace(sql[i])) ++i;
    if (sql.compare(i, 2, "--") == 0) {
      i = sql.find('\n', i);
      if (i == std::string::npos) return false;
    } else if (sql.compare(i, 2, "/*") == 0) {
      i = sql.find("*/", i + 2);
      if (i == std::string::npos) return false;
      i += 2;
    } else {
      break;
    }
  }
  if (i < sql.size() && sql[i] == '(') return true;
  std::string word;
  while (i < sql.size() && ((sql[i] >= 'A' && sql[i] <= 'Z') || (sql[i] >= 'a' && sql[i] <= 'z'))) {
    word.push_back(static_cast<char>(sql[i] >= 'a' ? sql[i] - 'a' + 'A' : sql[i]));
    ++i;
  }
  return word == "SELECT" || word == "WITH" || word == "VALUES" || word == "TABLE" || word == "SHOW" ||
         word == "EXPLAIN";
}

std::string TrimmedLines(const char* text) {
  std::string out = text ? text : "";
  while (!out.empty() && IsSpace(out.back())) out.pop_back();
  return out;
}

}  // namespace

PostgresConnection::PostgresConnection(std::vector<std::string> keywords, std::vector<std::string> values,
                                       std::wstring description)
    : keywords_(std::move(keywords)), values_(std::move(values)), description_(std::move(description)) {
  std::vector<const char*> keys, vals;
  for (size_t i = 0; i < keywords_.size(); ++i) {
    keys.push_back(keywords_[i].c_str());
    vals.push_back(values_[i].c_str());
  }
  keys.push_back(nullptr);
  vals.push_back(nullptr);
  // expand_dbname 0: a database name is only ever a name, never read as a
  // connection string of its own.
  conn_ = PQconnectdbParams(keys.data(), vals.data(), 0);
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    std::string message = conn_ ? TrimmedLines(PQerrorMessage(conn_)) : "out of memory";
    PQfinish(conn_);
    conn_ = nullptr;
    CQZDBException::Raise(platform::Utf8ToWide(message) + L" (" + description_ + L")", kConnectionNotOpened,
                          CONNECTION_BAD);
  }
  PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
}

PostgresConnection::~PostgresConnection() { Close(); }

void PostgresConnection::Close() {
  if (closed_) return;
  closed_ = true;
  if (streaming_) streaming_->LoseStream();
  streaming_ = nullptr;
  // Rows still gathered for a COPY belong to a transaction that ends with
  // the connection: the server rolls it back.
  copying_ = false;
  copy_buffer_.clear();
  PQfinish(conn_);
  conn_ = nullptr;
  depth_ = 0;
  transaction_lost_ = false;
  inserts_.clear();
  primary_keys_.clear();
}

bool PostgresConnection::IsConnected() {
  if (closed_ || transaction_lost_) return false;
  if (PQstatus(conn_) == CONNECTION_OK) return true;
  if (depth_ > 0) return false;
  // Outside a transaction a lost link is mended here, so that a caller
  // asking before each operation never has to reopen after a restart.
  PQreset(conn_);
  ForgetSessionState();
  return PQstatus(conn_) == CONNECTION_OK;
}

// --- The link -------------------------------------------------------------

void PostgresConnection::ForgetSessionState() {
  // A pipeline cut short by a lost link must not outlive the new session.
  if (conn_ && PQpipelineStatus(conn_) != PQ_PIPELINE_OFF) PQexitPipelineMode(conn_);
  unnamed_statement_ = 0;
  if (streaming_) streaming_->LoseStream();
  streaming_ = nullptr;
  copying_ = false;
  copy_buffer_.clear();
  inserts_.clear();  // prepared statements die with the session
  depth_ = 0;
  transaction_lost_ = false;
}

bool PostgresConnection::NoteLinkLoss() {
  if (!conn_ || PQstatus(conn_) == CONNECTION_OK) return false;
  if (depth_ > 0) transaction_lost_ = true;
  copying_ = false;
  copy_buffer_.clear();
  return true;
}

void PostgresConnection::Reconnect() {
  PQreset(conn_);
  ForgetSessionState();
  if (PQstatus(conn_) != CONNECTION_OK)
    CQZDBException::Raise(
        L"could not reconnect to the server: " + platform::Utf8ToWide(TrimmedLines(PQerrorMessage(conn_))),
        kConnectionNotOpened, CONNECTION_BAD);
}

void PostgresConnection::EnsureLink() {
  if (closed_) CQZDBException::Raise(L"the connection is closed", kConnectionFailure, CONNECTION_BAD);
  if (PQstatus(conn_) == CONNECTION_OK && !streaming_ && !copying_) {
    // While idle nothing should arrive. Something readable now is a notice,
    // or a backend that was told to end (server restart, terminated
    // backend) saying so and closing its end: read until that is clear, so
    // that such a link is found dead before a statement is sent on it.
    for (int round = 0; round < 8; ++round) {
      pollfd socket{PQsocket(conn_), POLLIN, 0};
      if (socket.fd < 0 || poll(&socket, 1, 0) <= 0) break;
      if (!PQconsumeInput(conn_)) break;
    }
  }
  if (PQstatus(conn_) == CONNECTION_OK) return;
  if (depth_ > 0) {
    transaction_lost_ = true;
    CQZDBException::Raise(
        L"the connection to the server was lost inside a transaction; the server rolled the "
        L"transaction back",
        kConnectionFailure, CONNECTION_BAD);
  }
  Reconnect();
}

void PostgresConnection::RaiseResultError(const PGresult* result, const char* doing) {
  const bool lost = NoteLinkLoss();
  std::string message;
  std::string state;
  if (result) {
    const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    message = primary ? primary : TrimmedLines(PQresultErrorMessage(result));
    if (const char* detail = PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL))
      message += "\nDETAIL: " + std::string(detail);
    if (const char* hint = PQresultErrorField(result, PG_DIAG_MESSAGE_HINT)) message += "\nHINT: " + std::string(hint);
    if (const char* context = PQresultErrorField(result, PG_DIAG_CONTEXT))
      message += "\nCONTEXT: " + std::string(context);
    if (const char* sqlstate = PQresultErrorField(result, PG_DIAG_SQLSTATE)) state = sqlstate;
  }
  if (message.empty()) message = conn_ ? TrimmedLines(PQerrorMessage(conn_)) : "the connection is closed";
  if (state.empty() && lost) state = kConnectionFailure;
  // The extended protocol refuses a second statement with a message about
  // prepared statements, which the caller never made: say what happened.
  if (state == "42601" && message.find("cannot insert multiple commands") != std::string::npos)
    message = "the SQL text holds more than one statement; only one may run at a time (" + message + ")";
  if (lost && depth_ > 0) message += "\n(the connection was lost inside a transaction; the server rolled it back)";
  if (doing && *doing) message = std::string(doing) + ": " + message;
  const int native = result ? static_cast<int>(PQresultStatus(result)) : static_cast<int>(PGRES_FATAL_ERROR);
  CQZDBException::Raise(platform::Utf8ToWide(message), state, native);
}

Result PostgresConnection::Check(Result result, const char* doing) {
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
  if (status == PGRES_EMPTY_QUERY) CQZDBException::Raise(L"the SQL text holds no statement", "42601", status);
  if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH) {
    // A caller's COPY FROM STDIN / TO STDOUT has no data path here: end it
    // at once so that the connection is not left inside it.
    if (status != PGRES_COPY_OUT) PQputCopyEnd(conn_, "COPY through the client is not supported");
    if (status != PGRES_COPY_IN) {
      char* data = nullptr;
      while (PQgetCopyData(conn_, &data, 0) >= 0) PQfreemem(data);
    }
    while (Result rest{PQgetResult(conn_)}) {
    }
    CQZDBException::Raise(L"COPY to or from the client is not supported", "0A000", status);
  }
  RaiseResultError(result.get(), doing);
}

void PostgresConnection::RunCommand(const char* sql) {
  unnamed_statement_ = 0;
  Check(Result(PQexec(conn_, sql)), sql);
}

Result PostgresConnection::FinishPipeline() {
  Result failure;
  // Each statement's results end with a null; the sync closes the pipeline.
  // Two nulls in a row, or a dead link, mean nothing more will come.
  for (int nulls = 0; nulls < 2;) {
    Result result(PQgetResult(conn_));
    if (!result) {
      if (PQstatus(conn_) != CONNECTION_OK) break;
      ++nulls;
      continue;
    }
    nulls = 0;
    const ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_PIPELINE_SYNC) break;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_PIPELINE_ABORTED && !failure)
      failure = std::move(result);
  }
  PQexitPipelineMode(conn_);
  return failure;
}

Result PostgresConnection::PrepareAndDescribe(const std::string& sql) {
  unnamed_statement_ = 0;
  if (!PQenterPipelineMode(conn_)) {
    // Not possible on an idle link; take the two round trips instead.
    Check(Result(PQprepare(conn_, "", sql.c_str(), 0, nullptr)), "");
    return Check(Result(PQdescribePrepared(conn_, "")), "");
  }
  if (!PQsendPrepare(conn_, "", sql.c_str(), 0, nullptr) || !PQsendDescribePrepared(conn_, "") ||
      !PQpipelineSync(conn_)) {
    FinishPipeline();
    RaiseResultError(nullptr, "");
  }
  Result prepared(PQgetResult(conn_));
  Result failure;
  Result described;
  if (prepared && PQresultStatus(prepared.get()) == PGRES_COMMAND_OK) {
    while (Result rest{PQgetResult(conn_)}) {
    }
    described.reset(PQgetResult(conn_));
    if (described && PQresultStatus(described.get()) != PGRES_COMMAND_OK) failure = std::move(described);
  } else {
    failure = std::move(prepared);
  }
  Result later = FinishPipeline();
  if (!failure && !described) failure = std::move(later);
  if (failure || !described) RaiseResultError(failure.get(), "");
  return described;
}

void PostgresConnection::Quiesce() {
  if (copying_) FinishCopy(true);
  if (streaming_) streaming_->TakeRestOfStream();
}

// --- Transactions ---------------------------------------------------------
// The outermost level is a real transaction, inner levels are savepoints
// named after their depth. A CommitTrans that fails leaves its level open,
// so the caller's Rollback, which always follows a failure, ends it.

bool PostgresConnection::BeginTransaction() {
  if (closed_) return false;
  Quiesce();
  EnsureLink();
  if (depth_ == 0) {
    RunCommand("BEGIN");
  } else {
    const std::string savepoint = "SAVEPOINT qz_level_" + std::to_string(depth_);
    RunCommand(savepoint.c_str());
  }
  ++depth_;
  return true;
}

bool PostgresConnection::CommitTransaction() {
  if (closed_ || depth_ == 0) return false;
  if (transaction_lost_)
    CQZDBException::Raise(L"the connection to the server was lost inside the transaction; nothing was committed",
                          kConnectionFailure, CONNECTION_BAD);
  Quiesce();  // rows still gathered go first; their error stops the commit
  EnsureLink();
  if (depth_ == 1) {
    // COMMIT of a failed transaction "succeeds" by rolling back: refuse it
    // instead of reporting the loss as a commit.
    if (PQtransactionStatus(conn_) == PQTRANS_INERROR)
      CQZDBException::Raise(L"a statement of the transaction failed; it cannot be committed, only rolled back", "25P02",
                            PGRES_FATAL_ERROR);
    RunCommand("COMMIT");
  } else {
    const std::string release = "RELEASE SAVEPOINT qz_level_" + std::to_string(depth_ - 1);
    RunCommand(release.c_str());
  }
  --depth_;
  return true;
}

bool PostgresConnection::RollbackTransaction() {
  if (closed_ || depth_ == 0) return false;
  if (copying_) FinishCopy(false);
  if (streaming_) streaming_->TakeRestOfStream();
  if (!transaction_lost_ && PQstatus(conn_) == CONNECTION_OK) {
    try {
      if (depth_ == 1) {
        RunCommand("ROLLBACK");
      } else {
        const std::string name = "qz_level_" + std::to_string(depth_ - 1);
        RunCommand(("ROLLBACK TO SAVEPOINT " + name).c_str());
        RunCommand(("RELEASE SAVEPOINT " + name).c_str());
      }
    } catch (CQZDBException* e) {
      // A link lost now loses the transaction with it: that is a rollback.
      if (!transaction_lost_ && PQstatus(conn_) == CONNECTION_OK) throw;
      e->Delete();
    }
  }
  // A lost transaction is already gone on the server; each level still
  // ends here, and the link is mended once the outermost one has.
  if (--depth_ == 0) transaction_lost_ = false;
  return true;
}

// --- Statements -----------------------------------------------------------

std::unique_ptr<Cursor> PostgresConnection::Execute(const std::wstring& sql, ROWOPERATION operation) {
  if (closed_) return nullptr;
  Quiesce();
  EnsureLink();
  std::string text = platform::WideToUtf8(sql);
  if (MayReturnRows(text)) {
    // A query opened for reading is read straight after Open: run it now.
    if (operation == ROWOPERATION_READONLY) return RunQuery(text);
    // One opened to write rows may never read any. Parse and describe it
    // now, so that a bad statement is refused by Open; rows are asked for
    // only when the cursor needs one, and the statement parsed here is then
    // run without parsing it again.
    Result described = PrepareAndDescribe(text);
    if (PQnfields(described.get()) > 0) {
      unnamed_statement_ = ++last_statement_;
      return std::make_unique<PostgresCursor>(this, std::move(text), unnamed_statement_);
    }
    Result done = Check(Result(PQexecPrepared(conn_, "", 0, nullptr, nullptr, nullptr, 0)), "");
    return std::make_unique<PostgresCursor>(this, std::move(done));
  }
  unnamed_statement_ = 0;
  Result done = Check(Result(PQexecParams(conn_, text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0)), "");
  return std::make_unique<PostgresCursor>(this, std::move(done));
}

std::unique_ptr<Cursor> PostgresConnection::RunQuery(const std::string& sql) {
  // Parse, bind, describe, execute and sync go out together; Open then waits
  // for the first row, the end of an empty result, or the statement's
  // error: one round trip in all. The server refuses a second statement in
  // the text as it does for a prepared one.
  unnamed_statement_ = 0;
  if (!PQsendQueryParams(conn_, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0)) RaiseResultError(nullptr, "");
  if (!PQsetSingleRowMode(conn_)) {
    while (Result rest{PQgetResult(conn_)}) {
    }
    CQZDBException::Raise(L"could not read the rows one at a time", "", PGRES_FATAL_ERROR);
  }
  Result first(PQgetResult(conn_));
  const ExecStatusType status = first ? PQresultStatus(first.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_SINGLE_TUPLE) {
    // The rest streams as the cursor reads it.
    auto cursor = std::make_unique<PostgresCursor>(this, std::move(first), PostgresCursor::Streaming{});
    streaming_ = cursor.get();
    return cursor;
  }
  // Over already: no rows, no result set at all, or an error. (A COPY state
  // is left to Check, which ends it; reading on would never see the end.)
  if (status != PGRES_COPY_IN && status != PGRES_COPY_OUT && status != PGRES_COPY_BOTH) {
    while (Result rest{PQgetResult(conn_)}) {
    }
  }
  return std::make_unique<PostgresCursor>(this, Check(std::move(first), ""));
}

void PostgresConnection::StartStream(PostgresCursor* cursor, const std::string& sql, uint64_t statement) {
  Quiesce();
  EnsureLink();
  const bool parsed = statement != 0 && statement == unnamed_statement_;
  unnamed_statement_ = 0;
  const int sent = parsed ? PQsendQueryPrepared(conn_, "", 0, nullptr, nullptr, nullptr, 0)
                          : PQsendQueryParams(conn_, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
  if (!sent) RaiseResultError(nullptr, "");
  if (!PQsetSingleRowMode(conn_)) {
    // Cannot happen right after a send; finish the query rather than leave
    // it half read.
    while (Result rest{PQgetResult(conn_)}) {
    }
    CQZDBException::Raise(L"could not read the rows one at a time", "", PGRES_FATAL_ERROR);
  }
  streaming_ = cursor;
}

Result PostgresConnection::NextStreamResult(PostgresCursor* cursor) {
  if (streaming_ != cursor) return nullptr;
  Result result(PQgetResult(conn_));
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_COMMAND_OK;
  if (status == PGRES_SINGLE_TUPLE) return result;
  // The end of the rows or an error: the query is over once libpq says so.
  while (Result rest{PQgetResult(conn_)}) {
  }
  streaming_ = nullptr;
  if (status == PGRES_TUPLES_OK) return nullptr;
  return result;
}

void PostgresConnection::AbandonStream(PostgresCursor* cursor) {
  if (streaming_ != cursor) return;
  streaming_ = nullptr;
  // A short result has usually arrived whole by now: take what is there
  // without waiting. Only a query still sending is cancelled (which costs
  // the server a new connection), and what it sent before is dropped.
  PQconsumeInput(conn_);
  while (!PQisBusy(conn_)) {
    Result result(PQgetResult(conn_));
    if (!result) return;
  }
  if (PGcancel* cancel = PQgetCancel(conn_)) {
    char error[256];
    PQcancel(cancel, error, sizeof error);
    PQfreeCancel(cancel);
  }
  while (Result rest{PQgetResult(conn_)}) {
  }
}

// --- Rows written ---------------------------------------------------------

void PostgresConnection::BindTexts(const FieldValue* fields, size_t count, size_t first) {
  if (param_text_.size() < first + count) param_text_.resize(first + count);
  param_values_.resize(first + count);
  for (size_t i = 0; i < count; ++i) {
    std::string& text = param_text_[first + i];
    param_values_[first + i] = ValueText(fields[i].value, &text) ? text.c_str() : nullptr;
  }
}

const std::string& PostgresConnection::PrepareInsert(const std::string& signature, const std::string& sql) {
  for (size_t i = inserts_.size(); i-- > 0;) {
    if (inserts_[i].signature == signature) {
      if (i + 1 != inserts_.size()) std::swap(inserts_[i], inserts_.back());
      return inserts_.back().name;
    }
  }
  if (inserts_.size() >= kPreparedInsertLimit) {
    const std::string deallocate = "DEALLOCATE " + inserts_.front().name;
    RunCommand(deallocate.c_str());
    inserts_.erase(inserts_.begin());
  }
  PreparedInsert entry{signature, "qz_insert_" + std::to_string(next_statement_number_++)};
  // No parameter types: the server takes each from its column, so every
  // value can travel as text in the column's own input syntax.
  unnamed_statement_ = 0;
  Check(Result(PQprepare(conn_, entry.name.c_str(), sql.c_str(), 0, nullptr)), "preparing an insert");
  inserts_.push_back(std::move(entry));
  return inserts_.back().name;
}

void PostgresConnection::InsertRow(const std::wstring& table, const FieldValue* fields, size_t count) {
  if (closed_) CQZDBException::Raise(L"the connection is closed", kConnectionFailure, CONNECTION_BAD);
  BuildTarget(&sql_scratch_, table, fields, count);
  if (depth_ > 0 && count > 0) {
    CopyRow(sql_scratch_, fields, count);
    return;
  }
  Quiesce();
  EnsureLink();
  const std::string signature = sql_scratch_;
  std::string sql = "INSERT INTO " + signature;
  if (count == 0) {
    sql += " DEFAULT VALUES";
  } else {
    sql += " VALUES (";
    for (size_t i = 0; i < count; ++i) sql += (i ? ",$" : "$") + std::to_string(i + 1);
    sql += ')';
  }
  const std::string name = PrepareInsert(signature, sql);
  BindTexts(fields, count, 0);
  unnamed_statement_ = 0;
  Check(Result(PQexecPrepared(conn_, name.c_str(), static_cast<int>(count), param_values_.data(), nullptr, nullptr, 0)),
        "");
}

void PostgresConnection::UpdateRow(const std::wstring& table, const RowKey& key, const FieldValue* fields,
                                   size_t count) {
  if (closed_) CQZDBException::Raise(L"the connection is closed", kConnectionFailure, CONNECTION_BAD);
  if (count == 0) return;
  Quiesce();
  EnsureLink();
  std::string sql = "UPDATE ";
  AppendIdentifier(&sql, table);
  sql += " SET ";
  for (size_t i = 0; i < count; ++i) {
    if (i) sql += ',';
    AppendIdentifier(&sql, fields[i].column);
    sql += "=$" + std::to_string(i + 1);
  }
  sql += " WHERE ";
  for (size_t i = 0; i < key.columns.size(); ++i) {
    if (i) sql += " AND ";
    AppendIdentifier(&sql, key.columns[i]);
    sql += "=$" + std::to_string(count + i + 1);
  }
  BindTexts(fields, count, 0);
  for (size_t i = 0; i < key.values.size(); ++i) param_values_.push_back(key.values[i].c_str());
  unnamed_statement_ = 0;
  Check(Result(PQexecParams(conn_, sql.c_str(), static_cast<int>(param_values_.size()), nullptr, param_values_.data(),
                            nullptr, nullptr, 0)),
        "");
}

const std::vector<std::wstring>& PostgresConnection::PrimaryKey(const std::wstring& table) {
  for (const PrimaryKeyEntry& entry : primary_keys_)
    if (entry.table == table) return entry.columns;
  Quiesce();
  EnsureLink();
  std::string name;
  AppendIdentifier(&name, table);
  const char* params[] = {name.c_str()};
  static const char kSql[] =
      "SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey) "
      "WHERE i.indrelid = $1::regclass AND i.indisprimary ORDER BY array_position(i.indkey::int2[], a.attnum)";
  unnamed_statement_ = 0;
  Result result =
      Check(Result(PQexecParams(conn_, kSql, 1, nullptr, params, nullptr, nullptr, 0)), "reading the primary key");
  PrimaryKeyEntry entry{table, {}};
  for (int row = 0; row < PQntuples(result.get()); ++row)
    entry.columns.push_back(platform::Utf8ToWide(PQgetvalue(result.get(), row, 0)));
  primary_keys_.push_back(std::move(entry));
  return primary_keys_.back().columns;
}

// --- The COPY stream ------------------------------------------------------
// Inside a transaction, inserts with the same table and columns become the
// rows of one COPY ... FROM STDIN, sent in chunks as they fill. The server
// checks each row as it arrives; the first failure ends the COPY, and it is
// reported when the stream is finished: by the next statement, savepoint,
// commit or read on the connection.

void PostgresConnection::CopyRow(const std::string& signature, const FieldValue* fields, size_t count) {
  if (copying_ && copy_signature_ != signature) FinishCopy(true);
  if (!copying_) {
    Quiesce();
    EnsureLink();
    const std::string sql = "COPY " + signature + " FROM STDIN";
    unnamed_statement_ = 0;
    Result result(PQexec(conn_, sql.c_str()));
    if (!result || PQresultStatus(result.get()) != PGRES_COPY_IN) RaiseResultError(result.get(), "");
    copying_ = true;
    copy_signature_ = signature;
    copy_buffer_.clear();
    copy_rows_ = 0;
  }
  std::string& scratch = param_text_.empty() ? param_text_.emplace_back() : param_text_[0];
  for (size_t i = 0; i < count; ++i) {
    if (i) copy_buffer_.push_back('\t');
    AppendCopyField(&copy_buffer_, fields[i].value, &scratch);
  }
  copy_buffer_.push_back('\n');
  ++copy_rows_;
  if (copy_buffer_.size() >= kCopyChunkBytes) SendCopyBuffer();
}

void PostgresConnection::SendCopyBuffer() {
  if (copy_buffer_.empty()) return;
  const int sent = PQputCopyData(conn_, copy_buffer_.data(), static_cast<int>(copy_buffer_.size()));
  copy_buffer_.clear();
  // libpq refuses more data once the server has ended the COPY with an
  // error, or the link is gone: finish now so that the failure is reported.
  if (sent != 1) FinishCopy(true);
}

void PostgresConnection::FinishCopy(bool keep) {
  if (!copying_) return;
  bool sent = true;
  if (keep && !copy_buffer_.empty())
    sent = PQputCopyData(conn_, copy_buffer_.data(), static_cast<int>(copy_buffer_.size())) == 1;
  copy_buffer_.clear();
  copying_ = false;
  // Ending with an error message makes the server drop every row sent.
  if (sent) sent = PQputCopyEnd(conn_, keep ? nullptr : "rows discarded by a rollback") == 1;
  Result failure;
  for (int guard = 0; guard < 16; ++guard) {
    Result result(PQgetResult(conn_));
    if (!result) break;
    const ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_COPY_IN) {
      PQputCopyEnd(conn_, "abandoned");
      continue;
    }
    if (status != PGRES_COMMAND_OK && !failure) failure = std::move(result);
  }
  if (!keep) {
    NoteLinkLoss();
    return;
  }
  if (failure) RaiseResultError(failure.get(), "adding rows");
  if (!sent) RaiseResultError(nullptr, "adding rows");
}

// --- Factory --------------------------------------------------------------

// connect1 is where: a host, "host:port", "[v6 address]:port", or a socket
// folder (starting with '/'); connect2 the database, connect3 the user,
// connect4 the password. Empty texts leave libpq's defaults.
std::unique_ptr<Connection> ConnectPostgres(const ConnectionTexts& texts) {
  if (texts.connect2.empty())
    CQZDBException::Raise(L"no database named: the second connection text is empty", kConnectionNotOpened,
                          CONNECTION_BAD);
  std::string where = platform::WideToUtf8(texts.connect1);
  std::string host = where, port;
  if (!where.empty() && where.front() == '[') {
    const size_t close = where.find(']');
    if (close != std::string::npos) {
      host = where.substr(1, close - 1);
      if (where.compare(close + 1, 1, ":") == 0) port = where.substr(close + 2);
    }
  } else if (!where.empty() && where.front() != '/') {
    const size_t colon = where.find(':');
    if (colon != std::string::npos && where.find(':', colon + 1) == std::string::npos) {
      host = where.substr(0, colon);
      port = where.substr(colon + 1);
    }
  }
  std::vector<std::string> keywords, values;
  auto add = [&](const char* keyword, std::string value) {
    if (value.empty()) return;
    keywords.emplace_back(keyword);
    values.push_back(std::move(value));
  };
  add("host", host);
  add("port", port);
  add("dbname", platform::WideToUtf8(texts.connect2));
  add("user", platform::WideToUtf8(texts.connect3));
  add("password", platform::WideToUtf8(texts.connect4));
  add("client_encoding", "UTF8");
  // ISO dates whatever the server's default, so timestamps parse.
  add("options", "-c DateStyle=ISO,YMD");
  add("application_name", "QZNVGeZhuanDBCtrlU");
  add("connect_timeout", "10");

  std::wstring description = L"postgresql ";
  if (!texts.connect3.empty()) description += texts.connect3 + L"@";
  description += (texts.connect1.empty() ? L"(default)" : texts.connect1) + L"/" + texts.connect2;
  return std::make_unique<PostgresConnection>(std::move(keywords), std::move(values), std::move(description));
}

}  // namespace qz::access
