// A setting's kind code (a bit value) to the engine the access component
// connects to.
#pragma once

#include <QZDatabaseAccess.h>

namespace qz::control {

// 2 -> 1, 4 -> 2, 8 -> 3, 16 -> 4, 32 -> 5; every other code, 0 included,
// -> 0, the embedded database.
inline DATABASETYPE DatabaseTypeOfKind(int kind) {
  switch (kind) {
    case 2:
      return QZDB_POSTGRESQL;
    case 4:
      return QZDB_ODBC;
    case 8:
      return QZDB_RESERVED3;
    case 16:
      return QZDB_RESERVED4;
    case 32:
      return QZDB_RESERVED5;
    default:
      return QZDB_SQLITE;
  }
}

}  // namespace qz::control
