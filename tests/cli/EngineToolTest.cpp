#include "EngineToolTest.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

namespace gezhuan_test {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

void EngineToolTest::SetUp() {
  if (OnServer()) {
    if (Env("QZ_PG_HOST").empty()) GTEST_SKIP() << "QZ_PG_HOST is not set: no PostgreSQL test server";
    // The server's tables are shared with the library's tests: one test at a time.
    const std::string lock = (Env("QZ_PG_DIR").empty() ? "/tmp" : Env("QZ_PG_DIR")) + "/qz-postgres-tests.lock";
    m_lock = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_TRUE(m_lock >= 0 && flock(m_lock, LOCK_EX) == 0);
  }
  ToolTest::SetUp();
  if (OnServer()) {
    Sql("DO $$ DECLARE r record; BEGIN FOR r IN SELECT c.relname, c.relkind FROM pg_class c JOIN pg_namespace n "
        "ON n.oid = c.relnamespace WHERE n.nspname = 'public' AND c.relkind IN ('r', 'v') LOOP EXECUTE "
        "format('DROP %s IF EXISTS %I CASCADE', CASE r.relkind WHEN 'v' THEN 'VIEW' ELSE 'TABLE' END, r.relname); "
        "END LOOP; END $$;\n");
    ASSERT_FALSE(HasFailure());
    const std::string host = Env("QZ_PG_HOST");
    WriteFile("dbsettings.ini", "[QZNVCENTERDBSetting]\nDBType=2\nConnect1=" + host +
                                    "\nConnect2=" + Env("QZ_PG_DATABASE") + "\nConnect3=" + Env("QZ_PG_USER") +
                                    "\nConnect4=" + Env("QZ_PG_PASSWORD") + "\n");
  }
  const ToolResult init = Tool({"init", "--sample"});
  ASSERT_EQ(init.status, 0) << init.err;
}

void EngineToolTest::TearDown() {
  ToolTest::TearDown();
  if (m_lock >= 0) close(m_lock);
}

void EngineToolTest::Sql(const std::string& sql) const {
  if (!OnServer()) {
    sqlite3* db = nullptr;
    char* error = nullptr;
    const int opened = sqlite3_open(m_database.c_str(), &db);
    const int ran = opened == SQLITE_OK ? sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) : opened;
    EXPECT_EQ(ran, SQLITE_OK) << (error ? error : sqlite3_errmsg(db)) << "\n" << sql;
    sqlite3_free(error);
    sqlite3_close(db);
    return;
  }
  const std::string host = Env("QZ_PG_HOST");
  const std::string::size_type colon = host.rfind(':');
  const std::string command = "PGPASSWORD='" + Env("QZ_PG_PASSWORD") + "' psql -q -X -v ON_ERROR_STOP=1 -h " +
                              host.substr(0, colon) + " -p " + host.substr(colon + 1) + " -U " + Env("QZ_PG_USER") +
                              " -d " + Env("QZ_PG_DATABASE") + " -f " + WriteFile("statement.sql", sql) + " >/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

ToolProcess EngineToolTest::StartTool(const std::vector<std::string>& args, const std::string& input) const {
  if (OnServer()) return Start(args, input);
  std::vector<std::string> onFile = {"--database", m_database};
  onFile.insert(onFile.end(), args.begin(), args.end());
  return Start(onFile, input);
}

ToolResult EngineToolTest::Tool(const std::vector<std::string>& args, const std::string& input) const {
  return OnServer() ? Run(args, input) : RunDb(args, input);
}

}  // namespace gezhuan_test
