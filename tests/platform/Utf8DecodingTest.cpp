// UTF-8 from the engines into wide text: every cell of a listing is decoded
// this way, eight ASCII bytes at a time where it can, so runs of ASCII that
// end mid-block, characters of every length across those blocks, and every
// kind of ill-formed sequence must all come out right.
#include <gtest/gtest.h>

#include <string>

#include "platform/TextEncoding.h"

namespace {

using qz::platform::Utf8ToWide;

// U+1F600 as the wide text holds it.
std::wstring Grin() { return sizeof(wchar_t) == 2 ? std::wstring(L"\xD83D\xDE00") : std::wstring(1, wchar_t(0x1F600)); }

TEST(Utf8Decoding, WellFormedAndIllFormedText) {
  struct Case {
    std::string utf8;
    std::wstring wide;
  };
  const Case cases[] = {
      {"", L""},
      {"seven c", L"seven c"},
      {"exactly8", L"exactly8"},
      {"nine char", L"nine char"},
      {"Betacam SP to XDCAM HD, and more", L"Betacam SP to XDCAM HD, and more"},
      {"caf\xC3\xA9", L"caf\xE9"},
      // A three-byte character across the end of an ASCII block.
      {"abcdefg\xE4\xB8\xAD"
       "abcdefgh",
       L"abcdefg\x4E2D"
       L"abcdefgh"},
      {"\xE6\xA0\xBC\xE5\xBC\x8F\xE8\xBD\xAC\xE6\x8D\xA2 10000", L"\x683C\x5F0F\x8F6C\x6362 10000"},
      {"x\xF0\x9F\x98\x80y", L"x" + Grin() + L"y"},
      // Characters of every length inside whole eight-byte blocks, an
      // ASCII run broken off by one, and a character cut by a block's end.
      {"ab\xF0\x9F\x98\x80"
       "cd\xE4\xB8\xAD"
       "efgh\xC3\xA9"
       "\xC3\xA9xyz",
       L"ab" + Grin() +
           L"cd\x4E2D"
           L"efgh\xE9\xE9xyz"},
      {"\xEF\xBF\xBF\xC2\x80", L"\xFFFF\x0080"},
      // Ill-formed: each bad sequence is one U+FFFD, the rest as it was.
      {"ab\x80"
       "cd",
       L"ab\xFFFD"
       L"cd"},
      {"abcdef\x80g"
       "hijklmno",
       L"abcdef\xFFFDghijklmno"},                             // inside a whole block
      {"x\xC0\x80y", L"x\xFFFDy"},                            // overlong
      {"\xED\xA0\x80", L"\xFFFD"},                            // a surrogate
      {"\xF4\x90\x80\x80!", L"\xFFFD!"},                      // past U+10FFFF
      {"abcdefgh\xE4\xB8", L"abcdefgh\xFFFD"},                // cut short at the end
      {"\xE4\xB8z and more text", L"\xFFFDz and more text"},  // cut short by ASCII
      {"\xFF"
       "abcdefgh",
       L"\xFFFD"
       L"abcdefgh"},  // no lead byte at all
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::wstring out = L"left over from before";
    Utf8ToWide(c.utf8, &out);
    EXPECT_EQ(out, c.wide);
    EXPECT_EQ(Utf8ToWide(c.utf8), c.wide);
  }
}

// Wide text to UTF-8, every length of sequence at its edges, after ASCII
// and before it: what is no Unicode scalar value is written as U+FFFD.
TEST(Utf8Encoding, EveryLengthOfSequenceAndWhatIsNoCharacter) {
  struct Case {
    char32_t code;
    const char* utf8;
  };
  const Case kCases[] = {
      {0x41, "A"},
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0x4E2D, "\xE4\xB8\xAD"},
      {0xD7FF, "\xED\x9F\xBF"},
      {0xE000, "\xEE\x80\x80"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
      {0xD800, "\xEF\xBF\xBD"},  // a lone surrogate
      {0xDFFF, "\xEF\xBF\xBD"},
      {0x110000, "\xEF\xBF\xBD"},  // beyond Unicode
  };
  for (const Case& c : kCases) {
    if (sizeof(wchar_t) == 2 && c.code > 0xFFFF) continue;  // no single unit holds it
    const wchar_t unit = static_cast<wchar_t>(c.code);
    const std::string expected = c.utf8;
    EXPECT_EQ(qz::platform::WideToUtf8(std::wstring(1, unit)), expected) << std::hex << c.code;
    EXPECT_EQ(qz::platform::WideToUtf8(std::wstring(L"ab") + unit + L"cd"), "ab" + expected + "cd")
        << std::hex << c.code;
    EXPECT_EQ(qz::platform::WideToUtf8(std::wstring(1, unit) + L"x" + unit), expected + "x" + expected)
        << std::hex << c.code;
  }
}

}  // namespace
