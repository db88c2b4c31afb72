// A query of few rows with a following one (ExecuteWithFollowing: a read
// by key and its items), both kept prepared, in one round trip.
//
// Once the first query's shape is known to fit in one chunk it runs kept
// prepared rather than through the portal (PostgresExecution.cpp). Its
// following query then goes in the same flight, kept prepared too:
//   [BEGIN ISOLATION LEVEL REPEATABLE READ;] first; following; [COMMIT;] sync
// and both results are read whole, as the portal reads such a query in one
// chunk. The two read one snapshot, as through the portal (a caller's
// transaction is never given a following query).
//
// The following query's answer waits for the first cursor's TakeFollowing:
// its failure is raised there, so that it is told from the first's. A
// failure inside the transaction begun for the flight leaves it aborted;
// it is rolled back before the call returns. A kept statement gone stale
// is recovered from as elsewhere: the first runs afresh as text (and the
// following then goes its own way), the following runs afresh on its own.
#include <string>
#include <vector>

#include "access/driver/postgres/PostgresConnection.h"
#include "access/driver/postgres/PostgresCursor.h"

namespace qz::access::postgres {
namespace {

// The result one statement of a pipeline gives, read up to its end.
Result NextStatementResult(PGconn* conn) {
  Result result(PQgetResult(conn));
  if (result && PQresultStatus(result.get()) != PGRES_PIPELINE_SYNC) {
    while (Result rest{PQgetResult(conn)}) {
    }
  }
  return result;
}

bool Failed(const PGresult* result) {
  const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
  return status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK;
}

}  // namespace

std::unique_ptr<Cursor> PostgresConnection::RunKeptWithFollowing(const std::string& name,
                                                                 const std::vector<std::string>& params,
                                                                 bool untouched) {
  const std::string first_name = name;  // PreparedFor below may reorder the cache
  const std::vector<std::string> first_params = params;
  KeptFollowing& following = kept_following_;
  const PreparedShape* kept = following.shape.keep ? PreparedFor(following.shape.text) : nullptr;
  const bool begin = PQtransactionStatus(conn_) == PQTRANS_IDLE;
  unnamed_statement_ = 0;
  if (!PQenterPipelineMode(conn_)) RaiseResultError(nullptr, "");
  std::vector<const char*> first_values;
  for (const std::string& value : first_params) first_values.push_back(value.c_str());
  const std::vector<const char*>& values = LiteralPointers(following.shape.literals);
  const bool sent =
      (!begin ||
       PQsendQueryParams(conn_, "BEGIN ISOLATION LEVEL REPEATABLE READ", 0, nullptr, nullptr, nullptr, nullptr, 0)) &&
      PQsendQueryPrepared(conn_, first_name.c_str(), static_cast<int>(first_values.size()), first_values.data(),
                          nullptr, nullptr, 0) &&
      (kept ? PQsendQueryPrepared(conn_, kept->name.c_str(), static_cast<int>(values.size()), values.data(), nullptr,
                                  nullptr, 0)
            : PQsendQueryParams(conn_, following.text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0)) &&
      (!begin || PQsendQueryParams(conn_, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0)) && PQpipelineSync(conn_);
  if (!sent) {
    FinishPipeline();
    RaiseResultError(nullptr, "");
  }
  Result began = begin ? NextStatementResult(conn_) : Result();
  Result first = NextStatementResult(conn_);
  Result second = NextStatementResult(conn_);
  Result committed = begin ? NextStatementResult(conn_) : Result();
  FinishPipeline();
  if (PQstatus(conn_) != CONNECTION_OK) RaiseResultError(nullptr, "");
  // COMMIT skipped after a failure leaves the transaction aborted.
  if (begin && PQtransactionStatus(conn_) != PQTRANS_IDLE) Result(PQexec(conn_, "ROLLBACK"));
  if (begin && Failed(began.get())) RaiseResultError(began.get(), "BEGIN");
  if (Failed(first.get())) {
    if (RecoverFromStale(first.get(), untouched)) return nullptr;
    return std::make_unique<PostgresCursor>(this, Check(std::move(first), ""));
  }
  // A failed COMMIT of a read: what the first answered did not stand.
  if (begin && !Failed(second.get()) && Failed(committed.get())) RaiseResultError(committed.get(), "COMMIT");
  auto cursor = std::make_unique<PostgresCursor>(this, std::move(first));
  following.owner = cursor.get();
  following.result = std::move(second);
  return cursor;
}

std::unique_ptr<Cursor> PostgresConnection::OpenKeptFollowing(PostgresCursor* cursor) {
  KeptFollowing& following = kept_following_;
  if (following.owner != cursor) return nullptr;
  following.owner = nullptr;
  Result result = std::move(following.result);
  if (!Failed(result.get())) return std::make_unique<PostgresCursor>(this, std::move(result));
  // Outside a transaction the statement gone stale runs afresh as text;
  // inside the caller's, which the first query touched, it is spoiled.
  if (!RecoverFromStale(result.get(), false))
    return std::make_unique<PostgresCursor>(this, Check(std::move(result), ""));
  Quiesce();
  EnsureLink();
  DeallocateDropped();
  SendPendingBegin();
  return RunQuery(following.text);
}

void PostgresConnection::NoteFollowing(const std::string& text) {
  KeptFollowing& following = kept_following_;
  following.owner = nullptr;
  following.result.reset();
  following.text = text;
  ShapeOfStatement(text, MarkerStyle::kDollarNumbered, &following.shape);
  // Seen now, so that it is kept prepared by the time the first query runs
  // kept: both are prepared on the same call.
  if (following.shape.keep && !shapes_.Find(following.shape.text)) shapes_.Admit(following.shape.text);
}

}  // namespace qz::access::postgres
