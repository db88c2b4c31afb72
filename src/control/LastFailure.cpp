#include "control/LastFailure.h"

#include <algorithm>

namespace qz::control {
namespace {

// Plain storage, nothing to destroy: a thread-local object with a
// destructor would leave a call into the library behind at thread exit,
// which a caller that unloads the DLL first (LoadLibrary, FreeLibrary)
// would not survive. A longer message keeps its beginning.
struct Record {
  bool recorded;
  char sql_state[6];
  size_t length;
  wchar_t message[1024];
};

thread_local Record record;

}  // namespace

void NoteFailure(const CQZDBException& e) {
  record.recorded = true;
  const std::string& state = e.GetSQLState();
  const size_t state_length = state.size() < sizeof record.sql_state ? state.size() : 0;
  state.copy(record.sql_state, state_length);
  record.sql_state[state_length] = '\0';
  const std::wstring& message = e.GetErrorMessage();
  record.length = std::min(message.size(), sizeof record.message / sizeof record.message[0]);
  message.copy(record.message, record.length);
}

void ForgetFailure() {
  record.recorded = false;
  record.sql_state[0] = '\0';
  record.length = 0;
}

Failure LastFailure() {
  Failure failure;
  failure.recorded = record.recorded;
  failure.message.assign(record.message, record.length);
  failure.sql_state = record.sql_state;
  return failure;
}

}  // namespace qz::control
