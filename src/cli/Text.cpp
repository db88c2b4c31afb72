#include "Text.h"

#include <locale.h>
#include <utf8.h>

#include <clocale>
#include <cwchar>
#include <iterator>

namespace gezhuan {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsEncodable(char32_t c) { return c < 0x110000 && (c < 0xD800 || c > 0xDFFF); }

// The wide characters of text as code points. On a platform whose wchar_t
// holds UTF-16 units the surrogate pairs are joined.
std::u32string CodePoints(const std::wstring& text) {
  std::u32string out;
  out.reserve(text.size());
  if constexpr (sizeof(wchar_t) == 2) {
    for (size_t i = 0; i < text.size(); ++i) {
      char32_t c = static_cast<char16_t>(text[i]);
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
        const char32_t low = static_cast<char16_t>(text[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
      out.push_back(IsEncodable(c) ? c : kReplacement);
    }
  } else {
    for (wchar_t w : text) {
      const char32_t c = static_cast<char32_t>(w);
      out.push_back(IsEncodable(c) ? c : kReplacement);
    }
  }
  return out;
}

// A locale whose wcwidth knows the wide characters whatever the user's
// locale is: in the "C" locale glibc answers -1 for every CJK character.
locale_t WidthLocale() {
  static locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!l) l = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    return l;
  }();
  return locale;
}

// The East Asian wide blocks, for when no UTF-8 locale is installed.
bool IsWideFallback(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
         (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
         (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
  const std::u32string points = CodePoints(text);
  std::string out;
  out.reserve(points.size());
  utf8::utf32to8(points.begin(), points.end(), std::back_inserter(out));
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  std::string valid;
  const std::string* source = &text;
  if (!utf8::is_valid(text.begin(), text.end())) {
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
    source = &valid;
  }
  std::u32string points;
  utf8::utf8to32(source->begin(), source->end(), std::back_inserter(points));
  std::wstring out;
  out.reserve(points.size());
  for (char32_t c : points) {
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
        continue;
      }
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

bool IsUtf8(const std::string& text) { return utf8::is_valid(text.begin(), text.end()); }

int DisplayWidth(const std::wstring& text) {
  const locale_t locale = WidthLocale();
  const locale_t previous = locale ? uselocale(locale) : static_cast<locale_t>(0);
  int width = 0;
  for (char32_t c : CodePoints(text)) {
    int w = -1;
    if constexpr (sizeof(wchar_t) == 4) w = wcwidth(static_cast<wchar_t>(c));
    if (w < 0) w = c < 0x20 || c == 0x7F ? 0 : (IsWideFallback(c) ? 2 : 1);
    width += w;
  }
  if (locale) uselocale(previous);
  return width;
}

std::wstring PadToWidth(const std::wstring& text, int width) {
  const int have = DisplayWidth(text);
  return have >= width ? text : text + std::wstring(static_cast<size_t>(width - have), L' ');
}

std::string TrimAscii(const std::string& text) {
  const char* space = " \t\r\n\f\v";
  const size_t begin = text.find_first_not_of(space);
  if (begin == std::string::npos) return std::string();
  const size_t end = text.find_last_not_of(space);
  return text.substr(begin, end - begin + 1);
}

}  // namespace gezhuan
