// Rows added and edited. A run of rows with the same table and columns
// reuses the last INSERT, kept prepared with its layout; an edit finds its
// row by the table's primary key.
#include "access/TimestampText.h"
#include "access/driver/ColumnLookup.h"
#include "access/driver/KeyedUpdate.h"
#include "access/driver/sqlite/SqliteConnection.h"
#include "access/driver/sqlite/SqliteErrors.h"
#include "access/driver/sqlite/SqliteStatementText.h"
#include "platform/TextEncoding.h"

namespace qz::access::sqlite {
namespace {

// Whether field assigns a key column the very value (text or integer) the
// row was found by.
bool HoldsKeyValue(const FieldValue& field, const std::vector<FieldValue>& key) {
  for (const FieldValue& k : key) {
    if (!SameIdentifier(k.column, field.column)) continue;
    const CQZDBVariant& a = field.value;
    const CQZDBVariant& b = k.value;
    if (a.GetType() != b.GetType()) return false;
    if (a.GetType() == CQZDBVariant::TYPE_TEXT) return a.GetTextRef() == b.GetTextRef();
    if (a.GetType() == CQZDBVariant::TYPE_INTEGER) return a.GetInteger64() == b.GetInteger64();
    return false;
  }
  return false;
}

// The timestamp's text, kept in *text; all zero is NULL.
int BindTimestamp(sqlite3_stmt* statement, int index, const SQZTimestamp& timestamp, std::string* text) {
  if (timestamp.year == 0 && timestamp.month == 0) return sqlite3_bind_null(statement, index);
  FormatTimestamp(timestamp, text);
  return sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
}

}  // namespace

void SqliteConnection::BindValue(sqlite3_stmt* statement, int index, const CQZDBVariant& value, std::string* text) {
  int rc = SQLITE_OK;
  switch (value.GetType()) {
    case CQZDBVariant::TYPE_NULL:
      rc = sqlite3_bind_null(statement, index);
      break;
    case CQZDBVariant::TYPE_INTEGER:
      rc = sqlite3_bind_int64(statement, index, value.GetInteger64());
      break;
    case CQZDBVariant::TYPE_REAL:
      rc = sqlite3_bind_double(statement, index, value.GetReal());
      break;
    case CQZDBVariant::TYPE_TEXT:
      platform::WideToUtf8(value.GetTextRef(), text);
      rc = sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
      break;
    case CQZDBVariant::TYPE_DATETIME:
      BindDateTime(statement, index, value.GetDateTime(), text);
      return;
    case CQZDBVariant::TYPE_TIMESTAMP:
      rc = BindTimestamp(statement, index, value.GetTimestamp(), text);
      break;
  }
  if (rc != SQLITE_OK) RaiseError(rc, "binding a value");
}

// An invalid date-time has no day to store: it is written as NULL.
void SqliteConnection::BindDateTime(sqlite3_stmt* statement, int index, const SQZDateTime& value, std::string* text) {
  const int rc = value.IsValid() ? BindTimestamp(statement, index, TimestampFromDateTime(value), text)
                                 : sqlite3_bind_null(statement, index);
  if (rc != SQLITE_OK) RaiseError(rc, "binding a value");
}

void SqliteConnection::BindAll(sqlite3_stmt* statement, const FieldValue* fields, size_t count, int first_index) {
  // A deque grows without moving the texts already bound.
  if (bound_text_.size() < count + static_cast<size_t>(first_index)) bound_text_.resize(count + first_index);
  for (size_t i = 0; i < count; ++i) {
    const int index = first_index + static_cast<int>(i);
    BindValue(statement, index, fields[i].value, &bound_text_[static_cast<size_t>(index)]);
  }
}

sqlite3_stmt* SqliteConnection::InsertStatementFor(uint64_t layout_id) const {
  return db_ && insert_statement_ && layout_id == insert_layout_id_ ? insert_statement_.get() : nullptr;
}

void SqliteConnection::StepInsert(sqlite3_stmt* statement) { StepToCompletion(statement); }

void SqliteConnection::InsertRow(const std::wstring& table, uint64_t layout_id, const FieldValue* fields,
                                 size_t count) {
  if (!db_) CQZDBException::Raise(L"the connection is closed", "", SQLITE_MISUSE);
  if (!insert_statement_ || layout_id != insert_layout_id_) {
    std::string sql;
    InsertText(&sql, table, fields, count);
    Statement statement = Prepare(sql);
    if (insert_statement_) {
      std::string old_sql = sqlite3_sql(insert_statement_.get());
      ReleaseStatement(std::move(old_sql), std::move(insert_statement_));
    }
    insert_statement_ = std::move(statement);
    insert_layout_id_ = layout_id;
  }
  BindAll(insert_statement_.get(), fields, count, 1);
  StepToCompletion(insert_statement_.get());
}

int SqliteConnection::UpdateRowByKey(const std::wstring& table, uint64_t layout_id, const FieldValue* fields,
                                     size_t count) {
  if (!db_) CQZDBException::Raise(L"the connection is closed", "", SQLITE_MISUSE);
  if (!keyed_update_.statement || layout_id != keyed_update_.layout_id || keyed_update_.table != table) {
    FindKeyFields(table, PrimaryKey(table), fields, count, &key_fields_);
    std::string sql;
    KeyedUpdateText(&sql, table, fields, count, key_fields_, '?', AppendIdentifier);
    Statement statement = Prepare(sql);
    auto columns = std::make_shared<std::vector<std::wstring>>();
    for (size_t i = 0; i < count; ++i) columns->push_back(fields[i].column);
    if (keyed_update_.statement) {
      std::string old_sql = sqlite3_sql(keyed_update_.statement.get());
      ReleaseStatement(std::move(old_sql), std::move(keyed_update_.statement));
    }
    keyed_update_ = KeyedUpdate{layout_id, table, std::move(columns), std::move(statement)};
  }
  BindAll(keyed_update_.statement.get(), fields, count, 1);
  return StepKeyedUpdate();
}

int SqliteConnection::StepKeyedUpdate() {
  StepToCompletion(keyed_update_.statement.get());
  return sqlite3_changes(db_);
}

void SqliteConnection::UpdateRow(const std::wstring& table, const std::vector<FieldValue>& key,
                                 const FieldValue* fields, size_t count) {
  if (!db_) CQZDBException::Raise(L"the connection is closed", "", SQLITE_MISUSE);
  if (count == 0) return;
  // A key column assigned the value the row holds is left out of the SET
  // list: SQLite rewrites the index entries of every column SET names,
  // changed or not, and an edit found by its key usually writes the same
  // key back. Should that leave nothing to set, nothing is left out.
  size_t kept = 0;
  unchanged_key_.assign(count, false);
  for (size_t i = 0; i < count; ++i) {
    unchanged_key_[i] = HoldsKeyValue(fields[i], key);
    if (!unchanged_key_[i]) ++kept;
  }
  if (kept == 0) unchanged_key_.assign(count, false), kept = count;

  std::string sql;
  UpdateText(&sql, table, fields, count, unchanged_key_, key);
  Statement statement = Prepare(sql);
  try {
    if (bound_text_.size() < kept + key.size() + 1) bound_text_.resize(kept + key.size() + 1);
    int index = 1;
    for (size_t i = 0; i < count; ++i) {
      if (unchanged_key_[i]) continue;
      BindValue(statement.get(), index, fields[i].value, &bound_text_[static_cast<size_t>(index)]);
      ++index;
    }
    BindAll(statement.get(), key.data(), key.size(), index);
    StepToCompletion(statement.get());
    // The row was read a moment ago; if another connection removed or
    // re-keyed it since, saying the edit succeeded would be a lie.
    if (sqlite3_changes(db_) == 0) RaiseEditedRowGone(table);
  } catch (CQZDBException*) {
    ReleaseStatement(std::move(sql), std::move(statement));
    throw;
  }
  ReleaseStatement(std::move(sql), std::move(statement));
}

const std::vector<std::wstring>& SqliteConnection::PrimaryKey(const std::wstring& table) {
  for (const PrimaryKeyEntry& entry : primary_keys_)
    if (entry.table == table) return entry.columns;
  PrimaryKeyEntry entry{table, {}};
  // Every column, so that a table that is not there is told from one
  // without a key: a rewrite by key runs no query that would have said so.
  static const char kKeyColumns[] = "SELECT name, pk FROM pragma_table_info(?1) ORDER BY pk";
  Statement statement = Prepare(kKeyColumns);
  const std::string name = platform::WideToUtf8(table);
  sqlite3_bind_text(statement.get(), 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
  int rc;
  bool any_column = false;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    any_column = true;
    if (sqlite3_column_int(statement.get(), 1) == 0) continue;
    const char* column = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
    entry.columns.push_back(platform::Utf8ToWide(column ? column : ""));
  }
  ReleaseStatement(kKeyColumns, std::move(statement));
  if (rc != SQLITE_DONE) RaiseError(rc, "reading the primary key");
  if (!any_column) RaiseEngineError("no such table: " + name, SQLITE_ERROR);
  primary_keys_.push_back(std::move(entry));
  return primary_keys_.back().columns;
}

}  // namespace qz::access::sqlite
