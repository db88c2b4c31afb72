#include "access/driver/odbc/OdbcStatementText.h"

namespace qz::access::odbc {
namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f' || c == L'\v'; }

bool IsWordCharacter(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'_';
}

bool SameWord(std::wstring_view word, std::wstring_view upper) {
  if (word.size() != upper.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    wchar_t c = word[i];
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    if (c != upper[i]) return false;
  }
  return true;
}

// The index just past what starts at i when it is a quote, a dollar quote
// or a comment; i itself when it is none of those.
size_t SkipQuoted(std::wstring_view sql, size_t i) {
  const wchar_t c = sql[i];
  if (c == L'\'' || c == L'"' || c == L'`') {
    for (size_t j = i + 1; j < sql.size(); ++j) {
      if (sql[j] == L'\\' && c == L'\'') {
        ++j;  // MySQL-style escape; harmless elsewhere inside a quote
        continue;
      }
      if (sql[j] != c) continue;
      if (j + 1 < sql.size() && sql[j + 1] == c) {
        ++j;
        continue;
      }
      return j + 1;
    }
    return sql.size();
  }
  if (c == L'-' && i + 1 < sql.size() && sql[i + 1] == L'-') {
    const size_t end = sql.find(L'\n', i);
    return end == std::wstring_view::npos ? sql.size() : end + 1;
  }
  if (c == L'/' && i + 1 < sql.size() && sql[i + 1] == L'*') {
    const size_t end = sql.find(L"*/", i + 2);
    return end == std::wstring_view::npos ? sql.size() : end + 2;
  }
  if (c == L'$') {
    size_t j = i + 1;
    while (j < sql.size() && IsWordCharacter(sql[j]) && !(sql[j] >= L'0' && sql[j] <= L'9' && j == i + 1)) ++j;
    if (j < sql.size() && sql[j] == L'$') {
      const std::wstring_view tag = sql.substr(i, j - i + 1);
      const size_t end = sql.find(tag, j + 1);
      return end == std::wstring_view::npos ? sql.size() : end + tag.size();
    }
  }
  return i;
}

bool IsPlainIdentifier(std::wstring_view name) {
  if (name.empty() || (name[0] >= L'0' && name[0] <= L'9')) return false;
  for (wchar_t c : name)
    if (!IsWordCharacter(c)) return false;
  return true;
}

}  // namespace

bool HoldsSecondStatement(std::wstring_view sql) {
  bool first_word = true;
  bool creates = false;
  size_t i = 0;
  while (i < sql.size()) {
    const size_t skipped = SkipQuoted(sql, i);
    if (skipped != i) {
      i = skipped;
      continue;
    }
    const wchar_t c = sql[i];
    if (IsWordCharacter(c)) {
      size_t end = i;
      while (end < sql.size() && IsWordCharacter(sql[end])) ++end;
      const std::wstring_view word = sql.substr(i, end - i);
      if (first_word) creates = SameWord(word, L"CREATE");
      first_word = false;
      // A routine or trigger body: its ';' are the server's to parse.
      if (creates && SameWord(word, L"BEGIN")) return false;
      i = end;
      continue;
    }
    if (c == L';') {
      for (size_t j = i + 1; j < sql.size();) {
        const size_t after = SkipQuoted(sql, j);
        const bool comment = after != j && (sql[j] == L'-' || sql[j] == L'/');
        if (comment) {
          j = after;
        } else if (IsSpace(sql[j]) || sql[j] == L';') {
          ++j;
        } else {
          return true;
        }
      }
      return false;
    }
    ++i;
  }
  return false;
}

void AppendIdentifier(std::wstring* sql, std::wstring_view name, std::wstring_view quote) {
  if (IsPlainIdentifier(name) || quote.empty() || quote == L" ") {
    sql->append(name);
    return;
  }
  sql->append(quote);
  for (size_t i = 0; i < name.size(); ++i) {
    if (name.compare(i, quote.size(), quote) == 0) sql->append(quote);
    sql->push_back(name[i]);
  }
  sql->append(quote);
}

std::wstring InsertText(const std::wstring& table, const FieldValue* fields, size_t count, std::wstring_view quote) {
  std::wstring sql = L"INSERT INTO ";
  AppendIdentifier(&sql, table, quote);
  sql += L" (";
  for (size_t i = 0; i < count; ++i) {
    if (i) sql += L',';
    AppendIdentifier(&sql, fields[i].column, quote);
  }
  sql += L") VALUES (";
  for (size_t i = 0; i < count; ++i) sql += i ? L",?" : L"?";
  sql += L')';
  return sql;
}

std::wstring UpdateText(const std::wstring& table, const FieldValue* fields, size_t count,
                        const std::vector<std::wstring>& key, std::wstring_view quote) {
  std::wstring sql = L"UPDATE ";
  AppendIdentifier(&sql, table, quote);
  sql += L" SET ";
  for (size_t i = 0; i < count; ++i) {
    if (i) sql += L',';
    AppendIdentifier(&sql, fields[i].column, quote);
    sql += L"=?";
  }
  sql += L" WHERE ";
  for (size_t i = 0; i < key.size(); ++i) {
    if (i) sql += L" AND ";
    AppendIdentifier(&sql, key[i], quote);
    sql += L"=?";
  }
  return sql;
}

}  // namespace qz::access::odbc
