#include "access/driver/postgres/PostgresServerList.h"

#include <QZDatabaseAccess.h>

#include "access/driver/postgres/PostgresErrors.h"
#include "platform/TextEncoding.h"

namespace qz::access::postgres {
namespace {

std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

ServerAddress ParseServer(const std::string& entry) {
  ServerAddress server{entry, ""};
  if (entry.empty() || entry.front() == '/') return server;
  if (entry.front() == '[') {
    const size_t close = entry.find(']');
    if (close == std::string::npos) return server;
    server.host = entry.substr(1, close - 1);
    if (entry.compare(close + 1, 1, ":") == 0) server.port = entry.substr(close + 2);
    return server;
  }
  // One colon separates the port; several mean a bare IPv6 address.
  const size_t colon = entry.find(':');
  if (colon != std::string::npos && entry.find(':', colon + 1) == std::string::npos) {
    server.host = entry.substr(0, colon);
    server.port = entry.substr(colon + 1);
  }
  return server;
}

}  // namespace

std::vector<ServerAddress> ParseServerList(const std::string& where) {
  std::vector<ServerAddress> servers;
  size_t start = 0;
  for (;;) {
    const size_t comma = where.find(',', start);
    const std::string entry = TrimBlanks(where.substr(start, comma == std::string::npos ? comma : comma - start));
    // A single empty text is libpq's default server; an empty entry in a
    // list is a slip that would quietly add that default to the list.
    if (entry.empty() && (comma != std::string::npos || !servers.empty()))
      CQZDBException::Raise(L"the server list \"" + platform::Utf8ToWide(where) + L"\" has an empty entry",
                            kConnectionNotOpened, CONNECTION_BAD);
    servers.push_back(ParseServer(entry));
    if (comma == std::string::npos) return servers;
    start = comma + 1;
  }
}

void ServerListValues(const std::vector<ServerAddress>& servers, std::string* host, std::string* port) {
  host->clear();
  port->clear();
  bool any_port = false;
  for (size_t i = 0; i < servers.size(); ++i) {
    if (i) {
      host->push_back(',');
      port->push_back(',');
    }
    host->append(servers[i].host);
    port->append(servers[i].port);
    any_port = any_port || !servers[i].port.empty();
  }
  if (!any_port) port->clear();
}

std::wstring ServerInUse(const PGconn* conn) {
  if (conn == nullptr || PQstatus(conn) != CONNECTION_OK) return L"no server reached";
  const std::string host = PQhost(conn) ? PQhost(conn) : "";
  const std::string port = PQport(conn) ? PQport(conn) : "";
  if (!host.empty() && host.front() == '/') return platform::Utf8ToWide(host);
  const bool v6 = host.find(':') != std::string::npos;
  return platform::Utf8ToWide((v6 ? "[" + host + "]" : host) + (port.empty() ? "" : ":" + port));
}

}  // namespace qz::access::postgres
