// Owners of an engine's handles, for each driver's <Engine>Handles.h: a
// handle is released by the engine's own call (sqlite3_finalize, PQclear,
// ...) when its owner goes, whichever way the code leaves.
#pragma once

#include <memory>

namespace qz::access {

// Hands a handle to Release.
template <auto Release>
struct ReleaseWith {
  template <typename Handle>
  void operator()(Handle* handle) const {
    Release(handle);
  }
};

// The one owner of a handle that Release lets go of.
template <typename Handle, auto Release>
using Owned = std::unique_ptr<Handle, ReleaseWith<Release>>;

// The one owner of a connection handle. It stands for the handle itself,
// since nearly every call of the engine takes it.
template <typename Handle, auto Release>
class OwnedConnection {
 public:
  OwnedConnection() = default;
  ~OwnedConnection() { reset(); }
  OwnedConnection(const OwnedConnection&) = delete;
  OwnedConnection& operator=(const OwnedConnection&) = delete;

  operator Handle*() const { return handle_; }
  Handle* get() const { return handle_; }
  void reset(Handle* handle = nullptr) {
    if (handle_) Release(handle_);
    handle_ = handle;
  }

 private:
  Handle* handle_ = nullptr;
};

}  // namespace qz::access
