// BeginTrans, CommitTrans and Rollback nest the same way on every engine:
// the outermost level is a real transaction, each inner level a savepoint
// named after its depth (qz_level_1, qz_level_2, ...). CommitTrans of an
// inner level releases its savepoint into the level around it, Rollback
// undoes it, so the outermost pair alone decides what stays.
//
// A driver keeps one TransactionNesting and says how its engine runs each
// step (TransactionSteps); the count of open levels and the savepoint
// statements are written here once.
#pragma once

#include <string>

namespace qz::access {

// How one engine runs the steps of a transaction. Each throws
// CQZDBException when the engine refuses.
class TransactionSteps {
 public:
  virtual void BeginOutermost() = 0;
  virtual void CommitOutermost() = 0;
  virtual void RollbackOutermost() = 0;
  // Runs a SAVEPOINT, RELEASE SAVEPOINT or ROLLBACK TO SAVEPOINT statement.
  virtual void RunSavepointStatement(const std::string& sql) = 0;

 protected:
  ~TransactionSteps() = default;
};

class TransactionNesting {
 public:
  // Open levels: 0 outside a transaction.
  int depth() const { return depth_; }

  // Each opens or ends the innermost level through steps. A step that
  // throws leaves the level as it was: a failed commit stays open, so that
  // the caller's Rollback, which follows every failure, ends it.
  void Begin(TransactionSteps& steps);
  // REQUIRES: depth() > 0.
  void Commit(TransactionSteps& steps);
  void Rollback(TransactionSteps& steps);

  // Rolls the whole transaction back and begins it again, with a savepoint
  // for each inner level as before: for a transaction that has done nothing
  // yet, whose first statement is worth a second try. REQUIRES: depth() > 0.
  void Restart(TransactionSteps& steps);

  // Ends the innermost level without a statement: the engine has lost it
  // already (a broken link).
  void DropLevel() {
    if (depth_ > 0) --depth_;
  }
  // Ends every level without a statement: the engine ended the transaction
  // on its own, or the connection went.
  void Forget() { depth_ = 0; }

 private:
  int depth_ = 0;
};

}  // namespace qz::access
