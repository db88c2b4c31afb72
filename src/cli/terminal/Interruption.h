// Ctrl-C (SIGINT) during work that commits in steps, such as an import: the
// person learns what is in the database before the program ends, with the
// status 130 (128 + SIGINT) that shells give a program ended by Ctrl-C.
#pragma once

#include <cstddef>

namespace gezhuan {

// While one lives, Ctrl-C ends the program with a line on standard error
// that says what was committed: "nothing was imported", or how many of the
// tasks were imported (and replaced). Outside a step it ends the program at
// once; during a step (a write whose outcome only its end tells) it waits
// for the step's end, so that the count is the truth.
class ImportInterruption {
 public:
  ImportInterruption();
  ~ImportInterruption();
  ImportInterruption(const ImportInterruption&) = delete;
  ImportInterruption& operator=(const ImportInterruption&) = delete;

  // How many tasks the import is to write, once known.
  void Planned(size_t total);

  void BeginStep();
  // The totals committed so far. Ends the program when Ctrl-C came during
  // the step.
  void EndStep(size_t added, size_t replaced);
};

}  // namespace gezhuan
