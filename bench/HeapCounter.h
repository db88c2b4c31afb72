// Counts the bytes the program holds through operator new, and the most it
// held since the last reset: the peak memory of one listing. Only C++
// allocations are seen (the records and everything the library builds);
// the engines' own malloc'd memory (SQLite's page cache, libpq's results)
// is not.
#pragma once

#include <cstddef>

namespace qz::bench {

// Bytes requested through operator new and not yet deleted.
size_t HeapBytesInUse();

// The most HeapBytesInUse() has been since ResetHeapPeak().
size_t HeapPeak();

// Starts a new peak from what is held now.
void ResetHeapPeak();

}  // namespace qz::bench
