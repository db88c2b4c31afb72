#include "support/FaultVfs.h"

#include <cstdlib>

namespace qz::testing {

// An open file of the shim: the real VFS's file follows it in the same
// allocation (szOsFile covers both).
struct FaultVfs::File {
  sqlite3_file base;
  FaultVfs* owner;
  sqlite3_file* real;
};

namespace {

FaultVfs* Owner(sqlite3_vfs* vfs) { return static_cast<FaultVfs*>(vfs->pAppData); }

}  // namespace

const sqlite3_io_methods FaultVfs::kMethods = {
    3,  // iVersion: up to xFetch/xUnfetch, as the default VFSes have
    &FaultVfs::Close,
    &FaultVfs::Read,
    &FaultVfs::Write,
    &FaultVfs::Truncate,
    &FaultVfs::Sync,
    &FaultVfs::FileSize,
    &FaultVfs::Lock,
    &FaultVfs::Unlock,
    &FaultVfs::CheckReservedLock,
    &FaultVfs::FileControl,
    &FaultVfs::SectorSize,
    &FaultVfs::DeviceCharacteristics,
    &FaultVfs::ShmMap,
    &FaultVfs::ShmLock,
    &FaultVfs::ShmBarrier,
    &FaultVfs::ShmUnmap,
    &FaultVfs::Fetch,
    &FaultVfs::Unfetch,
};

FaultVfs::FaultVfs() {
  real_ = sqlite3_vfs_find(nullptr);
  if (!real_) std::abort();  // SQLite always has a default VFS
  // The default VFS's own calls are kept (they do not depend on which VFS
  // object they are called through, beyond the fields copied here), except
  // those that name files or might: they go on with the real VFS.
  vfs_ = *real_;
  vfs_.iVersion = 2;  // the system-call overrides (version 3) are for SQLite's own tests
  vfs_.szOsFile = static_cast<int>(sizeof(File)) + real_->szOsFile;
  vfs_.pNext = nullptr;
  vfs_.zName = "qz_fault";
  vfs_.pAppData = this;
  vfs_.xOpen = &FaultVfs::Open;
  vfs_.xDelete = [](sqlite3_vfs* vfs, const char* name, int sync_dir) {
    return Owner(vfs)->real_->xDelete(Owner(vfs)->real_, name, sync_dir);
  };
  vfs_.xAccess = [](sqlite3_vfs* vfs, const char* name, int flags, int* out) {
    return Owner(vfs)->real_->xAccess(Owner(vfs)->real_, name, flags, out);
  };
  vfs_.xFullPathname = [](sqlite3_vfs* vfs, const char* name, int size, char* out) {
    return Owner(vfs)->real_->xFullPathname(Owner(vfs)->real_, name, size, out);
  };
  sqlite3_vfs_register(&vfs_, 1);
}

FaultVfs::~FaultVfs() {
  sqlite3_vfs_unregister(&vfs_);
  // Unregistering the default leaves an arbitrary one as the default:
  // registering the old one again puts it back at the head.
  sqlite3_vfs_register(real_, 1);
}

void FaultVfs::FailAt(uint64_t n) {
  armed_ = true;
  fail_at_ = n;
  operations_ = 0;
  fired_ = false;
}

void FaultVfs::Disarm() { armed_ = false; }

bool FaultVfs::CountAndCheck() {
  if (!armed_) return false;
  ++operations_;
  if (fail_at_ == 0 || operations_ != fail_at_) return false;
  fired_ = true;
  return true;
}

int FaultVfs::Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* out_flags) {
  File* shim = reinterpret_cast<File*>(file);
  shim->owner = Owner(vfs);
  shim->real = reinterpret_cast<sqlite3_file*>(shim + 1);
  shim->real->pMethods = nullptr;
  sqlite3_vfs* real = shim->owner->real_;
  const int rc = real->xOpen(real, name, shim->real, flags, out_flags);
  // SQLite calls xClose exactly when pMethods is set, whatever xOpen said.
  shim->base.pMethods = shim->real->pMethods ? &kMethods : nullptr;
  return rc;
}

sqlite3_file* FaultVfs::Real(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }

int FaultVfs::Close(sqlite3_file* file) { return Real(file)->pMethods->xClose(Real(file)); }

int FaultVfs::Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
  return Real(file)->pMethods->xRead(Real(file), buffer, amount, offset);
}

int FaultVfs::Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
  if (reinterpret_cast<File*>(file)->owner->CountAndCheck()) return SQLITE_IOERR_WRITE;
  return Real(file)->pMethods->xWrite(Real(file), buffer, amount, offset);
}

int FaultVfs::Truncate(sqlite3_file* file, sqlite3_int64 size) {
  if (reinterpret_cast<File*>(file)->owner->CountAndCheck()) return SQLITE_IOERR_TRUNCATE;
  return Real(file)->pMethods->xTruncate(Real(file), size);
}

int FaultVfs::Sync(sqlite3_file* file, int flags) {
  if (reinterpret_cast<File*>(file)->owner->CountAndCheck()) return SQLITE_IOERR_FSYNC;
  return Real(file)->pMethods->xSync(Real(file), flags);
}

int FaultVfs::FileSize(sqlite3_file* file, sqlite3_int64* size) {
  return Real(file)->pMethods->xFileSize(Real(file), size);
}

int FaultVfs::Lock(sqlite3_file* file, int level) { return Real(file)->pMethods->xLock(Real(file), level); }

int FaultVfs::Unlock(sqlite3_file* file, int level) { return Real(file)->pMethods->xUnlock(Real(file), level); }

int FaultVfs::CheckReservedLock(sqlite3_file* file, int* out) {
  return Real(file)->pMethods->xCheckReservedLock(Real(file), out);
}

int FaultVfs::FileControl(sqlite3_file* file, int op, void* arg) {
  return Real(file)->pMethods->xFileControl(Real(file), op, arg);
}

int FaultVfs::SectorSize(sqlite3_file* file) { return Real(file)->pMethods->xSectorSize(Real(file)); }

int FaultVfs::DeviceCharacteristics(sqlite3_file* file) {
  return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}

int FaultVfs::ShmMap(sqlite3_file* file, int page, int page_size, int extend, void volatile** out) {
  if (Real(file)->pMethods->iVersion < 2) return SQLITE_IOERR_SHMMAP;
  return Real(file)->pMethods->xShmMap(Real(file), page, page_size, extend, out);
}

int FaultVfs::ShmLock(sqlite3_file* file, int offset, int n, int flags) {
  if (Real(file)->pMethods->iVersion < 2) return SQLITE_IOERR_SHMLOCK;
  return Real(file)->pMethods->xShmLock(Real(file), offset, n, flags);
}

void FaultVfs::ShmBarrier(sqlite3_file* file) {
  if (Real(file)->pMethods->iVersion >= 2) Real(file)->pMethods->xShmBarrier(Real(file));
}

int FaultVfs::ShmUnmap(sqlite3_file* file, int delete_flag) {
  if (Real(file)->pMethods->iVersion < 2) return SQLITE_OK;
  return Real(file)->pMethods->xShmUnmap(Real(file), delete_flag);
}

int FaultVfs::Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
  *out = nullptr;  // no mapping: SQLite reads the page instead
  if (Real(file)->pMethods->iVersion < 3) return SQLITE_OK;
  return Real(file)->pMethods->xFetch(Real(file), offset, amount, out);
}

int FaultVfs::Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
  if (Real(file)->pMethods->iVersion < 3) return SQLITE_OK;
  return Real(file)->pMethods->xUnfetch(Real(file), offset, page);
}

}  // namespace qz::testing
