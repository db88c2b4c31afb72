// A PostgreSQL setting that names several servers: how the list becomes
// libpq's, and a connection that passes over a server that is down, says
// which one it is on, and finds it again after losing it.
#include <gtest/gtest.h>

#include <string>

#include "access/driver/postgres/PostgresServerList.h"
#include "platform/TextEncoding.h"
#include "support/PostgresTestServer.h"

namespace {

using qz::access::postgres::ParseServerList;
using qz::access::postgres::ServerListValues;
using qz::testing::CatchError;

std::string Utf8(const std::wstring& text) { return qz::platform::WideToUtf8(text); }

TEST(PostgresServerListTest, EachServerKeepsItsOwnPortAndAHostAloneTakesTheDefault) {
  std::string host, port;
  ServerListValues(ParseServerList("db1:5433, db2 ,[fe80::1]:6000,/run/postgresql,::1"), &host, &port);
  EXPECT_EQ(host, "db1,db2,fe80::1,/run/postgresql,::1");
  EXPECT_EQ(port, "5433,,6000,,");  // an empty entry is libpq's default port
  ServerListValues(ParseServerList("db1,db2"), &host, &port);
  EXPECT_EQ(host, "db1,db2");
  EXPECT_EQ(port, "");
  ServerListValues(ParseServerList(""), &host, &port);
  EXPECT_EQ(host, "");  // no text: libpq's default server

  // An empty entry would quietly add libpq's default server to the list.
  for (const char* slip : {"db1,,db2", "db1,", ",db1"}) {
    const qz::testing::CaughtError error = CatchError([&] { ParseServerList(slip); });
    EXPECT_TRUE(error.thrown) << slip;
    EXPECT_EQ(error.state, "08001") << slip;
  }
}

TEST(PostgresServerListTest, AListPassesOverAServerThatIsDownAndFindsTheLiveOneAgain) {
  qz::testing::PostgresServer server;
  if (!qz::testing::FindPostgresServer(&server))
    GTEST_SKIP() << "QZ_PG_HOST is not set: run the tests under scripts/postgres-test-server.sh";
  qz::testing::ServerLock lock;
  // Port 1 of loopback: nobody listens there, the connection is refused.
  const std::wstring list = L"127.0.0.1:1," + server.connect1;
  CQZDatabase database;
  const qz::testing::CaughtError error =
      CatchError([&] { database.Connect(QZDB_POSTGRESQL, list, server.connect2, server.connect3, server.connect4); });
  ASSERT_FALSE(error.thrown) << Utf8(error.message);
  EXPECT_NE(database.Describe().find(L"(on " + server.connect1 + L")"), std::wstring::npos)
      << Utf8(database.Describe());

  auto backend = [&] {
    CQZRecordSet set(&database);
    CQZDBVariant value;
    if (set.Open(L"select pg_backend_pid()::text as pid", ROWOPERATION_READONLY) && !set.IsEOF())
      set.GetValueInColumn(L"pid", value);
    return std::wstring(value.GetText());
  };
  const std::wstring first = backend();
  ASSERT_FALSE(first.empty());
  qz::testing::SideConnection side;
  ASSERT_TRUE(side.Open(server));
  side.Query("SELECT pg_terminate_backend(" + Utf8(first) + ", 10000)");
  const std::wstring second = backend();  // the next call looks through the list again
  EXPECT_FALSE(second.empty());
  EXPECT_NE(second, first);
  EXPECT_NE(database.Describe().find(L"(on " + server.connect1 + L")"), std::wstring::npos);
}

}  // namespace
