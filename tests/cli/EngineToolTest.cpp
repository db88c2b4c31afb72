#include "EngineToolTest.h"

#include <fcntl.h>
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
    const std::string host = Env("QZ_PG_HOST");
    const std::string sql =
        "DO $$ DECLARE r record; BEGIN FOR r IN SELECT c.relname, c.relkind FROM pg_class c JOIN pg_namespace n "
        "ON n.oid = c.relnamespace WHERE n.nspname = 'public' AND c.relkind IN ('r', 'v') LOOP EXECUTE "
        "format('DROP %s IF EXISTS %I CASCADE', CASE r.relkind WHEN 'v' THEN 'VIEW' ELSE 'TABLE' END, r.relname); "
        "END LOOP; END $$;\n";
    Sql("", sql);
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

void EngineToolTest::Sql(const std::string& sqlite, const std::string& postgres) const {
  std::string command;
  if (OnServer()) {
    const std::string host = Env("QZ_PG_HOST");
    const std::string::size_type colon = host.rfind(':');
    command = "PGPASSWORD='" + Env("QZ_PG_PASSWORD") + "' psql -q -X -v ON_ERROR_STOP=1 -h " + host.substr(0, colon) +
              " -p " + host.substr(colon + 1) + " -U " + Env("QZ_PG_USER") + " -d " + Env("QZ_PG_DATABASE") + " -f " +
              WriteFile("statements.sql", postgres) + " >/dev/null";
  } else {
    command = "sqlite3 -bail " + m_database + " <" + WriteFile("statements.sql", sqlite) + " >/dev/null";
  }
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
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
