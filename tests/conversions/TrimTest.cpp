#include <gtest/gtest.h>

#include <string>

#include "conversions/Conversions.h"

namespace {

using qz::conversions::IsWhiteSpace;
using qz::conversions::Trim;
using qz::conversions::TrimInPlace;

struct TrimCase {
  std::wstring in;
  std::wstring out;
};

TEST(TrimTest, RemovesOuterWhiteSpaceKeepsInner) {
  const TrimCase kCases[] = {
      {L"", L""},
      {L" \t\r\n\v\f", L""},
      {L"\x3000\x00A0\x3000", L""},
      {L"abc", L"abc"},
      {L"\x3000\x00A0\tTape  A\tB\x00A0\x3000", L"Tape  A\tB"},
      {L"\xFEFF"
       L"x\x2028",
       L"\xFEFF"
       L"x"},  // a byte-order mark is not white space: kept
      {L"  a  ", L"a"},
      {L"\x200B"
       L"a",
       L"\x200B"
       L"a"},  // zero-width space is not white space
  };
  for (const TrimCase& c : kCases) {
    EXPECT_EQ(Trim(c.in), c.out);
    std::wstring s = c.in;
    TrimInPlace(&s);
    EXPECT_EQ(s, c.out);
  }
}

// Tests run in the "C" locale, where iswspace knows none of these.
TEST(TrimTest, WideWhiteSpaceIndependentOfLocale) {
  const wchar_t kSpaces[] = {L' ',      L'\t',     L'\n',     L'\v',     L'\f',     L'\r',
                             L'\x85',   L'\xA0',   L'\x1680', L'\x2000', L'\x2005', L'\x200A',
                             L'\x2028', L'\x2029', L'\x202F', L'\x205F', L'\x3000'};
  for (wchar_t c : kSpaces) {
    EXPECT_TRUE(IsWhiteSpace(c)) << static_cast<unsigned>(c);
    EXPECT_EQ(Trim(std::wstring(1, c) + L"x" + c), L"x") << static_cast<unsigned>(c);
  }
  const wchar_t kNotSpaces[] = {L'a', L'\0', L'\x1FFF', L'\x200B', L'\x3001', L'\xFEFE', L'\xFEFF'};
  for (wchar_t c : kNotSpaces) EXPECT_FALSE(IsWhiteSpace(c)) << static_cast<unsigned>(c);
}

}  // namespace
