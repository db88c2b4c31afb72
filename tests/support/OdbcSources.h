// The ODBC data sources a test run uses, as scripts/odbc-test-sources.sh
// describes them: ODBCSYSINI/ODBCINI point at the files it wrote, and
// QZ_ODBC_<ENGINE>_DSN, _USER and _PASSWORD name each source.
#pragma once

#include <cstdint>
#include <string>

namespace qz::testing {

struct OdbcSource {
  std::wstring dsn;
  std::wstring user;
  std::wstring password;
};

// prefix is "PG", "MARIADB" or "SQLITE". False when the run has no such
// source (QZ_ODBC_DIR or the DSN unset).
bool FindOdbcSource(const char* prefix, OdbcSource* out);

// path as the source's driver must be given it. The same path, except in a
// Windows build under Wine, whose ODBC drivers are the host's: there it is
// the host's name for the file. Per platform, like SourceLock.
std::string DriverPath(const std::string& path);

// Holds one shared source for one test: tests that share its tables run
// one at a time even when CTest runs several test programs at once.
class SourceLock {
 public:
  explicit SourceLock(const std::string& name);
  ~SourceLock();
  SourceLock(const SourceLock&) = delete;
  SourceLock& operator=(const SourceLock&) = delete;

 private:
  intptr_t handle_ = -1;  // a file descriptor, or a Windows HANDLE
};

}  // namespace qz::testing
