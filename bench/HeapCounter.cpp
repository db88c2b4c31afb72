// The program's operator new and delete, counting the bytes requested. Each
// block carries its size in a header of one maximal alignment in front of
// it, so that delete knows what it gives back whatever form is called.
#include "HeapCounter.h"

#include <cstdlib>
#include <new>

namespace {

constexpr size_t kHeader = alignof(std::max_align_t);

// The benchmarks allocate from one thread; plain counters keep the cost of
// counting out of the timings.
size_t in_use = 0;
size_t peak = 0;

void* Allocate(size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) return nullptr;
  *static_cast<size_t*>(block) = size;
  in_use += size;
  if (in_use > peak) peak = in_use;
  return static_cast<char*>(block) + kHeader;
}

void Release(void* pointer) {
  if (pointer == nullptr) return;
  void* block = static_cast<char*>(pointer) - kHeader;
  in_use -= *static_cast<size_t*>(block);
  std::free(block);
}

void* AllocateOrThrow(size_t size) {
  void* pointer = Allocate(size);
  if (pointer == nullptr) throw std::bad_alloc();
  return pointer;
}

}  // namespace

namespace qz::bench {

size_t HeapBytesInUse() { return in_use; }
size_t HeapPeak() { return peak; }
void ResetHeapPeak() { peak = in_use; }

}  // namespace qz::bench

void* operator new(size_t size) { return AllocateOrThrow(size); }
void* operator new[](size_t size) { return AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* pointer) noexcept { Release(pointer); }
void operator delete[](void* pointer) noexcept { Release(pointer); }
void operator delete(void* pointer, size_t) noexcept { Release(pointer); }
void operator delete[](void* pointer, size_t) noexcept { Release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { Release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { Release(pointer); }
