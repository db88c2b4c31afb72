// Committing so that a lost answer can be settled, and settling it, on the
// server engines reached through ODBC (PostgreSQL, MySQL and MariaDB; an
// SQLite file has no link to lose).
//
// When the link goes while COMMIT is on its way, the server may have
// committed or not. So a transaction that wrote stores a token of its own,
// 128 random bits, in the table QZCommitToken just before its COMMIT: the
// row exists exactly when the transaction committed. After a lost answer
// the driver connects again and inserts the token itself, marked fenced,
// waiting a bounded time for the old transaction's lock. If the token is
// there already, or arrives while the insert waits, it is read back
// unfenced: committed. If the fenced row goes in, the old transaction can
// never commit, since its own insert of the token collides with it: not
// committed, for good. When neither can be established within the wait,
// the commit reports that its outcome is unknown.
//
// The token of a commit known to have happened is deleted by the session's
// next writing transaction.
#include <thread>

#include "access/driver/CommitToken.h"
#include "access/driver/odbc/OdbcConnection.h"

namespace qz::access::odbc {
namespace {

constexpr std::chrono::milliseconds kSettleRetry{50};

// The tokens are hex digits the driver made itself, so they go into the
// statements as literals.
std::wstring Literal(const std::string& token) { return L"'" + std::wstring(token.begin(), token.end()) + L"'"; }

[[noreturn]] void RaiseOutcomeUnknown(const std::wstring& why) {
  CQZDBException::Raise(
      L"the connection to the server was lost while committing, and whether the transaction was committed cannot "
      L"be established: " +
          why,
      kCommitOutcomeUnknown, 0);
}

}  // namespace

void OdbcConnection::FindTokenTable() {
  if (token_table_ != TokenTable::kUnknown) return;
  token_table_ = TokenTable::kAbsent;
  if (dialect_ != SqlDialect::kPostgres && dialect_ != SqlDialect::kMySql) return;
  const std::wstring probe = L"SELECT 1 FROM QZCommitToken WHERE 1 = 0";
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      RunDirect(probe);
      token_table_ = TokenTable::kPresent;
      return;
    } catch (CQZDBException* e) {
      e->Delete();
    }
    if (link_lost_ || attempt > 0) return;
    // A database made before the table existed. A server that takes no
    // writes, a user who may not create tables, or another session making
    // it at the same moment make this fail; whatever the database holds
    // then is what counts. Without the table a lost commit cannot be
    // settled.
    const char* create = dialect_ == SqlDialect::kPostgres ? kCreateCommitTokenTable : kCreateMariaDbCommitTokenTable;
    try {
      RunDirect(std::wstring(create, create + std::char_traits<char>::length(create)));
    } catch (CQZDBException* e) {
      e->Delete();
    }
  }
}

void OdbcConnection::StoreCommitToken() {
  commit_token_.clear();
  if (!wrote_ || token_table_ != TokenTable::kPresent) return;
  if (!spent_tokens_.empty()) {
    std::wstring list;
    for (const std::string& token : spent_tokens_) list += (list.empty() ? L"" : L",") + Literal(token);
    // Forgotten once this transaction commits.
    RunDirect(L"DELETE FROM QZCommitToken WHERE Token IN (" + list + L")");
  }
  const std::string token = NewCommitToken();
  RunDirect(L"INSERT INTO QZCommitToken (Token) VALUES (" + Literal(token) + L")");
  commit_token_ = token;
}

OdbcConnection::Outcome OdbcConnection::FenceToken(const std::string& token) {
  const bool postgres = dialect_ == SqlDialect::kPostgres;
  try {
    // Waiting for a live old transaction is bounded, and then tried again.
    if (!postgres) RunDirect(L"SET SESSION innodb_lock_wait_timeout = 1");
    SetAutocommit(false);
    if (postgres) RunDirect(L"SET LOCAL lock_timeout = '1s'");
    RunDirect(L"INSERT INTO QZCommitToken (Token, Fenced) VALUES (" + Literal(token) + L", TRUE) " +
              (postgres ? L"ON CONFLICT (Token) DO NOTHING" : L"ON DUPLICATE KEY UPDATE Token = Token"));
    // The row is the transaction's own, or one fenced by this or an
    // earlier try whose answer was lost in turn.
    const std::optional<std::wstring> fenced =
        QueryText(L"SELECT CASE WHEN Fenced THEN 1 ELSE 0 END FROM QZCommitToken WHERE Token = " + Literal(token) +
                  L" FOR UPDATE");
    Outcome outcome = Outcome::kUndecided;
    if (fenced == L"0") outcome = Outcome::kCommitted;
    if (fenced == L"1") outcome = Outcome::kNotCommitted;
    // Not committed is known only once the fenced row is.
    if (!SQL_SUCCEEDED(
            SQLEndTran(SQL_HANDLE_DBC, connection_.get(), outcome == Outcome::kUndecided ? SQL_ROLLBACK : SQL_COMMIT)))
      return Outcome::kUndecided;
    SetAutocommit(true);
    if (!postgres) RunDirect(L"SET SESSION innodb_lock_wait_timeout = DEFAULT");
    return outcome;
  } catch (CQZDBException* e) {
    e->Delete();
    // The session is dropped for the next try: end what it holds first.
    if (connection_) SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_ROLLBACK);
    return Outcome::kUndecided;
  }
}

void OdbcConnection::SettleLostCommit() {
  const std::string token = std::move(lost_token_);
  lost_token_.clear();
  commit_answer_lost_ = false;
  if (token.empty()) {
    // The transaction is over either way; the next call starts afresh.
    Disconnect();
    link_lost_ = true;
    RaiseOutcomeUnknown(L"the database has no table QZCommitToken to settle it by, and it could not be created");
  }
  const auto deadline = std::chrono::steady_clock::now() + kCommitSettleWait;
  for (;;) {
    Outcome outcome = Outcome::kUndecided;
    try {
      Reconnect();
      outcome = FenceToken(token);
    } catch (CQZDBException* e) {
      e->Delete();
    }
    if (outcome == Outcome::kCommitted) {
      link_lost_ = false;
      token_table_ = TokenTable::kPresent;
      spent_tokens_.push_back(token);
      return;
    }
    if (outcome == Outcome::kNotCommitted) {
      link_lost_ = false;
      CQZDBException::Raise(
          L"the connection to the server was lost while committing; the server did not commit the transaction",
          kConnectionFailure, 0);
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kSettleRetry);
  }
  link_lost_ = true;
  RaiseOutcomeUnknown(L"no server could say within " + std::to_wstring(kCommitSettleWait.count()) + L" s");
}

}  // namespace qz::access::odbc
