// The file operations the INI store needs, one implementation per platform
// (PosixSettingsFile.cpp here).
#pragma once

#include <string>

namespace qz::settings {

// The store is a small file; anything larger is not ours.
constexpr size_t kMaxSettingsFileBytes = 1 << 20;

enum class FileRead {
  kRead,        // *text holds the whole file
  kMissing,     // there is no file at path
  kUnreadable,  // it exists but cannot be read, is not a regular file, or is too large
};

// Reads the whole file at path into *text. Never blocks on a FIFO or device.
// When the file is unreadable, *why (when not null) says why in a few words.
FileRead ReadWholeFile(const std::string& path, std::string* text, std::string* why = nullptr);

// Replaces the file at path with text so that a reader sees either the old
// file or the whole new one: a temporary file beside it, written, flushed to
// disk and renamed over it. The new file is readable and writable by its
// owner alone, since it holds passwords. Missing folders are created, also
// for the owner alone. On failure returns false with the reason in *error
// and leaves the old file as it was.
bool ReplaceFile(const std::string& path, const std::string& text, std::string* error);

// An exclusive lock on the store at path, held while the object lives, so
// that a save reads, changes and writes the file with no other save in
// between (two at once would each write what it read, and one would be
// lost). It is taken on a lock file beside the store (path + ".lock"),
// since ReplaceFile puts a new file in the store's place. Processes and
// threads wait for each other alike. Missing folders are created as
// ReplaceFile creates them.
class StoreLock {
 public:
  explicit StoreLock(const std::string& path);
  ~StoreLock();
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

  // Whether the lock is held; when not, error() says why.
  bool held() const { return descriptor_ >= 0; }
  const std::string& error() const { return error_; }

 private:
  int descriptor_ = -1;
  std::string error_;
};

}  // namespace qz::settings
