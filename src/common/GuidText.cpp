// GUID text: 8-4-4-4-12 hexadecimal digits, written upper-case and read in
// either case. Parsing is done by hand so that it does not depend on the
// locale and cannot read past the text it is given.
#include "common/GuidText.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(_MSC_VER)
#include <stdlib.h>
#endif
#include <string>
#include <type_traits>

#include "common/AsciiTrim.h"

namespace qz::common {

namespace {

constexpr std::size_t kGuidTextLength = 36;

// The two digits of each byte: rows carry many GUIDs, and a byte at a time
// halves the steps.
struct HexPairs {
  char text[256][2];
  constexpr HexPairs() : text() {
    constexpr char kHex[] = "0123456789ABCDEF";
    for (int i = 0; i < 256; ++i) text[i][0] = kHex[i >> 4], text[i][1] = kHex[i & 0xF];
  }
};
constexpr HexPairs kHexPairs;

// Writes the low `digits` (an even number) hexadecimal digits of value at
// out, most significant first; answers the position after them.
template <typename Char>
Char* PutHex(uint32_t value, int digits, Char* out) {
  for (int shift = (digits - 2) * 4; shift >= 0; shift -= 8) {
    const char* pair = kHexPairs.text[(value >> shift) & 0xFF];
    *out++ = static_cast<Char>(pair[0]);
    *out++ = static_cast<Char>(pair[1]);
  }
  return out;
}

// Data1, Data2 and Data3 as numbers, then the eight bytes of Data4 in
// order, with the hyphen after the second of them. Written into a buffer of
// the exact length and assigned once: row mappings write several GUIDs per
// row.
template <typename String>
void WriteGuid(const GUID& guid, String* text) {
  using Char = typename String::value_type;
  Char buffer[kGuidTextLength];
  Char* at = PutHex<Char>(guid.Data1, 8, buffer);
  *at++ = '-';
  at = PutHex<Char>(guid.Data2, 4, at);
  *at++ = '-';
  at = PutHex<Char>(guid.Data3, 4, at);
  *at++ = '-';
  at = PutHex<Char>(guid.Data4[0], 2, at);
  at = PutHex<Char>(guid.Data4[1], 2, at);
  *at++ = '-';
  for (int i = 2; i < 8; ++i) at = PutHex<Char>(guid.Data4[i], 2, at);
  text->assign(buffer, kGuidTextLength);
}

// The value of each byte as a hexadecimal digit (either case), -1 for any
// other byte: a listing parses several GUIDs per row, one lookup a digit.
struct HexDigits {
  int8_t value[256];
  constexpr HexDigits() : value() {
    for (int i = 0; i < 256; ++i) value[i] = -1;
    for (int i = 0; i < 10; ++i) value['0' + i] = static_cast<int8_t>(i);
    for (int i = 0; i < 6; ++i) {
      value['a' + i] = static_cast<int8_t>(10 + i);
      value['A' + i] = static_cast<int8_t>(10 + i);
    }
  }
};
constexpr HexDigits kHexDigits;

template <typename Char>
int HexValue(Char c) {
  const auto code = static_cast<uint32_t>(static_cast<std::make_unsigned_t<Char>>(c));
  return code < 256 ? kHexDigits.value[code] : -1;
}

// Reads `digits` hexadecimal digits starting at text[pos], which the caller
// has checked lie within the text. A character that is no digit turns *bad
// negative; the value is then meaningless.
template <typename Text>
uint32_t ReadHex(Text text, std::size_t pos, int digits, int* bad) {
  uint32_t result = 0;
  for (int i = 0; i < digits; ++i) {
    const int v = HexValue(text[pos + static_cast<std::size_t>(i)]);
    *bad |= v;
    result = (result << 4) | static_cast<uint32_t>(v & 0xF);
  }
  return result;
}

}  // namespace

std::wstring GuidToText(const GUID& guid) {
  std::wstring text;
  WriteGuid(guid, &text);
  return text;
}

void GuidToText(const GUID& guid, std::wstring* text) { WriteGuid(guid, text); }

std::string GuidToUtf8(const GUID& guid) {
  std::string text;
  WriteGuid(guid, &text);
  return text;
}

void GuidToUtf8(const GUID& guid, std::string* text) { WriteGuid(guid, text); }

namespace {

// The GUID of exactly its text form, wide or UTF-8 (where every character
// of the form is one byte); false for any other text.
template <typename Text>
bool ParseGuid(Text text, GUID* out) {
  if (text.size() != kGuidTextLength) return false;
  if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;

  GUID guid{};
  int bad = 0;
  guid.Data1 = ReadHex(text, 0, 8, &bad);
  guid.Data2 = static_cast<uint16_t>(ReadHex(text, 9, 4, &bad));
  guid.Data3 = static_cast<uint16_t>(ReadHex(text, 14, 4, &bad));
  // Data4: two bytes before the last hyphen, six after it.
  static constexpr std::size_t kByteOffsets[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<uint8_t>(ReadHex(text, kByteOffsets[i], 2, &bad));
  if (bad < 0) return false;
  *out = guid;
  return true;
}

}  // namespace

// The exact inverse of GuidToText, except that lower-case digits are also
// accepted.
bool ParseGuidText(std::wstring_view text, GUID* guid) { return ParseGuid(text, guid); }

GUID TextToGuid(std::wstring_view text) {
  GUID guid{};
  ParseGuid(text, &guid);
  return guid;
}

namespace {

// The eight hexadecimal digits (either case) at text as a number, the
// first digit the most significant; answers the bits of the bytes that are
// no digit, 0 when all are. All eight are worked on at once, a byte each in
// one word: a listing parses several GUIDs per row. A step may carry from
// one byte into the next only where some byte is 0x80 or more, and such
// text is refused whatever the rest says.
uint64_t ReadHex8(const char* text, uint32_t* out) {
  uint64_t x;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::memcpy(&x, text, 8);
  x = __builtin_bswap64(x);
#elif defined(_MSC_VER)
  std::memcpy(&x, text, 8);
  x = _byteswap_uint64(x);  // every Windows target is little-endian
#else
  x = 0;
  for (int i = 0; i < 8; ++i) x = (x << 8) | static_cast<unsigned char>(text[i]);
#endif
  constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  // Per byte b, the high bit of (b + (0x80 - low)) says b >= low, that of
  // (b + (0x7F - high)) says b > high.
  auto at_least = [](uint64_t v, unsigned low) { return (v + kOnes * (0x80u - low)) & kHighs; };
  auto above = [](uint64_t v, unsigned high) { return (v + kOnes * (0x7Fu - high)) & kHighs; };
  const uint64_t digit = at_least(x, '0') & ~above(x, '9');
  const uint64_t folded = x | kOnes * 0x20u;  // 'A'..'F' to 'a'..'f'; digits keep their bit
  const uint64_t letter = at_least(folded, 'a') & ~above(folded, 'f');
  // Each byte's value, then the nibbles packed pair by pair.
  uint64_t v = (x & kOnes * 0x0Fu) + (letter >> 7) * 9;
  v = (v | (v >> 4)) & 0x00FF00FF00FF00FFu;
  v = (v | (v >> 8)) & 0x0000FFFF0000FFFFu;
  v = (v | (v >> 16)) & 0x00000000FFFFFFFFu;
  *out = static_cast<uint32_t>(v);
  return (x & kHighs) | ((digit | letter) ^ kHighs);
}

}  // namespace

// Exactly what ParseGuid reads, eight digits at a time: the 32 digits are
// gathered without their hyphens first.
bool Utf8TextToGuid(std::string_view text, GUID* out) {
  if (text.size() != kGuidTextLength) return false;
  const char* t = text.data();
  if (t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-') return false;
  char digits[32];
  std::memcpy(digits, t, 8);
  std::memcpy(digits + 8, t + 9, 4);
  std::memcpy(digits + 12, t + 14, 4);
  std::memcpy(digits + 16, t + 19, 4);
  std::memcpy(digits + 20, t + 24, 12);
  uint32_t words[4];
  uint64_t bad = 0;
  for (int i = 0; i < 4; ++i) bad |= ReadHex8(digits + 8 * i, &words[i]);
  if (bad != 0) return false;
  GUID guid{};
  guid.Data1 = words[0];
  guid.Data2 = static_cast<uint16_t>(words[1] >> 16);
  guid.Data3 = static_cast<uint16_t>(words[1]);
  for (int i = 0; i < 4; ++i) {
    guid.Data4[i] = static_cast<uint8_t>(words[2] >> (24 - 8 * i));
    guid.Data4[4 + i] = static_cast<uint8_t>(words[3] >> (24 - 8 * i));
  }
  *out = guid;
  return true;
}

bool ReadTypedGuid(std::string_view text, GUID* guid) {
  const std::string trimmed = TrimAscii(text);
  std::string_view form = trimmed;
  if (form.size() == kGuidTextLength + 2 && form.front() == '{' && form.back() == '}')
    form = form.substr(1, kGuidTextLength);
  return ParseGuid(form, guid);
}

// Looks at the fields rather than the raw bytes, so padding cannot matter.
bool IsNullGuid(const GUID& guid) {
  if (guid.Data1 != 0 || guid.Data2 != 0 || guid.Data3 != 0) return false;
  for (int i = 0; i < 8; ++i) {
    if (guid.Data4[i] != 0) return false;
  }
  return true;
}

}  // namespace qz::common
