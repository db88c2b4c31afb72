// Rows added and edited. Outside a transaction each row runs at once with
// an INSERT prepared once per table and column list. Inside one, rows are
// held back and go together as one parameter array when anything else
// needs the connection, when the batch is full, or when the record set is
// closed; the transaction then keeps all of them or, after the caller's
// rollback, none.
#include <algorithm>

#include "access/driver/odbc/OdbcConnection.h"
#include "access/driver/odbc/OdbcErrors.h"
#include "access/driver/odbc/OdbcStatementText.h"

namespace qz::access::odbc {
namespace {

// A row holding a text longer than this many characters is sent on its
// own: an array binds every row's text at the width of the longest.
constexpr size_t kLongestHeldText = 2000;

bool HoldsLongText(const FieldValue* fields, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (fields[i].value.GetType() == CQZDBVariant::TYPE_TEXT && fields[i].value.GetTextRef().size() > kLongestHeldText)
      return true;
  return false;
}

}  // namespace

SQLHSTMT OdbcConnection::PreparedInsertFor(const std::wstring& sql) {
  for (size_t i = inserts_.size(); i-- > 0;) {
    if (inserts_[i].sql == sql) {
      if (i + 1 != inserts_.size()) std::swap(inserts_[i], inserts_.back());
      return inserts_.back().statement.get();
    }
  }
  if (inserts_.size() >= kPreparedInsertLimit) inserts_.erase(inserts_.begin());
  PreparedInsert entry{sql, NewStatement()};
  if (!SQL_SUCCEEDED(PrepareText(entry.statement.get(), sql)))
    RaiseError(SQL_HANDLE_STMT, entry.statement.get(), L"preparing an insert");
  inserts_.push_back(std::move(entry));
  return inserts_.back().statement.get();
}

void OdbcConnection::RunRows(SQLHSTMT statement, const CQZDBVariant* const* values, size_t rows, size_t columns) {
  if (rows > 1 && !arrays_refused_) {
    const SQLRETURN set = SQLSetStmtAttrW(statement, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
    if (set != SQL_SUCCESS) {
      // The driver cannot take arrays (or changed the size): one at a time.
      arrays_refused_ = true;
      SQLSetStmtAttrW(statement, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    } else {
      if (!SQL_SUCCEEDED(parameters_.Bind(statement, values, rows, columns)))
        RaiseError(SQL_HANDLE_STMT, statement, L"adding rows");
      row_status_.assign(rows, SQL_PARAM_UNUSED);
      SQLULEN processed = 0;
      SQLSetStmtAttrW(statement, SQL_ATTR_PARAM_STATUS_PTR, row_status_.data(), 0);
      SQLSetStmtAttrW(statement, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
      const SQLRETURN rc = SQLExecute(statement);
      // Some drivers report a refused row only in its status. What the
      // driver said is read before the next call on the statement clears it.
      const bool refused =
          !SQL_SUCCEEDED(rc) || std::any_of(row_status_.begin(), row_status_.end(),
                                            [](SQLUSMALLINT status) { return status == SQL_PARAM_ERROR; });
      Diagnostic diagnostic;
      if (refused) diagnostic = TakeDiagnostic(SQL_HANDLE_STMT, statement);
      SQLSetStmtAttrW(statement, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
      SQLSetStmtAttrW(statement, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
      SQLSetStmtAttrW(statement, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
      if (refused) RaiseDiagnostic(diagnostic, L"adding rows");
      if (processed != 0 && processed < rows)
        CQZDBException::Raise(L"adding rows: the driver stopped after " + std::to_wstring(processed) + L" of " +
                                  std::to_wstring(rows) + L" rows",
                              "HY000", 0);
      return;
    }
  }
  for (size_t row = 0; row < rows; ++row) {
    if (!SQL_SUCCEEDED(parameters_.Bind(statement, values + row * columns, 1, columns)))
      RaiseError(SQL_HANDLE_STMT, statement, L"");
    const SQLRETURN rc = SQLExecute(statement);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) RaiseError(SQL_HANDLE_STMT, statement, L"");
  }
}

void OdbcConnection::InsertRow(const std::wstring& table, uint64_t layout_id, const FieldValue* fields, size_t count) {
  if (closed_) CQZDBException::Raise(L"the connection is closed", kConnectionFailure, 0);
  wrote_ = true;
  if (layout_id == 0 || layout_id != last_layout_) {
    last_insert_sql_ = InsertText(table, fields, count, quote_);
    last_layout_ = layout_id;
  }
  if (count == 0) CQZDBException::Raise(L"a row to add needs at least one column", "", 0);
  if (transactions_.depth() > 0 && !HoldsLongText(fields, count)) {
    HoldRow(last_insert_sql_, fields, count);
    return;
  }
  PrepareForStatement();
  SQLHSTMT statement = PreparedInsertFor(last_insert_sql_);
  value_pointers_.resize(count);
  for (size_t i = 0; i < count; ++i) value_pointers_[i] = &fields[i].value;
  RunRows(statement, value_pointers_.data(), 1, count);
}

void OdbcConnection::HoldRow(const std::wstring& sql, const FieldValue* fields, size_t count) {
  if (held_rows_ > 0 && (held_columns_ != count || held_sql_ != sql)) FlushHeldRows();
  if (held_rows_ == 0) {
    if (link_lost_) EnsureLink();  // throws inside the transaction
    held_sql_ = sql;
    held_columns_ = count;
  }
  const size_t first = held_rows_ * count;
  if (held_values_.size() < first + count) held_values_.resize(first + count);
  for (size_t i = 0; i < count; ++i) held_values_[first + i] = fields[i].value;
  ++held_rows_;
  if (held_rows_ >= kHeldRowLimit) FlushHeldRows();
}

void OdbcConnection::FlushHeldRows() {
  if (held_rows_ == 0) return;
  // Sent or lost, the rows are no longer held: a refusal is reported once.
  const size_t rows = held_rows_;
  held_rows_ = 0;
  EnsureLink();
  SQLHSTMT statement = PreparedInsertFor(held_sql_);
  value_pointers_.resize(rows * held_columns_);
  for (size_t i = 0; i < value_pointers_.size(); ++i) value_pointers_[i] = &held_values_[i];
  RunRows(statement, value_pointers_.data(), rows, held_columns_);
  last_used_ = std::chrono::steady_clock::now();
}

void OdbcConnection::UpdateRow(const std::wstring& table, const std::vector<std::wstring>& key,
                               const std::vector<CQZDBVariant>& key_values, const FieldValue* fields, size_t count) {
  if (closed_) CQZDBException::Raise(L"the connection is closed", kConnectionFailure, 0);
  wrote_ = true;
  if (count == 0) return;
  PrepareForStatement();
  Handle statement = NewStatement();
  if (!SQL_SUCCEEDED(PrepareText(statement.get(), UpdateText(table, fields, count, key, quote_))))
    RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  value_pointers_.clear();
  for (size_t i = 0; i < count; ++i) value_pointers_.push_back(&fields[i].value);
  for (const CQZDBVariant& value : key_values) value_pointers_.push_back(&value);
  RunRows(statement.get(), value_pointers_.data(), 1, value_pointers_.size());
  // MySQL and MariaDB count the rows an UPDATE changed, not those it
  // matched, unless the data source sets its driver's found-rows option: a
  // row rewritten with its own values counts 0 there. Whether the row is
  // still there tells the two apart, whatever the data source sets.
  SQLLEN changed = -1;
  if (SQL_SUCCEEDED(SQLRowCount(statement.get(), &changed)) && changed == 0 &&
      (dialect_ != SqlDialect::kMySql || !RowExists(table, key, key_values)))
    RaiseEditedRowGone(table);
}

bool OdbcConnection::RowExists(const std::wstring& table, const std::vector<std::wstring>& key,
                               const std::vector<CQZDBVariant>& key_values) {
  Handle statement = NewStatement();
  if (!SQL_SUCCEEDED(PrepareText(statement.get(), KeyLookupText(table, key, quote_))))
    RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  value_pointers_.clear();
  for (const CQZDBVariant& value : key_values) value_pointers_.push_back(&value);
  if (!SQL_SUCCEEDED(parameters_.Bind(statement.get(), value_pointers_.data(), 1, value_pointers_.size())))
    RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  if (!SQL_SUCCEEDED(SQLExecute(statement.get()))) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  const SQLRETURN fetched = SQLFetch(statement.get());
  if (fetched != SQL_NO_DATA && !SQL_SUCCEEDED(fetched)) RaiseError(SQL_HANDLE_STMT, statement.get(), L"");
  ReturnStatement(std::move(statement));
  return SQL_SUCCEEDED(fetched);
}

const std::vector<std::wstring>& OdbcConnection::PrimaryKey(const std::wstring& table) {
  for (const PrimaryKeyEntry& entry : primary_keys_)
    if (entry.table == table) return entry.columns;
  PrepareForStatement();
  // Servers that fold unquoted names keep the table under its folded name.
  std::wstring lower = table, upper = table;
  for (wchar_t& c : lower)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  for (wchar_t& c : upper)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  PrimaryKeyEntry entry{table, {}};
  for (const std::wstring& name : {table, lower, upper}) {
    Handle statement = NewStatement();
    const SqlText text = ToSqlText(name);
    if (!SQL_SUCCEEDED(SQLPrimaryKeysW(statement.get(), nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(text.data()),
                                       static_cast<SQLSMALLINT>(text.size()))))
      RaiseError(SQL_HANDLE_STMT, statement.get(), L"reading the primary key");
    std::vector<std::pair<int, std::wstring>> columns;
    for (;;) {
      const SQLRETURN rc = SQLFetch(statement.get());
      if (rc == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(rc)) RaiseError(SQL_HANDLE_STMT, statement.get(), L"reading the primary key");
      SQLWCHAR column[256] = {};
      SQLLEN length = 0;
      SQLSMALLINT sequence = 0;
      SQLLEN sequence_length = 0;
      SQLGetData(statement.get(), 4, SQL_C_WCHAR, column, sizeof column, &length);
      SQLGetData(statement.get(), 5, SQL_C_SSHORT, &sequence, 0, &sequence_length);
      if (length <= 0) continue;
      const size_t units = std::min<size_t>(static_cast<size_t>(length) / sizeof(SQLWCHAR), 255);
      columns.emplace_back(sequence, FromSqlText(column, units));
    }
    if (columns.empty()) continue;
    std::sort(columns.begin(), columns.end());
    for (auto& column : columns) entry.columns.push_back(std::move(column.second));
    break;
  }
  primary_keys_.push_back(std::move(entry));
  return primary_keys_.back().columns;
}

}  // namespace qz::access::odbc
