// The frame every record operation runs in, written once.
//
// An operation checks its connection and arguments (returning 0 before
// anything is made), then hands its SQL text and a body to RunOperation:
// the frame makes one record set for the call, runs the body inside the
// guarded region, and on a CQZDBException deletes it, writes the SQL text
// to the debug output and answers 0. The record set is closed and destroyed
// on every path.
//
// Every operation that writes runs in a transaction of its own
// (InOneTransaction; BatchInsert takes one by itself), begun before its
// first read, so that:
//   - on SQLite it holds the write lock from the start, waiting its turn
//     behind other programs' writers, instead of failing when a read it
//     began has to become a write after another program wrote;
//   - an answer the server never sent back is settled by the commit, which
//     either happened whole or not at all.
// A transaction that is not committed is rolled back by its
// TransactionGuard on every way out.
//
// The body variants below (list read, single read, existence test, update
// in place, batch insert, delete) are the shapes every operation takes.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <cassert>
#include <memory>
#include <string>
#include <vector>

#include "control/LastFailure.h"
#include "conversions/Conversions.h"
#include "platform/DebugOutput.h"

namespace qz::control {

// The connection of a control object, or null when it has none (never
// opened, closed through this or any other holder).
inline CQZDatabase* UsableConnection(const std::shared_ptr<CQZDatabase>& database) {
  return database && !database->IsClosed() ? database.get() : nullptr;
}

// Rolls back the innermost transaction; a failure to do so has nowhere to
// go and the transaction ends with the connection anyway.
inline void RollbackQuietly(CQZDatabase& database) {
  try {
    database.Rollback();
  } catch (CQZDBException* e) {
    e->Delete();
  }
}

inline void CloseQuietly(CQZRecordSet& set) {
  try {
    if (set.IsOpen()) set.Close();
  } catch (CQZDBException* e) {
    e->Delete();
  }
}

// Rolls back the transaction begun just before it unless told the work was
// committed: on every way out, an exception of any type included, so that a
// failed operation never leaves a transaction open under the next one.
class TransactionGuard {
 public:
  explicit TransactionGuard(CQZDatabase& database) : database_(database) {}
  ~TransactionGuard() {
    if (!done_) RollbackQuietly(database_);
  }
  TransactionGuard(const TransactionGuard&) = delete;
  TransactionGuard& operator=(const TransactionGuard&) = delete;

  void Committed() { done_ = true; }

 private:
  CQZDatabase& database_;
  bool done_ = false;
};

// The SQL standard's "transaction resolution unknown": the link went with a
// commit on its way, and no server could say whether it was committed.
inline constexpr char kCommitOutcomeUnknown[] = "08007";

// Notes e as this thread's last failure, deletes it and writes the
// operation's SQL text, its failure line. For a commit whose outcome could
// not be established a second line says so: the answer 0 then cannot mean
// "nothing was stored".
inline void LogFailure(CQZDBException* e, const std::wstring& sql) {
  NoteFailure(*e);
  const bool undecided = e->GetSQLState() == kCommitOutcomeUnknown;
  const std::wstring message = undecided ? e->GetErrorMessage() : std::wstring();
  e->Delete();
  platform::WriteDebugOutput(sql);
  if (undecided) platform::WriteDebugOutput(message);
}

// Runs body(set) in the guarded region. body returns the operation's result.
// REQUIRES: database != nullptr.
template <typename Body>
int RunOperation(CQZDatabase* database, const std::wstring& sql, Body&& body) {
  assert(database != nullptr);
  CQZRecordSet set(database);
  if (set.IsOpen()) set.Close();
  int result = 0;
  try {
    result = body(set);
  } catch (CQZDBException* e) {
    LogFailure(e, sql);
    result = 0;
  }
  CloseQuietly(set);
  return result;
}

// base, then " where " and the trimmed condition unless condition is
// exactly empty. The condition is the caller's SQL and goes in unchanged.
inline std::wstring WithCondition(std::wstring base, const std::wstring& condition) {
  if (!condition.empty()) {
    base += L" where ";
    base += conversions::Trim(condition);
  }
  return base;
}

// --- Body variants ----------------------------------------------------------

// What a list read found: rows, none, or nothing because it failed (Open
// answered false or the database threw, which has been logged).
enum class ListOutcome { kFailed, kNoRows, kRows };

// Every row of sql into *out through fill(record*, set*). No rows: *out
// untouched. Rows: *out replaced. A failure part way leaves the rows read
// before it. Callers that must tell an empty answer from a failure use this.
template <typename Record, typename Fill>
ListOutcome ListReadOutcome(CQZDatabase* database, const std::wstring& sql, std::vector<Record>* out, Fill fill) {
  constexpr int kNoRows = 2;
  const int result = RunOperation(database, sql, [&](CQZRecordSet& set) {
    if (!set.Open(sql, ROWOPERATION_READONLY)) return 0;
    if (set.IsBOF()) return kNoRows;
    out->clear();
    while (!set.IsEOF()) {
      Record record;
      fill(&record, &set);
      out->push_back(std::move(record));
      set.MoveNext(false);
    }
    set.Close();
    return 1;
  });
  if (result == 1) return ListOutcome::kRows;
  return result == kNoRows ? ListOutcome::kNoRows : ListOutcome::kFailed;
}

// As ListReadOutcome, answering 1 for rows and 0 for none or a failure.
template <typename Record, typename Fill>
int ListRead(CQZDatabase* database, const std::wstring& sql, std::vector<Record>* out, Fill fill) {
  return ListReadOutcome(database, sql, out, fill) == ListOutcome::kRows ? 1 : 0;
}

// read(set) takes what it wants from the first row. No row: 0, nothing read.
template <typename Read>
int SingleRead(CQZDatabase* database, const std::wstring& sql, Read read) {
  return RunOperation(database, sql, [&](CQZRecordSet& set) {
    if (!set.Open(sql, ROWOPERATION_READONLY) || set.IsBOF()) return 0;
    read(set);
    set.Close();
    return 1;
  });
}

// 1 when sql yields a row.
inline int ExistenceTest(CQZDatabase* database, const std::wstring& sql) {
  return RunOperation(database, sql, [&](CQZRecordSet& set) {
    if (!set.Open(sql, ROWOPERATION_READONLY) || set.IsBOF()) return 0;
    set.Close();
    return 1;
  });
}

// Rewrites the row sql selects, which write(set) names by its primary key.
// Where the engine can, that is one UPDATE by the key, with no read before
// it (CQZRecordSet::EditByKey), and sql is not even run where the engine
// needs no query for it; elsewhere the first row sql selects is read and
// edited. No row: 0. Run inside InOneTransaction, so that a read never has
// to become a write while another program writes.
template <typename Write>
int UpdateInPlace(CQZDatabase* database, const std::wstring& sql, const std::wstring& table, Write write) {
  return RunOperation(database, sql, [&](CQZRecordSet& set) {
    bool by_key = set.EditByKey(table);
    if (!by_key) {
      if (!set.Open(sql, ROWOPERATION_WRITE)) return 0;
      by_key = set.EditByKey(table);
    }
    if (by_key) {
      write(set);
      const bool changed = set.Update();
      set.Close();
      return changed ? 1 : 0;
    }
    if (set.IsBOF()) return 0;
    set.Edit(table);
    write(set);
    set.Update();
    set.Close();
    return 1;
  });
}

// One statement of a transaction whose answer may come with the commit's
// (InOneFlight): its failure line, and whether changing no row makes the
// operation's answer 0 (a rewrite by key) or not (a delete).
struct HeldStatement {
  std::wstring text;
  bool needs_row = false;
};

// Runs steps() as one transaction: the operation's one statement, or
// several operations together. steps() answers false as soon as one fails
// (each has logged its own failure); everything is then rolled back and
// the answer is 0. The operations may begin transactions of their own:
// those nest as savepoints. Beginning or committing that answers false
// (the connection is gone) is a failure too, with nothing left half done;
// when either throws, sql is what gets logged.
//
// held, when not empty, names the statements steps() runs, in order, each
// returning no rows (a delete, a rewrite begun by EditByKey). Where the
// engine can, their answers are held back and come with the commit's
// (CQZDatabase::HoldAnswers), so that BEGIN, the statements and COMMIT cost
// one round trip on a server. Each answer is judged as the statement's own
// would have been at once: a failure logs that statement's line, and
// nothing is committed; a rewrite that found no row answers 0 (it changed
// nothing, so committing stored nothing of it).
template <typename Steps>
int InOneTransaction(CQZDatabase* database, const std::wstring& sql, Steps steps,
                     const std::vector<HeldStatement>& held = {}) {
  try {
    if (!database->BeginTrans()) return 0;  // nothing was begun
  } catch (CQZDBException* e) {
    NoteFailure(*e);
    e->Delete();
    platform::WriteDebugOutput(sql);
    return 0;  // nothing was begun, so there is nothing of ours to roll back
  }
  TransactionGuard transaction(*database);  // rolls back on every way out but the commit
  const bool holding = !held.empty() && database->HoldAnswers();
  if (!steps()) return 0;
  try {
    if (!database->CommitTrans()) return 0;
  } catch (CQZDBException* e) {
    // A held statement's failure is its own: logged with its own line.
    const std::wstring* line = &sql;
    if (holding) {
      const std::vector<SQZHeldAnswer> answers = database->HeldAnswers();
      for (size_t i = 0; i < answers.size() && i < held.size(); ++i)
        if (answers[i].m_state == SQZHeldAnswer::failed) line = &held[i].text;
    }
    LogFailure(e, *line);
    return 0;
  }
  transaction.Committed();
  if (holding) {
    const std::vector<SQZHeldAnswer> answers = database->HeldAnswers();
    for (size_t i = 0; i < answers.size() && i < held.size(); ++i)
      if (held[i].needs_row && answers[i].m_state == SQZHeldAnswer::done && answers[i].m_rows == 0) return 0;
  }
  return 1;
}

// Adds count rows to table in one transaction, row i through write(i, set).
// before_commit() runs after the rows, inside the transaction; when it
// returns false everything is rolled back and the result is 0 (whatever
// failed there has logged itself).
template <typename Write, typename BeforeCommit>
int BatchInsert(CQZDatabase* database, const std::wstring& table, size_t count, Write write,
                BeforeCommit before_commit) {
  const std::wstring sql = L"select * from " + table;
  return InOneTransaction(database, sql, [&] {
    const int added = RunOperation(database, sql, [&](CQZRecordSet& set) {
      if (!set.Open(sql, ROWOPERATION_WRITE)) return 0;
      for (size_t i = 0; i < count; ++i) {
        set.AddNew(table);
        write(i, set);
        set.Update();
      }
      set.Close();
      return 1;
    });
    return added != 0 && before_commit();
  });
}

template <typename Write>
int BatchInsert(CQZDatabase* database, const std::wstring& table, size_t count, Write write) {
  return BatchInsert(database, table, count, write, [] { return true; });
}

// Runs a delete statement. 1 when it ran, whatever it matched; 0 when the
// connection could not run it or the database refused it. Run inside
// InOneTransaction, as every write is.
inline int Delete(CQZDatabase* database, const std::wstring& sql) {
  return RunOperation(database, sql, [&](CQZRecordSet& set) { return set.Open(sql, ROWOPERATION_WRITE) ? 1 : 0; });
}

}  // namespace qz::control
