#include "cli/session/Diagnostics.h"

#include <QZNVGeZhuanHost.h>

#include <iostream>

#include "cli/terminal/Text.h"

namespace gezhuan {

namespace {

struct Messages {
  std::wstring lastException;
  std::wstring lastDebugLine;
};

Messages& State() {
  static Messages messages;
  return messages;
}

}  // namespace

void InstallDiagnostics(bool verbose) {
  CQZDBException::SetObserver([](const CQZDBException& e) { State().lastException = e.GetErrorMessage(); });
  // The library's debug line is the SQL text of a failed operation: useful
  // to a developer, noise to an operator.
  QZNVGeZhuanSetDebugOutput([verbose](const std::wstring& line) {
    State().lastDebugLine = line;
    if (verbose) std::cerr << "gezhuan: debug: " << ToUtf8(line) << '\n';
  });
}

void ClearDatabaseMessages() {
  State().lastException.clear();
  State().lastDebugLine.clear();
}

std::string LastDatabaseMessage() { return ToUtf8(State().lastException); }

void FailWithDatabaseMessage(const std::string& what) {
  const std::string message = LastDatabaseMessage();
  Fail(message.empty() ? what : what + ": " + message);
}

}  // namespace gezhuan
