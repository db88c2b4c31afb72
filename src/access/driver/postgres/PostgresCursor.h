// The rows of one PostgreSQL statement. A query opened for reading was sent
// by Open, which waited for its first row; one opened to write rows is not
// sent until a row is asked for, so a query opened only to add rows reads
// nothing. Once sent a query streams in single-row mode. When another
// statement needs the connection while the rows are still streaming, the
// cursor takes the rest of them into memory first (the connection calls
// TakeRestOfStream).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "access/driver/ColumnLookup.h"
#include "access/driver/Driver.h"
#include "access/driver/ForwardCursor.h"
#include "access/driver/postgres/PostgresConnection.h"

namespace qz::access::postgres {

class PostgresCursor : public ForwardCursor {
 public:
  // A query to run when its first row is needed.
  PostgresCursor(PostgresConnection* connection, PendingQuery query);
  // A query already sent and streaming in single-row mode; first holds its
  // first row.
  struct Streaming {};
  PostgresCursor(PostgresConnection* connection, Result first, Streaming);
  // A statement that already ran; result holds its rows, if any.
  PostgresCursor(PostgresConnection* connection, Result result);
  ~PostgresCursor() override;

  void GetValue(std::wstring_view column, CQZDBVariant& value) override;
  int ColumnPosition(std::wstring_view column) override { return ColumnIndex(column); }
  Cell CellAt(int position) override;
  void GetValueAt(int position, CQZDBVariant& value) override;

  bool AddNew(const std::wstring& table) override;
  bool Edit(const std::wstring& table) override;
  bool EditByKey(const std::wstring& table) override;
  bool SetFieldValue(std::wstring_view column, const CQZDBVariant& value) override;
  // Each writes the text the value travels as straight into the row.
  bool SetTextField(std::wstring_view column, std::wstring_view text) override;
  bool SetUtf8Field(std::wstring_view column, std::string_view text) override;
  bool SetIntegerField(std::wstring_view column, int64_t value) override;
  bool SetDateTimeField(std::wstring_view column, const SQZDateTime& value) override;
  bool Update() override;

  void Flush() override;
  void Close() override;
  std::unique_ptr<Cursor> TakeFollowing() override { return connection_->OpenFollowing(this); }

  // --- For the connection --------------------------------------------------

  // Reads what is left of the stream into memory; the connection is free
  // afterwards. A stream error is kept and raised when its row is reached.
  void TakeRestOfStream();
  // The connection went away under the stream: no more rows will come.
  void LoseStream();

 private:
  enum class State { kPending, kStreaming, kBuffered, kDone, kClosed };

  void ReadFirst() override;
  void ReadNext() override { Advance(); }
  bool OnRow() const override { return current_ != nullptr; }
  void Advance();
  // Makes result the current one when it holds a row; false otherwise.
  bool Accept(Result result);
  // Fills column_names_ and column_types_ from the current result.
  void LearnColumns();
  int ColumnIndex(std::wstring_view column);
  void ReadColumn(int index, CQZDBVariant& value);

  PostgresConnection* connection_;
  PendingQuery query_;
  State state_;
  bool lost_ = false;            // the connection closed under the stream
  bool added_ = false;           // rows went in through AddNew, perhaps held back
  Result current_;               // holds the current row
  int row_ = 0;                  // the current row within current_
  std::deque<Result> buffered_;  // the rest of a stream taken into memory

  std::vector<std::wstring> column_names_;  // filled on first lookup
  std::vector<Oid> column_types_;
  std::vector<Cell::Kind> column_kinds_;  // what CellAt hands out for each
  ColumnLookup columns_;
  std::wstring scratch_;

  // The row being written, lent by the connection at the first AddNew or
  // Edit (Row()).
  RowTexts& Row();
  std::unique_ptr<RowTexts> row_texts_;
  RowKey edit_key_;
  bool keyed_ = false;  // the row begun is a rewrite by key
};

}  // namespace qz::access::postgres
