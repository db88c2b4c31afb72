// A rewrite of one row found by the primary key values assigned to it,
// without reading the row first (Cursor::EditByKey): one UPDATE whose
// parameters are numbered by the position of each value in the row, so
// that a driver can bind every value where it is assigned. The key columns
// appear only in the WHERE clause: SQLite rewrites the index entries of
// every column SET names, changed or not, and the key is the value the row
// already holds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "access/driver/RowBuffer.h"

namespace qz::access {

// Marks in *is_key the fields that assign a column of key (the table's
// primary key, in key order). Raises when a key column is not assigned, or
// when table has no key.
void FindKeyFields(const std::wstring& table, const std::vector<std::wstring>& key, const FieldValue* fields,
                   size_t count, std::vector<bool>* is_key);

// "UPDATE table SET a=<m>1,c=<m>3 WHERE b=<m>2", marker '?' or '$', each
// name quoted by append_identifier. When every field is a key column they
// are all SET too, so that the statement still names a column to set.
void KeyedUpdateText(std::string* sql, std::wstring_view table, const FieldValue* fields, size_t count,
                     const std::vector<bool>& is_key, char marker,
                     void (*append_identifier)(std::string*, std::wstring_view));

}  // namespace qz::access
