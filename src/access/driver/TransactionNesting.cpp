#include "access/driver/TransactionNesting.h"

#include <cassert>

namespace qz::access {
namespace {

// The savepoint that level (1 for the first inner level) stands for.
std::string SavepointName(int level) { return "qz_level_" + std::to_string(level); }

}  // namespace

void TransactionNesting::Begin(TransactionSteps& steps) {
  if (depth_ == 0)
    steps.BeginOutermost();
  else
    steps.RunSavepointStatement("SAVEPOINT " + SavepointName(depth_));
  ++depth_;
}

void TransactionNesting::Commit(TransactionSteps& steps) {
  assert(depth_ > 0);
  if (depth_ == 1)
    steps.CommitOutermost();
  else
    steps.RunSavepointStatement("RELEASE SAVEPOINT " + SavepointName(depth_ - 1));
  --depth_;
}

void TransactionNesting::Rollback(TransactionSteps& steps) {
  if (depth_ == 1) {
    steps.RollbackOutermost();
  } else {
    // Rolling back to a savepoint keeps it; release it too, so that the
    // level is gone as after a commit.
    const std::string name = SavepointName(depth_ - 1);
    steps.RunSavepointStatement("ROLLBACK TO SAVEPOINT " + name);
    steps.RunSavepointStatement("RELEASE SAVEPOINT " + name);
  }
  --depth_;
}

void TransactionNesting::Restart(TransactionSteps& steps) {
  assert(depth_ > 0);
  steps.RollbackOutermost();
  steps.BeginOutermost();
  for (int level = 1; level < depth_; ++level) steps.RunSavepointStatement("SAVEPOINT " + SavepointName(level));
}

}  // namespace qz::access
