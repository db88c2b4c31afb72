// The PostgreSQL server a test run uses, as scripts/postgres-test-server.sh
// describes it in QZ_PG_HOST, QZ_PG_DATABASE, QZ_PG_USER, QZ_PG_PASSWORD and
// QZ_PG_RESTART, and a plain libpq connection to it for looking at the
// database behind the driver's back.
#pragma once

#include <QZDatabaseAccess.h>
#include <libpq-fe.h>

#include <string>

namespace qz::testing {

struct PostgresServer {
  std::wstring connect1;        // host:port
  std::wstring connect2;        // database
  std::wstring connect3;        // user
  std::wstring connect4;        // password
  std::string restart_command;  // empty when the server cannot be restarted
};

// False when QZ_PG_HOST is unset: no server for this run.
bool FindPostgresServer(PostgresServer* out);

// Connects database to server; fails the test on an exception.
void ConnectTo(const PostgresServer& server, CQZDatabase* database);

// Drops the library's four tables, whatever an earlier test left in their
// place (a view standing in for one, the table it renamed, their triggers),
// with everything that depends on them.
extern const char kDropLibraryTables[];

// Holds the test server for one test: tests that share its tables run one
// at a time even when CTest runs several test processes at once. A file
// lock rather than a server lock, so that it outlives a server restart.
class ServerLock {
 public:
  ServerLock();
  ~ServerLock();
  ServerLock(const ServerLock&) = delete;
  ServerLock& operator=(const ServerLock&) = delete;

 private:
  int fd_ = -1;
};

// A libpq connection of its own. Query returns the first value of the first
// row ("" when none) and fails the test when the server refuses.
class SideConnection {
 public:
  SideConnection() = default;
  ~SideConnection();
  SideConnection(const SideConnection&) = delete;
  SideConnection& operator=(const SideConnection&) = delete;

  bool Open(const PostgresServer& server);
  std::string Query(const std::string& sql);

 private:
  PGconn* conn_ = nullptr;
};

// The message and SQLSTATE of the CQZDBException that fn throws, which it
// frees; empty message and "none" state when fn throws nothing.
struct CaughtError {
  bool thrown = false;
  std::wstring message;
  std::string state;
};
template <typename Fn>
CaughtError CatchError(Fn&& fn) {
  CaughtError caught;
  try {
    fn();
  } catch (CQZDBException* e) {
    caught.thrown = true;
    caught.message = e->GetErrorMessage();
    caught.state = e->GetSQLState();
    e->Delete();
  }
  return caught;
}

}  // namespace qz::testing
