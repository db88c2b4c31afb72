// Values bound as statement parameters. One row or many: many rows go as a
// parameter array (SQL_ATTR_PARAMSET_SIZE), bound column by column, so that
// the driver sends them in one execution.
#pragma once

#ifdef _WIN32
#include <windows.h>  // the ODBC headers take their types from it there
#endif
#include <sql.h>
#include <sqlext.h>

#include <vector>

#include "access/driver/RowBuffer.h"
#include "access/driver/odbc/OdbcText.h"

namespace qz::access::odbc {

class ParameterArray {
 public:
  // Binds rows x columns values (row after row) to statement, as parameters
  // 1..columns. The values are copied; the copies live here until the next
  // Bind, so the statement may run after values is gone. Returns the first
  // failing SQLBindParameter result, or SQL_SUCCESS.
  SQLRETURN Bind(SQLHSTMT statement, const CQZDBVariant* const* values, size_t rows, size_t columns);

 private:
  // How a column's values travel: integers as SQL_C_SLONG (SQL_C_SBIGINT
  // when one needs more), date-times as SQL_TYPE_TIMESTAMP, text as UTF-16.
  enum class Kind { kNull, kInt32, kInt64, kDouble, kText, kTimestamp };
  struct Column {
    Kind kind = Kind::kNull;
    SQLLEN element_bytes = 0;
    std::vector<unsigned char> data;
    std::vector<SQLLEN> indicators;
  };

  static Kind KindOf(const CQZDBVariant& value);
  static Kind Merge(Kind a, Kind b);
  // Fills column from the values of one column in every row.
  void Fill(Column* column, const CQZDBVariant* const* values, size_t rows, size_t columns, size_t index);

  std::vector<Column> columns_;
  SqlText scratch_;
};

}  // namespace qz::access::odbc
