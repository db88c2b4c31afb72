// Reading a query's rows a chunk at a time, through a cursor on the server.
//
// In single-row mode libpq makes a whole result object per row, copying the
// column descriptions into each: on a long listing that was over half of
// the client's work. libpq 15 has no chunked mode, so a SELECT read for
// reading only runs as
//   [BEGIN;] DECLARE qz_rows NO SCROLL CURSOR FOR <query>; FETCH <chunk>
// and each chunk arrives whole, as one result. One FETCH always travels
// ahead of the chunk being read, so the server fills the next chunk while
// the client reads this one, and at most two chunks are in memory: a long
// listing stays bounded.
//
// The statements go out in groups in pipeline mode, each ending with a
// sync: the first group (BEGIN, DECLARE, FETCH) and the FETCH ahead leave
// together, one round trip. A cursor lives in a transaction: outside one
// the driver begins one for it (the server is idle between calls, so
// nothing of the caller's is in it), and commits it when the last chunk
// came, so that what the query's functions did stays done; the commit is
// waited for, so that it is done before the call returns. Inside the
// caller's transaction the cursor is closed at the end without waiting:
// the answer is read before the next statement goes out (DrainPipeline).
//
// A query may be given one to follow it (ExecuteWithFollowing: a listing's
// items after its tasks). When the first one's last chunk has come, the
// second is declared in its place and its first chunk fetched, without
// waiting: its rows travel while the client still reads the first's, and
// no statement of its own waits a round trip. Declared only then, a second
// query that fails cannot spoil the first. Both read one snapshot, in a
// transaction begun for the portal (REPEATABLE READ); in a caller's
// transaction none is sent along.
//
// That costs a query of few rows a round trip more than running it as one
// statement, and the server parses it every time: a query shape whose
// rows fitted in the first chunk runs kept prepared the next time
// (PostgresExecution.cpp), with its following query in the same flight
// (PostgresFollowing.cpp), so only long reads come here again.
#include <algorithm>
#include <cassert>
#include <string>

#include "access/driver/postgres/PostgresConnection.h"
#include "access/driver/postgres/PostgresCursor.h"
#include "access/driver/postgres/PostgresStatementText.h"
#include "platform/TextEncoding.h"

namespace qz::access::postgres {
namespace {

// Rows per chunk: enough that the per-chunk costs vanish, few enough that
// two chunks are a small part of any listing. The first two FETCHes leave
// before the query's columns are known; the later ones ask for about as
// many cells, so that a query of few columns (a listing's items) reads
// chunks that take longer to decode than a round trip on a site's network
// takes, and the FETCH ahead hides it.
constexpr int kRowsPerChunk = 2000;
constexpr int kCellsPerChunk = 64000;
const std::string kFetch = "FETCH FORWARD " + std::to_string(kRowsPerChunk) + " FROM qz_rows";
const char kDeclare[] = "DECLARE qz_rows NO SCROLL CURSOR FOR ";

}  // namespace

std::unique_ptr<Cursor> PostgresConnection::ExecuteWithFollowing(const std::wstring& sql,
                                                                 const std::wstring& following) {
  // Not in a caller's transaction: the query following may fail where
  // the caller's own statements would not (a subquery reads rows they
  // never ask for), and a failed statement there spoils the whole
  // transaction, so the caller runs it alone, or as it sees fit.
  following_ = transactions_.depth() == 0 ? platform::WideToUtf8(following) : std::string();
  if (!following_.empty() && ReadsThroughPortal(following_))
    NoteFollowing(following_);
  else
    following_.clear();
  struct Forget {
    std::string& text;
    ~Forget() { text.clear(); }
  } forget{following_};
  return Execute(sql, ROWOPERATION_READONLY);
}

std::unique_ptr<Cursor> PostgresConnection::RunPortal(const std::string& sql, const std::vector<std::string>& params,
                                                      const std::string* shape) {
  assert(!streaming_ && groups_owed_ == 0 && PQpipelineStatus(conn_) == PQ_PIPELINE_OFF);
  TakeUntouched();
  unnamed_statement_ = 0;
  portal_transaction_ = PQtransactionStatus(conn_) == PQTRANS_IDLE;
  portal_following_ = std::move(following_);
  following_.clear();
  following_ready_ = false;
  following_owner_ = nullptr;
  const char* begin = portal_following_.empty() ? "BEGIN" : "BEGIN ISOLATION LEVEL REPEATABLE READ";
  const std::string declare = kDeclare + sql;
  const std::vector<const char*>& values = LiteralPointers(params);
  if (!PQenterPipelineMode(conn_)) RaiseResultError(nullptr, "");
  const bool sent =
      (!portal_transaction_ || PQsendQueryParams(conn_, begin, 0, nullptr, nullptr, nullptr, nullptr, 0)) &&
      PQsendQueryParams(conn_, declare.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                        nullptr, 0) &&
      PQsendQueryParams(conn_, kFetch.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) && PQpipelineSync(conn_);
  if (!sent) {
    groups_owed_ = 0;
    DrainPipeline();
    RaiseResultError(nullptr, "");
  }
  portal_reading_ = true;
  fetches_ahead_ = 1;
  fetch_rows_.assign(1, kRowsPerChunk);
  rows_per_fetch_ = kRowsPerChunk;
  SendFetch();
  Result first = NextPortalChunk();
  if (!first || PQresultStatus(first.get()) != PGRES_TUPLES_OK) {
    // The answer owed to the FETCH sent ahead and to the end is read
    // before the next statement.
    if (PQstatus(conn_) != CONNECTION_OK) DrainPipeline();
    RaiseResultError(first.get(), "");
  }
  if (shape && PQntuples(first.get()) < kRowsPerChunk) {
    // Bounded, like the cache of kept statements it feeds.
    if (few_row_shapes_.size() >= 4 * StatementCache<PreparedShape>::kCapacity) few_row_shapes_.clear();
    few_row_shapes_.insert(*shape);
    // It runs kept the next time: prepared then, on its second sighting.
    if (!shapes_.Find(*shape)) shapes_.Admit(*shape);
  }
  auto cursor = std::make_unique<PostgresCursor>(this, std::move(first), PostgresCursor::Streaming{});
  if (following_ready_)
    following_owner_ = cursor.get();  // the first chunk was the last
  else if (portal_reading_)
    streaming_ = cursor.get();
  return cursor;
}

std::unique_ptr<Cursor> PostgresConnection::OpenFollowing(PostgresCursor* cursor) {
  if (kept_following_.owner == cursor) return OpenKeptFollowing(cursor);
  if (!following_ready_ || following_owner_ != cursor) return nullptr;
  following_ready_ = false;
  following_owner_ = nullptr;
  Result first = NextPortalChunk();
  if (!first || PQresultStatus(first.get()) != PGRES_TUPLES_OK) {
    if (PQstatus(conn_) != CONNECTION_OK) DrainPipeline();
    RaiseResultError(first.get(), "");
  }
  auto following = std::make_unique<PostgresCursor>(this, std::move(first), PostgresCursor::Streaming{});
  if (portal_reading_) streaming_ = following.get();
  return following;
}

void PostgresConnection::DropFollowing(PostgresCursor* cursor) {
  if (kept_following_.owner == cursor) {
    kept_following_.owner = nullptr;
    kept_following_.result.reset();
  }
  if (following_ready_ && following_owner_ == cursor) EndPortal();
}

void PostgresConnection::SwitchToFollowing() {
  // A FETCH sent ahead of the last chunk answers first, with no rows.
  groups_owed_ += fetches_ahead_;
  fetches_ahead_ = 0;
  fetch_rows_.clear();
  rows_per_fetch_ = kRowsPerChunk;
  following_owner_ = streaming_;
  streaming_ = nullptr;
  following_ready_ = true;
  const std::string declare = kDeclare + portal_following_;
  portal_following_.clear();
  if (PQsendQueryParams(conn_, "CLOSE qz_rows", 0, nullptr, nullptr, nullptr, nullptr, 0) &&
      PQsendQueryParams(conn_, declare.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) &&
      PQsendQueryParams(conn_, kFetch.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) && PQpipelineSync(conn_)) {
    fetches_ahead_ = 1;
    fetch_rows_.assign(1, kRowsPerChunk);
  }
  // Otherwise the link went: the following query's first read says so.
}

void PostgresConnection::SendFetch() {
  const std::string fetch = "FETCH FORWARD " + std::to_string(rows_per_fetch_) + " FROM qz_rows";
  if (!PQsendQueryParams(conn_, fetch.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) || !PQpipelineSync(conn_))
    return;
  ++fetches_ahead_;
  fetch_rows_.push_back(rows_per_fetch_);
}

Result PostgresConnection::NextPortalChunk() {
  assert(portal_reading_);
  // Answers owed to earlier groups come first on the link.
  for (; groups_owed_ > 0; --groups_owed_) ReadGroup();
  if (fetches_ahead_ == 0) SendFetch();  // a send that failed before
  Result chunk = ReadGroup();
  --fetches_ahead_;
  int asked = kRowsPerChunk;
  if (!fetch_rows_.empty()) {
    asked = fetch_rows_.front();
    fetch_rows_.pop_front();
  }
  const bool rows = chunk && PQresultStatus(chunk.get()) == PGRES_TUPLES_OK;
  if (rows) rows_per_fetch_ = std::max(kRowsPerChunk, kCellsPerChunk / std::max(1, PQnfields(chunk.get())));
  if (rows && PQntuples(chunk.get()) == asked) {
    // Keep one FETCH travelling ahead of the chunk read now.
    if (fetches_ahead_ == 0) SendFetch();
    return chunk;
  }
  if (rows && !portal_following_.empty()) {
    SwitchToFollowing();
    return chunk;
  }
  // The last chunk (a short one), an error, or a link gone: nothing more
  // will be asked of the portal.
  EndPortal();
  if (!chunk && PQstatus(conn_) != CONNECTION_OK) {
    // libpq says so as an error result outside pipeline mode; do the same.
    chunk.reset(PQmakeEmptyPGresult(conn_, PGRES_FATAL_ERROR));
  }
  return chunk;
}

void PostgresConnection::EndPortal() {
  if (!portal_reading_) return;
  portal_reading_ = false;
  streaming_ = nullptr;
  portal_following_.clear();
  following_ready_ = false;
  following_owner_ = nullptr;
  groups_owed_ += fetches_ahead_;
  fetches_ahead_ = 0;
  fetch_rows_.clear();
  if (PQstatus(conn_) != CONNECTION_OK) return;
  // COMMIT ends a transaction that failed as a rollback, without an error.
  const char* end = portal_transaction_ ? "COMMIT" : "CLOSE qz_rows";
  if (PQsendQueryParams(conn_, end, 0, nullptr, nullptr, nullptr, nullptr, 0) && PQpipelineSync(conn_)) ++groups_owed_;
  // What the query's functions did is committed, and its locks let go,
  // before the call that read it returns, as for a statement on its own.
  if (portal_transaction_) DrainPipeline();
}

Result PostgresConnection::ReadGroup() {
  Result kept;
  // Each statement's results end with a null; the sync closes the group.
  // Two nulls in a row, or a dead link, mean nothing more will come.
  for (int nulls = 0; nulls < 2;) {
    Result result(PQgetResult(conn_));
    if (!result) {
      if (PQstatus(conn_) != CONNECTION_OK) return kept;
      ++nulls;
      continue;
    }
    nulls = 0;
    const ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_PIPELINE_SYNC) break;
    const bool failed = status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_PIPELINE_ABORTED;
    const bool kept_failed = kept && PQresultStatus(kept.get()) != PGRES_TUPLES_OK;
    if ((failed && !kept_failed) || (status == PGRES_TUPLES_OK && !kept_failed)) kept = std::move(result);
  }
  return kept;
}

void PostgresConnection::DrainPipeline() {
  EndPortal();
  for (; groups_owed_ > 0 && PQstatus(conn_) == CONNECTION_OK; --groups_owed_) ReadGroup();
  groups_owed_ = 0;
  // Refused on a lost link; ForgetSessionState leaves the mode then.
  if (PQpipelineStatus(conn_) != PQ_PIPELINE_OFF) PQexitPipelineMode(conn_);
}

}  // namespace qz::access::postgres
