#include "access/driver/postgres/PostgresCursor.h"

#include <cassert>
#include <charconv>

#include "access/TimestampText.h"
#include "access/driver/postgres/PostgresStatementText.h"
#include "platform/TextEncoding.h"

namespace qz::access::postgres {
namespace {

// Type OIDs of the server's built-in types (pg_type.dat); fixed forever.
constexpr Oid kBoolOid = 16;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kOidOid = 26;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kDateOid = 1082;
constexpr Oid kTimestampOid = 1114;
constexpr Oid kTimestampTzOid = 1184;

bool IsError(const PGresult* result) {
  const ExecStatusType status = PQresultStatus(result);
  return status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK;
}

// The server's text of an integer column: a minus perhaps, then digits.
// Up to 18 digits are read here, in a loop without calls, as a listing
// reads several integers per row; anything else goes to from_chars.
bool ParseInteger(const char* text, size_t length, int64_t* out) {
  const size_t first = length > 0 && text[0] == '-' ? 1 : 0;
  if (length > first && length - first <= 18) {
    int64_t value = 0;
    size_t i = first;
    for (; i < length; ++i) {
      const unsigned digit = static_cast<unsigned char>(text[i]) - static_cast<unsigned>('0');
      if (digit > 9) break;
      value = value * 10 + digit;
    }
    if (i == length) {
      *out = first ? -value : value;
      return true;
    }
  }
  return std::from_chars(text, text + length, *out).ec == std::errc();
}

}  // namespace

PostgresCursor::PostgresCursor(PostgresConnection* connection, PendingQuery query)
    : connection_(connection), query_(std::move(query)), state_(State::kPending) {}

PostgresCursor::PostgresCursor(PostgresConnection* connection, Result first, Streaming)
    : connection_(connection), state_(State::kStreaming) {
  // Rows taken into memory are read before the stream: the first one leads.
  buffered_.push_back(std::move(first));
}

PostgresCursor::PostgresCursor(PostgresConnection* connection, Result result)
    : connection_(connection), state_(State::kBuffered) {
  if (result && PQnfields(result.get()) > 0) {
    buffered_.push_back(std::move(result));
    return;
  }
  // A statement without a result stands past its end from the start.
  state_ = State::kDone;
  StandPastEnd();
}

PostgresCursor::~PostgresCursor() {
  Close();
  if (row_texts_) connection_->GiveBackRow(std::move(row_texts_));
}

RowTexts& PostgresCursor::Row() {
  if (!row_texts_) row_texts_ = connection_->LendRow();
  return *row_texts_;
}

void PostgresCursor::ReadFirst() {
  assert(state_ != State::kClosed);
  if (state_ == State::kPending) {
    Result first = connection_->StartStream(this, query_);
    state_ = State::kStreaming;
    if (first) buffered_.push_back(std::move(first));
  }
  Advance();
}

void PostgresCursor::Advance() {
  assert(state_ == State::kStreaming || state_ == State::kBuffered || state_ == State::kDone);
  if (current_ && row_ + 1 < PQntuples(current_.get())) {
    ++row_;
    return;
  }
  current_.reset();
  row_ = 0;
  for (;;) {
    Result next;
    if (!buffered_.empty()) {
      next = std::move(buffered_.front());
      buffered_.pop_front();
    } else if (state_ == State::kStreaming) {
      next = connection_->NextStreamResult(this);
      if (!next) {
        state_ = State::kDone;
        return;
      }
    } else {
      if (lost_) {
        lost_ = false;
        state_ = State::kDone;
        RaiseRowsLost();
      }
      state_ = State::kDone;
      return;
    }
    if (IsError(next.get())) {
      buffered_.clear();
      state_ = State::kDone;
      connection_->RaiseResultError(next.get(), "");
    }
    if (PQntuples(next.get()) > 0) {
      current_ = std::move(next);
      return;
    }
  }
}

void PostgresCursor::TakeRestOfStream() {
  while (state_ == State::kStreaming) {
    Result next = connection_->NextStreamResult(this);
    if (!next) break;
    const bool error = IsError(next.get());
    buffered_.push_back(std::move(next));
    if (error) break;
  }
  if (state_ == State::kStreaming) state_ = State::kBuffered;
}

void PostgresCursor::LoseStream() {
  if (state_ != State::kStreaming) return;
  state_ = State::kBuffered;
  lost_ = true;
}

namespace {

// The kind of cell CellAt hands out for a column of the type.
Cursor::Cell::Kind CellKindOf(Oid type) {
  switch (type) {
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
    case kOidOid:
      return Cursor::Cell::kInteger;
    case kBoolOid:
    case kFloat4Oid:
    case kFloat8Oid:
      return Cursor::Cell::kOther;
    case kDateOid:
    case kTimestampOid:
    case kTimestampTzOid:
      return Cursor::Cell::kTimestampText;
    default:
      return Cursor::Cell::kText;
  }
}

}  // namespace

void PostgresCursor::LearnColumns() {
  if (!column_names_.empty() || !current_) return;
  const int count = PQnfields(current_.get());
  column_names_.reserve(static_cast<size_t>(count));
  column_types_.reserve(static_cast<size_t>(count));
  column_kinds_.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const char* name = PQfname(current_.get(), i);
    column_names_.push_back(platform::Utf8ToWide(name ? name : ""));
    column_types_.push_back(PQftype(current_.get(), i));
    column_kinds_.push_back(CellKindOf(column_types_.back()));
  }
}

int PostgresCursor::ColumnIndex(std::wstring_view column) {
  LearnColumns();
  return columns_.Find(column, static_cast<int>(column_names_.size()),
                       [this](int i) -> const std::wstring& { return column_names_[static_cast<size_t>(i)]; });
}

void PostgresCursor::ReadColumn(int index, CQZDBVariant& value) {
  assert(current_);
  const PGresult* result = current_.get();
  if (PQgetisnull(result, row_, index)) {
    value.SetNull();
    return;
  }
  const char* text = PQgetvalue(result, row_, index);
  const size_t length = static_cast<size_t>(PQgetlength(result, row_, index));
  switch (column_types_[static_cast<size_t>(index)]) {
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
    case kOidOid: {
      int64_t number = 0;
      if (ParseInteger(text, length, &number)) {
        value.SetInteger(number);
        return;
      }
      break;
    }
    case kBoolOid:
      value.SetInteger(text[0] == 't' ? 1 : 0);
      return;
    case kFloat4Oid:
    case kFloat8Oid: {
      double number = 0;
      if (std::from_chars(text, text + length, number).ec == std::errc()) {
        value.SetReal(number);
        return;
      }
      break;
    }
    case kDateOid:
    case kTimestampOid:
    case kTimestampTzOid: {
      // ISO output (the connection sets DateStyle): "YYYY-MM-DD HH:MM:SS[.ffffff]".
      // BC dates, years past 9999 and infinity fall through as text.
      scratch_.assign(text, text + length);
      SQZTimestamp timestamp;
      if (ParseTimestampText(scratch_, &timestamp)) {
        value.SetTimestamp(timestamp);
        return;
      }
      break;
    }
    default:
      break;
  }
  value.SetTextUtf8(std::string_view(text, length));
}

void PostgresCursor::GetValue(std::wstring_view column, CQZDBVariant& value) { ReadColumn(ColumnIndex(column), value); }

// The server's text of the value, integers parsed here; types ReadColumn
// treats otherwise than as text take its way through GetValueAt. The
// column types are the statement's, learned once: a listing asks for
// every cell of every row.
Cursor::Cell PostgresCursor::CellAt(int position) {
  assert(current_);
  if (column_kinds_.empty()) LearnColumns();
  if (position < 0 || static_cast<size_t>(position) >= column_kinds_.size()) RaiseNoColumnAt(position);
  const PGresult* result = current_.get();
  Cell cell;
  // NULL reads as empty text; only empty text needs asking which it is.
  const char* text = PQgetvalue(result, row_, position);
  const size_t length = static_cast<size_t>(PQgetlength(result, row_, position));
  if (length == 0 && PQgetisnull(result, row_, position)) {
    cell.kind = Cell::kNull;
    return cell;
  }
  const Cell::Kind kind = column_kinds_[static_cast<size_t>(position)];
  if (kind == Cell::kInteger) {
    if (ParseInteger(text, length, &cell.integer)) cell.kind = Cell::kInteger;
    return cell;
  }
  if (kind == Cell::kOther) return cell;
  cell.kind = kind;
  cell.text = std::string_view(text, length);
  return cell;
}

void PostgresCursor::GetValueAt(int position, CQZDBVariant& value) {
  if (position < 0 || position >= PQnfields(current_.get())) RaiseNoColumnAt(position);
  LearnColumns();
  ReadColumn(position, value);
}

bool PostgresCursor::AddNew(const std::wstring& table) {
  if (state_ == State::kClosed) CQZDBException::Raise(L"the record set is closed", "", 0);
  Row().Begin(RowTexts::Mode::kInsert, table);
  keyed_ = false;
  return true;
}

bool PostgresCursor::Edit(const std::wstring& table) {
  assert(current_);
  const std::vector<std::wstring>& key = connection_->PrimaryKey(table);
  if (key.empty()) RaiseNoKeyToEditBy(table);
  edit_key_.columns = key;
  edit_key_.values.resize(key.size());
  for (size_t i = 0; i < key.size(); ++i) {
    const int index = ColumnIndex(key[i]);
    if (PQgetisnull(current_.get(), row_, index))
      CQZDBException::Raise(L"the row to edit has no value in key column " + key[i], "", 0);
    edit_key_.values[i].assign(PQgetvalue(current_.get(), row_, index),
                               static_cast<size_t>(PQgetlength(current_.get(), row_, index)));
  }
  Row().Begin(RowTexts::Mode::kEdit, table);
  keyed_ = false;
  return true;
}

bool PostgresCursor::EditByKey(const std::wstring& table) {
  if (state_ == State::kClosed) CQZDBException::Raise(L"the record set is closed", "", 0);
  Row().Begin(RowTexts::Mode::kEdit, table);
  keyed_ = true;
  return true;
}

bool PostgresCursor::SetFieldValue(std::wstring_view column, const CQZDBVariant& value) {
  ParameterText& field = Row().Assign(column);
  field.null = !ValueText(value, &field.text);
  return true;
}

// The typed assignments write the very text ValueText makes of the variant
// of the same value.
bool PostgresCursor::SetTextField(std::wstring_view column, std::wstring_view text) {
  platform::WideToUtf8(text, &Row().Assign(column).text);
  return true;
}

// The record set has refused text that is not UTF-8, so the caller's bytes
// are what the wide text they decode to would encode to.
bool PostgresCursor::SetUtf8Field(std::wstring_view column, std::string_view text) {
  Row().Assign(column).text.assign(text.data(), text.size());
  return true;
}

bool PostgresCursor::SetIntegerField(std::wstring_view column, int64_t value) {
  std::string& text = Row().Assign(column).text;
  char digits[24];
  const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
  text.assign(digits, end.ptr);
  return true;
}

bool PostgresCursor::SetDateTimeField(std::wstring_view column, const SQZDateTime& value) {
  ParameterText& field = Row().Assign(column);
  field.null = !value.IsValid();
  if (!field.null) FormatTimestamp(TimestampFromDateTime(value), &field.text);
  return true;
}

bool PostgresCursor::Update() {
  const bool keyed = keyed_;
  keyed_ = false;  // the row is over, written or refused
  bool changed = true;
  RowTexts& row = Row();
  row.Send([&] {
    if (row.mode() == RowTexts::Mode::kInsert) {
      added_ = true;
      connection_->InsertRow(row);
    } else if (keyed) {
      // Its answer may be held for the commit, and the row with it: the
      // cursor then writes through another (Row()).
      changed = connection_->UpdateRowByKey(&row_texts_) > 0;
    } else {
      connection_->UpdateRow(row, edit_key_);
    }
  });
  return changed;
}

void PostgresCursor::Flush() {
  if (added_ && state_ != State::kClosed) connection_->FinishHeldRows();
}

void PostgresCursor::Close() {
  if (state_ == State::kClosed) return;
  if (state_ == State::kStreaming) connection_->AbandonStream(this);
  connection_->DropFollowing(this);
  state_ = State::kClosed;
  StandPastEnd();
  current_.reset();
  buffered_.clear();
}

}  // namespace qz::access::postgres
