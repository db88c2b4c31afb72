#include "GuidText.h"

#include <cstdio>
#include <random>

#include "Text.h"
#include "common/GuidText.h"

namespace gezhuan {

std::string GuidToUtf8(const GUID& guid) { return ToUtf8(qz::common::GuidToText(guid)); }

std::wstring GuidToText(const GUID& guid) { return qz::common::GuidToText(guid); }

bool ParseGuid(const std::string& input, GUID* guid) {
  std::string text = TrimAscii(input);
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  return qz::common::ParseGuidText(FromUtf8(text), guid);
}

bool IsNullGuid(const GUID& guid) { return qz::common::IsNullGuid(guid) != 0; }

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
