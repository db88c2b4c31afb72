#include "GuidText.h"

#include <cstdio>
#include <random>

#include "Text.h"

namespace gezhuan {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string GuidToUtf8(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(g.Data1),
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                g.Data4[7]);
  return text;
}

std::wstring GuidToText(const GUID& guid) { return FromUtf8(GuidToUtf8(guid)); }

bool ParseGuid(const std::string& input, GUID* guid) {
  std::string text = TrimAscii(input);
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36) return false;
  uint8_t bytes[16];
  size_t b = 0;
  for (size_t i = 0; i < 36;) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[b++] = static_cast<uint8_t>(high * 16 + low);
    i += 2;
  }
  GUID g{};
  g.Data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
  g.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  g.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
  *guid = g;
  return true;
}

bool IsNullGuid(const GUID& guid) { return guid == GUID{}; }

GUID NewRandomGuid() {
  // random_device reads the kernel's generator (/dev/urandom) on Linux.
  static std::random_device device;
  GUID g{};
  g.Data1 = device();
  const uint32_t second = device();
  g.Data2 = static_cast<uint16_t>(second >> 16);
  g.Data3 = static_cast<uint16_t>((second & 0x0FFF) | 0x4000);  // version 4
  const uint32_t third = device();
  const uint32_t fourth = device();
  for (int i = 0; i < 4; ++i) {
    g.Data4[i] = static_cast<uint8_t>(third >> (8 * i));
    g.Data4[4 + i] = static_cast<uint8_t>(fourth >> (8 * i));
  }
  g.Data4[0] = static_cast<uint8_t>((g.Data4[0] & 0x3F) | 0x80);  // RFC 4122 variant
  return g;
}

}  // namespace gezhuan
