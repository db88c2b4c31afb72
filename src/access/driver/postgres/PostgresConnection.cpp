#include "access/driver/postgres/PostgresConnection.h"

#include <poll.h>

#include <cstring>

#include "access/driver/postgres/PostgresCursor.h"
#include "access/driver/postgres/PostgresErrors.h"
#include "access/driver/postgres/PostgresServerList.h"
#include "platform/TextEncoding.h"

namespace qz::access::postgres {
namespace {

// The server notices (NOTICE, WARNING, and the FATAL a dying backend sends
// while we are idle) are not for the user's terminal.
void IgnoreNotice(void*, const char*) {}

// Statement texts carry quoted literals (the callers' conditions) and quoted
// names. With standard_conforming_strings off, a backslash in a literal
// escapes the quote after it, so a quote doubled to keep it inside the
// literal could end it instead. The connection asks for it on; libpq knows
// what the server made of that, without a round trip.
bool KeepsStandardStrings(PGconn* conn) {
  const char* value = PQparameterStatus(conn, "standard_conforming_strings");
  return value && std::strcmp(value, "on") == 0;
}

// SQLSTATE: the server refused to establish the connection we need.
constexpr char kConnectionRejected[] = "08004";

[[noreturn]] void RaiseStandardStringsRefused(const std::wstring& description) {
  CQZDBException::Raise(
      L"the server does not keep standard_conforming_strings on, which the quoting of statement "
      L"texts relies on; the connection is not used (" +
          description + L")",
      kConnectionRejected, CONNECTION_BAD);
}

}  // namespace

PostgresConnection::PostgresConnection(std::vector<std::string> keywords, std::vector<std::string> values,
                                       std::wstring description, bool several_servers)
    : keywords_(std::move(keywords)),
      values_(std::move(values)),
      description_(std::move(description)),
      several_servers_(several_servers) {
  std::vector<const char*> keys, vals;
  for (size_t i = 0; i < keywords_.size(); ++i) {
    keys.push_back(keywords_[i].c_str());
    vals.push_back(values_[i].c_str());
  }
  keys.push_back(nullptr);
  vals.push_back(nullptr);
  // expand_dbname 0: a database name is only ever a name, never read as a
  // connection string of its own.
  conn_.reset(PQconnectdbParams(keys.data(), vals.data(), 0));
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    std::string message = conn_ ? TrimmedLines(PQerrorMessage(conn_)) : "out of memory";
    conn_.reset();
    CQZDBException::Raise(platform::Utf8ToWide(message) + L" (" + description_ + L")", kConnectionNotOpened,
                          CONNECTION_BAD);
  }
  if (!KeepsStandardStrings(conn_)) {
    conn_.reset();
    RaiseStandardStringsRefused(description_);
  }
  PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
}

PostgresConnection::~PostgresConnection() { Close(); }

void PostgresConnection::Close() {
  if (closed_) return;
  closed_ = true;
  if (streaming_) streaming_->LoseStream();
  streaming_ = nullptr;
  portal_reading_ = false;
  fetches_ahead_ = groups_owed_ = 0;
  // Rows still gathered for a COPY belong to a transaction that ends with
  // the connection: the server rolls it back.
  copying_ = false;
  copy_buffer_.clear();
  conn_.reset();
  transactions_.Forget();
  transaction_lost_ = false;
  begin_pending_ = false;
  holding_ = flight_open_ = false;
  inserts_.clear();
  shapes_.Clear([](const PreparedShape&) {});
  dropped_shapes_.clear();
  primary_keys_.clear();
}

std::wstring PostgresConnection::Describe() const {
  if (!several_servers_) return description_;
  return description_ + L" (on " + ServerInUse(closed_ ? nullptr : conn_.get()) + L")";
}

bool PostgresConnection::IsConnected() {
  if (closed_ || transaction_lost_) return false;
  const bool lost = PQstatus(conn_) != CONNECTION_OK;
  if (lost || ServerWentReadOnly()) {
    if (transactions_.depth() > 0) return !lost;
    // Outside a transaction a lost link, or a server that turned read-only,
    // is mended here (through the whole server list), so that a caller
    // asking before each operation never has to reopen after a restart or
    // a failover.
    PQreset(conn_);
    ForgetSessionState();
  }
  // A session without standard strings is connected, but EnsureLink refuses
  // to send anything on it, saying why.
  return PQstatus(conn_) == CONNECTION_OK;
}

// --- The link -------------------------------------------------------------

void PostgresConnection::ForgetSessionState() {
  // A pipeline cut short by a lost link must not outlive the new session.
  if (conn_ && PQpipelineStatus(conn_) != PQ_PIPELINE_OFF) PQexitPipelineMode(conn_);
  unnamed_statement_ = 0;
  if (streaming_) streaming_->LoseStream();
  streaming_ = nullptr;
  portal_reading_ = false;
  fetches_ahead_ = groups_owed_ = 0;
  copying_ = false;
  copy_buffer_.clear();
  inserts_.clear();  // prepared statements die with the session
  shapes_.Clear([](const PreparedShape&) {});
  dropped_shapes_.clear();
  transactions_.Forget();
  transaction_lost_ = false;
  begin_pending_ = false;
  holding_ = flight_open_ = false;
  commit_sent_ = false;
  // The server may be another one now (a promoted standby).
  token_table_ = TokenTable::kUnknown;
  commit_evidence_ = CommitEvidence::kNothingToSettle;
  commit_token_.clear();
  deletes_tokens_ = false;
  swept_ = false;
  look_again_ = false;
}

bool PostgresConnection::ServerWentReadOnly() const {
  if (!several_servers_) return false;
  if (look_again_) return true;
  // Servers since 14 report both whenever they change, with the answer to
  // the statement after a reload: no round trip is needed to notice.
  const char* read_only = PQparameterStatus(conn_, "default_transaction_read_only");
  const char* standby = PQparameterStatus(conn_, "in_hot_standby");
  return (read_only && std::strcmp(read_only, "on") == 0) || (standby && std::strcmp(standby, "on") == 0);
}

bool PostgresConnection::NoteLinkLoss() {
  if (!conn_ || PQstatus(conn_) == CONNECTION_OK) return false;
  if (transactions_.depth() > 0) transaction_lost_ = true;
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
  if (!KeepsStandardStrings(conn_)) RaiseStandardStringsRefused(description_);
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
  if (PQstatus(conn_) == CONNECTION_OK && !ServerWentReadOnly()) {
    // Turned off by a statement of the caller's: nothing more is sent.
    if (!KeepsStandardStrings(conn_)) RaiseStandardStringsRefused(description_);
    return;
  }
  if (transactions_.depth() > 0) {
    // The transaction began on a server that took writes; its statements
    // fail there now, and the caller's Rollback ends it on that server.
    if (PQstatus(conn_) == CONNECTION_OK)
      CQZDBException::Raise(L"the server turned read-only inside the transaction", kReadOnlyTransaction,
                            PGRES_FATAL_ERROR);
    transaction_lost_ = true;
    CQZDBException::Raise(
        L"the connection to the server was lost inside a transaction; the server rolled the "
        L"transaction back",
        kConnectionFailure, CONNECTION_BAD);
  }
  Reconnect();
}

// --- Transactions ---------------------------------------------------------
// The nesting is TransactionNesting's; here is what the server needs around
// it. Rows still gathered for a COPY go before a savepoint or commit (their
// error stops it); a link lost inside the transaction loses the whole
// transaction, which every level's Rollback then simply ends.

bool PostgresConnection::BeginTransaction() {
  if (closed_) return false;
  Quiesce();
  EnsureLink();
  // Only the outermost level holds answers back (HoldAnswers): a savepoint
  // cannot go out in the middle of a flight, so what an inner level runs
  // is answered at once, after the flight held so far (Quiesce sent it).
  holding_ = false;
  transactions_.Begin(*this);
  if (transactions_.depth() == 1) transaction_untouched_ = true;
  return true;
}

bool PostgresConnection::CommitTransaction() {
  if (closed_ || transactions_.depth() == 0) return false;
  if (transaction_lost_)
    CQZDBException::Raise(L"the connection to the server was lost inside the transaction; nothing was committed",
                          kConnectionFailure, CONNECTION_BAD);
  commit_sent_ = false;
  // A flight open goes out with the commit (PostgresFlight.cpp).
  if (!flight_open_) {
    Quiesce();
    EnsureLink();
  }
  try {
    transactions_.Commit(*this);
  } catch (CQZDBException* e) {
    // Only a COMMIT whose answer went with the link is in doubt; anything
    // else failed before the server could commit.
    if (!commit_sent_ || PQstatus(conn_) == CONNECTION_OK) throw;
    e->Delete();
    SettleLostCommit();
    // Committed: the statements whose answers the link took ran, their
    // counts unknown.
    for (SQZHeldAnswer& answer : held_answers_)
      if (answer.m_state == SQZHeldAnswer::pending) answer.m_state = SQZHeldAnswer::done;
  }
  return true;
}

bool PostgresConnection::RollbackTransaction() {
  if (closed_ || transactions_.depth() == 0) return false;
  holding_ = false;
  if (flight_open_) {
    // Only the outermost level holds answers back.
    if (LinkUsable()) {
      try {
        RollbackFlight();
      } catch (CQZDBException* e) {
        if (LinkUsable()) throw;
        e->Delete();  // the link went, and the transaction with it
      }
    }
    flight_open_ = false;
    transactions_.DropLevel();
    transaction_lost_ = false;
    return true;
  }
  if (copying_) FinishCopy(false);
  if (streaming_) streaming_->TakeRestOfStream();
  if (groups_owed_ > 0) DrainPipeline();
  if (!LinkUsable()) {
    // Already gone on the server; each level still ends here.
    transactions_.DropLevel();
  } else {
    try {
      transactions_.Rollback(*this);
    } catch (CQZDBException* e) {
      // A link lost now loses the transaction with it: that is a rollback.
      if (LinkUsable()) throw;
      e->Delete();
      transactions_.DropLevel();
    }
  }
  // The link is mended once the outermost level has ended.
  if (transactions_.depth() == 0) transaction_lost_ = false;
  return true;
}

bool PostgresConnection::LinkUsable() const { return !transaction_lost_ && PQstatus(conn_) == CONNECTION_OK; }

// BEGIN waits for the transaction's first statement and goes out with it,
// in one flight (RunWithBegin), or on its own just before a statement that
// cannot travel with it. A transaction that ran nothing costs nothing.
void PostgresConnection::BeginOutermost() {
  unnamed_statement_ = 0;
  if (token_table_ == TokenTable::kUnknown) FindTokenTable();
  commit_evidence_ = CommitEvidence::kNothingToSettle;
  begin_pending_ = true;
  holding_ = false;
}

void PostgresConnection::SendPendingBegin() {
  if (!begin_pending_) return;
  begin_pending_ = false;
  unnamed_statement_ = 0;
  // Whether the transaction may write comes in the same round trip: one
  // that cannot (a standby, a server fenced read-only) has no commit to
  // settle, and could not store a token anyway.
  Result result(PQexec(conn_, "BEGIN; SELECT current_setting('transaction_read_only')"));
  if (NoteWhetherWrites(result.get())) return;
  // A level that failed to begin is not open: leave the server outside
  // any transaction too.
  if (PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE) Result(PQexec(conn_, "ROLLBACK"));
  Check(std::move(result), "BEGIN");
  CQZDBException::Raise(L"BEGIN: the server did not say whether the transaction may write", "", PGRES_FATAL_ERROR);
}

bool PostgresConnection::NoteWhetherWrites(const PGresult* result) {
  if (!result || PQresultStatus(result) != PGRES_TUPLES_OK || PQntuples(result) != 1) return false;
  const bool writes = std::strcmp(PQgetvalue(result, 0, 0), "off") == 0;
  if (!writes)
    commit_evidence_ = CommitEvidence::kNothingToSettle;
  else
    commit_evidence_ = token_table_ == TokenTable::kPresent ? CommitEvidence::kToken : CommitEvidence::kNone;
  return true;
}

void PostgresConnection::CommitOutermost() {
  holding_ = false;  // statements after the transaction are answered at once
  // COMMIT of a failed transaction "succeeds" by rolling back: refuse it
  // instead of reporting the loss as a commit.
  if (PQtransactionStatus(conn_) == PQTRANS_INERROR)
    CQZDBException::Raise(L"a statement of the transaction failed; it cannot be committed, only rolled back", "25P02",
                          PGRES_FATAL_ERROR);
  if (begin_pending_) {
    // Nothing ran: there is nothing to commit.
    begin_pending_ = false;
    return;
  }
  commit_sent_ = true;
  if (flight_open_ || commit_evidence_ == CommitEvidence::kToken)
    CommitWithToken();
  else
    RunCommand("COMMIT");
  commit_sent_ = false;
}

void PostgresConnection::RollbackOutermost() {
  if (begin_pending_) {
    begin_pending_ = false;  // never sent: nothing to roll back
    return;
  }
  RunCommand("ROLLBACK");
}

void PostgresConnection::RunSavepointStatement(const std::string& sql) {
  SendPendingBegin();
  RunCommand(sql.c_str());
}

// --- Factory --------------------------------------------------------------

// connect1 is where: one server or a comma-separated list of them (see
// PostgresServerList.h); connect2 the database, connect3 the user, connect4
// the password. Empty texts leave libpq's defaults.
std::unique_ptr<Connection> ConnectPostgres(const ConnectionTexts& texts) {
  if (texts.connect2.empty())
    CQZDBException::Raise(L"no database named: the second connection text is empty", kConnectionNotOpened,
                          CONNECTION_BAD);
  const std::vector<ServerAddress> servers = ParseServerList(platform::WideToUtf8(texts.connect1));
  std::string host, port;
  ServerListValues(servers, &host, &port);
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
  // ISO dates whatever the server's default, so timestamps parse; standard
  // strings, so quoted texts mean what they say (the connection checks).
  add("options", "-c DateStyle=ISO,YMD -c standard_conforming_strings=on");
  add("application_name", "QZNVGeZhuanDBCtrlU");
  add("connect_timeout", "10");
  // Of several servers only the primary will do: libpq passes over a
  // standby, and an old primary that was fenced read-only.
  const bool several = servers.size() > 1;
  if (several) add("target_session_attrs", "read-write");

  std::wstring description = L"postgresql ";
  if (!texts.connect3.empty()) description += texts.connect3 + L"@";
  description += (texts.connect1.empty() ? L"(default)" : texts.connect1) + L"/" + texts.connect2;
  return std::make_unique<PostgresConnection>(std::move(keywords), std::move(values), std::move(description), several);
}

}  // namespace qz::access::postgres
