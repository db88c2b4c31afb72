// Owners of the engine's handles (see OwnedHandle.h).
#pragma once

#include <sqlite3.h>

#include "access/driver/OwnedHandle.h"

namespace qz::access::sqlite {

using Statement = Owned<sqlite3_stmt, sqlite3_finalize>;

// Closing waits for statements still held elsewhere (sqlite3_close_v2):
// the cursors finalize their own.
using Database = OwnedConnection<sqlite3, sqlite3_close_v2>;

}  // namespace qz::access::sqlite
