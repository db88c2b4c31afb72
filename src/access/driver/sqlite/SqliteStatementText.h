// The text of the statements the SQLite driver composes, and the check that
// what follows a statement holds no other. Values never go into the text:
// they are bound as parameters. Names do, always quoted.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "access/driver/RowBuffer.h"

namespace qz::access::sqlite {

// Appends "name" with embedded quotes doubled: a name can never end the
// quote.
void AppendIdentifier(std::string* sql, std::wstring_view name);

// "INSERT INTO table (a,b) VALUES (?,?)", or "... DEFAULT VALUES" for no
// columns.
void InsertText(std::string* sql, std::wstring_view table, const FieldValue* fields, size_t count);

// "UPDATE table SET a=?,b=? WHERE k1=? AND k2=?", without the fields whose
// leave_out entry is true.
void UpdateText(std::string* sql, std::wstring_view table, const FieldValue* fields, size_t count,
                const std::vector<bool>& leave_out, const std::vector<FieldValue>& key);

// Whether text holds nothing but blanks.
bool OnlyBlank(const char* text);

}  // namespace qz::access::sqlite
