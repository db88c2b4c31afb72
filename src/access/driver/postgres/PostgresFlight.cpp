// Statements whose answers come back with the commit's.
//
// An operation that writes runs its statements in a transaction of its
// own, and most need no answer before the commit: a delete only has to
// have run, a rewrite by key to have found its row, and both can be judged
// once the commit's answer is in. Sent one at a time, each statement costs
// a round trip and COMMIT one more. Held back (HoldAnswers), BEGIN, the
// statements, the commit's token and COMMIT go out as one pipeline with one
// sync, and every answer comes back together: one round trip for the
// whole transaction.
//
// The server runs them in order and, at the first failure, skips the rest
// up to the sync, COMMIT included. CommitTransaction then raises that
// statement's own failure, and held_answers_ says which statement it was,
// so that the caller can tell it as that statement's. A link lost on the
// way leaves COMMIT in doubt like any other, and it is settled by the
// token (PostgresLostCommit.cpp), which is stored only by a transaction
// that changed rows: one settled as committed changed some.
//
// A statement prepared under a name comes to the flight by that name; the
// second sighting of a shape is prepared in the flight itself, before it
// runs. Should a kept statement turn out stale (another session dropped
// it), nothing was committed: every kept statement is let go, and the
// transaction is rolled back and sent again with each statement as text.
#include <cstdlib>
#include <cstring>

#include "access/driver/postgres/PostgresConnection.h"
#include "access/driver/postgres/PostgresStatementText.h"

namespace qz::access::postgres {
namespace {

// The server's own refusal, which it answers only after running what came
// before and before skipping the rest (COMMIT included); not the error
// libpq makes up when the link goes, which says nothing of the server.
bool Refused(const PGresult* result) {
  return result && PQresultStatus(result) == PGRES_FATAL_ERROR &&
         PQresultErrorField(result, PG_DIAG_SQLSTATE) != nullptr;
}

bool IsStale(const PGresult* result) {
  const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
  return state && (std::strcmp(state, "0A000") == 0 || std::strcmp(state, "26000") == 0);
}

}  // namespace

bool PostgresConnection::HoldAnswers() {
  // Only a transaction that has sent nothing yet: BEGIN leads its flight.
  if (closed_ || transactions_.depth() != 1 || !begin_pending_ || transaction_lost_ || flight_open_) return false;
  holding_ = true;
  // The rows the last flight kept are free again, for the cursors of this
  // one: a run of rewrites writes through the same row, its layout known.
  for (size_t i = 0; i < held_count_; ++i)
    if (held_[i].row) GiveBackRow(std::move(held_[i].row));
  held_count_ = 0;
  held_answers_.clear();
  return true;
}

bool PostgresConnection::MayHold(const std::string& text, ROWOPERATION operation) const {
  return holding_ && operation == ROWOPERATION_WRITE && ReturnsNoRows(text);
}

bool PostgresConnection::SendBegin() {
  return PQsendQueryParams(conn_, "BEGIN", 0, nullptr, nullptr, nullptr, nullptr, 0) &&
         PQsendQueryParams(conn_, kWhetherWrites, 0, nullptr, nullptr, nullptr, nullptr, 0);
}

void PostgresConnection::HoldStatement(const std::string& sql, const std::vector<const char*>& values, bool shape,
                                       std::unique_ptr<RowTexts>* row) {
  if (!flight_open_) {
    Quiesce();
    EnsureLink();
    unnamed_statement_ = 0;
    if (!PQenterPipelineMode(conn_)) RaiseResultError(nullptr, "");
    begin_pending_ = false;
    flight_open_ = true;
    // Until the question is answered the transaction may write; should its
    // answer be lost, the token settles the commit.
    commit_evidence_ = token_table_ == TokenTable::kPresent ? CommitEvidence::kToken : CommitEvidence::kNone;
    if (!SendBegin()) RaiseResultError(nullptr, "BEGIN");
  }
  transaction_untouched_ = false;
  if (held_count_ == held_.size()) held_.emplace_back();
  HeldStatement& held = held_[held_count_];
  held.sql = sql;
  held.name.clear();
  held.prepared = false;
  held.values.clear();
  held.starts.clear();
  held.values_in_row = row != nullptr;
  if (row) {
    held.row_values.assign(values.begin(), values.end());
    std::swap(held.row, *row);
  } else {
    for (const char* value : values) {
      if (!value) {
        held.starts.push_back(-1);
        continue;
      }
      held.starts.push_back(static_cast<int>(held.values.size()));
      held.values.append(value).push_back('\0');
    }
  }
  if (shape) {
    if (const PreparedShape* kept = shapes_.Find(sql)) {
      held.name = kept->name;
    } else if (shapes_.Admit(sql)) {
      PreparedShape prepared{"qz_shape_" + std::to_string(next_statement_number_++), false};
      held.name = prepared.name;
      held.prepared = true;
      shapes_.Put(sql, prepared, [&](const PreparedShape& old) { dropped_shapes_.push_back(old.name); });
    }
  }
  ++held_count_;
  held_answers_.emplace_back();
  if (!SendHeld(held, true)) RaiseResultError(nullptr, "");
}

bool PostgresConnection::SendHeld(const HeldStatement& held, bool by_name) {
  if (!held.values_in_row) {
    literal_pointers_.clear();
    for (int start : held.starts) literal_pointers_.push_back(start < 0 ? nullptr : held.values.c_str() + start);
  }
  const std::vector<const char*>& values = held.values_in_row ? held.row_values : literal_pointers_;
  const int count = static_cast<int>(values.size());
  if (by_name && !held.name.empty()) {
    if (held.prepared && !PQsendPrepare(conn_, held.name.c_str(), held.sql.c_str(), 0, nullptr)) return false;
    return PQsendQueryPrepared(conn_, held.name.c_str(), count, values.data(), nullptr, nullptr, 0);
  }
  return PQsendQueryParams(conn_, held.sql.c_str(), count, nullptr, values.data(), nullptr, nullptr, 0);
}

size_t PostgresConnection::FlightLength() const {
  size_t length = 2;  // BEGIN and the question
  for (size_t i = 0; i < held_count_; ++i) length += held_[i].prepared ? 2 : 1;
  return length;
}

bool PostgresConnection::JudgeHeldAnswers(std::vector<Result>& results) {
  size_t at = 0;
  Result& begun = results[at++];
  NoteWhetherWrites(results[at++].get());
  const PGresult* failure = nullptr;
  bool stale = false;
  for (size_t i = 0; i < held_count_; ++i) {
    const HeldStatement& held = held_[i];
    SQZHeldAnswer& answer = held_answers_[i];
    if (held.prepared) {
      const Result& prepared = results[at++];
      if (!prepared || PQresultStatus(prepared.get()) != PGRES_COMMAND_OK) {
        shapes_.Take(held.sql);  // the server does not hold it
        if (!failure && Refused(prepared.get())) {
          failure = prepared.get();
          answer.m_state = SQZHeldAnswer::failed;
        }
        ++at;  // its run was skipped
        continue;
      }
    }
    const Result& done = results[at++];
    const ExecStatusType status = done ? PQresultStatus(done.get()) : PGRES_PIPELINE_ABORTED;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
      answer.m_state = SQZHeldAnswer::done;
      answer.m_rows = std::atoll(PQcmdTuples(done.get()));
    } else if (Refused(done.get()) && !failure) {
      failure = done.get();
      answer.m_state = SQZHeldAnswer::failed;
      stale = !held.name.empty() && !held.prepared && IsStale(failure);
    }
  }
  if (Refused(begun.get())) {
    commit_sent_ = false;
    Check(std::move(begun), "BEGIN");
  }
  if (!failure) return false;
  // The server skipped everything after the failure, COMMIT included.
  commit_sent_ = false;
  if (stale && PQstatus(conn_) == CONNECTION_OK) {
    shapes_.Clear([&](const PreparedShape& kept) { dropped_shapes_.push_back(kept.name); });
    return true;
  }
  RaiseResultError(failure, "");
}

void PostgresConnection::ResendFlight() {
  // The server holds the transaction failed: end it, and begin again.
  RunCommand("ROLLBACK");
  if (!PQenterPipelineMode(conn_)) RaiseResultError(nullptr, "");
  flight_open_ = true;
  commit_evidence_ = token_table_ == TokenTable::kPresent ? CommitEvidence::kToken : CommitEvidence::kNone;
  bool sent = SendBegin();
  for (size_t i = 0; i < held_count_; ++i) {
    held_[i].prepared = false;
    held_[i].name.clear();
    held_answers_[i] = SQZHeldAnswer();
    sent = sent && SendHeld(held_[i], false);
  }
  if (!sent) RaiseResultError(nullptr, "");
}

void PostgresConnection::FlushFlight() {
  holding_ = false;
  for (bool again = true; again;) {
    const size_t length = FlightLength();
    const bool synced = PQpipelineSync(conn_) != 0;
    std::vector<Result> results = ReadFlight(conn_, length);
    PQexitPipelineMode(conn_);  // refused on a lost link; ForgetSessionState ends it then
    flight_open_ = false;
    if (!synced) RaiseResultError(nullptr, "");
    again = JudgeHeldAnswers(results);
    if (again) ResendFlight();
  }
  // No refusal, yet not every answer came: the link went.
  for (const SQZHeldAnswer& answer : held_answers_)
    if (answer.m_state != SQZHeldAnswer::done) RaiseResultError(nullptr, "");
}

void PostgresConnection::RollbackFlight() {
  holding_ = false;
  flight_open_ = false;
  const bool sent =
      PQsendQueryParams(conn_, "ROLLBACK", 0, nullptr, nullptr, nullptr, nullptr, 0) && PQpipelineSync(conn_);
  ReadFlight(conn_, FlightLength() + 1);
  PQexitPipelineMode(conn_);
  if (!sent) RaiseResultError(nullptr, "ROLLBACK");
  // After a failure the server skipped up to the sync, the ROLLBACK too.
  if (PQtransactionStatus(conn_) == PQTRANS_INERROR) RunCommand("ROLLBACK");
}

}  // namespace qz::access::postgres
