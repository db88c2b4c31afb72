// An allocator for SQLite that fails the Nth allocation, for fault sweeps
// in the manner of SQLite's own out-of-memory tests. It wraps the
// allocator SQLite had: every call goes on to it, except the allocation
// chosen to fail, which answers null.
//
// SQLite takes an allocator only while it is not initialized, so the
// constructor shuts SQLite down, installs the wrapper and initializes it
// again, and the destructor does the same to put the old allocator back.
// REQUIRES: no SQLite connection or statement is open in the process when
// either runs. One object at a time.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <cstdint>

namespace qz::testing {

class FailingAllocator {
 public:
  FailingAllocator();
  ~FailingAllocator();
  FailingAllocator(const FailingAllocator&) = delete;
  FailingAllocator& operator=(const FailingAllocator&) = delete;

  // Whether SQLite took the wrapper (false: SQLite was still in use).
  bool installed() const { return installed_; }

  // Counts allocations (xMalloc and xRealloc) from zero and fails the nth
  // (the first is 1) and that one only. 0 counts without failing.
  void FailAt(uint64_t n);
  // Stops counting and failing.
  void Disarm();

  uint64_t allocations() const { return allocations_; }
  bool fired() const { return fired_; }

 private:
  static void* Malloc(int size);
  static void* Realloc(void* old, int size);
  bool CountAndCheck();

  static FailingAllocator* current_;
  sqlite3_mem_methods original_{};
  sqlite3_mem_methods wrapper_{};
  bool installed_ = false;
  std::atomic<bool> armed_{false};
  std::atomic<uint64_t> fail_at_{0};
  std::atomic<uint64_t> allocations_{0};
  std::atomic<bool> fired_{false};
};

}  // namespace qz::testing
