// Running statements: the driver's own texts are prepared once and kept; a
// caller's text is kept by its shape from the shape's second sighting on,
// and otherwise prepared for one use. A statement with a result hands its
// statement to a cursor, which steps it when a row is asked for and hands
// it back; any other statement runs at once.
#include <algorithm>
#include <optional>

#include "access/driver/sqlite/SqliteConnection.h"
#include "access/driver/sqlite/SqliteCursor.h"
#include "access/driver/sqlite/SqliteErrors.h"
#include "access/driver/sqlite/SqliteStatementText.h"
#include "platform/TextEncoding.h"

namespace qz::access::sqlite {

void SqliteConnection::ExecuteSimple(const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) RaiseError(rc, sql);
}

int SqliteConnection::PrepareOne(const std::string& sql, unsigned flags, sqlite3_stmt** out) {
  *out = nullptr;
  sqlite3_stmt* statement = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size() + 1), flags, &statement, &tail);
  if (rc != SQLITE_OK) return rc;
  if (!statement) return kNoStatement;

  // Whatever follows the first statement must be blank, comments or
  // semicolons: a second statement is never run.
  while (tail && *tail && !OnlyBlank(tail)) {
    sqlite3_stmt* next = nullptr;
    const char* next_tail = nullptr;
    rc = sqlite3_prepare_v2(db_, tail, -1, &next, &next_tail);
    if (rc != SQLITE_OK || next) {
      sqlite3_finalize(next);
      sqlite3_finalize(statement);
      return kSecondStatement;
    }
    if (next_tail == tail) break;
    tail = next_tail;
  }
  *out = statement;
  return SQLITE_OK;
}

sqlite3_stmt* SqliteConnection::Prepare(const std::string& sql) {
  if (std::optional<sqlite3_stmt*> kept = cache_.Take(sql)) return *kept;
  sqlite3_stmt* statement = nullptr;
  const int rc = PrepareOne(sql, SQLITE_PREPARE_PERSISTENT, &statement);
  if (rc != SQLITE_OK) RaisePrepareError(rc);
  return statement;
}

sqlite3_stmt* SqliteConnection::PrepareForCaller(const std::string& text, std::string* key) {
  ShapeOfStatement(text, MarkerStyle::kQuestionNumbered, &shape_);
  sqlite3_stmt* statement = nullptr;
  if (std::optional<sqlite3_stmt*> kept = cache_.Take(shape_.text)) {
    statement = *kept;
  } else if (cache_.Admit(shape_.text)) {
    // Seen before: worth keeping. A shape that does not prepare leaves
    // the text as it is, which then prepares or raises its own error.
    PrepareOne(shape_.text, SQLITE_PREPARE_PERSISTENT, &statement);
  }
  if (statement) {
    for (size_t i = 0; i < shape_.literals.size(); ++i) {
      const std::string& literal = shape_.literals[i];
      const int rc = sqlite3_bind_text(statement, static_cast<int>(i + 1), literal.data(),
                                       static_cast<int>(literal.size()), SQLITE_TRANSIENT);
      if (rc != SQLITE_OK) {
        ReleaseStatement(shape_.text, statement);
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
  one_use_.push_back(statement);
  *key = text;
  return statement;
}

void SqliteConnection::ReleaseStatement(std::string sql, sqlite3_stmt* statement) {
  if (!statement) return;
  sqlite3_reset(statement);
  const auto one_use = std::find(one_use_.begin(), one_use_.end(), statement);
  if (!db_ || one_use != one_use_.end()) {
    if (one_use != one_use_.end()) one_use_.erase(one_use);
    sqlite3_finalize(statement);
    return;
  }
  sqlite3_clear_bindings(statement);
  cache_.Put(std::move(sql), statement, [](sqlite3_stmt* old) { sqlite3_finalize(old); });
}

std::unique_ptr<Cursor> SqliteConnection::Execute(const std::wstring& sql, ROWOPERATION) {
  if (!db_) return nullptr;
  std::string text;
  sqlite3_stmt* statement = PrepareForCaller(platform::WideToUtf8(sql), &text);
  if (sqlite3_column_count(statement) > 0)
    return std::make_unique<SqliteCursor>(this, std::move(text), statement, false);

  // A statement without a result (delete, update, DDL) runs now.
  int rc = sqlite3_step(statement);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::string message = sqlite3_errmsg(db_);
    int code = sqlite3_extended_errcode(db_);
    ReleaseStatement(std::move(text), statement);
    CQZDBException::Raise(platform::Utf8ToWide(message), "", code);
  }
  ReleaseStatement(std::move(text), statement);
  return std::make_unique<SqliteCursor>(this, std::string(), nullptr, true);
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
  CQZDBException::Raise(platform::Utf8ToWide(message), "", code);
}

}  // namespace qz::access::sqlite
