#include "cli/terminal/Text.h"

#include <utf8.h>

#include <algorithm>
#include <clocale>
#include <cwchar>
#include <iterator>

#include "cli/terminal/DisplayColumns.h"

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

}  // namespace

bool IsUtf8(const std::string& text) { return utf8::is_valid(text.begin(), text.end()); }

int DisplayWidth(const std::wstring& text) { return DisplayColumns(CodePoints(text)); }

std::wstring PadToWidth(const std::wstring& text, int width) {
  const int have = DisplayWidth(text);
  return have >= width ? text : text + std::wstring(static_cast<size_t>(width - have), L' ');
}

namespace {

// Characters that change how the text after them is shown.
bool IsLayoutControl(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::wstring EscapeControls(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    const char32_t c = static_cast<char32_t>(w);
    if (c >= 0x20 && c != 0x7F && !IsLayoutControl(c)) {
      out += w;
      continue;
    }
    wchar_t escape[8];
    switch (c) {
      case '\n':
        out += L"\\n";
        break;
      case '\r':
        out += L"\\r";
        break;
      case '\t':
        out += L"\\t";
        break;
      case 0x1B:
        out += L"\\e";
        break;
      default:
        std::swprintf(escape, sizeof escape / sizeof escape[0], c < 0x80 ? L"\\x%02X" : L"\\u%04X",
                      static_cast<unsigned>(c));
        out += escape;
    }
  }
  return out;
}

std::string EscapeControlsKeepingLines(const std::string& utf8) {
  std::string out;
  size_t start = 0;
  while (start <= utf8.size()) {
    const size_t end = std::min(utf8.find('\n', start), utf8.size());
    size_t text = start;
    for (; text < end && utf8[text] == '\t'; ++text) out += "  ";
    out += ToUtf8(EscapeControls(FromUtf8(utf8.substr(text, end - text))));
    if (end < utf8.size()) out += '\n';
    start = end + 1;
  }
  return out;
}

}  // namespace gezhuan
