#include "access/driver/postgres/PostgresConnection.h"
#include "access/driver/postgres/PostgresCursor.h"
#include "access/driver/postgres/PostgresStatementText.h"
#include "platform/TextEncoding.h"

namespace qz::access::postgres {

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

}  // namespace qz::access::postgres
