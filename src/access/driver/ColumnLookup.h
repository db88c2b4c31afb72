// Finding a result's column by its name, the same way in every cursor.
#pragma once

#include <QZDatabaseAccess.h>

#include <string>
#include <string_view>

#include "platform/TextEncoding.h"

namespace qz::access {

// Whether a and b are the same SQL identifier: compared without regard to
// ASCII case, as unquoted names are, since each engine hands them back
// folded to a case of its own.
inline bool SameIdentifier(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
    if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
    if (x != y) return false;
  }
  return true;
}

// SameIdentifier of column and a name as the engine hands it back in
// UTF-8: an ASCII name, the usual case, is compared where it lies, without
// being decoded for every statement that names it.
inline bool SameIdentifierUtf8(std::wstring_view column, std::string_view name) {
  if (column.size() == name.size()) {
    size_t i = 0;
    for (; i < name.size(); ++i) {
      const unsigned char byte = static_cast<unsigned char>(name[i]);
      if (byte >= 0x80) break;
      wchar_t x = column[i], y = static_cast<wchar_t>(byte);
      if (x == y) continue;
      if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
      if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
      if (x != y) return false;
    }
    if (i == name.size()) return true;
  } else {
    // Names of other lengths differ unless a character beyond ASCII makes
    // the lengths count differently.
    bool ascii = true;
    for (const char c : name) ascii &= static_cast<unsigned char>(c) < 0x80;
    if (ascii) return false;
  }
  return SameIdentifier(column, platform::Utf8ToWide(name));
}

// Looks up a result's columns by name for one cursor. Row mappings read
// the columns in the order of the table, so the column after the one found
// last is tried first: a whole row is found with one comparison a column.
class ColumnLookup {
 public:
  // The position of column among count columns, name_at(i) naming the
  // column at i. A column the result lacks raises SQLSTATE 42703 (undefined
  // column) with the engine's code native_error.
  template <typename NameAt>
  int Find(std::wstring_view column, int count, NameAt&& name_at, int native_error = 0) {
    return FindMatching(
        column, count, [&](int i) { return SameIdentifier(name_at(i), column); }, native_error);
  }
  // The same with is_column(i) telling whether the column at i is column.
  template <typename IsColumn>
  int FindMatching(std::wstring_view column, int count, IsColumn&& is_column, int native_error = 0) {
    const int next = last_ + 1;
    if (next < count && is_column(next)) return last_ = next;
    for (int i = 0; i < count; ++i)
      if (is_column(i)) return last_ = i;
    CQZDBException::Raise(L"the result has no column named " + std::wstring(column), "42703", native_error);
  }

 private:
  int last_ = -1;
};

}  // namespace qz::access
