#include "access/driver/CommitToken.h"

#include <cstdio>
#include <random>

namespace qz::access {

std::string NewCommitToken() {
  thread_local std::random_device device;
  std::string token;
  char digits[9];
  for (int i = 0; i < 4; ++i) {
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(device()));
    token += digits;
  }
  return token;
}

}  // namespace qz::access
