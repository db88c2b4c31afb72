#include "common/RandomGuid.h"

#include <random>

namespace qz::common {

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

}  // namespace qz::common
