// Running statements: the driver's own texts are prepared once and kept; a
// caller's text is kept by its shape from the shape's second sighting on,
// and otherwise prepared for one use. A statement with a result hands its
// statement to a cursor, which steps it when a row is asked for and hands
// it back; any other statement runs at once.
#include <optional>

#include "access/driver/sqlite/SqliteConnection.h"
#include "access/driver/sqlite/SqliteCursor.h"
#include "access/driver/sqlite/SqliteErrors.h"
#include "access/driver/sqlite/SqliteStatementText.h"
#include "platform/TextEncoding.h"

namespace qz::access::sqlite {

// BEGIN, COMMIT, ROLLBACK and the savepoints run around every write: they
// are kept prepared, not parsed again each time. The three that every
// transaction runs are kept in members of their own (kept), so that running
// one costs no look-up in the cache and no allocation.
void SqliteConnection::ExecuteSimple(const char* sql, Statement* kept) {
  Statement own;
  Statement& statement = kept ? *kept : own;
  if (!statement) statement = Prepare(sql);
  const int rc = sqlite3_step(statement.get());
  const bool done = rc == SQLITE_DONE || rc == SQLITE_ROW;
  std::string message;
  int code = 0;
  if (!done) {
    message = std::string(sql) + ": " + sqlite3_errmsg(db_);
    code = sqlite3_extended_errcode(db_);
  }
  sqlite3_reset(statement.get());
  if (!kept) ReleaseStatement(sql, std::move(statement));
  if (!done) RaiseEngineError(message, code);
}

int SqliteConnection::PrepareOne(const std::string& sql, unsigned flags, Statement* out) {
  out->reset();
  sqlite3_stmt* prepared = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size() + 1), flags, &prepared, &tail);
  Statement statement(prepared);
  if (rc != SQLITE_OK) return rc;
  if (!statement) return kNoStatement;

  // Whatever follows the first statement must be blank, comments or
  // semicolons: a second statement is never run.
  while (tail && *tail && !OnlyBlank(tail)) {
    sqlite3_stmt* next_prepared = nullptr;
    const char* next_tail = nullptr;
    rc = sqlite3_prepare_v2(db_, tail, -1, &next_prepared, &next_tail);
    const Statement next(next_prepared);
    if (rc != SQLITE_OK || next) return kSecondStatement;
    if (next_tail == tail) break;
    tail = next_tail;
  }
  *out = std::move(statement);
  return SQLITE_OK;
}

Statement SqliteConnection::Prepare(const std::string& sql) {
  if (std::optional<KeptStatement> kept = cache_.Take(sql)) return std::move(kept->statement);
  Statement statement;
  const int rc = PrepareOne(sql, SQLITE_PREPARE_PERSISTENT, &statement);
  if (rc != SQLITE_OK) RaisePrepareError(rc);
  return statement;
}

Statement SqliteConnection::PrepareForCaller(const std::string& text, std::string* key, FoundColumns* columns) {
  ShapeOfStatement(text, MarkerStyle::kQuestionNumbered, &shape_);
  Statement statement;
  if (!shape_.keep) {
    // Not to be kept (StatementShape.h): prepared for this use below.
  } else if (std::optional<KeptStatement> kept = cache_.Take(shape_.text)) {
    statement = std::move(kept->statement);
    *columns = std::move(kept->columns);
    columns->Rewind();
  } else if (cache_.Admit(shape_.text)) {
    // Seen before: worth keeping. A shape that does not prepare leaves
    // the text as it is, which then prepares or raises its own error.
    PrepareOne(shape_.text, SQLITE_PREPARE_PERSISTENT, &statement);
  }
  if (statement) {
    for (size_t i = 0; i < shape_.literals.size(); ++i) {
      const std::string& literal = shape_.literals[i];
      const int rc = sqlite3_bind_text(statement.get(), static_cast<int>(i + 1), literal.data(),
                                       static_cast<int>(literal.size()), SQLITE_TRANSIENT);
      if (rc != SQLITE_OK) {
        ReleaseStatement(shape_.text, std::move(statement));
        RaiseError(rc, "binding a value of the statement");
      }
    }
    *key = shape_.text;
    return statement;
  }
  // The first sighting, or a shape that would not prepare: the text as the
  // caller wrote it, for this use only.
  const int rc = PrepareOne(text, 0, &statement);
  if (rc != SQLITE_OK) RaisePrepareError(rc);
  key->clear();
  return statement;
}

void SqliteConnection::ReleaseStatement(std::string sql, Statement statement, FoundColumns columns) {
  if (!statement || !db_ || sql.empty()) return;  // finalized as it goes
  // SQLITE_SCHEMA reaches us only when preparing the statement again for a
  // changed schema kept failing: such a statement is not kept.
  if ((sqlite3_reset(statement.get()) & 0xff) == SQLITE_SCHEMA) return;
  sqlite3_clear_bindings(statement.get());
  cache_.Put(std::move(sql), KeptStatement{std::move(statement), std::move(columns)}, [](KeptStatement&) {});
}

std::unique_ptr<Cursor> SqliteConnection::Execute(const std::wstring& sql, ROWOPERATION) {
  if (!db_) return nullptr;
  std::string text;
  FoundColumns columns;
  platform::WideToUtf8(sql, &caller_text_);
  Statement statement = PrepareForCaller(caller_text_, &text, &columns);
  if (sqlite3_column_count(statement.get()) > 0)
    return std::make_unique<SqliteCursor>(this, std::move(text), std::move(statement), false, std::move(columns));

  // A statement without a result (delete, update, DDL) runs now.
  int rc = sqlite3_step(statement.get());
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::string message = sqlite3_errmsg(db_);
    int code = sqlite3_extended_errcode(db_);
    ReleaseStatement(std::move(text), std::move(statement));
    RaiseEngineError(message, code);
  }
  ReleaseStatement(std::move(text), std::move(statement));
  return std::make_unique<SqliteCursor>(this, std::string(), Statement(), true);
}

// A cursor past the end of no statement: it writes rows, and reads none.
std::unique_ptr<Cursor> SqliteConnection::KeyedEditCursor() {
  if (!db_) return nullptr;
  return std::make_unique<SqliteCursor>(this, std::string(), Statement(), true);
}

void SqliteConnection::StepToCompletion(sqlite3_stmt* statement) {
  int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE || rc == SQLITE_ROW) {
    sqlite3_reset(statement);
    return;
  }
  std::string message = sqlite3_errmsg(db_);
  int code = sqlite3_extended_errcode(db_);
  sqlite3_reset(statement);
  RaiseEngineError(message, code);
}

}  // namespace qz::access::sqlite
