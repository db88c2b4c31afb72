#include "access/driver/odbc/OdbcParameters.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "access/TimestampText.h"

namespace qz::access::odbc {
namespace {

// Text longer than this many UTF-16 units goes as a long text type.
constexpr size_t kLongTextUnits = 4000;

bool IsNullValue(const CQZDBVariant& value) {
  switch (value.GetType()) {
    case CQZDBVariant::TYPE_NULL:
      return true;
    case CQZDBVariant::TYPE_DATETIME:
      return !value.GetDateTime().IsValid();
    case CQZDBVariant::TYPE_TIMESTAMP: {
      const SQZTimestamp timestamp = value.GetTimestamp();
      return timestamp.year == 0 && timestamp.month == 0;
    }
    default:
      return false;
  }
}

SQL_TIMESTAMP_STRUCT TimestampOf(const CQZDBVariant& value) {
  const SQZTimestamp parts = value.GetType() == CQZDBVariant::TYPE_DATETIME ? TimestampFromDateTime(value.GetDateTime())
                                                                            : value.GetTimestamp();
  SQL_TIMESTAMP_STRUCT out{};
  out.year = parts.year;
  out.month = parts.month;
  out.day = parts.day;
  out.hour = parts.hour;
  out.minute = parts.minute;
  out.second = parts.second;
  return out;
}

template <typename T>
void Put(std::vector<unsigned char>* data, size_t row, const T& value) {
  std::memcpy(data->data() + row * sizeof(T), &value, sizeof(T));
}

}  // namespace

ParameterArray::Kind ParameterArray::KindOf(const CQZDBVariant& value) {
  switch (value.GetType()) {
    case CQZDBVariant::TYPE_NULL:
      return Kind::kNull;
    case CQZDBVariant::TYPE_INTEGER: {
      const int64_t number = value.GetInteger64();
      return number >= INT32_MIN && number <= INT32_MAX ? Kind::kInt32 : Kind::kInt64;
    }
    case CQZDBVariant::TYPE_REAL:
      return Kind::kDouble;
    case CQZDBVariant::TYPE_TEXT:
      return Kind::kText;
    case CQZDBVariant::TYPE_DATETIME:
    case CQZDBVariant::TYPE_TIMESTAMP:
      return Kind::kTimestamp;
  }
  return Kind::kText;
}

// The kind that carries both: NULLs take any; integers widen; numbers
// mixed with anything else travel as text.
ParameterArray::Kind ParameterArray::Merge(Kind a, Kind b) {
  if (a == b || b == Kind::kNull) return a;
  if (a == Kind::kNull) return b;
  auto numeric = [](Kind k) { return k == Kind::kInt32 || k == Kind::kInt64 || k == Kind::kDouble; };
  if (numeric(a) && numeric(b)) return a == Kind::kDouble || b == Kind::kDouble ? Kind::kDouble : Kind::kInt64;
  return Kind::kText;
}

void ParameterArray::Fill(Column* column, const CQZDBVariant* const* values, size_t rows, size_t columns,
                          size_t index) {
  auto value_at = [&](size_t row) -> const CQZDBVariant& { return *values[row * columns + index]; };
  Kind kind = Kind::kNull;
  for (size_t row = 0; row < rows; ++row) kind = Merge(kind, KindOf(value_at(row)));
  column->kind = kind;
  column->indicators.assign(rows, 0);

  size_t width = 1;  // text: the longest value, in UTF-16 units
  if (kind == Kind::kText) {
    for (size_t row = 0; row < rows; ++row) {
      const CQZDBVariant& value = value_at(row);
      if (IsNullValue(value)) continue;
      ToSqlText(value.GetType() == CQZDBVariant::TYPE_TEXT ? std::wstring_view(value.GetTextRef())
                                                           : std::wstring_view(value.GetText()),
                &scratch_);
      width = std::max(width, scratch_.size());
    }
  }
  switch (kind) {
    case Kind::kInt32:
      column->element_bytes = sizeof(SQLINTEGER);
      break;
    case Kind::kInt64:
      column->element_bytes = sizeof(SQLBIGINT);
      break;
    case Kind::kDouble:
      column->element_bytes = sizeof(SQLDOUBLE);
      break;
    case Kind::kTimestamp:
      column->element_bytes = sizeof(SQL_TIMESTAMP_STRUCT);
      break;
    case Kind::kNull:
    case Kind::kText:
      column->element_bytes = static_cast<SQLLEN>((width + 1) * sizeof(SQLWCHAR));
      break;
  }
  column->data.assign(rows * static_cast<size_t>(column->element_bytes), 0);

  for (size_t row = 0; row < rows; ++row) {
    const CQZDBVariant& value = value_at(row);
    if (IsNullValue(value)) {
      column->indicators[row] = SQL_NULL_DATA;
      continue;
    }
    switch (kind) {
      case Kind::kInt32:
        Put(&column->data, row, static_cast<SQLINTEGER>(value.GetInteger64()));
        break;
      case Kind::kInt64:
        Put(&column->data, row, static_cast<SQLBIGINT>(value.GetInteger64()));
        break;
      case Kind::kDouble:
        Put(&column->data, row,
            static_cast<SQLDOUBLE>(value.GetType() == CQZDBVariant::TYPE_REAL
                                       ? value.GetReal()
                                       : static_cast<double>(value.GetInteger64())));
        break;
      case Kind::kTimestamp:
        Put(&column->data, row, TimestampOf(value));
        break;
      case Kind::kNull:
      case Kind::kText: {
        ToSqlText(value.GetType() == CQZDBVariant::TYPE_TEXT ? std::wstring_view(value.GetTextRef())
                                                             : std::wstring_view(value.GetText()),
                  &scratch_);
        std::memcpy(column->data.data() + row * static_cast<size_t>(column->element_bytes), scratch_.data(),
                    scratch_.size() * sizeof(SQLWCHAR));
        column->indicators[row] = static_cast<SQLLEN>(scratch_.size() * sizeof(SQLWCHAR));
        break;
      }
    }
  }
}

SQLRETURN ParameterArray::Bind(SQLHSTMT statement, const CQZDBVariant* const* values, size_t rows, size_t columns) {
  columns_.resize(columns);
  for (size_t index = 0; index < columns; ++index) {
    Column& column = columns_[index];
    Fill(&column, values, rows, columns, index);
    SQLSMALLINT c_type = SQL_C_WCHAR, sql_type = SQL_WVARCHAR, digits = 0;
    SQLULEN size = 0;
    switch (column.kind) {
      case Kind::kInt32:
        c_type = SQL_C_SLONG;
        sql_type = SQL_INTEGER;
        size = 10;
        break;
      case Kind::kInt64:
        c_type = SQL_C_SBIGINT;
        sql_type = SQL_BIGINT;
        size = 19;
        break;
      case Kind::kDouble:
        c_type = SQL_C_DOUBLE;
        sql_type = SQL_DOUBLE;
        size = 15;
        break;
      case Kind::kTimestamp:
        c_type = SQL_C_TYPE_TIMESTAMP;
        sql_type = SQL_TYPE_TIMESTAMP;
        size = 19;
        break;
      case Kind::kNull:
      case Kind::kText: {
        const size_t units = static_cast<size_t>(column.element_bytes) / sizeof(SQLWCHAR) - 1;
        sql_type = units > kLongTextUnits ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
        size = units;
        break;
      }
    }
    const SQLRETURN rc =
        SQLBindParameter(statement, static_cast<SQLUSMALLINT>(index + 1), SQL_PARAM_INPUT, c_type, sql_type, size,
                         digits, column.data.data(), column.element_bytes, column.indicators.data());
    if (!SQL_SUCCEEDED(rc)) return rc;
  }
  return SQL_SUCCESS;
}

}  // namespace qz::access::odbc
