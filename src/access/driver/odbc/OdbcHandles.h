// Owner of the driver manager's handles (environment, connection,
// statement): freed when its owner goes, whichever way the code leaves; a
// connection is disconnected first.
#pragma once

#ifdef _WIN32
#include <windows.h>  // the ODBC headers take their types from it there
#endif
#include <sql.h>
#include <sqlext.h>

namespace qz::access::odbc {

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
