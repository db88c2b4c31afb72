#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "settings/SettingsFile.h"

namespace qz::settings {
namespace {

std::string Reason(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Hands the descriptor over to the caller, who closes it.
  void Release() { fd_ = -1; }
  // Closes now and reports whether the close succeeded (a late write error
  // can surface here).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates folder and its missing parents with mode 0700.
bool MakeFolders(const std::string& folder, std::string* error) {
  struct stat info;
  if (::stat(folder.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    *error = folder + " is not a folder";
    return false;
  }
  const std::string parent = FolderOf(folder);
  if (parent != folder && !MakeFolders(parent, error)) return false;
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = Reason("cannot create", folder, errno);
    return false;
  }
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    written += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

FileRead ReadWholeFile(const std::string& path, std::string* text, std::string* why) {
  auto unreadable = [why](const std::string& reason) {
    if (why) *why = reason;
    return FileRead::kUnreadable;
  };
  const std::string too_large = "it is larger than " + std::to_string(kMaxSettingsFileBytes) + " bytes";
  // O_NONBLOCK keeps a FIFO from holding us; the regular-file test below
  // then turns it away.
  Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.get() < 0) return errno == ENOENT ? FileRead::kMissing : unreadable(std::strerror(errno));
  struct stat info;
  if (::fstat(file.get(), &info) != 0) return unreadable(std::strerror(errno));
  if (!S_ISREG(info.st_mode)) return unreadable("it is not a regular file");
  if (static_cast<unsigned long long>(info.st_size) > kMaxSettingsFileBytes) return unreadable(too_large);
  text->clear();
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return unreadable(std::strerror(errno));
    }
    text->append(buffer, static_cast<size_t>(n));
    if (text->size() > kMaxSettingsFileBytes) return unreadable(too_large);
  }
  return FileRead::kRead;
}

bool ReplaceFile(const std::string& path, const std::string& text, std::string* error) {
  const std::string folder = FolderOf(path);
  if (!MakeFolders(folder, error)) return false;

  // mkstemp creates the file with mode 0600; fchmod makes sure whatever the
  // platform's mkstemp did.
  std::string temporary = path + ".XXXXXX";
  Descriptor file(::mkstemp(temporary.data()));
  if (file.get() < 0) {
    *error = Reason("cannot create a file beside", path, errno);
    return false;
  }
  int failure = 0;
  if (::fchmod(file.get(), S_IRUSR | S_IWUSR) != 0 || !WriteAll(file.get(), text) || ::fsync(file.get()) != 0)
    failure = errno;
  if (!file.Close() && failure == 0) failure = errno;
  if (failure == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) failure = errno;
  if (failure != 0) {
    ::unlink(temporary.c_str());
    *error = Reason("cannot write", path, failure);
    return false;
  }
  // Make the rename itself durable. Failing here loses nothing we can help.
  Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() >= 0) ::fsync(directory.get());
  return true;
}

// flock rather than fcntl: its lock belongs to the open file, so two threads
// of one process that each open the lock file wait for each other too.
StoreLock::StoreLock(const std::string& path) {
  if (!MakeFolders(FolderOf(path), &error_)) return;
  const std::string lock_path = path + ".lock";
  Descriptor file(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, S_IRUSR | S_IWUSR));
  if (file.get() < 0) {
    error_ = Reason("cannot open the lock file", lock_path, errno);
    return;
  }
  while (::flock(file.get(), LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    error_ = Reason("cannot lock", lock_path, errno);
    return;
  }
  descriptor_ = file.get();
  file.Release();
}

// Closing the descriptor releases the lock.
StoreLock::~StoreLock() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

}  // namespace qz::settings
