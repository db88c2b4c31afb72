// Settling a COMMIT whose answer was lost.
//
// When the link goes while COMMIT is on its way, the server may have
// committed or not: it may have written the commit, and with synchronous
// replication its standby too, and died before answering. Reporting a
// failure then would let the caller believe nothing was stored, reporting
// success would be a guess. So the driver connects again (through the whole
// server list: after a failover that is the promoted standby, which holds
// every commit the old primary made) and asks the server what became of the
// transaction's number, learned when it began.
//
// The number of a transaction that the standby never saw any of may be
// handed out again by the promoted server. Asking at once, as the first
// thing after reconnecting, keeps the window for that to the first moments
// after the promotion, when another client would have to commit a write
// under exactly that number.
#include <chrono>
#include <cstring>
#include <thread>

#include "access/driver/postgres/PostgresConnection.h"
#include "access/driver/postgres/PostgresErrors.h"
#include "platform/TextEncoding.h"

namespace qz::access::postgres {
namespace {

// How long a COMMIT whose answer was lost waits for a server to ask: long
// enough for a standby to be promoted, short enough that a host program
// sees an answer while its user still waits for one.
constexpr std::chrono::seconds kSettleWait{30};
constexpr std::chrono::milliseconds kSettleRetry{50};

enum class Outcome { kCommitted, kNotCommitted, kUndecided };

}  // namespace

void PostgresConnection::SettleLostCommit() {
  const std::string number = transaction_number_;
  if (number.empty()) {
    ForgetSessionState();
    CQZDBException::Raise(
        L"the connection to the server was lost while committing; whether the transaction was committed is unknown",
        kCommitOutcomeUnknown, CONNECTION_BAD);
  }
  const auto deadline = std::chrono::steady_clock::now() + kSettleWait;
  for (;;) {
    PQreset(conn_);
    ForgetSessionState();
    Outcome outcome = Outcome::kUndecided;
    if (PQstatus(conn_) == CONNECTION_OK) {
      const char* params[] = {number.c_str()};
      Result result(PQexecParams(conn_, "SELECT txid_status($1::bigint)", 1, nullptr, params, nullptr, nullptr, 0));
      const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
      if (status == PGRES_TUPLES_OK && PQntuples(result.get()) == 1) {
        const std::string answer = PQgetvalue(result.get(), 0, 0);
        // "in progress": the old session's backend is still committing on
        // a server that lives on (only the link broke); ask again.
        if (answer == "committed") outcome = Outcome::kCommitted;
        if (answer == "aborted") outcome = Outcome::kNotCommitted;
      } else if (const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr) {
        // "transaction ID is in the future": the server never saw the
        // transaction, so it cannot have committed it.
        if (std::strcmp(state, "22023") == 0) outcome = Outcome::kNotCommitted;
      }
    }
    if (outcome == Outcome::kCommitted) return;
    if (outcome == Outcome::kNotCommitted)
      CQZDBException::Raise(
          L"the connection to the server was lost while committing; the server did not commit the transaction",
          kConnectionFailure, CONNECTION_BAD);
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kSettleRetry);
  }
  CQZDBException::Raise(
      L"the connection to the server was lost while committing, and no server could say in time "
      L"whether transaction " +
          platform::Utf8ToWide(number) + L" was committed",
      kCommitOutcomeUnknown, CONNECTION_BAD);
}

}  // namespace qz::access::postgres
