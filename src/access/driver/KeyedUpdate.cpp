#include "access/driver/KeyedUpdate.h"

#include <algorithm>

#include "access/driver/ColumnLookup.h"
#include "access/driver/Driver.h"

namespace qz::access {

void FindKeyFields(const std::wstring& table, const std::vector<std::wstring>& key, const FieldValue* fields,
                   size_t count, std::vector<bool>* is_key) {
  if (key.empty()) RaiseNoKeyToEditBy(table);
  is_key->assign(count, false);
  for (const std::wstring& column : key) {
    bool assigned = false;
    for (size_t i = 0; i < count; ++i) {
      if (!SameIdentifier(fields[i].column, column)) continue;
      (*is_key)[i] = true;
      assigned = true;
    }
    if (!assigned)
      CQZDBException::Raise(L"the row to edit by its key has no value for key column " + column + L" of " + table, "",
                            0);
  }
}

void KeyedUpdateText(std::string* sql, std::wstring_view table, const FieldValue* fields, size_t count,
                     const std::vector<bool>& is_key, char marker,
                     void (*append_identifier)(std::string*, std::wstring_view)) {
  const bool all_key = std::all_of(is_key.begin(), is_key.end(), [](bool k) { return k; });
  auto assign = [&](size_t i) {
    append_identifier(sql, fields[i].column);
    sql->push_back('=');
    sql->push_back(marker);
    *sql += std::to_string(i + 1);
  };
  *sql = "UPDATE ";
  append_identifier(sql, table);
  *sql += " SET ";
  bool first = true;
  for (size_t i = 0; i < count; ++i) {
    if (is_key[i] && !all_key) continue;
    if (!first) sql->push_back(',');
    first = false;
    assign(i);
  }
  *sql += " WHERE ";
  first = true;
  for (size_t i = 0; i < count; ++i) {
    if (!is_key[i]) continue;
    if (!first) *sql += " AND ";
    first = false;
    assign(i);
  }
}

}  // namespace qz::access
