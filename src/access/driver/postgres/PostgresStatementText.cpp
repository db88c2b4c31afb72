#include "access/driver/postgres/PostgresStatementText.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "access/TimestampText.h"
#include "platform/TextEncoding.h"

namespace qz::access::postgres {
namespace {

bool IsPlainIdentifierPart(std::wstring_view part) {
  if (part.empty()) return false;
  for (size_t i = 0; i < part.size(); ++i) {
    const wchar_t c = part[i];
    const bool letter = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_';
    const bool digit = c >= L'0' && c <= L'9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

// A name as the statement text carries it. Plain names ([A-Za-z_][A-Za-z0-9_]*,
// optionally schema-qualified) go unquoted, so the server folds them to lower
// case exactly as it folded the unquoted names of CREATE TABLE; anything else
// is quoted verbatim with embedded quotes doubled, so it can never end the
// quote.
void AppendIdentifier(std::string* sql, std::wstring_view name) {
  bool plain = true;
  for (size_t start = 0; plain;) {
    const size_t dot = name.find(L'.', start);
    plain = IsPlainIdentifierPart(name.substr(start, dot == std::wstring_view::npos ? dot : dot - start));
    if (dot == std::wstring_view::npos) break;
    start = dot + 1;
  }
  if (plain) {
    for (wchar_t c : name) sql->push_back(static_cast<char>(c));
    return;
  }
  sql->push_back('"');
  for (char c : platform::WideToUtf8(name)) {
    if (c == '"') sql->push_back('"');
    sql->push_back(c);
  }
  sql->push_back('"');
}

// "table (a,b,c)": what an INSERT and a COPY of the row's columns share.
void BuildTarget(std::string* out, const RowTexts& row) {
  out->clear();
  AppendIdentifier(out, row.table());
  if (row.size() == 0) return;
  out->append(" (");
  for (size_t i = 0; i < row.size(); ++i) {
    if (i) out->push_back(',');
    AppendIdentifier(out, row.fields()[i].column);
  }
  out->push_back(')');
}

// The text a value travels as, in the server's input syntax for the column
// it lands in (the server parses it with the column's type, so an integer
// column takes the text of a number). False for NULL: a database NULL, an
// invalid date-time, an all-zero timestamp.
bool ValueText(const CQZDBVariant& value, std::string* out) {
  switch (value.GetType()) {
    case CQZDBVariant::TYPE_NULL:
      return false;
    case CQZDBVariant::TYPE_INTEGER:
      *out = std::to_string(value.GetInteger64());
      return true;
    case CQZDBVariant::TYPE_REAL: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.17g", value.GetReal());
      out->assign(buffer);
      return true;
    }
    case CQZDBVariant::TYPE_TEXT:
      platform::WideToUtf8(value.GetTextRef(), out);
      return true;
    case CQZDBVariant::TYPE_DATETIME:
      if (!value.GetDateTime().IsValid()) return false;
      *out = FormatTimestamp(TimestampFromDateTime(value.GetDateTime()));
      return true;
    case CQZDBVariant::TYPE_TIMESTAMP: {
      const SQZTimestamp timestamp = value.GetTimestamp();
      if (timestamp.year == 0 && timestamp.month == 0) return false;
      *out = FormatTimestamp(timestamp);
      return true;
    }
  }
  return false;
}

namespace {

// Whether one of the eight bytes of word is a control character (below
// 0x20) or a backslash, which a COPY field may have to escape. Exact for
// "some byte is", which is all that is asked.
bool MayNeedEscape(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  const uint64_t backslashes = word ^ (kOnes * '\\');
  return ((((word - kOnes * 0x20) & ~word) | ((backslashes - kOnes) & ~backslashes)) & kHighs) != 0;
}

}  // namespace

// One field of a COPY text-format row. A leading run of words that need
// no escape, usually the whole text, is looked at eight bytes at a time;
// from the first that may, the text is copied a run at a time between the
// bytes that need a backslash.
void AppendCopyField(std::string* row, const ParameterText& field) {
  if (field.null) {
    row->append("\\N");
    return;
  }
  const char* text = field.text.data();
  const size_t length = field.text.size();
  size_t i = 0;
  for (uint64_t word; i + 8 <= length; i += 8) {
    std::memcpy(&word, text + i, 8);
    if (MayNeedEscape(word)) break;
  }
  size_t run = 0;
  for (; i < length; ++i) {
    const char c = text[i];
    const char* escaped;
    switch (c) {
      case '\\':
        escaped = "\\\\";
        break;
      case '\n':
        escaped = "\\n";
        break;
      case '\r':
        escaped = "\\r";
        break;
      case '\t':
        escaped = "\\t";
        break;
      default:
        continue;
    }
    row->append(text + run, i - run).append(escaped, 2);
    run = i + 1;
  }
  row->append(text + run, length - run);
}

namespace {

// The index of the first character after leading blanks and comments;
// npos when a comment does not end.
size_t StartOfStatement(const std::string& sql) {
  size_t i = 0;
  for (;;) {
    while (i < sql.size() && IsSpace(sql[i])) ++i;
    if (sql.compare(i, 2, "--") == 0) {
      i = sql.find('\n', i);
      if (i == std::string::npos) return i;
    } else if (sql.compare(i, 2, "/*") == 0) {
      i = sql.find("*/", i + 2);
      if (i == std::string::npos) return i;
      i += 2;
    } else {
      return i;
    }
  }
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

// The word of letters at sql[i], in upper case.
std::string WordAt(const std::string& sql, size_t i) {
  std::string word;
  while (i < sql.size() && IsLetter(sql[i])) {
    word.push_back(static_cast<char>(sql[i] >= 'a' ? sql[i] - 'a' + 'A' : sql[i]));
    ++i;
  }
  return word;
}

}  // namespace

// Whether the statement can return rows, judged by its first word. Those
// that can are prepared and described first (so that "WITH ... DELETE" and
// "SELECT ... INTO" without a result still run at once); the others run
// at once and keep whatever rows they return (INSERT ... RETURNING).
bool MayReturnRows(const std::string& sql) {
  const size_t i = StartOfStatement(sql);
  if (i == std::string::npos) return false;
  if (i < sql.size() && sql[i] == '(') return true;
  const std::string word = WordAt(sql, i);
  return word == "SELECT" || word == "WITH" || word == "VALUES" || word == "TABLE" || word == "SHOW" ||
         word == "EXPLAIN";
}

bool ReturnsNoRows(const std::string& sql) {
  const size_t start = StartOfStatement(sql);
  if (start == std::string::npos) return false;
  const std::string word = WordAt(sql, start);
  if (word != "INSERT" && word != "UPDATE" && word != "DELETE") return false;
  static constexpr char kReturning[] = "returning";
  constexpr size_t kLength = sizeof kReturning - 1;
  for (size_t i = start; i + kLength <= sql.size(); ++i) {
    if ((sql[i] | 0x20) != 'r' || (i > 0 && IsLetter(sql[i - 1]))) continue;
    size_t same = 1;
    while (same < kLength && (sql[i + same] | 0x20) == kReturning[same]) ++same;
    if (same == kLength && (i + kLength == sql.size() || !IsLetter(sql[i + kLength]))) return false;
  }
  return true;
}

bool ReadsThroughPortal(const std::string& sql) {
  const size_t start = StartOfStatement(sql);
  if (start == std::string::npos || WordAt(sql, start) != "SELECT") return false;
  // SELECT ... INTO makes a table, which a cursor refuses to do. Any INTO,
  // even one inside a quoted text, keeps the text out: it then simply
  // streams the old way.
  for (size_t i = start; i < sql.size(); ++i) {
    if (!IsLetter(sql[i]) || (i > 0 && IsLetter(sql[i - 1]))) continue;
    if (WordAt(sql, i) == "INTO") return false;
  }
  return true;
}

}  // namespace qz::access::postgres
