// A fault sweep over one write operation, as SQLite's own suite sweeps its
// I/O errors and allocation failures: the operation runs again and again
// on the same database state, with a fault at its 1st, 2nd, ... chance,
// until it completes without reaching the fault. After every fault:
// - the answer tells the truth: 1 means the change is stored whole, 0 that
//   the database is exactly as before (every row of both task tables,
//   read through a connection of its own);
// - the database is sound (the engine's own check where it has one, and
//   no item without its task);
// - the next calls on the same control object work: it reads the tables
//   as they are, and an operation that answered 0 succeeds when repeated.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/EngineDatabase.h"

namespace qz::testing {

// Where the faults come from: a failing VFS, allocator or proxy.
class FaultInjector {
 public:
  virtual ~FaultInjector() = default;
  // Counts the injector's chances from zero and fails the nth (0: none).
  virtual void Arm(uint64_t n) = 0;
  virtual void Disarm() = 0;
  virtual bool Fired() const = 0;
  // The chances counted since Arm.
  virtual uint64_t Counted() const = 0;
  // What the fault hit, when the injector can tell (a request's text).
  virtual std::string Hit() const { return std::string(); }
};

enum class WriteOperation { kAddTasks, kAddItems, kModifyTaskOnly, kModifyTaskAll, kDeleteTask, kDeleteItem };

std::vector<WriteOperation> EveryWriteOperation();
// The operation's name as the control object spells it.
std::string OperationName(WriteOperation operation);

// One check that failed after a fault.
struct SweepFailure {
  enum class Check { kTruth, kSoundness, kNextCall };
  Check check = Check::kTruth;
  int answer = 0;       // what the operation answered
  bool stored = false;  // kTruth: the tables hold the change whole
  std::string hit;      // what the fault hit, when the injector can tell
  std::string text;     // the whole line, for the log
};

struct SweepResult {
  uint64_t chances = 0;    // faults the operation can meet (one run counted)
  uint64_t faults = 0;     // faults injected
  uint64_t truthful = 0;   // of those, answers that told the truth
  uint64_t sound = 0;      // of those, databases that passed the checks
  uint64_t recovered = 0;  // of those, objects whose next calls worked
  std::vector<SweepFailure> failures;
};

struct SweepSetup {
  WriteOperation operation = WriteOperation::kAddTasks;
  // The database, reached directly (resets and checks) and the setting the
  // control object under test opens (through the faults).
  EngineDatabase* database = nullptr;
  DBsSetNode under_test;
  FaultInjector* injector = nullptr;
  // A fresh control object for each fault (true), or one object for the
  // whole sweep, used once before the faults begin.
  bool fresh_object = false;
  // Extra soundness check (empty answer: sound), e.g. SQLite's own.
  std::function<std::string()> check;
};

// Runs the sweep. Failures of its own machinery (a reset that fails) are
// test failures; what the sweep is after is counted in the result.
SweepResult Sweep(const SweepSetup& setup);

// Writes one line of counts for the test log. Then, when some check failed:
// if known(failure) names a known fault for every failure, skips the test
// with those names; otherwise fails it with the first few failure lines.
void Report(const std::string& sweep, const SweepResult& result,
            const std::function<std::string(const SweepFailure&)>& known = nullptr);

}  // namespace qz::testing
