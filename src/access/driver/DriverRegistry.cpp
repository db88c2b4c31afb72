#include <map>
#include <mutex>
#include <string>

#include "access/driver/Driver.h"

namespace qz::access {

// Built-in factories, one per engine folder.
namespace sqlite {
std::unique_ptr<Connection> ConnectSqlite(const ConnectionTexts& texts);
}
#if defined(QZ_WITH_POSTGRESQL)
namespace postgres {
std::unique_ptr<Connection> ConnectPostgres(const ConnectionTexts& texts);
}
#endif
#if defined(QZ_WITH_ODBC)
namespace odbc {
std::unique_ptr<Connection> ConnectOdbc(const ConnectionTexts& texts);
}
#endif

namespace {

std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<int, DriverFactory>& Registered() {
  static std::map<int, DriverFactory> factories;
  return factories;
}

[[noreturn]] void RefuseKind(DATABASETYPE type, const wchar_t* why) {
  CQZDBException::Raise(L"DATABASETYPE " + std::to_wstring(static_cast<int>(type)) + L" is not supported: " + why, "",
                        0);
}

}  // namespace

void RegisterDriver(DATABASETYPE type, DriverFactory factory) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  if (factory)
    Registered()[type] = std::move(factory);
  else
    Registered().erase(type);
}

DriverFactory FindDriver(DATABASETYPE type) {
  {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    auto found = Registered().find(type);
    if (found != Registered().end()) return found->second;
  }
  switch (type) {
    case QZDB_POSTGRESQL:
#if defined(QZ_WITH_POSTGRESQL)
      return postgres::ConnectPostgres;
#else
      return [type](const ConnectionTexts&) -> std::unique_ptr<Connection> {
        // The Windows build has no libpq; psqlODBC reaches the same servers.
        RefuseKind(type,
                   L"this build has no PostgreSQL driver, so a setting of kind code 2 reaches no server; reach "
                   L"PostgreSQL through an ODBC source instead (kind code 4), with the PostgreSQL ODBC driver "
                   L"(psqlODBC) and a DSN or a connection string");
      };
#endif
    case QZDB_ODBC:
#if defined(QZ_WITH_ODBC)
      return odbc::ConnectOdbc;
#else
      return [type](const ConnectionTexts&) -> std::unique_ptr<Connection> {
        RefuseKind(type, L"this build has no ODBC driver");
      };
#endif
    case QZDB_RESERVED3:
    case QZDB_RESERVED4:
    case QZDB_RESERVED5:
      return
          [type](const ConnectionTexts&) -> std::unique_ptr<Connection> { RefuseKind(type, L"the kind is reserved"); };
    default:
      return sqlite::ConnectSqlite;
  }
}

}  // namespace qz::access
