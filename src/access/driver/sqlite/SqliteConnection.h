// A connection to one SQLite database file: WAL journal, a busy timeout,
// foreign keys on, and a cache of prepared statements by statement shape
// (StatementShape.h), so that a statement the operations run again and again
// with other values written into it is prepared once.
//
// The class is written in one file per duty:
//   SqliteConnection.cpp  opening the file, transactions, and the factory
//                         ConnectSqlite
//   SqliteExecution.cpp   preparing, keeping and running statements
//   SqliteRowWriting.cpp  rows added and edited
//   SqliteErrors.cpp      turning the engine's errors into exceptions
// with the statement texts it composes in SqliteStatementText.cpp, and the
// owners of the engine's handles in SqliteHandles.h.
#pragma once

#include <sqlite3.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "access/driver/Driver.h"
#include "access/driver/RowBuffer.h"
#include "access/driver/StatementCache.h"
#include "access/driver/StatementShape.h"
#include "access/driver/TransactionNesting.h"
#include "access/driver/sqlite/SqliteDirectRow.h"
#include "access/driver/sqlite/SqliteFoundColumns.h"
#include "access/driver/sqlite/SqliteHandles.h"

namespace qz::access::sqlite {

class SqliteConnection : public Connection, private TransactionSteps {
 public:
  // Opens path (a file, or ":memory:"), for reading only when it may not be
  // written. Throws CQZDBException.
  explicit SqliteConnection(const std::string& path);
  ~SqliteConnection() override;

  bool IsConnected() override { return db_ != nullptr; }
  void Close() override;
  bool BeginTransaction() override;
  bool CommitTransaction() override;
  bool RollbackTransaction() override;
  std::unique_ptr<Cursor> Execute(const std::wstring& sql, ROWOPERATION operation) override;
  std::unique_ptr<Cursor> KeyedEditCursor() override;
  std::wstring Describe() const override;

  // --- For cursors ---------------------------------------------------------

  // Takes a statement back once its cursor is done with it: kept for the
  // next use of sql, the text it is kept under, or finalized when sql is
  // empty (it was prepared for one use only). columns, the columns its
  // cursor found, are kept with it.
  void ReleaseStatement(std::string sql, Statement statement, FoundColumns columns = FoundColumns());

  // The row buffer a cursor writes through (RowBufferLender).
  std::unique_ptr<RowBuffer> LendRowBuffer() { return row_buffers_.Lend(); }
  void GiveBackRowBuffer(std::unique_ptr<RowBuffer> row) { row_buffers_.GiveBack(std::move(row)); }
  // What a cursor binds straight into the kept statements, lent the same
  // way. A cursor gives it back with no statement bound to its texts.
  DirectRow LendDirectRow() { return std::move(spare_direct_row_); }
  void GiveBackDirectRow(DirectRow row) { spare_direct_row_ = std::move(row); }

  // INSERT INTO table (columns...) VALUES (...), with bound values.
  // layout_id names the table and column list (RowBuffer::layout_id); a row
  // of the same layout as the last insert reuses its statement unexamined.
  void InsertRow(const std::wstring& table, uint64_t layout_id, const FieldValue* fields, size_t count);

  // The cached INSERT when it was prepared for layout_id, else null. A
  // cursor inserting row after row of one layout binds straight into it.
  sqlite3_stmt* InsertStatementFor(uint64_t layout_id) const;
  // The layout the cached INSERT was prepared for; 0 when there is none.
  uint64_t insert_layout_id() const { return insert_statement_ ? insert_layout_id_ : 0; }
  // Binds value as parameter index; text keeps the UTF-8 while it is bound.
  void BindValue(sqlite3_stmt* statement, int index, const CQZDBVariant& value, std::string* text);
  // A date-time as BindValue binds one: NULL when invalid, else its text
  // kept in *text.
  void BindDateTime(sqlite3_stmt* statement, int index, const SQZDateTime& value, std::string* text);
  // Runs the bound INSERT once.
  void StepInsert(sqlite3_stmt* statement);

  // The rewrite of one row by the key values assigned to it (see
  // KeyedUpdate.h), kept prepared for the last layout of such rows, with
  // that layout's column names, so that a run of them binds each value
  // straight into it (SqliteCursor::EditByKey).
  struct KeyedUpdate {
    uint64_t layout_id = 0;
    std::wstring table;
    std::shared_ptr<const std::vector<std::wstring>> columns;
    Statement statement;
  };
  // The kept rewrite when it is for table, else null.
  const KeyedUpdate* KeyedUpdateFor(const std::wstring& table) const {
    return db_ && keyed_update_.statement && keyed_update_.table == table ? &keyed_update_ : nullptr;
  }
  uint64_t keyed_update_layout_id() const { return keyed_update_.statement ? keyed_update_.layout_id : 0; }
  // Rewrites the row the key fields name, keeping the statement for
  // layout_id; the number of rows changed.
  int UpdateRowByKey(const std::wstring& table, uint64_t layout_id, const FieldValue* fields, size_t count);
  // Runs the kept rewrite with the values bound in it; the rows changed.
  int StepKeyedUpdate();
  // Unbinds the kept rewrite when it is still the one for layout_id.
  void ClearKeyedUpdateBindings(uint64_t layout_id) {
    if (keyed_update_.statement && keyed_update_.layout_id == layout_id)
      sqlite3_clear_bindings(keyed_update_.statement.get());
  }

  // UPDATE table SET columns... WHERE key columns = key values.
  void UpdateRow(const std::wstring& table, const std::vector<FieldValue>& key, const FieldValue* fields, size_t count);

  // The primary key columns of table, in key order; empty when it has none.
  const std::vector<std::wstring>& PrimaryKey(const std::wstring& table);

  // Raises the connection's current error, prefixed by what was being done.
  [[noreturn]] void RaiseError(int code, const char* doing);

 private:
  RowBufferLender row_buffers_;
  DirectRow spare_direct_row_;
  struct PrimaryKeyEntry {
    std::wstring table;
    std::vector<std::wstring> columns;
  };

  // --- The file (SqliteConnection.cpp) -------------------------------------

  // Opens name with flags into db_ and sets the connection up; on failure
  // leaves db_ null and answers the engine's code and message.
  bool TryOpen(const std::string& name, int flags, int* code, std::string* message);
  void FinalizeAll();

  // TransactionSteps: what each transaction level runs.
  void BeginOutermost() override;
  void CommitOutermost() override;
  void RollbackOutermost() override;
  void RunSavepointStatement(const std::string& sql) override;

  // --- Statements (SqliteExecution.cpp) -------------------------------------

  // Runs a statement without parameters or rows: *kept, prepared from sql
  // on first use, or without kept a statement from the cache.
  void ExecuteSimple(const char* sql, Statement* kept = nullptr);
  // A prepared statement for sql: from the cache, else newly prepared and
  // checked to hold exactly one statement. For the driver's own texts,
  // which are kept from their first use.
  Statement Prepare(const std::string& sql);
  // Prepares sql and checks that it holds exactly one statement; SQLite's
  // code, or kSecondStatement. *out is null unless SQLITE_OK.
  int PrepareOne(const std::string& sql, unsigned flags, Statement* out);
  // The statement for a caller's text: by its shape, from the cache or
  // prepared to be kept from the shape's second sighting on (its literals
  // bound); otherwise the text itself, prepared for this use only. *key
  // is the text to release it under, empty for one use; *columns the
  // columns found in it while it was kept.
  Statement PrepareForCaller(const std::string& text, std::string* key, FoundColumns* columns);
  // Steps statement once and resets it; raises its error.
  void StepToCompletion(sqlite3_stmt* statement);

  // --- Errors (SqliteErrors.cpp) --------------------------------------------

  // Raises the error of a failed PrepareOne.
  [[noreturn]] void RaisePrepareError(int code);

  // --- Rows written (SqliteRowWriting.cpp) ----------------------------------

  void BindAll(sqlite3_stmt* statement, const FieldValue* fields, size_t count, int first_index);

  Database db_;
  std::string path_;
  TransactionNesting transactions_;

  struct KeptStatement {
    Statement statement;
    FoundColumns columns;
  };
  StatementCache<KeptStatement> cache_;
  // BEGIN IMMEDIATE, COMMIT and ROLLBACK, which run around every write.
  Statement begin_statement_, commit_statement_, rollback_statement_;
  StatementShape shape_;
  std::vector<PrimaryKeyEntry> primary_keys_;

  // The last insert, kept prepared so that a run of rows to the same table
  // and columns skips building and looking up its text.
  uint64_t insert_layout_id_ = 0;
  Statement insert_statement_;
  KeyedUpdate keyed_update_;
  std::vector<bool> key_fields_;  // UpdateRowByKey: which fields are the key

  // UTF-8 of text values while bound (SQLITE_STATIC). A deque, so that
  // growing it for later parameters (an edit binds its key after the
  // columns) never moves a text that is already bound.
  std::deque<std::string> bound_text_;
  std::vector<bool> unchanged_key_;  // UpdateRow: the fields it leaves out
  std::string sql_scratch_;
  std::string caller_text_;  // Execute: the caller's text in UTF-8, its room reused
};

}  // namespace qz::access::sqlite
