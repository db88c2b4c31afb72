#include "support/PostgresTestServer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/TextEncoding.h"

namespace qz::testing {

bool FindPostgresServer(PostgresServer* out) {
  const char* host = std::getenv("QZ_PG_HOST");
  if (!host || !*host) return false;
  auto text = [](const char* name) {
    const char* value = std::getenv(name);
    return platform::Utf8ToWide(value ? value : "");
  };
  out->connect1 = platform::Utf8ToWide(host);
  out->connect2 = text("QZ_PG_DATABASE");
  out->connect3 = text("QZ_PG_USER");
  out->connect4 = text("QZ_PG_PASSWORD");
  const char* restart = std::getenv("QZ_PG_RESTART");
  out->restart_command = restart ? restart : "";
  return true;
}

void ConnectTo(const PostgresServer& server, CQZDatabase* database) {
  try {
    database->Connect(QZDB_POSTGRESQL, server.connect1, server.connect2, server.connect3, server.connect4);
  } catch (CQZDBException* e) {
    ADD_FAILURE() << "cannot connect: " << platform::WideToUtf8(e->GetErrorMessage());
    e->Delete();
  }
}

const char kDropLibraryTables[] =
    "DO $$ DECLARE r record; BEGIN "
    "FOR r IN SELECT c.relname, c.relkind FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
    "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'v') AND c.relname IN ('gezhuantaskinfo', "
    "'gezhuantaskitem', 'gezhuantaskitemrows', 'vtrtapegroupinfo', 'vtrtapeinfo') LOOP "
    "IF r.relkind = 'v' THEN EXECUTE 'DROP VIEW IF EXISTS ' || quote_ident(r.relname) || ' CASCADE'; "
    "ELSE EXECUTE 'DROP TABLE IF EXISTS ' || quote_ident(r.relname) || ' CASCADE'; END IF; "
    "END LOOP; END $$";

ServerLock::ServerLock() {
  const char* folder = std::getenv("QZ_PG_DIR");
  const std::string path = std::string(folder && *folder ? folder : "/tmp") + "/qz-postgres-tests.lock";
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0 || flock(fd_, LOCK_EX) != 0) ADD_FAILURE() << "cannot lock " << path;
}

ServerLock::~ServerLock() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock
}

SideConnection::~SideConnection() { PQfinish(conn_); }

bool SideConnection::Open(const PostgresServer& server) {
  std::string where = platform::WideToUtf8(server.connect1), host = where, port;
  const size_t colon = where.rfind(':');
  if (colon != std::string::npos && where.front() != '/') {
    host = where.substr(0, colon);
    port = where.substr(colon + 1);
  }
  const std::string database = platform::WideToUtf8(server.connect2);
  const std::string user = platform::WideToUtf8(server.connect3);
  const std::string password = platform::WideToUtf8(server.connect4);
  const char* keys[] = {"host", "port", "dbname", "user", "password", "client_encoding", nullptr};
  const char* values[] = {host.c_str(),     port.c_str(), database.c_str(), user.c_str(),
                          password.c_str(), "UTF8",       nullptr};
  PQfinish(conn_);
  conn_ = PQconnectdbParams(keys, values, 0);
  if (PQstatus(conn_) != CONNECTION_OK) {
    ADD_FAILURE() << "side connection: " << PQerrorMessage(conn_);
    return false;
  }
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
  return true;
}

std::string SideConnection::Query(const std::string& sql) {
  PGresult* result = PQexec(conn_, sql.c_str());
  std::string value;
  const ExecStatusType status = PQresultStatus(result);
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
    ADD_FAILURE() << sql << ": " << PQresultErrorMessage(result);
  else if (status == PGRES_TUPLES_OK && PQntuples(result) > 0)
    value = PQgetvalue(result, 0, 0);
  PQclear(result);
  return value;
}

}  // namespace qz::testing
