#include "Text.h"

#include <utf8.h>

#include <iterator>

#include "DisplayColumns.h"

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

std::string TrimAscii(const std::string& text) {
  const char* space = " \t\r\n\f\v";
  const size_t begin = text.find_first_not_of(space);
  if (begin == std::string::npos) return std::string();
  const size_t end = text.find_last_not_of(space);
  return text.substr(begin, end - begin + 1);
}

}  // namespace gezhuan
