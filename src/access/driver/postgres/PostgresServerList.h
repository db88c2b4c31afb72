// The servers a PostgreSQL setting names in its first connection text: one
// or several, separated by commas, each a host, "host:port", "[v6
// address]:port" or a socket folder (starting with '/'). A server without a
// port takes the default port. libpq takes them as its multi-host lists and
// tries them in order.
#pragma once

#include <libpq-fe.h>

#include <string>
#include <vector>

namespace qz::access::postgres {

struct ServerAddress {
  std::string host;  // empty: libpq's default
  std::string port;  // empty: the default port
};

// Splits where into its servers; blanks around each are dropped. Throws
// CQZDBException when an entry of a list is empty.
std::vector<ServerAddress> ParseServerList(const std::string& where);

// libpq's "host" and "port" values for servers: comma-separated lists of the
// same length (an empty port entry is the default port). port is empty when
// no server names one.
void ServerListValues(const std::vector<ServerAddress>& servers, std::string* host, std::string* port);

// "host:port" of the server conn is connected to, as the list names it.
std::wstring ServerInUse(const PGconn* conn);

}  // namespace qz::access::postgres
