// How the tool fails: a command throws CommandError with the exit status
// and a sentence for the person; Main prints it and exits. The database's
// own words reach that sentence through the access component's exception
// observer, which keeps the last message it saw.
#pragma once

#include <stdexcept>
#include <string>

namespace gezhuan {

enum ExitStatus { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

class CommandError : public std::runtime_error {
 public:
  CommandError(int status, const std::string& message) : std::runtime_error(message), m_status(status) {}
  int Status() const { return m_status; }

 private:
  int m_status;
};

[[noreturn]] inline void Fail(const std::string& message) { throw CommandError(kExitFailed, message); }
[[noreturn]] inline void UsageError(const std::string& message) { throw CommandError(kExitUsage, message); }

// Installs the exception observer and routes the library's debug lines:
// kept for error messages, and shown on standard error only when verbose.
void InstallDiagnostics(bool verbose);

// Forgets what the database said so far; call before an operation whose
// 0 must be explained.
void ClearDatabaseMessages();

// The last exception message seen since ClearDatabaseMessages, "" if none.
std::string LastDatabaseMessage();

// Fails with "WHAT: <the database's message>", or "WHAT" when the database
// said nothing (the library refused without asking it).
[[noreturn]] void FailWithDatabaseMessage(const std::string& what);

}  // namespace gezhuan
