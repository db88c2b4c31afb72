// The row a PostgreSQL cursor writes between AddNew/Edit and Update, held
// as the texts libpq is given: every value travels as text in the server's
// input syntax (PostgresStatementText.h), so each assignment writes its
// value's text straight into the place it is sent from, and a row of
// typed values (the record set's SetTextField and the rest) makes no
// variant and no wide copy on the way. The texts keep their room from row
// to row and, lent by the connection, from cursor to cursor; the layout
// rules are RowBuffer's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "access/driver/RowBuffer.h"

namespace qz::access::postgres {

// A value as libpq takes it: its text, or NULL.
struct ParameterText {
  std::string text;
  bool null = false;
};

class RowTexts : public BasicRowBuffer<ParameterText> {
 public:
  // The value of column, not NULL, its text to be written by the caller.
  ParameterText& Assign(std::wstring_view column) {
    ParameterText& value = Next(column);
    value.null = false;
    return value;
  }
};

// The row's texts as libpq takes parameter values, null for NULL; valid
// until the row is begun again.
inline void ParameterPointers(const RowTexts& row, std::vector<const char*>* out) {
  out->resize(row.size());
  for (size_t i = 0; i < row.size(); ++i) {
    const ParameterText& value = row.fields()[i].value;
    (*out)[i] = value.null ? nullptr : value.text.c_str();
  }
}

}  // namespace qz::access::postgres
