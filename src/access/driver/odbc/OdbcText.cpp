#include "access/driver/odbc/OdbcText.h"

#include <utf8.h>

#include <iterator>

namespace qz::access::odbc {
namespace {

constexpr SQLWCHAR kReplacement = 0xFFFD;

bool IsSurrogate(SQLWCHAR unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// The keywords of a connection string that carry a password.
bool IsPasswordKey(std::wstring_view key) {
  std::wstring upper;
  for (wchar_t c : key)
    if (c != L' ') upper.push_back(c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c);
  return upper == L"PWD" || upper == L"PASSWORD";
}

}  // namespace

void ToSqlText(std::wstring_view text, SqlText* out) {
  out->clear();
  if constexpr (sizeof(wchar_t) == sizeof(SQLWCHAR)) {
    out->assign(text.begin(), text.end());
  } else {
    out->reserve(text.size());
    for (wchar_t c : text) {
      const char32_t code = static_cast<char32_t>(c);
      if (code < 0xD800) {
        out->push_back(static_cast<SQLWCHAR>(code));  // the common case, one unit
      } else if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        out->push_back(kReplacement);
      } else {
        // Outside the BMP: a surrogate pair, by way of UTF-8 (the library
        // converts UTF-16 only to and from UTF-8).
        std::string utf8;
        utf8::append(code, std::back_inserter(utf8));
        utf8::utf8to16(utf8.begin(), utf8.end(), std::back_inserter(*out));
      }
    }
  }
}

SqlText ToSqlText(std::wstring_view text) {
  SqlText out;
  ToSqlText(text, &out);
  return out;
}

std::wstring FromSqlText(const SQLWCHAR* units, size_t count) {
  std::wstring out;
  if constexpr (sizeof(wchar_t) == sizeof(SQLWCHAR)) {
    out.assign(units, units + count);
  } else {
    out.reserve(count);
    size_t i = 0;
    while (i < count) {
      const SQLWCHAR unit = units[i];
      if (!IsSurrogate(unit)) {
        out.push_back(static_cast<wchar_t>(unit));
        ++i;
        continue;
      }
      // A surrogate pair, or an unpaired half that stands for nothing.
      const bool paired = unit < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
      if (!paired) {
        out.push_back(static_cast<wchar_t>(kReplacement));
        ++i;
        continue;
      }
      std::string utf8;
      utf8::utf16to8(units + i, units + i + 2, std::back_inserter(utf8));
      out.push_back(static_cast<wchar_t>(utf8::peek_next(utf8.begin(), utf8.end())));
      i += 2;
    }
  }
  return out;
}

std::wstring ConnectionValue(std::wstring_view value) {
  bool plain = !value.empty() && value.front() != L' ' && value.back() != L' ';
  for (wchar_t c : value)
    if (c == L';' || c == L'{' || c == L'}' || c == L'=') plain = false;
  if (plain) return std::wstring(value);
  std::wstring braced = L"{";
  for (wchar_t c : value) {
    braced.push_back(c);
    if (c == L'}') braced.push_back(L'}');
  }
  braced.push_back(L'}');
  return braced;
}

std::wstring BuildConnectionString(const ConnectionTexts& texts) {
  std::wstring out;
  if (texts.connect1.find(L'=') != std::wstring::npos) {
    out = texts.connect1;
    while (!out.empty() && (out.back() == L';' || out.back() == L' ')) out.pop_back();
  } else {
    out = L"DSN=" + ConnectionValue(texts.connect1);
  }
  auto add = [&out](const wchar_t* key, const std::wstring& value) {
    if (value.empty()) return;
    if (!out.empty()) out += L';';
    out += key;
    out += L'=';
    out += ConnectionValue(value);
  };
  add(L"DATABASE", texts.connect2);
  add(L"UID", texts.connect3);
  add(L"PWD", texts.connect4);
  return out;
}

std::wstring DescribeSource(const ConnectionTexts& texts) {
  std::wstring source;
  if (texts.connect1.find(L'=') == std::wstring::npos) {
    source = L"DSN=" + texts.connect1;
  } else {
    // Keep every attribute but a password; a braced value may hold ';'.
    const std::wstring& text = texts.connect1;
    size_t i = 0;
    while (i < text.size()) {
      const size_t equals = text.find(L'=', i);
      if (equals == std::wstring::npos) break;
      size_t end = equals + 1;
      if (end < text.size() && text[end] == L'{') {
        for (++end; end < text.size(); ++end) {
          if (text[end] != L'}') continue;
          if (end + 1 < text.size() && text[end + 1] == L'}') {
            ++end;
            continue;
          }
          ++end;
          break;
        }
      }
      end = text.find(L';', end);
      if (end == std::wstring::npos) end = text.size();
      const std::wstring_view pair(text.data() + i, end - i);
      if (!IsPasswordKey(std::wstring_view(text.data() + i, equals - i)) && !pair.empty()) {
        if (!source.empty()) source += L';';
        source += pair;
      }
      i = end + 1;
    }
  }
  std::wstring description = L"odbc " + source;
  if (!texts.connect2.empty()) description += L";DATABASE=" + texts.connect2;
  if (!texts.connect3.empty()) description += L" as " + texts.connect3;
  return description;
}

}  // namespace qz::access::odbc
