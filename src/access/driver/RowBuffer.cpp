#include "access/driver/RowBuffer.h"

#include <atomic>

namespace qz::access {

uint64_t NewLayoutId() {
  static std::atomic<uint64_t> next_layout_id{1};
  return next_layout_id++;
}

}  // namespace qz::access
