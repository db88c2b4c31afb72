#include "Text.h"

#include <locale.h>
#include <utf8.h>

#include <clocale>
#include <cwchar>
#include <iterator>

namespace gezhuan {

namespace {

// The code points of text, by way of the one wide-to-UTF-8 conversion that
// the library uses too.
std::u32string CodePoints(const std::wstring& text) {
  const std::string utf8 = ToUtf8(text);
  std::u32string out;
  out.reserve(utf8.size());
  utf8::unchecked::utf8to32(utf8.begin(), utf8.end(), std::back_inserter(out));
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
