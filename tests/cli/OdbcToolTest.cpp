// gezhuan on MariaDB through ODBC, reached through a named setting of kind
// 4 (scripts/odbc-test-sources.sh makes the source): the same commands as
// on the embedded database, and no password in what it prints.
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

class OdbcToolTest : public ToolTest {
 protected:
  void SetUp() override {
    if (Env("QZ_ODBC_DIR").empty()) GTEST_SKIP() << "QZ_ODBC_DIR is not set: no ODBC test sources";
    lock_ = open((Env("QZ_ODBC_DIR") + "/mariadb-tool.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_TRUE(lock_ >= 0 && flock(lock_, LOCK_EX) == 0);
    ToolTest::SetUp();
    // The tool's database afresh, whatever an earlier run left in it.
    const std::string command = "mariadb --no-defaults -uroot --socket=" + Env("QZ_ODBC_DIR") +
                                "/mariadb/mysqld.sock -e 'DROP DATABASE IF EXISTS qz_test_tool; CREATE DATABASE "
                                "qz_test_tool CHARACTER SET utf8mb4 COLLATE utf8mb4_bin'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    password_ = Env("QZ_ODBC_MARIADB_PASSWORD");
    WriteFile("dbsettings.ini", "[QZNVCENTERDBSetting]\nDBType=4\nConnect1=" + Env("QZ_ODBC_MARIADB_DSN") +
                                    "\nConnect2=qz_test_tool\nConnect3=" + Env("QZ_ODBC_MARIADB_USER") +
                                    "\nConnect4=" + password_ + "\n");
  }

  void TearDown() override {
    if (lock_ < 0) return;
    ToolTest::TearDown();
    close(lock_);
  }

  int lock_ = -1;
  std::string password_;
};

TEST_F(OdbcToolTest, TheToolWorksUnchangedOnMariadb) {
  ASSERT_NE(password_.find_first_of(";}"), std::string::npos);
  ToolResult init = Run({"init", "--sample"});
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_NE(init.out.find("odbc " + Env("QZ_ODBC_MARIADB_DSN") + " qz_test_tool"), std::string::npos) << init.out;

  ToolResult added = Run({"task", "add", "--name", "晚间新闻 转录 🎬", "--from", "Betacam SP", "--to", "HDCAM", "--item",
                          "正片:250:22500"});
  ASSERT_EQ(added.status, 0) << added.err;
  const std::string guid = Lines(added.out).at(0);
  ToolResult shown = Run({"task", "show", guid});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("晚间新闻 转录 🎬"), std::string::npos);
  EXPECT_NE(shown.out.find("正片"), std::string::npos);
  EXPECT_EQ(Run({"task", "delete", guid}).status, 0);
  EXPECT_EQ(Run({"task", "show", guid}).status, 1);

  // What the tool prints about the source, also on failure, holds no password.
  ToolResult failed = Run({"--verbose", "task", "list", "--where", "no_such_column = 1"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ((failed.out + failed.err).find(password_), std::string::npos) << failed.err;
  WriteFile("dbsettings.ini", "[QZNVCENTERDBSetting]\nDBType=4\nConnect1=DSN=" + Env("QZ_ODBC_MARIADB_DSN") + ";UID=" +
                                  Env("QZ_ODBC_MARIADB_USER") + ";PWD={hidden;pw}}x}\nConnect2=qz_test_tool\n");
  ToolResult listed = Run({"settings", "show"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out.find("hidden"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("UID=" + Env("QZ_ODBC_MARIADB_USER")), std::string::npos) << listed.out;
}

}  // namespace
}  // namespace gezhuan_test
