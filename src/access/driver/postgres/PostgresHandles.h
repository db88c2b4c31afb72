// Owners of libpq's handles (see OwnedHandle.h).
#pragma once

#include <libpq-fe.h>

#include <utility>
#include <vector>

#include "access/driver/OwnedHandle.h"

namespace qz::access::postgres {

using Result = Owned<PGresult, PQclear>;
// The means to cancel a query in flight.
using Cancel = Owned<PGcancel, PQfreeCancel>;
// The connection to a server.
using Link = OwnedConnection<PGconn, PQfinish>;

// Reads the answers of a pipelined flight of count statements ended by a
// sync. Each statement's results end with a null, the flight with the sync;
// the first result of each is kept. A lost link ends the reading.
inline std::vector<Result> ReadFlight(PGconn* conn, size_t count) {
  std::vector<Result> results(count);
  size_t at = 0;
  for (int nulls = 0; nulls < 2;) {
    Result result(PQgetResult(conn));
    if (!result) {
      if (PQstatus(conn) != CONNECTION_OK) break;
      ++nulls;
      ++at;
      continue;
    }
    nulls = 0;
    if (PQresultStatus(result.get()) == PGRES_PIPELINE_SYNC) break;
    if (at < results.size() && !results[at]) results[at] = std::move(result);
  }
  return results;
}

}  // namespace qz::access::postgres
