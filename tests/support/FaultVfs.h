// An SQLite VFS that fails the Nth write, sync or truncate, for fault
// sweeps in the manner of SQLite's own I/O-error tests. It is a shim over
// the default VFS: every call goes on to it, except the one chosen to fail,
// which answers SQLITE_IOERR_WRITE, SQLITE_IOERR_FSYNC or
// SQLITE_IOERR_TRUNCATE without touching the file.
//
// While the object lives it is the default VFS, so that every connection
// the library under test opens goes through it without being told; the
// VFS that was the default before is the default again when it goes. One
// object at a time, on one thread.
#pragma once

#include <sqlite3.h>

#include <cstdint>

namespace qz::testing {

class FaultVfs {
 public:
  FaultVfs();
  ~FaultVfs();
  FaultVfs(const FaultVfs&) = delete;
  FaultVfs& operator=(const FaultVfs&) = delete;

  // Counts writes, syncs and truncates from zero and fails the nth (the
  // first is 1) and that one only. 0 counts without failing.
  void FailAt(uint64_t n);
  // Stops counting and failing.
  void Disarm();

  // The writes, syncs and truncates counted since FailAt.
  uint64_t operations() const { return operations_; }
  // Whether the chosen operation came and was failed.
  bool fired() const { return fired_; }

 private:
  struct File;
  // The real VFS's file behind file.
  static sqlite3_file* Real(sqlite3_file* file);
  static int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* out_flags);
  static int Close(sqlite3_file* file);
  static int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset);
  static int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset);
  static int Truncate(sqlite3_file* file, sqlite3_int64 size);
  static int Sync(sqlite3_file* file, int flags);
  static int FileSize(sqlite3_file* file, sqlite3_int64* size);
  static int Lock(sqlite3_file* file, int level);
  static int Unlock(sqlite3_file* file, int level);
  static int CheckReservedLock(sqlite3_file* file, int* out);
  static int FileControl(sqlite3_file* file, int op, void* arg);
  static int SectorSize(sqlite3_file* file);
  static int DeviceCharacteristics(sqlite3_file* file);
  static int ShmMap(sqlite3_file* file, int page, int page_size, int extend, void volatile** out);
  static int ShmLock(sqlite3_file* file, int offset, int n, int flags);
  static void ShmBarrier(sqlite3_file* file);
  static int ShmUnmap(sqlite3_file* file, int delete_flag);
  static int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out);
  static int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page);

  // Whether the operation now being counted is the one to fail.
  bool CountAndCheck();

  static const sqlite3_io_methods kMethods;
  sqlite3_vfs* real_ = nullptr;
  sqlite3_vfs vfs_{};
  bool armed_ = false;
  uint64_t fail_at_ = 0;
  uint64_t operations_ = 0;
  bool fired_ = false;
};

}  // namespace qz::testing
