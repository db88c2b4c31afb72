// A setting's kind code (a bit value) to the engine the access component
// connects to. The control object and the tool both choose an engine from
// a setting, so the table lives here, once.
#pragma once

#include <QZDatabaseAccess.h>

namespace qz::common {

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

// True for 0 (not set) and the five bit values a setting may hold. Any
// other code also selects the embedded database, which is why a reader of
// settings that a person wrote checks it first.
inline bool IsKnownKind(int kind) {
  return kind == 0 || kind == 2 || kind == 4 || kind == 8 || kind == 16 || kind == 32;
}

}  // namespace qz::common
