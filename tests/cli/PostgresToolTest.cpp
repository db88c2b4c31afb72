// gezhuan on the PostgreSQL test server, reached through a named setting:
// the same commands as on the embedded database, and a document exported
// from the server imports into an embedded database unchanged.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

#include "ToolRunner.h"

namespace gezhuan_test {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class PostgresToolTest : public ToolTest {
 protected:
  void SetUp() override {
    if (Env("QZ_PG_HOST").empty()) GTEST_SKIP() << "QZ_PG_HOST is not set: no PostgreSQL test server";
    // The server's tables are shared with the library's tests: one test at a time.
    const std::string lock = (Env("QZ_PG_DIR").empty() ? "/tmp" : Env("QZ_PG_DIR")) + "/qz-postgres-tests.lock";
    lock_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_TRUE(lock_ >= 0 && flock(lock_, LOCK_EX) == 0);
    ToolTest::SetUp();
    DropEverything();
    WriteFile("dbsettings.ini", "[QZNVCENTERDBSetting]\nDBType=2\nConnect1=" + Env("QZ_PG_HOST") +
                                    "\nConnect2=" + Env("QZ_PG_DATABASE") + "\nConnect3=" + Env("QZ_PG_USER") +
                                    "\nConnect4=" + Env("QZ_PG_PASSWORD") + "\n");
  }

  void TearDown() override {
    if (lock_ < 0) return;
    ToolTest::TearDown();
    close(lock_);
  }

  // Every table and view of the test database, left by whichever test ran before.
  void DropEverything() {
    const std::string host = Env("QZ_PG_HOST");
    const std::string::size_type colon = host.rfind(':');
    const std::string sql =
        "DO $$ DECLARE r record; BEGIN FOR r IN SELECT c.relname, c.relkind FROM pg_class c JOIN pg_namespace n "
        "ON n.oid = c.relnamespace WHERE n.nspname = 'public' AND c.relkind IN ('r', 'v') LOOP EXECUTE "
        "format('DROP %s IF EXISTS %I CASCADE', CASE r.relkind WHEN 'v' THEN 'VIEW' ELSE 'TABLE' END, r.relname); "
        "END LOOP; END $$;\n";
    const std::string command = "PGPASSWORD='" + Env("QZ_PG_PASSWORD") + "' psql -q -X -v ON_ERROR_STOP=1 -h " +
                                host.substr(0, colon) + " -p " + host.substr(colon + 1) + " -U " + Env("QZ_PG_USER") +
                                " -d " + Env("QZ_PG_DATABASE") + " -f " + WriteFile("drop.sql", sql) + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  int lock_ = -1;
};

TEST_F(PostgresToolTest, CommandsBeforeInitSayToRunInit) {
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"status"}, {"task", "list"}, {"task", "export"}}) {
    ToolResult early = Run(command);
    EXPECT_EQ(early.status, 1) << command[0];
    EXPECT_NE(early.err.find("create them with `gezhuan init`"), std::string::npos) << early.err;
    EXPECT_EQ(early.err.find("does not exist"), std::string::npos) << early.err;
  }
  ASSERT_EQ(Run({"init"}).status, 0);
  EXPECT_EQ(Run({"status"}).status, 0);
}

TEST_F(PostgresToolTest, TheToolWorksUnchangedOnTheServer) {
  ToolResult init = Run({"init", "--sample"});
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_NE(init.out.find("QZNVCENTERDBSetting"), std::string::npos) << init.out;

  ToolResult added = Run({"task", "add", "--name", "晚间新闻 转录", "--from", "Betacam SP", "--to", "HDCAM", "--item",
                          "片头:0:250", "--item", "正片:250:22500"});
  ASSERT_EQ(added.status, 0) << added.err;
  const std::string guid = Lines(added.out).at(0);
  ToolResult shown = Run({"task", "show", guid});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("晚间新闻 转录"), std::string::npos);
  EXPECT_NE(shown.out.find("正片"), std::string::npos);

  // Server to embedded file and back out: the same document.
  ToolResult exported = Run({"task", "export"});
  ASSERT_EQ(exported.status, 0) << exported.err;
  const std::string file = WriteFile("tasks.json", exported.out);
  const std::string copy = (m_dir / "copy.db").string();
  ASSERT_EQ(RunOn(copy, {"init"}).status, 0);
  // The tasks name tape types, which the copy's catalogue must hold.
  ASSERT_EQ(RunOn(copy, {"tape", "import", WriteFile("tapes.json", Run({"tape", "export"}).out)}).status, 0);
  ToolResult imported = RunOn(copy, {"task", "import", file});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(RunOn(copy, {"task", "export"}).out, exported.out);

  ToolResult deleted = Run({"task", "delete", guid});
  EXPECT_EQ(deleted.status, 0) << deleted.err;
  EXPECT_EQ(Run({"task", "show", guid}).status, 1);
}

TEST_F(PostgresToolTest, StatusAndVerboseNameTheServerOfAListInUse) {
  // Port 1 of loopback refuses: the tool goes on to the second server.
  WriteFile("dbsettings.ini", "[QZNVCENTERDBSetting]\nDBType=2\nConnect1=127.0.0.1:1," + Env("QZ_PG_HOST") +
                                  "\nConnect2=" + Env("QZ_PG_DATABASE") + "\nConnect3=" + Env("QZ_PG_USER") +
                                  "\nConnect4=" + Env("QZ_PG_PASSWORD") + "\n");
  ASSERT_EQ(Run({"init"}).status, 0);
  const std::string in_use = "(on " + Env("QZ_PG_HOST") + ")";
  ToolResult status = Run({"status"});
  ASSERT_EQ(status.status, 0) << status.err;
  EXPECT_NE(status.out.find("server:"), std::string::npos) << status.out;
  EXPECT_NE(status.out.find(in_use), std::string::npos) << status.out;
  ToolResult listed = Run({"--verbose", "task", "list"});
  EXPECT_NE(listed.err.find("gezhuan: server: "), std::string::npos) << listed.err;
  EXPECT_NE(listed.err.find(in_use), std::string::npos) << listed.err;
}

}  // namespace
}  // namespace gezhuan_test
