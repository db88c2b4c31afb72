// The rows of one ODBC statement, read forward only, one row at a time.
// A value of the current row is read whole (a long text in as many pieces
// as it takes) when its column is first asked for, and only then, so that
// the columns a caller never asks for cost no call; a driver that reads
// columns only in their order gets the whole row read at the first ask, so
// columns can be read in any order whatever the driver allows.
#pragma once

#include <string>
#include <vector>

#include "access/driver/ColumnLookup.h"
#include "access/driver/Driver.h"
#include "access/driver/ForwardCursor.h"
#include "access/driver/odbc/OdbcConnection.h"

namespace qz::access::odbc {

class OdbcCursor : public ForwardCursor {
 public:
  enum class State {
    kPending,   // prepared, runs when a row is first asked for
    kExecuted,  // ran; its first row not fetched yet
    kOnRow,
    kDone,  // past the last row, or a statement without rows
    kClosed,
  };

  OdbcCursor(OdbcConnection* connection, Handle statement, State state);
  // The rows of a kept statement that ran (kExecuted), given back to the
  // connection under shape when the cursor is done.
  OdbcCursor(OdbcConnection* connection, KeptStatement kept, std::string shape);
  ~OdbcCursor() override;

  void GetValue(std::wstring_view column, CQZDBVariant& value) override;
  int ColumnPosition(std::wstring_view column) override;
  Cell CellAt(int position) override;
  void GetValueAt(int position, CQZDBVariant& value) override;

  bool AddNew(const std::wstring& table) override;
  bool Edit(const std::wstring& table) override;
  bool SetFieldValue(std::wstring_view column, const CQZDBVariant& value) override;
  bool Update() override;

  void Flush() override;
  void Close() override;

  // The connection is going: let go of the statement handle now.
  void LoseStatement();

 private:
  struct ColumnInfo {
    std::wstring name;
    SQLSMALLINT type = 0;
  };

  void ReadFirst() override;
  void ReadNext() override { Fetch(); }
  bool OnRow() const override { return state_ == State::kOnRow; }
  void Fetch();
  void Describe();
  void EnsureDescribed();
  // Reads every column of the current row not read yet.
  void ReadRow();
  // Reads column index of the current row unless it was read.
  void Read(size_t index);
  void ReadColumn(size_t index);
  template <typename Number>
  void ReadNumber(SQLUSMALLINT number, SQLSMALLINT c_type, CQZDBVariant& value);
  // Text as UTF-16 (SQL_C_WCHAR) into values_, or as UTF-8 (SQL_C_CHAR)
  // into texts_ when utf8 is true: the connection's own character set, or
  // a GUID's ASCII.
  void ReadText(size_t index, bool utf8);
  // The value of column index of the current row, read now if it was not.
  const CQZDBVariant& ValueOf(size_t index);
  size_t ColumnIndex(std::wstring_view column);
  size_t PositionIndex(int position);

  OdbcConnection* connection_;
  Handle statement_;
  State state_;
  std::string kept_shape_;  // not empty for a kept statement
  std::vector<BoundText> kept_parameters_;
  bool added_ = false;  // rows went in through AddNew, perhaps held back

  std::vector<ColumnInfo> columns_;
  // The current row, once read: each value in values_, or, for text read
  // as UTF-8, in texts_ until a variant is asked for.
  std::vector<CQZDBVariant> values_;
  std::vector<std::string> texts_;
  std::vector<bool> in_texts_;
  // The row each column was last read in; row_ counts the rows fetched.
  std::vector<uint64_t> read_in_row_;
  uint64_t row_ = 0;
  bool any_order_ = false;  // the driver reads columns in any order
  ColumnLookup lookup_;
  SqlText text_buffer_;
  std::string byte_buffer_;

  RowBuffer row_buffer_;
  std::vector<std::wstring> edit_key_;
  std::vector<CQZDBVariant> edit_key_values_;
};

}  // namespace qz::access::odbc
