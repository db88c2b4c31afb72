// The driver manager's handles: the process's one environment, and the
// owner of a connection or statement handle, freed when its owner goes,
// whichever way the code leaves (a connection is disconnected first).
#pragma once

#ifdef _WIN32
#include <windows.h>  // the ODBC headers take their types from it there
#endif
#include <sql.h>
#include <sqlext.h>

#include <mutex>

namespace qz::access::odbc {

// The process's one ODBC environment, made by the first connection: every
// connection hangs off it, where an environment made per connection on
// several threads at once races inside the driver manager. It is never
// freed: a connection held by a static object may outlive any static of
// ours. Throws CQZDBException when it cannot be made; the next call tries
// again.
SQLHENV Environment();

// Connecting and disconnecting take turns across the process. Drivers
// keep state per environment that they change while connecting (MariaDB's
// driver writes its environment's record, psqlODBC sets the locale), and
// ThreadSanitizer sees those writes race when threads connect at once. A
// connection being made holds the others back for at most its login
// timeout; statements on connections already made never wait here.
std::mutex& ConnectingLock();

class Handle {
 public:
  Handle() = default;
  Handle(SQLSMALLINT type, SQLHANDLE handle) : type_(type), handle_(handle) {}
  ~Handle() { reset(); }
  Handle(Handle&& other) noexcept : type_(other.type_), handle_(other.handle_) { other.handle_ = SQL_NULL_HANDLE; }
  Handle& operator=(Handle&& other) noexcept;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  SQLHANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }
  void reset();

 private:
  SQLSMALLINT type_ = 0;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

}  // namespace qz::access::odbc
