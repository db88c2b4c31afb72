// Owners of libpq's handles (see OwnedHandle.h).
#pragma once

#include <libpq-fe.h>

#include "access/driver/OwnedHandle.h"

namespace qz::access::postgres {

using Result = Owned<PGresult, PQclear>;
// The means to cancel a query in flight.
using Cancel = Owned<PGcancel, PQfreeCancel>;
// The connection to a server.
using Link = OwnedConnection<PGconn, PQfinish>;

}  // namespace qz::access::postgres
