#include "control/LastFailure.h"

namespace qz::control {
namespace {

thread_local Failure last_failure;

}  // namespace

void NoteFailure(const CQZDBException& e) {
  last_failure.recorded = true;
  last_failure.message = e.GetErrorMessage();
  last_failure.sql_state = e.GetSQLState();
}

void ForgetFailure() {
  last_failure.recorded = false;
  last_failure.message.clear();
  last_failure.sql_state.clear();
}

const Failure& LastFailure() { return last_failure; }

}  // namespace qz::control
