#include "access/driver/odbc/OdbcHandles.h"

#include <QZDatabaseAccess.h>

#include "access/driver/odbc/OdbcErrors.h"

namespace qz::access::odbc {

SQLHENV Environment() {
  static const SQLHENV environment = [] {
    SQLHENV made = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &made)))
      CQZDBException::Raise(L"the ODBC driver manager could not be started", kConnectionNotOpened, 0);
    SQLSetEnvAttr(made, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    return made;
  }();
  return environment;
}

// Like the environment, the lock outlives every static: a static
// connection may disconnect after the others are gone.
std::mutex& ConnectingLock() {
  static std::mutex& lock = *new std::mutex;
  return lock;
}

Handle& Handle::operator=(Handle&& other) noexcept {
  if (this != &other) {
    reset();
    type_ = other.type_;
    handle_ = other.handle_;
    other.handle_ = SQL_NULL_HANDLE;
  }
  return *this;
}

// Disconnecting a connection handle that never connected only answers an
// error (08003), which nobody reads.
void Handle::reset() {
  if (handle_ == SQL_NULL_HANDLE) return;
  if (type_ == SQL_HANDLE_DBC) {
    const std::lock_guard<std::mutex> turn(ConnectingLock());
    SQLDisconnect(handle_);
    SQLFreeHandle(type_, handle_);
  } else {
    SQLFreeHandle(type_, handle_);
  }
  handle_ = SQL_NULL_HANDLE;
}

}  // namespace qz::access::odbc
