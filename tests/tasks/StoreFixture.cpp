#include "tasks/StoreFixture.h"

namespace qz::testing {

GUID TestGuid(uint32_t seed) {
  GUID guid{};
  guid.Data1 = 0xA0000000u + seed;
  guid.Data2 = static_cast<uint16_t>(0xB000u + seed);
  guid.Data3 = static_cast<uint16_t>(0xC000u + (seed >> 16));
  for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<uint8_t>(0xD0 + i + seed * 7);
  return guid;
}

}  // namespace qz::testing
