// The ODBC data sources a test run uses, as scripts/odbc-test-sources.sh
// describes them: ODBCSYSINI/ODBCINI point at the files it wrote, and
// QZ_ODBC_<ENGINE>_DSN, _USER and _PASSWORD name each source.
#pragma once

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

// Holds one shared source for one test: tests that share its tables run
// one at a time even when CTest runs several test programs at once.
class SourceLock {
 public:
  explicit SourceLock(const std::string& name);
  ~SourceLock();
  SourceLock(const SourceLock&) = delete;
  SourceLock& operator=(const SourceLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace qz::testing
