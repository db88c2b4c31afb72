#include "access/driver/sqlite/SqliteCursor.h"

#include <cassert>

#include "access/driver/sqlite/SqliteConnection.h"
#include "platform/TextEncoding.h"

namespace qz::access::sqlite {

SqliteCursor::SqliteCursor(SqliteConnection* connection, std::string sql, Statement statement, bool done,
                           FoundColumns columns)
    : connection_(connection),
      sql_(std::move(sql)),
      statement_(std::move(statement)),
      state_(done ? State::kDone : State::kNotStarted),
      found_(std::move(columns)),
      row_(connection->LendRowBuffer()) {
  assert(done || statement_);
  DirectRow lent = connection->LendDirectRow();
  direct_values_ = std::move(lent.values);
  direct_text_ = std::move(lent.text);
  if (done) StandPastEnd();
}

SqliteCursor::~SqliteCursor() {
  Close();  // unbinds the direct texts
  connection_->GiveBackRowBuffer(std::move(row_));
  connection_->GiveBackDirectRow(DirectRow{std::move(direct_values_), std::move(direct_text_)});
}

void SqliteCursor::Step() {
  assert(state_ == State::kNotStarted || state_ == State::kOnRow);
  int rc = sqlite3_step(statement_.get());
  if (rc == SQLITE_ROW) {
    state_ = State::kOnRow;
  } else {
    state_ = State::kDone;
    if (rc != SQLITE_DONE) connection_->RaiseError(rc, "");
  }
}

// The names are compared as SQLite holds them, so a statement kept
// prepared converts none of them again for each query that reuses it, and
// a column found once is remembered with the statement (FoundColumns): the
// next query finds it by the name asked for alone. A change of schema that
// renames or moves a column makes SQLite prepare the statement again on
// its first step, which forgets the remembered columns (see ReadFirst).
int SqliteCursor::ColumnIndex(std::wstring_view column) {
  if (!statement_)
    return columns_.FindMatching(
        column, 0, [](int) { return false; }, SQLITE_ERROR);
  sqlite3_stmt* statement = statement_.get();
  if (found_checked_) {
    const int found = found_.Find(column);
    if (found >= 0) return found;
  }
  const int position = columns_.FindMatching(
      column, sqlite3_column_count(statement),
      [&](int i) {
        const char* name = sqlite3_column_name(statement, i);
        return SameIdentifierUtf8(column, name ? name : "");
      },
      SQLITE_ERROR);
  if (found_checked_) found_.Remember(column, position);
  return position;
}

void SqliteCursor::ReadColumn(int index, CQZDBVariant& value) {
  assert(state_ == State::kOnRow);
  switch (sqlite3_column_type(statement_.get(), index)) {
    case SQLITE_INTEGER:
      value.SetInteger(sqlite3_column_int64(statement_.get(), index));
      break;
    case SQLITE_FLOAT:
      value.SetReal(sqlite3_column_double(statement_.get(), index));
      break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_.get(), index));
      const int bytes = sqlite3_column_bytes(statement_.get(), index);
      value.SetTextUtf8(std::string_view(text ? text : "", static_cast<size_t>(bytes)));
      break;
    }
    default:
      value.SetNull();
      break;
  }
}

void SqliteCursor::GetValue(std::wstring_view column, CQZDBVariant& value) { ReadColumn(ColumnIndex(column), value); }

// Integers and text as SQLite holds them; REAL and BLOB values take
// ReadColumn's way through GetValueAt. The cell is fetched once and read
// through its value: the connection is opened without SQLite's mutex and
// used by one thread at a time, so the value needs no protection of its
// own, and a row mapping reads every cell of every row this way.
Cursor::Cell SqliteCursor::CellAt(int position) {
  assert(state_ == State::kOnRow);
  if (position < 0 || position >= column_count_) RaiseNoColumnAt(position);
  sqlite3_value* value = sqlite3_column_value(statement_.get(), position);
  Cell cell;
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      cell.kind = Cell::kInteger;
      cell.integer = sqlite3_value_int64(value);
      break;
    case SQLITE_TEXT: {
      const char* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      int bytes = sqlite3_value_bytes(value);
      if (!text) {
        // Out of memory: the column's own calls note the failure on the
        // statement, as they always did.
        text = reinterpret_cast<const char*>(sqlite3_column_text(statement_.get(), position));
        bytes = sqlite3_column_bytes(statement_.get(), position);
      }
      cell.kind = Cell::kText;
      cell.text = std::string_view(text ? text : "", static_cast<size_t>(bytes));
      break;
    }
    case SQLITE_NULL:
      cell.kind = Cell::kNull;
      break;
    default:
      break;
  }
  return cell;
}

void SqliteCursor::GetValueAt(int position, CQZDBVariant& value) {
  if (position < 0 || position >= sqlite3_column_count(statement_.get())) RaiseNoColumnAt(position);
  ReadColumn(position, value);
}

bool SqliteCursor::AddNew(const std::wstring& table) {
  if (direct_) LeaveDirect();
  keyed_ = false;
  row_->Begin(RowBuffer::Mode::kInsert, table);
  direct_statement_ =
      direct_layout_ != 0 && table == direct_table_ ? connection_->InsertStatementFor(direct_layout_) : nullptr;
  direct_ = direct_statement_ != nullptr;
  direct_count_ = 0;
  return true;
}

// Binds value as parameter index + 1 of the cached INSERT and keeps what it
// bound, so that LeaveDirect can hand the row to the ordinary path. Text
// and integers, the bulk of every row, are bound here without a detour.
void SqliteCursor::BindDirect(size_t index, const CQZDBVariant& value) {
  BoundValue& bound = direct_values_[index];
  bound.type = value.GetType();
  const int parameter = static_cast<int>(index) + 1;
  int rc;
  switch (bound.type) {
    case CQZDBVariant::TYPE_TEXT: {
      std::string& text = direct_text_[index];
      platform::WideToUtf8(value.GetTextRef(), &text);
      rc = sqlite3_bind_text(direct_statement_, parameter, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
      break;
    }
    case CQZDBVariant::TYPE_INTEGER:
      bound.integer = value.GetInteger64();
      rc = sqlite3_bind_int64(direct_statement_, parameter, bound.integer);
      break;
    default:
      bound.real = value.GetReal();
      bound.date_time = value.GetDateTime();
      bound.timestamp = value.GetTimestamp();
      connection_->BindValue(direct_statement_, parameter, value, &direct_text_[index]);
      return;
  }
  if (rc != SQLITE_OK) connection_->RaiseError(rc, "binding a value");
}

bool SqliteCursor::DirectStatementKept() const {
  return keyed_ ? connection_->keyed_update_layout_id() == keyed_layout_
                : connection_->insert_layout_id() == direct_layout_;
}

void SqliteCursor::ReserveDirectText(size_t count) {
  if (direct_text_.size() >= count) return;
  // Growing moves the texts: nothing kept may still point into them.
  if (direct_layout_ != 0)
    if (sqlite3_stmt* insert = connection_->InsertStatementFor(direct_layout_)) sqlite3_clear_bindings(insert);
  direct_text_.resize(count);
}

void SqliteCursor::LeaveDirect() {
  direct_ = false;
  const std::vector<std::wstring>& columns = DirectColumns();
  CQZDBVariant value;
  for (size_t i = 0; i < direct_count_; ++i) {
    const BoundValue& bound = direct_values_[i];
    switch (bound.type) {
      case CQZDBVariant::TYPE_INTEGER:
        value.SetInteger(bound.integer);
        break;
      case CQZDBVariant::TYPE_REAL:
        value.SetReal(bound.real);
        break;
      case CQZDBVariant::TYPE_TEXT:
        value.SetTextUtf8(direct_text_[i]);
        break;
      case CQZDBVariant::TYPE_DATETIME:
        value = bound.date_time;
        break;
      case CQZDBVariant::TYPE_TIMESTAMP:
        value.SetTimestamp(bound.timestamp);
        break;
      case CQZDBVariant::TYPE_NULL:
        value.SetNull();
        break;
    }
    row_->Assign(columns[i], value);
  }
  direct_count_ = 0;
}

void SqliteCursor::RememberLayout() {
  if (row_->layout_id() == direct_layout_) return;
  direct_layout_ = row_->layout_id();
  direct_table_ = row_->table();
  direct_columns_.resize(row_->size());
  for (size_t i = 0; i < row_->size(); ++i) direct_columns_[i] = row_->fields()[i].column;
  direct_values_.resize(row_->size());
  ReserveDirectText(row_->size());
}

bool SqliteCursor::Edit(const std::wstring& table) {
  assert(state_ == State::kOnRow);
  if (direct_) LeaveDirect();
  direct_ = false;
  keyed_ = false;
  const std::vector<std::wstring>& key = connection_->PrimaryKey(table);
  if (key.empty()) RaiseNoKeyToEditBy(table);
  edit_key_.resize(key.size());
  for (size_t i = 0; i < key.size(); ++i) {
    edit_key_[i].column = key[i];
    ReadColumn(ColumnIndex(key[i]), edit_key_[i].value);
  }
  row_->Begin(RowBuffer::Mode::kEdit, table);
  return true;
}

bool SqliteCursor::EditByKey(const std::wstring& table) {
  if (direct_) LeaveDirect();
  if (connection_->PrimaryKey(table).empty()) RaiseNoKeyToEditBy(table);
  row_->Begin(RowBuffer::Mode::kEdit, table);
  keyed_ = true;
  direct_count_ = 0;
  const SqliteConnection::KeyedUpdate* kept = connection_->KeyedUpdateFor(table);
  direct_ = kept != nullptr;
  if (direct_) {
    keyed_layout_ = kept->layout_id;
    keyed_columns_ = kept->columns;
    direct_statement_ = kept->statement.get();
    if (direct_values_.size() < keyed_columns_->size()) direct_values_.resize(keyed_columns_->size());
    ReserveDirectText(keyed_columns_->size());
  }
  return true;
}

bool SqliteCursor::NextDirect(std::wstring_view column, size_t* index) {
  if (!direct_) return false;
  const size_t i = direct_count_;
  const std::vector<std::wstring>& columns = DirectColumns();
  if (i < columns.size() && DirectStatementKept() && columns[i] == column) {
    *index = i;
    return true;
  }
  LeaveDirect();
  return false;
}

bool SqliteCursor::SetFieldValue(std::wstring_view column, const CQZDBVariant& value) {
  assert(direct_ || row_->mode() != RowBuffer::Mode::kNone);
  size_t i;
  if (NextDirect(column, &i)) {
    BindDirect(i, value);
    direct_count_ = i + 1;
    return true;
  }
  row_->Assign(column, value);
  return true;
}

void SqliteCursor::BindDirectText(size_t index) {
  direct_values_[index].type = CQZDBVariant::TYPE_TEXT;
  const std::string& text = direct_text_[index];
  const int rc = sqlite3_bind_text(direct_statement_, static_cast<int>(index) + 1, text.data(),
                                   static_cast<int>(text.size()), SQLITE_STATIC);
  if (rc != SQLITE_OK) connection_->RaiseError(rc, "binding a value");
}

// The typed assignments bind as BindDirect binds the variant of the same
// value; off the direct way, they go to the row buffer as that variant.
bool SqliteCursor::SetTextField(std::wstring_view column, std::wstring_view text) {
  size_t i;
  if (!NextDirect(column, &i)) return Cursor::SetTextField(column, text);
  platform::WideToUtf8(text, &direct_text_[i]);
  BindDirectText(i);
  direct_count_ = i + 1;
  return true;
}

bool SqliteCursor::SetUtf8Field(std::wstring_view column, std::string_view text) {
  size_t i;
  if (!NextDirect(column, &i)) return Cursor::SetUtf8Field(column, text);
  // The caller's text is never the kept one: copied without assign's
  // check for that.
  std::string& kept = direct_text_[i];
  kept.resize(text.size());
  std::char_traits<char>::copy(kept.data(), text.data(), text.size());
  BindDirectText(i);
  direct_count_ = i + 1;
  return true;
}

bool SqliteCursor::SetIntegerField(std::wstring_view column, int64_t value) {
  size_t i;
  if (!NextDirect(column, &i)) return Cursor::SetIntegerField(column, value);
  BoundValue& bound = direct_values_[i];
  bound.type = CQZDBVariant::TYPE_INTEGER;
  bound.integer = value;
  const int rc = sqlite3_bind_int64(direct_statement_, static_cast<int>(i) + 1, value);
  if (rc != SQLITE_OK) connection_->RaiseError(rc, "binding a value");
  direct_count_ = i + 1;
  return true;
}

bool SqliteCursor::SetDateTimeField(std::wstring_view column, const SQZDateTime& value) {
  size_t i;
  if (!NextDirect(column, &i)) return Cursor::SetDateTimeField(column, value);
  BoundValue& bound = direct_values_[i];
  bound.type = CQZDBVariant::TYPE_DATETIME;
  bound.date_time = value;
  connection_->BindDateTime(direct_statement_, static_cast<int>(i) + 1, value, &direct_text_[i]);
  direct_count_ = i + 1;
  return true;
}

bool SqliteCursor::Update() {
  assert(direct_ || row_->mode() != RowBuffer::Mode::kNone);
  const bool keyed = keyed_;
  if (direct_) {
    if (DirectStatementKept() && direct_count_ == DirectColumns().size()) {
      direct_ = false;
      keyed_ = false;
      row_->Reset();
      if (keyed) return connection_->StepKeyedUpdate() > 0;
      connection_->StepInsert(direct_statement_);
      return true;
    }
    LeaveDirect();
  }
  keyed_ = false;  // the row is over, written or refused
  bool changed = true;
  row_->Send([&] {
    if (row_->mode() == RowBuffer::Mode::kInsert) {
      connection_->InsertRow(row_->table(), row_->layout_id(), row_->fields(), row_->size());
      RememberLayout();
    } else if (keyed) {
      changed = connection_->UpdateRowByKey(row_->table(), row_->layout_id(), row_->fields(), row_->size()) > 0;
    } else {
      connection_->UpdateRow(row_->table(), edit_key_, row_->fields(), row_->size());
    }
  });
  return changed;
}

void SqliteCursor::Close() {
  if (state_ == State::kClosed) return;
  // The INSERT may still point at this cursor's texts: unbind them.
  if (direct_layout_ != 0)
    if (sqlite3_stmt* insert = connection_->InsertStatementFor(direct_layout_)) sqlite3_clear_bindings(insert);
  // So may the kept rewrite by key.
  if (keyed_columns_) connection_->ClearKeyedUpdateBindings(keyed_layout_);
  direct_ = false;
  keyed_ = false;
  state_ = State::kClosed;
  StandPastEnd();
  if (statement_) connection_->ReleaseStatement(std::move(sql_), std::move(statement_), std::move(found_));
}

}  // namespace qz::access::sqlite
