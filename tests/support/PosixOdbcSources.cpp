#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

#include "support/OdbcSources.h"

namespace qz::testing {

std::string DriverPath(const std::string& path) { return path; }

SourceLock::SourceLock(const std::string& name) {
  const char* folder = std::getenv("QZ_ODBC_DIR");
  const std::string path = std::string(folder && *folder ? folder : "/tmp") + "/" + name + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0 || flock(fd, LOCK_EX) != 0) ADD_FAILURE() << "cannot lock " << path;
  handle_ = fd;
}

SourceLock::~SourceLock() {
  if (handle_ >= 0) close(static_cast<int>(handle_));  // closing releases the lock
}

}  // namespace qz::testing
