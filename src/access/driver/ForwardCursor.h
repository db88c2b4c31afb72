// Where a cursor stands, the same way in every driver. Nothing is read until
// a row is first asked for, so that a query opened only to add rows reads
// nothing. From then on the cursor stands on a row or past the last one,
// moving forward only, and IsBOF says that there was no first row (a first
// read that failed found none either).
#pragma once

#include "access/driver/Driver.h"

namespace qz::access {

class ForwardCursor : public Cursor {
 public:
  bool IsBOF() final {
    Start();
    return bof_;
  }
  bool IsEOF() final { return !HasRow(); }
  bool HasRow() final {
    Start();
    return OnRow();
  }
  bool MoveNext() final {
    Start();
    known_on_row_ = false;  // also when ReadNext throws
    if (OnRow()) ReadNext();
    known_on_row_ = OnRow();
    return known_on_row_;
  }

 protected:
  // Reads the first row unless that was done. Raises a loss noted by
  // LoseRows, once.
  void Start() {
    if (started_) {
      if (lost_) {
        lost_ = false;
        RaiseRowsLost();
      }
      return;
    }
    started_ = true;
    bof_ = true;
    ReadFirst();
    bof_ = !OnRow();
    known_on_row_ = !bof_;
  }
  // There is no row to read, nor will be: a statement without a result, or
  // a cursor closed.
  void StandPastEnd() {
    started_ = true;
    bof_ = true;
    known_on_row_ = false;
  }
  // The connection went while rows were still to come: the next read says
  // so, and the cursor then stands past its end.
  void LoseRows() {
    started_ = true;
    lost_ = true;
    known_on_row_ = false;
  }

  // Runs the statement if it has not run, and reads its first row.
  virtual void ReadFirst() = 0;
  // Reads the next row. REQUIRES: OnRow(). Standing past the end when it
  // throws.
  virtual void ReadNext() = 0;
  virtual bool OnRow() const = 0;

  // What a cursor raises when the connection went with rows still to come.
  [[noreturn]] static void RaiseRowsLost();

 private:
  bool started_ = false;
  bool bof_ = false;
  bool lost_ = false;
};

}  // namespace qz::access
