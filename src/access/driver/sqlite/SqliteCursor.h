// The rows of one SQLite statement. Nothing is stepped until a row is asked
// for, so a query opened only to add rows costs no read.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "access/driver/Driver.h"

namespace qz::access {

class SqliteConnection;

class SqliteCursor : public Cursor {
 public:
  // Takes the statement; a statement that returns no rows has already run
  // (done == true) and the cursor stands past its end.
  SqliteCursor(SqliteConnection* connection, std::string sql, sqlite3_stmt* statement, bool done);
  ~SqliteCursor() override;

  bool IsBOF() override;
  bool IsEOF() override;
  bool MoveNext() override;
  void GetValue(std::wstring_view column, CQZDBVariant& value) override;

  bool AddNew(const std::wstring& table) override;
  bool Edit(const std::wstring& table) override;
  bool SetFieldValue(std::wstring_view column, const CQZDBVariant& value) override;
  bool Update() override;

  void Close() override;

 private:
  enum class State { kNotStarted, kOnRow, kDone, kClosed };

  void Start();
  void Step();
  int ColumnIndex(std::wstring_view column);
  void ReadColumn(int index, CQZDBVariant& value);

  SqliteConnection* connection_;
  std::string sql_;
  sqlite3_stmt* statement_;
  State state_;
  bool bof_ = false;
  std::vector<std::wstring> column_names_;  // filled on first lookup
  int last_column_ = -1;
  RowBuffer row_;
  std::vector<FieldValue> edit_key_;  // the key of the row being edited
};

}  // namespace qz::access
