// A COMMIT whose answer is lost on a server that lives on: the library
// settles it by the token the transaction stored, and answers what the
// server really did. The commit is held in its deferred work (a constraint
// trigger that sleeps at COMMIT) while the test cuts it one way or another.
// Also: the token table is made where it is missing and does not grow with
// the number of commits.
//
// Needs the server of scripts/postgres-test-server.sh; skips without it.
#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/TextEncoding.h"
#include "support/NumberedTask.h"
#include "support/PostgresTestServer.h"

namespace {

using std::chrono::milliseconds;

// A user who may write the library's tables but not create tables.
constexpr char kPlainRole[] = "qz_plain_writer";
constexpr char kDropPlainRole[] =
    "DO $$ BEGIN IF EXISTS (SELECT FROM pg_roles WHERE rolname = 'qz_plain_writer') THEN "
    "EXECUTE 'DROP OWNED BY qz_plain_writer'; EXECUTE 'DROP ROLE qz_plain_writer'; END IF; END $$";

// Cuts this process's end of the TCP link whose local port is port, the
// way a failing network or proxy would: the server's backend lives on.
bool CutOwnLink(int port) {
  DIR* folder = opendir("/proc/self/fd");
  if (!folder) return false;
  bool cut = false;
  while (dirent* entry = readdir(folder)) {
    const int fd = std::atoi(entry->d_name);
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd <= 2 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) continue;
    if (address.ss_family != AF_INET) continue;
    if (ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port) != port) continue;
    cut = shutdown(fd, SHUT_RDWR) == 0;
  }
  closedir(folder);
  return cut;
}

SQZGeZhuanTaskInfo MakeTask(uint32_t number) { return qz::testing::NumberedTask(number, 0x5e77, L"settled ", 3); }

class CommitSettlingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!qz::testing::FindPostgresServer(&server_))
      GTEST_SKIP() << "QZ_PG_HOST is not set: run the tests under scripts/postgres-test-server.sh";
    lock_ = std::make_unique<qz::testing::ServerLock>();
    ASSERT_TRUE(side_.Open(server_));
    side_.Query(qz::testing::kDropLibraryTables);
    side_.Query("DROP TABLE IF EXISTS qzcommittoken");
    side_.Query("DROP FUNCTION IF EXISTS qz_slow_commit() CASCADE");
    side_.Query(kDropPlainRole);
    std::wstring error;
    ASSERT_EQ(QZNVGeZhuanCreateTables(Node(), &error), 1) << qz::platform::WideToUtf8(error);
    QZNVGeZhuanSetDebugOutput([this](const std::wstring& line) { debug_.push_back(line); });
  }

  void TearDown() override {
    QZNVGeZhuanSetDebugOutput(nullptr);
    if (call_.joinable()) FinishCall();
    if (!lock_) return;
    side_.Query("DROP FUNCTION IF EXISTS qz_slow_commit() CASCADE");
    side_.Query(kDropPlainRole);
  }

  DBsSetNode Node(const std::wstring& user = std::wstring()) const {
    DBsSetNode node;
    node.nDBType = 2;
    node.strConnect1 = server_.connect1;
    node.strConnect2 = server_.connect2;
    node.strConnect3 = user.empty() ? server_.connect3 : user;
    node.strConnect4 = server_.connect4;
    return node;
  }

  // From now on a COMMIT that added a task waits in its deferred work
  // while qz_hold has a row.
  void HoldCommitsOfTasks() {
    side_.Query("CREATE TABLE IF NOT EXISTS qz_hold (x integer)");
    side_.Query("DELETE FROM qz_hold");
    side_.Query(
        "CREATE FUNCTION qz_slow_commit() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "WHILE EXISTS (SELECT 1 FROM qz_hold) LOOP PERFORM pg_sleep(0.01); END LOOP; RETURN NULL; END $$");
    side_.Query(
        "CREATE CONSTRAINT TRIGGER qz_slow_commit AFTER INSERT ON GeZhuanTaskInfo DEFERRABLE INITIALLY DEFERRED "
        "FOR EACH ROW EXECUTE FUNCTION qz_slow_commit()");
  }

  // Starts adding task through control in a thread of its own, its COMMIT
  // held; returns the server process that runs it once the COMMIT waits
  // ("" if it never does). FinishCall lets it go on.
  std::string StartHeldAdd(CQZNVGeZhuanDBControl* control, const SQZGeZhuanTaskInfo& task) {
    side_.Query("INSERT INTO qz_hold VALUES (1)");
    call_ = std::thread([this, control, task] {
      std::vector<SQZGeZhuanTaskInfo> tasks{task};
      answer_ = control->AddGeZhuanTasks(&tasks);
    });
    for (int tries = 0; tries < 500; ++tries) {
      const std::string pid =
          side_.Query("SELECT pid FROM pg_stat_activity WHERE wait_event = 'PgSleep' AND pid <> pg_backend_pid()");
      if (!pid.empty()) return pid;
      std::this_thread::sleep_for(milliseconds(10));
    }
    ADD_FAILURE() << "the COMMIT never reached its deferred work";
    return "";
  }

  int FinishCall() {
    side_.Query("DELETE FROM qz_hold");
    if (call_.joinable()) call_.join();
    return answer_;
  }

  std::string Stored(uint32_t number) {
    return side_.Query("SELECT count(*) FROM GeZhuanTaskInfo WHERE strTaskName = 'settled " + std::to_string(number) +
                       "'");
  }

  bool DebugSaid(const std::wstring& part) const {
    for (const std::wstring& line : debug_)
      if (line.find(part) != std::wstring::npos) return true;
    return false;
  }

  std::unique_ptr<qz::testing::ServerLock> lock_;
  qz::testing::PostgresServer server_;
  qz::testing::SideConnection side_;
  std::vector<std::wstring> debug_;
  std::thread call_;
  int answer_ = -1;
};

TEST_F(CommitSettlingTest, ACommitWhoseAnswerIsLostAnswersWhatTheServerDid) {
  HoldCommitsOfTasks();

  // The link goes while the server is still committing; the server goes on
  // and commits. The settling must wait for that, and answer 1.
  {
    CQZNVGeZhuanDBControl control;
    ASSERT_EQ(control.OpenQZNVGeZhuanDB(Node()), 1);
    const std::string pid = StartHeldAdd(&control, MakeTask(1));
    ASSERT_FALSE(pid.empty());
    const std::string port = side_.Query("SELECT client_port FROM pg_stat_activity WHERE pid = " + pid);
    ASSERT_TRUE(CutOwnLink(std::stoi(port)));
    std::this_thread::sleep_for(milliseconds(300));  // the library settles meanwhile
    EXPECT_EQ(FinishCall(), 1) << "the server committed the task, yet the call answered 0";
    EXPECT_EQ(Stored(1), "1");
    std::vector<SQZGeZhuanTaskInfo> next{MakeTask(2)};
    EXPECT_EQ(control.AddGeZhuanTasks(&next), 1) << "the next call on the same object";
  }

  // The server process ends while committing: nothing is committed, the
  // answer is 0, and the object goes on working.
  {
    CQZNVGeZhuanDBControl control;
    ASSERT_EQ(control.OpenQZNVGeZhuanDB(Node()), 1);
    const std::string pid = StartHeldAdd(&control, MakeTask(3));
    ASSERT_FALSE(pid.empty());
    side_.Query("SELECT pg_terminate_backend(" + pid + ")");
    EXPECT_EQ(FinishCall(), 0);
    EXPECT_EQ(Stored(3), "0") << "the call answered 0, yet the task is stored";
    std::vector<SQZGeZhuanTaskInfo> next{MakeTask(4)};
    EXPECT_EQ(control.AddGeZhuanTasks(&next), 1) << "the next call on the same object";
    EXPECT_FALSE(DebugSaid(L"cannot be established"));
  }

  // A database without the token table, and a user who may not make it:
  // the outcome cannot be established, which the answer 0 and a debug line
  // say. Here the server did commit.
  {
    side_.Query("DROP TABLE qzcommittoken");
    side_.Query("CREATE ROLE " + std::string(kPlainRole) + " LOGIN");
    side_.Query("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO " + std::string(kPlainRole));
    side_.Query("GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO " + std::string(kPlainRole));
    side_.Query("GRANT SELECT ON qz_hold TO " + std::string(kPlainRole));
    CQZNVGeZhuanDBControl control;
    ASSERT_EQ(control.OpenQZNVGeZhuanDB(Node(qz::platform::Utf8ToWide(kPlainRole))), 1);
    const std::string pid = StartHeldAdd(&control, MakeTask(5));
    ASSERT_FALSE(pid.empty());
    const std::string port = side_.Query("SELECT client_port FROM pg_stat_activity WHERE pid = " + pid);
    ASSERT_TRUE(CutOwnLink(std::stoi(port)));
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(FinishCall(), 0);
    EXPECT_TRUE(DebugSaid(L"cannot be established")) << "no debug line says the outcome is unknown";
    EXPECT_EQ(side_.Query("SELECT to_regclass('qzcommittoken') IS NULL"), "t");
  }
}

TEST_F(CommitSettlingTest, TheTokenTableIsMadeWhereMissingAndDoesNotGrowWithTheCommits) {
  side_.Query("DROP TABLE qzcommittoken");
  CQZNVGeZhuanDBControl control;
  ASSERT_EQ(control.OpenQZNVGeZhuanDB(Node()), 1);
  std::vector<SQZGeZhuanTaskInfo> first{MakeTask(1)};
  ASSERT_EQ(control.AddGeZhuanTasks(&first), 1);
  EXPECT_EQ(side_.Query("SELECT to_regclass('qzcommittoken') IS NOT NULL"), "t") << "the table was not made";

  // A day-old token some session left behind goes with the next session's
  // first write.
  side_.Query("INSERT INTO qzcommittoken (token, stored) VALUES (gen_random_uuid(), now() - interval '25 hours')");
  CQZNVGeZhuanDBControl later;
  ASSERT_EQ(later.OpenQZNVGeZhuanDB(Node()), 1);
  std::vector<SQZGeZhuanTaskInfo> second{MakeTask(2)};
  ASSERT_EQ(later.AddGeZhuanTasks(&second), 1);
  EXPECT_EQ(side_.Query("SELECT count(*) FROM qzcommittoken WHERE stored < now() - interval '1 day'"), "0");

  // Many writes on one connection leave a bounded number of tokens, and
  // reads leave none.
  for (uint32_t number = 10; number < 110; ++number) {
    std::vector<SQZGeZhuanTaskInfo> tasks{MakeTask(number)};
    ASSERT_EQ(control.AddGeZhuanTasks(&tasks), 1);
  }
  const int after_writes = std::stoi(side_.Query("SELECT count(*) FROM qzcommittoken"));
  EXPECT_LT(after_writes, 40) << "tokens pile up with the commits";
  CQZDatabase database;
  qz::testing::ConnectTo(server_, &database);
  for (int i = 0; i < 20; ++i) {
    database.BeginTrans();
    CQZRecordSet set(&database);
    ASSERT_TRUE(set.Open(L"select count(*) as n from GeZhuanTaskInfo", ROWOPERATION_READONLY));
    set.Close();
    database.CommitTrans();
  }
  EXPECT_EQ(std::stoi(side_.Query("SELECT count(*) FROM qzcommittoken")), after_writes);
}

}  // namespace
