// Committing so that a lost answer can be settled, and settling it.
//
// When the link goes while COMMIT is on its way, the server may have
// committed or not: it may have written the commit, and with synchronous
// replication its standby too, and died before answering. Reporting a
// failure then would let the caller believe nothing was stored, reporting
// success would be a guess.
//
// So a transaction that writes stores a token of its own, 128 random bits,
// in the table QZCommitToken, sent in the same flight as its COMMIT (no
// round trip of its own): the row exists exactly when the transaction
// committed. After a lost answer the driver connects again, through the
// whole server list (after a failover that is the promoted standby, which
// holds every commit the old primary was allowed to report), and looks for
// the token there. The transaction's number would not do: a promoted
// standby hands out again the numbers of the transactions it never saw, so
// another writer's commit could read as ours.
//
// Looking alone is not enough while the old transaction may still be alive
// (only the link broke and the server lives on): its COMMIT might yet run.
// So the settling side inserts the token itself, marked fenced. If the
// token is there already, or arrives while the insert waits for the old
// transaction to end, the insert finds it: committed. If the fenced row goes
// in, the old transaction can never commit, since its own insert of the
// token would collide with it: not committed, for good.
//
// The tokens of commits known to have happened are deleted in batches,
// inside the session's later write transactions and in the flight of their
// COMMIT; tokens a session leaves behind (it ended, its commit was fenced)
// go after a day, far past any settling.
#include <chrono>
#include <cstring>
#include <thread>

#include "access/driver/CommitToken.h"
#include "access/driver/postgres/PostgresConnection.h"
#include "access/driver/postgres/PostgresErrors.h"

namespace qz::access::postgres {
namespace {

constexpr std::chrono::milliseconds kSettleRetry{50};

// Tokens of known commits deleted together by a later transaction.
constexpr size_t kSpentTokenBatch = 16;

// SQLSTATE: no such table.
constexpr char kUndefinedTable[] = "42P01";

// Whether the session may store tokens, and delete them.
constexpr char kFindTokenTable[] =
    "SELECT t IS NOT NULL AND has_table_privilege(t, 'INSERT') AND has_table_privilege(t, 'SELECT'), "
    "t IS NOT NULL AND has_table_privilege(t, 'DELETE') FROM to_regclass('qzcommittoken') AS t";
// Only a transaction that wrote has a number assigned by now; one that did
// not has nothing to settle and leaves no row.
constexpr char kStoreToken[] =
    "INSERT INTO qzcommittoken (token) SELECT $1::uuid WHERE txid_current_if_assigned() IS NOT NULL";
constexpr char kDeleteSpentTokens[] = "DELETE FROM qzcommittoken WHERE token = ANY ($1::uuid[])";
// Rows another session is deleting at the same time are left to it, so the
// caller's transaction never waits here.
constexpr char kDeleteOldTokens[] =
    "DELETE FROM qzcommittoken WHERE token IN (SELECT token FROM qzcommittoken "
    "WHERE stored < now() - interval '1 day' FOR UPDATE SKIP LOCKED)";
// The settling side's transaction. Waiting for a live old transaction is
// bounded, and then tried again. Its commit need not wait for a standby:
// a standby's history is a prefix of its primary's, so no standby can hold
// the old commit once the fenced row went in ahead of it.
constexpr char kBeginFence[] = "BEGIN; SET LOCAL lock_timeout = '1s'; SET LOCAL synchronous_commit = local";
constexpr char kFenceToken[] =
    "INSERT INTO qzcommittoken (token, fenced) VALUES ($1::uuid, true) ON CONFLICT (token) DO NOTHING";
constexpr char kReadToken[] = "SELECT fenced FROM qzcommittoken WHERE token = $1::uuid";

bool Succeeded(const Result& result) {
  if (!result) return false;
  const ExecStatusType status = PQresultStatus(result.get());
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

bool HasState(const Result& result, const char* state) {
  const char* found = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
  return found && std::strcmp(found, state) == 0;
}

[[noreturn]] void RaiseOutcomeUnknown(const std::wstring& why) {
  CQZDBException::Raise(
      L"the connection to the server was lost while committing, and whether the transaction was committed cannot "
      L"be established: " +
          why,
      kCommitOutcomeUnknown, CONNECTION_BAD);
}

}  // namespace

// --- Committing -----------------------------------------------------------

bool PostgresConnection::LookForTokenTable() {
  Result found(PQexec(conn_, kFindTokenTable));
  if (!found || PQresultStatus(found.get()) != PGRES_TUPLES_OK || PQntuples(found.get()) != 1) return false;
  const bool present = std::strcmp(PQgetvalue(found.get(), 0, 0), "t") == 0;
  token_table_ = present ? TokenTable::kPresent : TokenTable::kAbsent;
  // Without the right to delete, tokens are not kept for deleting either.
  deletes_tokens_ = present && std::strcmp(PQgetvalue(found.get(), 0, 1), "t") == 0;
  return present;
}

void PostgresConnection::FindTokenTable() {
  unnamed_statement_ = 0;
  token_table_ = TokenTable::kAbsent;
  if (LookForTokenTable()) return;
  // A database made before the table existed. A server that takes no
  // writes, a user who may not create tables, or another session making it
  // at the same moment make this fail; whatever the database holds then is
  // what counts. Without the table a lost commit cannot be settled.
  Result(PQexec(conn_, kCreateCommitTokenTable));
  LookForTokenTable();
}

void PostgresConnection::CommitWithToken() {
  unnamed_statement_ = 0;
  const bool token = commit_evidence_ == CommitEvidence::kToken;
  commit_token_ = token ? NewCommitToken() : std::string();
  const bool flight = flight_open_;
  if (!flight && !PQenterPipelineMode(conn_)) RaiseResultError(nullptr, "COMMIT");
  // The token goes first: it is stored only when the statements before it
  // wrote, which the deletions after it, inside the transaction so that
  // they share its commit, would spoil. They leave rows another session is
  // deleting to it (see the texts).
  std::string spent;
  const bool delete_spent = token && deletes_tokens_ && spent_tokens_.size() >= kSpentTokenBatch;
  if (delete_spent) {
    spent = "{";
    for (const std::string& used : spent_tokens_) spent += (spent.size() > 1 ? "," : "") + used;
    spent += "}";
  }
  const bool sweep = token && deletes_tokens_ && !swept_;
  const char* spent_values[] = {spent.c_str()};
  const char* token_values[] = {commit_token_.c_str()};
  std::vector<Result> results;
  size_t before = 0;  // results of the flight's statements before the token
  bool sent = true;
  for (bool again = true; again;) {
    size_t statements = 0;
    auto send = [&](const char* sql, const char* const* values) {
      sent = sent && PQsendQueryParams(conn_, sql, values ? 1 : 0, nullptr, values, nullptr, nullptr, 0);
      if (sent) ++statements;
    };
    if (token) send(kStoreToken, token_values);
    if (delete_spent) send(kDeleteSpentTokens, spent_values);
    if (sweep) send(kDeleteOldTokens, nullptr);
    send("COMMIT", nullptr);
    sent = sent && PQpipelineSync(conn_);
    before = flight ? FlightLength() : 0;
    results = ReadFlight(conn_, before + statements);
    PQexitPipelineMode(conn_);  // refused on a lost link; ForgetSessionState ends it then
    flight_open_ = false;
    if (!sent) RaiseResultError(nullptr, "COMMIT");
    // A held statement's failure is raised here; a stale one sends the
    // flight again, as text.
    again = flight && JudgeHeldAnswers(results);
    if (again) ResendFlight();
  }

  const Result* stored = token ? &results[before] : nullptr;
  if (Succeeded(results.back())) {
    if (delete_spent || !deletes_tokens_) spent_tokens_.clear();
    if (sweep) swept_ = true;
    if (token && deletes_tokens_ && std::strcmp(PQcmdTuples(stored->get()), "1") == 0)
      spent_tokens_.push_back(commit_token_);
    commit_token_.clear();
    return;
  }
  // The transaction wrote nothing after all: whatever became of its COMMIT,
  // nothing was stored or lost.
  if (stored && Succeeded(*stored) && std::strcmp(PQcmdTuples(stored->get()), "0") == 0)
    commit_evidence_ = CommitEvidence::kNothingToSettle;
  for (size_t i = before; i < results.size(); ++i) {
    const Result& result = results[i];
    if (!result || Succeeded(result) || PQresultStatus(result.get()) == PGRES_PIPELINE_ABORTED) continue;
    // The table went away under the session: look for it (and make it)
    // again before the next transaction.
    if (HasState(result, kUndefinedTable)) token_table_ = TokenTable::kUnknown;
    if (&result == stored && HasState(result, kReadOnlyTransaction))
      CQZDBException::Raise(
          L"COMMIT: the transaction was made read-only after it began, so the token that settles a lost answer "
          L"cannot be stored; it can only be rolled back",
          kReadOnlyTransaction, PGRES_FATAL_ERROR);
    RaiseResultError(result.get(), "COMMIT");
  }
  RaiseResultError(nullptr, "COMMIT");
}

// --- Settling -------------------------------------------------------------

PostgresConnection::Outcome PostgresConnection::FenceToken(const std::string& token) {
  unnamed_statement_ = 0;
  if (!Succeeded(Result(PQexec(conn_, kBeginFence)))) {
    if (PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE)
      Result(PQexec(conn_, "ROLLBACK"));
    return Outcome::kUndecided;
  }
  const char* values[] = {token.c_str()};
  Outcome outcome = Outcome::kUndecided;
  Result fenced(PQexecParams(conn_, kFenceToken, 1, nullptr, values, nullptr, nullptr, 0));
  if (Succeeded(fenced) && std::strcmp(PQcmdTuples(fenced.get()), "1") == 0) {
    outcome = Outcome::kNotCommitted;
  } else if (Succeeded(fenced)) {
    // The token is there: the transaction's own, or one fenced by an
    // earlier try whose answer was lost in turn.
    Result found(PQexecParams(conn_, kReadToken, 1, nullptr, values, nullptr, nullptr, 0));
    if (Succeeded(found) && PQntuples(found.get()) == 1)
      outcome = std::strcmp(PQgetvalue(found.get(), 0, 0), "f") == 0 ? Outcome::kCommitted : Outcome::kNotCommitted;
  } else if (HasState(fenced, kUndefinedTable)) {
    outcome = Outcome::kNoTable;
  }
  if (outcome == Outcome::kCommitted || outcome == Outcome::kNotCommitted) {
    // Not committed is known only once the fenced row is.
    if (!Succeeded(Result(PQexec(conn_, "COMMIT")))) outcome = Outcome::kUndecided;
  } else if (PQstatus(conn_) == CONNECTION_OK) {
    Result(PQexec(conn_, "ROLLBACK"));
  }
  return outcome;
}

void PostgresConnection::SettleLostCommit() {
  const CommitEvidence evidence = commit_evidence_;
  const std::string token = commit_token_;
  // The next call connects again in these two cases.
  ForgetSessionState();
  if (evidence == CommitEvidence::kNothingToSettle) return;
  if (evidence == CommitEvidence::kNone)
    RaiseOutcomeUnknown(L"the database has no table QZCommitToken to settle it by, and it could not be created");
  PQreset(conn_);
  ForgetSessionState();
  const auto deadline = std::chrono::steady_clock::now() + kCommitSettleWait;
  for (;;) {
    Outcome outcome = Outcome::kUndecided;
    if (PQstatus(conn_) == CONNECTION_OK && !ServerWentReadOnly()) outcome = FenceToken(token);
    if (outcome == Outcome::kCommitted) {
      spent_tokens_.push_back(token);
      return;
    }
    if (outcome == Outcome::kNotCommitted)
      CQZDBException::Raise(
          L"the connection to the server was lost while committing; the server did not commit the transaction",
          kConnectionFailure, CONNECTION_BAD);
    if (outcome == Outcome::kNoTable)
      RaiseOutcomeUnknown(L"the server reached has no table QZCommitToken to settle it by");
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kSettleRetry);
    if (PQstatus(conn_) != CONNECTION_OK || ServerWentReadOnly()) {
      PQreset(conn_);
      ForgetSessionState();
    }
  }
  ForgetSessionState();
  RaiseOutcomeUnknown(L"no server could say within " + std::to_wstring(kCommitSettleWait.count()) + L" s");
}

}  // namespace qz::access::postgres
