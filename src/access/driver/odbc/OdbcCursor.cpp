#include "access/driver/odbc/OdbcCursor.h"

#include <cassert>
#include <type_traits>

#include "access/driver/odbc/OdbcErrors.h"

namespace qz::access::odbc {
namespace {

// Text is read in pieces of this many bytes; a longer value takes as many
// pieces as it needs.
constexpr size_t kTextPieceBytes = 8192;

}  // namespace

OdbcCursor::OdbcCursor(OdbcConnection* connection, Handle statement, State state)
    : connection_(connection), statement_(std::move(statement)), state_(state) {
  if (statement_) connection_->Register(this);
  // A statement without rows stands past its end from the start.
  if (state_ == State::kDone) StandPastEnd();
}

OdbcCursor::OdbcCursor(OdbcConnection* connection, KeptStatement kept, std::string shape)
    : OdbcCursor(connection, std::move(kept.statement), State::kExecuted) {
  kept_shape_ = std::move(shape);
  kept_parameters_ = std::move(kept.parameters);
}

OdbcCursor::~OdbcCursor() { Close(); }

void OdbcCursor::LoseStatement() {
  const bool reading = state_ == State::kExecuted || state_ == State::kOnRow || state_ == State::kPending;
  statement_.reset();
  if (state_ != State::kClosed) state_ = State::kDone;
  if (reading) LoseRows();
}

void OdbcCursor::ReadFirst() {
  assert(state_ == State::kPending || state_ == State::kExecuted);
  if (state_ == State::kPending) {
    connection_->PrepareForStatement();
    if (!statement_) CQZDBException::Raise(L"the connection was made again; the statement is gone", "08003", 0);
    const SQLRETURN rc = SQLExecute(statement_.get());
    if (rc == SQL_NO_DATA) {
      state_ = State::kDone;
    } else if (!SQL_SUCCEEDED(rc)) {
      state_ = State::kDone;
      connection_->RaiseError(SQL_HANDLE_STMT, statement_.get(), L"");
    } else {
      state_ = State::kExecuted;
    }
  }
  if (state_ == State::kExecuted) Fetch();
}

void OdbcCursor::Fetch() {
  assert(state_ == State::kExecuted || state_ == State::kOnRow);
  // Rows another record set held back go first, so that their refusal is
  // not mistaken for this read's.
  connection_->FlushHeldRows();
  ++row_;  // no column of it read yet
  const SQLRETURN rc = SQLFetch(statement_.get());
  if (rc == SQL_NO_DATA) {
    state_ = State::kDone;
    return;
  }
  if (!SQL_SUCCEEDED(rc)) {
    state_ = State::kDone;
    connection_->RaiseError(SQL_HANDLE_STMT, statement_.get(), L"");
  }
  state_ = State::kOnRow;
}

void OdbcCursor::Describe() {
  SQLSMALLINT count = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(statement_.get(), &count)))
    connection_->RaiseError(SQL_HANDLE_STMT, statement_.get(), L"");
  columns_.resize(static_cast<size_t>(count));
  values_.resize(static_cast<size_t>(count));
  texts_.resize(static_cast<size_t>(count));
  in_texts_.assign(static_cast<size_t>(count), false);
  read_in_row_.assign(static_cast<size_t>(count), 0);
  any_order_ = connection_->ReadsColumnsInAnyOrder();
  for (SQLSMALLINT i = 0; i < count; ++i) {
    SQLWCHAR name[256] = {};
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!SQL_SUCCEEDED(SQLDescribeColW(statement_.get(), static_cast<SQLUSMALLINT>(i + 1), name, 256, &length, &type,
                                       &size, &digits, &nullable)))
      connection_->RaiseError(SQL_HANDLE_STMT, statement_.get(), L"");
    columns_[static_cast<size_t>(i)].name = FromSqlText(name, std::min<size_t>(static_cast<size_t>(length), 255));
    columns_[static_cast<size_t>(i)].type = type;
  }
}

void OdbcCursor::ReadText(size_t index, bool utf8) {
  const SQLUSMALLINT number = static_cast<SQLUSMALLINT>(index + 1);
  // Each piece ends in a terminator the driver adds: one byte or one unit.
  const SQLSMALLINT c_type = utf8 ? SQL_C_CHAR : SQL_C_WCHAR;
  const SQLLEN terminator = utf8 ? 1 : static_cast<SQLLEN>(sizeof(SQLWCHAR));
  void* buffer;
  SQLLEN capacity;
  std::string& bytes = texts_[index];
  if (utf8) {
    byte_buffer_.resize(kTextPieceBytes);
    buffer = byte_buffer_.data();
    capacity = static_cast<SQLLEN>(byte_buffer_.size());
    bytes.clear();
  } else {
    text_buffer_.resize(kTextPieceBytes / sizeof(SQLWCHAR));
    buffer = text_buffer_.data();
    capacity = static_cast<SQLLEN>(text_buffer_.size() * sizeof(SQLWCHAR));
  }
  SqlText whole;
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(statement_.get(), number, c_type, buffer, capacity, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) connection_->RaiseError(SQL_HANDLE_STMT, statement_.get(), L"");
    if (indicator == SQL_NULL_DATA) {
      values_[index].SetNull();
      return;
    }
    // A piece that did not fit (01004) fills the buffer but its terminator;
    // the rest comes with the next call. A UTF-8 character cut between two
    // pieces is whole again once they are joined.
    const bool complete = indicator != SQL_NO_TOTAL && indicator <= capacity - terminator;
    const size_t size = static_cast<size_t>(complete ? indicator : capacity - terminator);
    if (utf8)
      bytes.append(byte_buffer_.data(), size);
    else
      whole.append(text_buffer_.data(), size / sizeof(SQLWCHAR));
    if (complete) break;
  }
  if (utf8)
    in_texts_[index] = true;
  else
    values_[index] = FromSqlText(whole.data(), whole.size());
}

// A fixed-size number, fetched as the C type c_type holds.
template <typename Number>
void OdbcCursor::ReadNumber(SQLUSMALLINT number, SQLSMALLINT c_type, CQZDBVariant& value) {
  Number read = 0;
  SQLLEN indicator = 0;
  if (!SQL_SUCCEEDED(SQLGetData(statement_.get(), number, c_type, &read, 0, &indicator)))
    connection_->RaiseError(SQL_HANDLE_STMT, statement_.get(), L"");
  if (indicator == SQL_NULL_DATA)
    value.SetNull();
  else if constexpr (std::is_floating_point_v<Number>)
    value.SetReal(read);
  else
    value.SetInteger(read);
}

void OdbcCursor::ReadColumn(size_t index) {
  const SQLUSMALLINT number = static_cast<SQLUSMALLINT>(index + 1);
  CQZDBVariant& value = values_[index];
  in_texts_[index] = false;
  SQLLEN indicator = 0;
  switch (columns_[index].type) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIT:
      ReadNumber<SQLINTEGER>(number, SQL_C_SLONG, value);
      return;
    case SQL_BIGINT:
      ReadNumber<SQLBIGINT>(number, SQL_C_SBIGINT, value);
      return;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      ReadNumber<SQLDOUBLE>(number, SQL_C_DOUBLE, value);
      return;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TIMESTAMP:
    case SQL_DATE: {
      SQL_TIMESTAMP_STRUCT stamp{};
      const SQLRETURN rc = SQLGetData(statement_.get(), number, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp, &indicator);
      if (!SQL_SUCCEEDED(rc)) {
        // A stored value that is no date the driver can convert reads as
        // NULL: the date conversion turns that into an invalid date-time.
        const Diagnostic diagnostic = ReadDiagnostic(SQL_HANDLE_STMT, statement_.get());
        if (diagnostic.state.compare(0, 2, "22") != 0) RaiseDiagnostic(diagnostic, L"");
        value.SetNull();
        return;
      }
      if (indicator == SQL_NULL_DATA) {
        value.SetNull();
        return;
      }
      SQZTimestamp parts;
      parts.year = stamp.year;
      parts.month = stamp.month;
      parts.day = stamp.day;
      parts.hour = stamp.hour;
      parts.minute = stamp.minute;
      parts.second = stamp.second;
      parts.fraction = stamp.fraction;
      value.SetTimestamp(parts);
      return;
    }
    case SQL_GUID:
      ReadText(index, true);  // ASCII, whatever the character set
      return;
    default:
      ReadText(index, connection_->ReadsUtf8Text());
      return;
  }
}

void OdbcCursor::EnsureDescribed() {
  assert(state_ == State::kOnRow);
  if (columns_.empty()) Describe();
}

void OdbcCursor::ReadRow() {
  EnsureDescribed();
  // In column order, which every driver allows.
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (read_in_row_[i] == row_) continue;
    ReadColumn(i);
    read_in_row_[i] = row_;
  }
}

void OdbcCursor::Read(size_t index) {
  if (read_in_row_[index] == row_) return;
  if (!any_order_) return ReadRow();
  ReadColumn(index);
  read_in_row_[index] = row_;
}

const CQZDBVariant& OdbcCursor::ValueOf(size_t index) {
  Read(index);
  if (in_texts_[index]) {
    values_[index].SetTextUtf8(texts_[index]);
    in_texts_[index] = false;
  }
  return values_[index];
}

size_t OdbcCursor::ColumnIndex(std::wstring_view column) {
  return static_cast<size_t>(
      lookup_.Find(column, static_cast<int>(columns_.size()),
                   [this](int i) -> const std::wstring& { return columns_[static_cast<size_t>(i)].name; }));
}

void OdbcCursor::GetValue(std::wstring_view column, CQZDBVariant& value) {
  EnsureDescribed();
  value = ValueOf(ColumnIndex(column));
}

int OdbcCursor::ColumnPosition(std::wstring_view column) {
  EnsureDescribed();
  return static_cast<int>(ColumnIndex(column));
}

size_t OdbcCursor::PositionIndex(int position) {
  EnsureDescribed();
  if (position < 0 || static_cast<size_t>(position) >= columns_.size()) RaiseNoColumnAt(position);
  return static_cast<size_t>(position);
}

// Text read as UTF-8 as it came, integers as they are; the rest through
// GetValueAt.
Cursor::Cell OdbcCursor::CellAt(int position) {
  const size_t index = PositionIndex(position);
  Read(index);
  Cell cell;
  if (in_texts_[index]) {
    cell.kind = Cell::kText;
    cell.text = texts_[index];
  } else if (values_[index].IsNull()) {
    cell.kind = Cell::kNull;
  }
  return cell;
}

void OdbcCursor::GetValueAt(int position, CQZDBVariant& value) { value = ValueOf(PositionIndex(position)); }

bool OdbcCursor::AddNew(const std::wstring& table) {
  row_buffer_.Begin(RowBuffer::Mode::kInsert, table);
  return true;
}

bool OdbcCursor::Edit(const std::wstring& table) {
  ReadRow();
  const std::vector<std::wstring>& key = connection_->PrimaryKey(table);
  if (key.empty()) RaiseNoKeyToEditBy(table);
  edit_key_ = key;
  edit_key_values_.resize(key.size());
  for (size_t i = 0; i < key.size(); ++i) {
    edit_key_values_[i] = ValueOf(ColumnIndex(key[i]));
    if (edit_key_values_[i].IsNull())
      CQZDBException::Raise(L"the row to edit has no value in key column " + key[i], "", 0);
  }
  row_buffer_.Begin(RowBuffer::Mode::kEdit, table);
  return true;
}

bool OdbcCursor::SetFieldValue(std::wstring_view column, const CQZDBVariant& value) {
  row_buffer_.Assign(column, value);
  return true;
}

bool OdbcCursor::Update() {
  row_buffer_.Send([&] {
    if (row_buffer_.mode() == RowBuffer::Mode::kInsert) {
      added_ = true;
      connection_->InsertRow(row_buffer_.table(), row_buffer_.layout_id(), row_buffer_.fields(), row_buffer_.size());
    } else {
      connection_->UpdateRow(row_buffer_.table(), edit_key_, edit_key_values_, row_buffer_.fields(),
                             row_buffer_.size());
    }
  });
  return true;
}

void OdbcCursor::Flush() {
  if (added_ && state_ != State::kClosed) connection_->FlushHeldRows();
}

void OdbcCursor::Close() {
  if (state_ == State::kClosed) return;
  state_ = State::kClosed;
  StandPastEnd();
  if (statement_) {
    connection_->Unregister(this);
    if (kept_shape_.empty())
      connection_->ReturnStatement(std::move(statement_));
    else
      connection_->ReturnKept(std::move(kept_shape_),
                              KeptStatement{std::move(statement_), std::move(kept_parameters_)});
  }
}

}  // namespace qz::access::odbc
