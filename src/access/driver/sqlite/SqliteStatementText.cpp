#include "access/driver/sqlite/SqliteStatementText.h"

#include <algorithm>

#include "platform/TextEncoding.h"

namespace qz::access::sqlite {

// An edit spells out every column it writes, so plain ASCII names (all of
// ours) are copied as they are, without a conversion each.
void AppendIdentifier(std::string* sql, std::wstring_view name) {
  sql->push_back('"');
  auto append = [sql](char c) {
    if (c == '"') sql->push_back('"');
    sql->push_back(c);
  };
  if (std::all_of(name.begin(), name.end(), [](wchar_t c) { return c > 0 && c < 0x80; })) {
    for (wchar_t c : name) append(static_cast<char>(c));
  } else {
    for (char c : platform::WideToUtf8(name)) append(c);
  }
  sql->push_back('"');
}

void InsertText(std::string* sql, std::wstring_view table, const FieldValue* fields, size_t count) {
  *sql = "INSERT INTO ";
  AppendIdentifier(sql, table);
  if (count == 0) {
    *sql += " DEFAULT VALUES";
    return;
  }
  *sql += " (";
  for (size_t i = 0; i < count; ++i) {
    if (i) *sql += ',';
    AppendIdentifier(sql, fields[i].column);
  }
  *sql += ") VALUES (";
  for (size_t i = 0; i < count; ++i) *sql += i ? ",?" : "?";
  *sql += ')';
}

void UpdateText(std::string* sql, std::wstring_view table, const FieldValue* fields, size_t count,
                const std::vector<bool>& leave_out, const std::vector<FieldValue>& key) {
  *sql = "UPDATE ";
  AppendIdentifier(sql, table);
  *sql += " SET ";
  bool first = true;
  for (size_t i = 0; i < count; ++i) {
    if (leave_out[i]) continue;
    if (!first) *sql += ',';
    first = false;
    AppendIdentifier(sql, fields[i].column);
    *sql += "=?";
  }
  *sql += " WHERE ";
  for (size_t i = 0; i < key.size(); ++i) {
    if (i) *sql += " AND ";
    AppendIdentifier(sql, key[i].column);
    *sql += "=?";
  }
}

bool OnlyBlank(const char* text) {
  for (; *text; ++text)
    if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r' && *text != '\f' && *text != '\v') return false;
  return true;
}

}  // namespace qz::access::sqlite
