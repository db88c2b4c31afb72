#include "support/OdbcSources.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/TextEncoding.h"

namespace qz::testing {

bool FindOdbcSource(const char* prefix, OdbcSource* out) {
  const char* folder = std::getenv("QZ_ODBC_DIR");
  if (!folder || !*folder) return false;
  auto text = [prefix](const char* what) {
    const std::string name = std::string("QZ_ODBC_") + prefix + "_" + what;
    const char* value = std::getenv(name.c_str());
    return platform::Utf8ToWide(value ? value : "");
  };
  out->dsn = text("DSN");
  out->user = text("USER");
  out->password = text("PASSWORD");
  return !out->dsn.empty();
}

SourceLock::SourceLock(const std::string& name) {
  const char* folder = std::getenv("QZ_ODBC_DIR");
  const std::string path = std::string(folder && *folder ? folder : "/tmp") + "/" + name + ".lock";
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0 || flock(fd_, LOCK_EX) != 0) ADD_FAILURE() << "cannot lock " << path;
}

SourceLock::~SourceLock() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock
}

}  // namespace qz::testing
