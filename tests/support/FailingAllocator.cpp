#include "support/FailingAllocator.h"

namespace qz::testing {

FailingAllocator* FailingAllocator::current_ = nullptr;

FailingAllocator::FailingAllocator() {
  if (sqlite3_shutdown() != SQLITE_OK) return;
  if (sqlite3_config(SQLITE_CONFIG_GETMALLOC, &original_) != SQLITE_OK) {
    sqlite3_initialize();
    return;
  }
  wrapper_ = original_;
  wrapper_.xMalloc = &FailingAllocator::Malloc;
  wrapper_.xRealloc = &FailingAllocator::Realloc;
  current_ = this;
  installed_ = sqlite3_config(SQLITE_CONFIG_MALLOC, &wrapper_) == SQLITE_OK;
  if (!installed_) current_ = nullptr;
  sqlite3_initialize();
}

FailingAllocator::~FailingAllocator() {
  if (!installed_) return;
  Disarm();
  sqlite3_shutdown();
  sqlite3_config(SQLITE_CONFIG_MALLOC, &original_);
  sqlite3_initialize();
  current_ = nullptr;
}

void FailingAllocator::FailAt(uint64_t n) {
  fail_at_ = n;
  allocations_ = 0;
  fired_ = false;
  armed_ = true;
}

void FailingAllocator::Disarm() { armed_ = false; }

bool FailingAllocator::CountAndCheck() {
  if (!armed_) return false;
  const uint64_t n = ++allocations_;
  if (fail_at_ == 0 || n != fail_at_) return false;
  fired_ = true;
  return true;
}

void* FailingAllocator::Malloc(int size) {
  if (current_->CountAndCheck()) return nullptr;
  return current_->original_.xMalloc(size);
}

void* FailingAllocator::Realloc(void* old, int size) {
  if (current_->CountAndCheck()) return nullptr;
  return current_->original_.xRealloc(old, size);
}

}  // namespace qz::testing
