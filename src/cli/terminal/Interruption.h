// Ctrl-C (SIGINT) during work that commits in steps, such as an import: the
// person learns what is in the database before the program ends, with the
// status 130 (128 + SIGINT) that shells give a program ended by Ctrl-C.
#pragma once

#include <cstddef>

namespace gezhuan {

// While one lives, Ctrl-C ends the program with a line on standard error
// that says what was committed: "nothing was imported", or how many tasks
// were imported (and replaced). A transaction the program was still inside
// is rolled back by the database when the program ends.
class ImportInterruption {
 public:
  ImportInterruption();
  ~ImportInterruption();
  ImportInterruption(const ImportInterruption&) = delete;
  ImportInterruption& operator=(const ImportInterruption&) = delete;

  // Call after each commit, with the totals committed so far.
  void Committed(size_t added, size_t replaced);
};

}  // namespace gezhuan
