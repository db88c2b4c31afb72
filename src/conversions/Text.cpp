// White space and trimming. The set of white-space characters is fixed here
// rather than taken from the process locale: in the "C" locale iswspace
// knows only the ASCII ones, and stored text must trim the same way
// whatever locale the host happens to run in.
#include <cwctype>

#include "conversions/Conversions.h"

namespace qz::conversions {

// The ASCII blanks, the Unicode space separators, the line and paragraph
// separators and NEL; then whatever else the locale calls white space.
// U+FEFF (zero-width no-break space, the byte-order mark) is not white
// space: it is kept like any other character, so that a text holding one
// is stored as it was given.
bool IsWhiteSpace(wchar_t c) {
  // Printable ASCII is never white space in any locale: the common case,
  // answered before the locale is asked.
  if (c > L' ' && c < L'\x7F') return false;
  switch (c) {
    case L' ':
    case L'\t':
    case L'\n':
    case L'\v':
    case L'\f':
    case L'\r':
    case L'\x0085':  // next line
    case L'\x00A0':  // no-break space
    case L'\x1680':  // ogham space mark
    case L'\x2028':  // line separator
    case L'\x2029':  // paragraph separator
    case L'\x202F':  // narrow no-break space
    case L'\x205F':  // medium mathematical space
    case L'\x3000':  // ideographic space
      return true;
    default:
      break;
  }
  if (c >= L'\x2000' && c <= L'\x200A') return true;  // en quad .. hair space
  return std::iswspace(static_cast<std::wint_t>(c)) != 0;
}

// Finds the first and last characters that are not white space.
std::wstring Trim(std::wstring_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsWhiteSpace(text[begin])) ++begin;
  while (end > begin && IsWhiteSpace(text[end - 1])) --end;
  return std::wstring(text.substr(begin, end - begin));
}

// Erases the trailing white space first so that the leading erase moves
// as little as possible.
void TrimInPlace(std::wstring* text) {
  if (text->empty() || (!IsWhiteSpace(text->front()) && !IsWhiteSpace(text->back()))) return;
  std::size_t end = text->size();
  while (end > 0 && IsWhiteSpace((*text)[end - 1])) --end;
  text->erase(end);
  std::size_t begin = 0;
  while (begin < text->size() && IsWhiteSpace((*text)[begin])) ++begin;
  text->erase(0, begin);
}

}  // namespace qz::conversions
