// The rows of one SQLite statement. Nothing is stepped until a row is asked
// for, so a query opened only to add rows costs no read.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "access/driver/ColumnLookup.h"
#include "access/driver/Driver.h"
#include "access/driver/ForwardCursor.h"
#include "access/driver/RowBuffer.h"
#include "access/driver/sqlite/SqliteDirectRow.h"
#include "access/driver/sqlite/SqliteFoundColumns.h"
#include "access/driver/sqlite/SqliteHandles.h"

namespace qz::access::sqlite {

class SqliteConnection;

class SqliteCursor : public ForwardCursor {
 public:
  // Takes the statement, to hand back under sql (see
  // SqliteConnection::ReleaseStatement); a statement that returns no rows
  // has already run (done == true) and the cursor stands past its end.
  // columns are those found in the statement by earlier cursors.
  SqliteCursor(SqliteConnection* connection, std::string sql, Statement statement, bool done,
               FoundColumns columns = FoundColumns());
  ~SqliteCursor() override;

  void GetValue(std::wstring_view column, CQZDBVariant& value) override;
  int ColumnPosition(std::wstring_view column) override { return ColumnIndex(column); }
  uint64_t ColumnsIdentity() override { return found_checked_ ? found_.identity() : 0; }
  Cell CellAt(int position) override;
  void GetValueAt(int position, CQZDBVariant& value) override;

  bool AddNew(const std::wstring& table) override;
  bool Edit(const std::wstring& table) override;
  bool EditByKey(const std::wstring& table) override;
  bool SetFieldValue(std::wstring_view column, const CQZDBVariant& value) override;
  bool SetTextField(std::wstring_view column, std::wstring_view text) override;
  bool SetUtf8Field(std::wstring_view column, std::string_view text) override;
  bool SetIntegerField(std::wstring_view column, int64_t value) override;
  bool SetDateTimeField(std::wstring_view column, const SQZDateTime& value) override;
  bool Update() override;

  void Close() override;

 private:
  enum class State { kNotStarted, kOnRow, kDone, kClosed };

  // Only the first step prepares the statement again for a changed schema.
  void ReadFirst() override {
    Step();
    found_.Check(statement_.get());
    found_checked_ = true;
    column_count_ = sqlite3_column_count(statement_.get());
  }
  void ReadNext() override { Step(); }
  bool OnRow() const override { return state_ == State::kOnRow; }

  // Direct binding: once a row has been inserted through the connection's
  // cached INSERT, each following row of the same table and columns binds
  // its values into that statement as they are assigned, skipping the row
  // buffer. Anything out of the ordinary (another column order, another
  // cursor's insert in between) moves the values bound so far into the row
  // buffer and carries on the ordinary way. A rewrite by key binds the same
  // way into the connection's kept keyed UPDATE, from its first row on.
  void BindDirect(size_t index, const CQZDBVariant& value);
  // Whether the next value of this row, for column, binds straight into
  // the kept statement; *index is then its place there, counted as bound
  // once it is. Otherwise leaves direct binding for the row buffer.
  bool NextDirect(std::wstring_view column, size_t* index);
  // Binds direct_text_[index], just written, as text.
  void BindDirectText(size_t index);
  void LeaveDirect();
  void RememberLayout();
  // The columns of the statement bound into, and whether the connection
  // still keeps it.
  const std::vector<std::wstring>& DirectColumns() const { return keyed_ ? *keyed_columns_ : direct_columns_; }
  bool DirectStatementKept() const;
  // Makes room for count bound texts; only between rows.
  void ReserveDirectText(size_t count);

  void Step();
  int ColumnIndex(std::wstring_view column);
  void ReadColumn(int index, CQZDBVariant& value);

  SqliteConnection* connection_;
  std::string sql_;
  Statement statement_;
  State state_;
  ColumnLookup columns_;
  FoundColumns found_;                // handed back with the statement
  bool found_checked_ = false;        // found_ checked against the statement's first step
  int column_count_ = 0;              // the result's columns, as the first step left them
  std::unique_ptr<RowBuffer> row_;    // lent by the connection
  std::vector<FieldValue> edit_key_;  // the key of the row being edited

  bool direct_ = false;         // this row binds straight into the INSERT
  size_t direct_count_ = 0;     // values bound so far in this row
  uint64_t direct_layout_ = 0;  // the layout the INSERT was prepared for
  std::wstring direct_table_;
  std::vector<std::wstring> direct_columns_;
  std::vector<BoundValue> direct_values_;
  sqlite3_stmt* direct_statement_ = nullptr;  // valid while the connection keeps direct_layout_
  // UTF-8 of the bound texts. Resized only when a new layout is remembered,
  // when the statement holds none of them.
  std::vector<std::string> direct_text_;

  bool keyed_ = false;  // the row begun is a rewrite by key
  uint64_t keyed_layout_ = 0;
  std::shared_ptr<const std::vector<std::wstring>> keyed_columns_;
};

}  // namespace qz::access::sqlite
