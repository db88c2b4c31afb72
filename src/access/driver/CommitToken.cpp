#include "access/driver/CommitToken.h"

#include <cstdint>
#include <random>

namespace qz::access {

// Straight from the system's generator on every call, never from a
// generator of our own: a process that forks would hand its child the same
// state, and two sessions the same tokens.
std::string NewCommitToken() {
  thread_local std::random_device device;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token(32, '0');
  for (size_t word = 0; word < 4; ++word) {
    uint32_t bits = static_cast<uint32_t>(device());
    for (size_t digit = 8; digit-- > 0; bits >>= 4) token[word * 8 + digit] = kHex[bits & 0xF];
  }
  return token;
}

}  // namespace qz::access
