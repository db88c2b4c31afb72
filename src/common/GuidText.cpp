// GUID text: 8-4-4-4-12 hexadecimal digits, written upper-case and read in
// either case. Parsing is done by hand so that it does not depend on the
// locale and cannot read past the text it is given.
#include "common/GuidText.h"

#include <cstddef>
#include <cstdint>

namespace qz::common {

namespace {

constexpr std::size_t kGuidTextLength = 36;

// Appends the low `digits` hexadecimal digits of value, most significant first.
void AppendHex(uint32_t value, int digits, std::wstring* out) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out->push_back(kHex[(value >> shift) & 0xF]);
  }
}

// The value of one hexadecimal digit, or -1 for any other character.
int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return -1;
}

// Reads `digits` hexadecimal digits starting at text[pos]. The caller has
// already checked that they lie within the text.
bool ReadHex(std::wstring_view text, std::size_t pos, int digits, uint32_t* value) {
  uint32_t result = 0;
  for (int i = 0; i < digits; ++i) {
    const int v = HexValue(text[pos + static_cast<std::size_t>(i)]);
    if (v < 0) return false;
    result = (result << 4) | static_cast<uint32_t>(v);
  }
  *value = result;
  return true;
}

}  // namespace

// Data1, Data2 and Data3 as numbers, then the eight bytes of Data4 in
// order, with the hyphen after the second of them.
std::wstring GuidToText(const GUID& guid) {
  std::wstring text;
  text.reserve(kGuidTextLength);
  AppendHex(guid.Data1, 8, &text);
  text.push_back(L'-');
  AppendHex(guid.Data2, 4, &text);
  text.push_back(L'-');
  AppendHex(guid.Data3, 4, &text);
  text.push_back(L'-');
  AppendHex(guid.Data4[0], 2, &text);
  AppendHex(guid.Data4[1], 2, &text);
  text.push_back(L'-');
  for (int i = 2; i < 8; ++i) AppendHex(guid.Data4[i], 2, &text);
  return text;
}

// The exact inverse of GuidToText, except that lower-case digits are also
// accepted.
bool ParseGuidText(std::wstring_view text, GUID* guid) {
  if (text.size() != kGuidTextLength) return false;
  if (text[8] != L'-' || text[13] != L'-' || text[18] != L'-' || text[23] != L'-') return false;

  GUID parsed{};
  uint32_t value = 0;
  if (!ReadHex(text, 0, 8, &value)) return false;
  parsed.Data1 = value;
  if (!ReadHex(text, 9, 4, &value)) return false;
  parsed.Data2 = static_cast<uint16_t>(value);
  if (!ReadHex(text, 14, 4, &value)) return false;
  parsed.Data3 = static_cast<uint16_t>(value);
  // Data4: two bytes before the last hyphen, six after it.
  static const std::size_t kByteOffsets[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, kByteOffsets[i], 2, &value)) return false;
    parsed.Data4[i] = static_cast<uint8_t>(value);
  }
  *guid = parsed;
  return true;
}

GUID TextToGuid(std::wstring_view text) {
  GUID guid{};
  ParseGuidText(text, &guid);
  return guid;
}

// Looks at the fields rather than the raw bytes, so padding cannot matter.
int IsNullGuid(const GUID& guid) {
  if (guid.Data1 != 0 || guid.Data2 != 0 || guid.Data3 != 0) return 0;
  for (int i = 0; i < 8; ++i) {
    if (guid.Data4[i] != 0) return 0;
  }
  return 1;
}

}  // namespace qz::common
