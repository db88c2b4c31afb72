// The last database failure of an operation on this thread: the engine's
// own message and SQLSTATE. The class answers 0 and writes the statement to
// the debug output, as it always has; a caller that can show the reason
// itself (the C interface) forgets the record before a call and reads it
// after a 0. The record is per thread because a control object is used by
// one thread at a time and the reading follows the call on that thread.
#pragma once

#include <QZDatabaseAccess.h>

#include <string>

namespace qz::control {

struct Failure {
  bool recorded = false;
  std::wstring message;
  std::string sql_state;  // "" when the engine gave none
};

void NoteFailure(const CQZDBException& e);
void ForgetFailure();
Failure LastFailure();

}  // namespace qz::control
