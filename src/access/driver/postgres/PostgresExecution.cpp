#include <cassert>
#include <cstring>

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

Result PostgresConnection::PrepareAndDescribe(const std::string& sql, const std::string& name) {
  unnamed_statement_ = 0;
  if (!PQenterPipelineMode(conn_)) {
    // Not possible on an idle link; take the two round trips instead.
    Check(Result(PQprepare(conn_, name.c_str(), sql.c_str(), 0, nullptr)), "");
    return Check(Result(PQdescribePrepared(conn_, name.c_str())), "");
  }
  if (!PQsendPrepare(conn_, name.c_str(), sql.c_str(), 0, nullptr) || !PQsendDescribePrepared(conn_, name.c_str()) ||
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
  if (flight_open_) FlushFlight();
  if (copying_) FinishCopy(true);
  if (streaming_) streaming_->TakeRestOfStream();
  if (groups_owed_ > 0 || PQpipelineStatus(conn_) != PQ_PIPELINE_OFF) DrainPipeline();
}

// --- Statement shapes -----------------------------------------------------
// A caller's text runs as written the first time its shape is seen. From
// the second time on the shape is prepared under a name and run with the
// text's literals as parameters, so the server parses and plans it once.

const std::vector<const char*>& PostgresConnection::LiteralPointers(const std::vector<std::string>& literals) {
  literal_pointers_.clear();
  for (const std::string& literal : literals) literal_pointers_.push_back(literal.c_str());
  return literal_pointers_;
}

const PostgresConnection::PreparedShape* PostgresConnection::PreparedFor(const std::string& text) {
  // The driver's own texts are fixed and always fit; a caller's text comes
  // here only as the shape the shaper judged fit to keep.
  assert(text != shape_.text || (shape_.is_data && shape_.keep));
  if (const PreparedShape* kept = shapes_.Find(text)) return kept;
  if (!shapes_.Admit(text)) return nullptr;
  PreparedShape prepared{"qz_shape_" + std::to_string(next_statement_number_++), false};
  Result described = PrepareAndDescribe(text, prepared.name);
  prepared.returns_rows = PQnfields(described.get()) > 0;
  shapes_.Put(text, prepared, [&](const PreparedShape& old) { dropped_shapes_.push_back(old.name); });
  return shapes_.Find(text);
}

void PostgresConnection::DeallocateDropped() {
  if (dropped_shapes_.empty() || transactions_.depth() > 0 || PQtransactionStatus(conn_) != PQTRANS_IDLE) return;
  for (const std::string& name : dropped_shapes_) {
    const std::string sql = "DEALLOCATE " + name;
    unnamed_statement_ = 0;
    Result(PQexec(conn_, sql.c_str()));  // a statement already gone is no loss
  }
  dropped_shapes_.clear();
}

Result PostgresConnection::RunCommandWithParameters(const std::string& sql, const std::vector<const char*>& values) {
  // The driver's own text: no literals, fixed whenever it is parsed.
  const PreparedShape* prepared = PreparedFor(sql);
  const bool untouched = TakeUntouched();
  unnamed_statement_ = 0;
  const int count = static_cast<int>(values.size());
  if (begin_pending_) {
    Result done = RunWithBegin(prepared ? prepared->name : std::string(), sql, values);
    if (!prepared || !RecoverFromStale(done.get(), untouched)) return Check(std::move(done), "");
  } else if (prepared) {
    Result done(PQexecPrepared(conn_, prepared->name.c_str(), count, values.data(), nullptr, nullptr, 0));
    if (!RecoverFromStale(done.get(), untouched)) return Check(std::move(done), "");
  }
  // A transaction begun again after a stale statement begins with this.
  SendPendingBegin();
  return Check(Result(PQexecParams(conn_, sql.c_str(), count, nullptr, values.data(), nullptr, nullptr, 0)), "");
}

Result PostgresConnection::RunWithBegin(const std::string& name, const std::string& sql,
                                        const std::vector<const char*>& values) {
  begin_pending_ = false;
  unnamed_statement_ = 0;
  const int count = static_cast<int>(values.size());
  if (!PQenterPipelineMode(conn_)) {
    // Not possible on an idle link; take the two round trips instead.
    begin_pending_ = true;
    SendPendingBegin();
    return Result(name.empty() ? PQexecParams(conn_, sql.c_str(), count, nullptr, values.data(), nullptr, nullptr, 0)
                               : PQexecPrepared(conn_, name.c_str(), count, values.data(), nullptr, nullptr, 0));
  }
  bool sent = SendBegin();
  if (sent)
    sent = name.empty() ? PQsendQueryParams(conn_, sql.c_str(), count, nullptr, values.data(), nullptr, nullptr, 0)
                        : PQsendQueryPrepared(conn_, name.c_str(), count, values.data(), nullptr, nullptr, 0);
  sent = sent && PQpipelineSync(conn_);
  std::vector<Result> results = ReadFlight(conn_, 3);
  PQexitPipelineMode(conn_);  // refused on a lost link; ForgetSessionState ends it then
  if (!sent && PQstatus(conn_) == CONNECTION_OK) {
    // Nothing, or not all, went out on a live link: leave the server
    // outside any transaction, as a BEGIN that failed does.
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE) Result(PQexec(conn_, "ROLLBACK"));
    RaiseResultError(nullptr, "BEGIN");
  }
  if (!results[0] || PQresultStatus(results[0].get()) != PGRES_COMMAND_OK) Check(std::move(results[0]), "BEGIN");
  NoteWhetherWrites(results[1].get());
  return std::move(results[2]);
}

// --- Kept statements gone stale -------------------------------------------
// A statement prepared under a name keeps the result columns it was
// prepared with. Another connection adding or dropping a column of a table
// it reads makes the server refuse it from then on (0A000, "cached plan
// must not change result type"); one that was deallocated behind our back
// is refused as 26000. Either way the text itself is still good.

bool PostgresConnection::TakeUntouched() {
  const bool untouched = transactions_.depth() == 0 || transaction_untouched_;
  transaction_untouched_ = false;
  return untouched;
}

bool PostgresConnection::RecoverFromStale(const PGresult* result, bool untouched) {
  if (!result || PQresultStatus(result) != PGRES_FATAL_ERROR || PQstatus(conn_) != CONNECTION_OK) return false;
  const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
  if (!state || (std::strcmp(state, "0A000") != 0 && std::strcmp(state, "26000") != 0)) return false;
  // A change to one table is seldom alone: every kept statement is let go,
  // and each is prepared again when its text comes back.
  shapes_.Clear([&](const PreparedShape& kept) { dropped_shapes_.push_back(kept.name); });
  if (transactions_.depth() == 0) return true;
  if (untouched && !copying_) {
    // Nothing of the caller's is lost by beginning again.
    transactions_.Restart(*this);
    return true;
  }
  RaiseResultError(result,
                   "a table changed under a statement this connection kept prepared (another connection altered "
                   "it), which spoils the transaction; roll it back and the next call prepares the statement afresh");
}

// --- Statements -----------------------------------------------------------

std::unique_ptr<Cursor> PostgresConnection::KeyedEditCursor() {
  if (closed_) return nullptr;
  return std::make_unique<PostgresCursor>(this, Result());
}

std::unique_ptr<Cursor> PostgresConnection::Execute(const std::wstring& sql, ROWOPERATION operation) {
  if (closed_) return nullptr;
  std::string text = platform::WideToUtf8(sql);
  ShapeOfStatement(text, MarkerStyle::kDollarNumbered, &shape_);
  if (MayHold(text, operation)) {
    // Its answer comes with the commit's (PostgresFlight.cpp).
    if (shape_.keep)
      HoldStatement(shape_.text, LiteralPointers(shape_.literals), true);
    else
      HoldStatement(text, {}, false);
    return std::make_unique<PostgresCursor>(this, Result());  // no rows, now or later
  }
  Quiesce();
  EnsureLink();
  DeallocateDropped();
  // A query read straight away goes through a portal, a chunk at a time
  // (its text parsed afresh each time), unless its shape is known to fit in
  // one chunk: such a query (a read by key) costs least kept prepared, its
  // few rows streamed one at a time.
  if (operation == ROWOPERATION_READONLY && ReadsThroughPortal(text)) {
    // A portal begins a transaction of its own when the server is outside
    // one: the caller's, begun but not yet sent, goes out first, so that the
    // query runs in it (the rows it locks stay locked to the commit).
    SendPendingBegin();
    if (!shape_.keep) return RunPortal(text, {}, nullptr);
    if (few_row_shapes_.count(shape_.text) == 0) return RunPortal(shape_.text, shape_.literals, &shape_.text);
  }
  const PreparedShape* prepared = shape_.keep ? PreparedFor(shape_.text) : nullptr;
  if (prepared && prepared->returns_rows && operation != ROWOPERATION_READONLY) {
    // Sent when a row is first asked for (StartStream).
    PendingQuery query;
    query.sql = std::move(text);
    query.name = prepared->name;
    query.params = shape_.literals;
    return std::make_unique<PostgresCursor>(this, std::move(query));
  }
  const bool untouched = TakeUntouched();
  if (prepared && prepared->returns_rows) {
    SendPendingBegin();
    // A following query (ExecuteWithFollowing) goes in the same flight.
    std::unique_ptr<Cursor> cursor = operation == ROWOPERATION_READONLY && !following_.empty()
                                         ? RunKeptWithFollowing(prepared->name, shape_.literals, untouched)
                                         : RunQuery(std::string(), prepared->name, shape_.literals, untouched);
    if (cursor) return cursor;
  } else if (prepared) {
    unnamed_statement_ = 0;
    const std::vector<const char*>& values = LiteralPointers(shape_.literals);
    Result done = begin_pending_ ? RunWithBegin(prepared->name, std::string(), values)
                                 : Result(PQexecPrepared(conn_, prepared->name.c_str(), static_cast<int>(values.size()),
                                                         values.data(), nullptr, nullptr, 0));
    if (!RecoverFromStale(done.get(), untouched))
      return std::make_unique<PostgresCursor>(this, Check(std::move(done), ""));
  }
  SendPendingBegin();
  // From here the text runs as written: its shape is not kept (yet), or the
  // statement kept for it went stale and was let go.
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
      PendingQuery query;
      query.sql = std::move(text);
      query.statement = unnamed_statement_;
      return std::make_unique<PostgresCursor>(this, std::move(query));
    }
    Result done = Check(Result(PQexecPrepared(conn_, "", 0, nullptr, nullptr, nullptr, 0)), "");
    return std::make_unique<PostgresCursor>(this, std::move(done));
  }
  unnamed_statement_ = 0;
  Result done = Check(Result(PQexecParams(conn_, text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0)), "");
  return std::make_unique<PostgresCursor>(this, std::move(done));
}

std::unique_ptr<Cursor> PostgresConnection::RunQuery(const std::string& sql, const std::string& name,
                                                     const std::vector<std::string>& params, bool untouched) {
  // Parse, bind, describe, execute and sync go out together; Open then waits
  // for the first row, the end of an empty result, or the statement's
  // error: one round trip in all. The server refuses a second statement in
  // the text as it does for a prepared one.
  unnamed_statement_ = 0;
  const std::vector<const char*>& values = LiteralPointers(params);
  const int sent = name.empty() ? PQsendQueryParams(conn_, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0)
                                : PQsendQueryPrepared(conn_, name.c_str(), static_cast<int>(values.size()),
                                                      values.data(), nullptr, nullptr, 0);
  if (!sent) RaiseResultError(nullptr, "");
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
  if (!name.empty() && RecoverFromStale(first.get(), untouched)) return nullptr;
  return std::make_unique<PostgresCursor>(this, Check(std::move(first), ""));
}

Result PostgresConnection::StartStream(PostgresCursor* cursor, const PendingQuery& query) {
  Quiesce();
  EnsureLink();
  SendPendingBegin();
  const bool untouched = TakeUntouched();
  const bool parsed = query.statement != 0 && query.statement == unnamed_statement_;
  unnamed_statement_ = 0;
  auto send = [&](bool by_name) {
    int sent;
    if (by_name) {
      const std::vector<const char*>& values = LiteralPointers(query.params);
      sent = PQsendQueryPrepared(conn_, query.name.c_str(), static_cast<int>(values.size()), values.data(), nullptr,
                                 nullptr, 0);
    } else {
      sent = parsed ? PQsendQueryPrepared(conn_, "", 0, nullptr, nullptr, nullptr, 0)
                    : PQsendQueryParams(conn_, query.sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
    }
    if (!sent) RaiseResultError(nullptr, "");
    if (!PQsetSingleRowMode(conn_)) {
      // Cannot happen right after a send; finish the query rather than
      // leave it half read.
      while (Result rest{PQgetResult(conn_)}) {
      }
      CQZDBException::Raise(L"could not read the rows one at a time", "", PGRES_FATAL_ERROR);
    }
    streaming_ = cursor;
  };
  if (query.name.empty()) {
    send(false);
    return nullptr;
  }
  send(true);
  Result first = NextStreamResult(cursor);
  if (!RecoverFromStale(first.get(), untouched)) return first;
  SendPendingBegin();  // a transaction begun again begins with this
  send(false);
  return NextStreamResult(cursor);
}

Result PostgresConnection::NextStreamResult(PostgresCursor* cursor) {
  if (streaming_ != cursor) return nullptr;
  if (portal_reading_) return NextPortalChunk();
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
  // A portal has at most a chunk on its way: let it come, and end there.
  if (portal_reading_) return EndPortal();
  streaming_ = nullptr;
  // A short result has usually arrived whole by now: take what is there
  // without waiting. Only a query still sending is cancelled (which costs
  // the server a new connection), and what it sent before is dropped.
  PQconsumeInput(conn_);
  while (!PQisBusy(conn_)) {
    Result result(PQgetResult(conn_));
    if (!result) return;
  }
  if (const Cancel cancel{PQgetCancel(conn_)}) {
    char error[256];
    PQcancel(cancel.get(), error, sizeof error);
  }
  while (Result rest{PQgetResult(conn_)}) {
  }
}

}  // namespace qz::access::postgres
