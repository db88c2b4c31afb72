// A COMMIT whose answer the primary's loss takes with it: the library must
// report what the promoted standby holds, not a guess. Each case holds the
// commit at the moment that matters: the primary's WAL sender is halted so
// that the COMMIT waits for the standby, and then either the standby gets
// the commit before the primary goes (it is committed, though nobody
// answered) or it does not (it is not).
//
// Needs the cluster of scripts/postgres-failover-cluster.sh; skips without it.
#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/PostgresCluster.h"

namespace {

using std::chrono::milliseconds;

constexpr int kItemsPerTask = 10;

SQZGeZhuanTaskInfo MakeTask(uint32_t number) {
  SQZGeZhuanTaskInfo task;
  task.guidTaskID.Data1 = number;
  task.guidTaskID.Data2 = 0x1057;
  task.strTaskName = L"lost commit " + std::to_wstring(number);
  for (int i = 0; i < kItemsPerTask; ++i) {
    SQZGeZhuanItemInfo item;
    item.guidTask = task.guidTaskID;
    item.guidItem = task.guidTaskID;
    item.guidItem.Data3 = static_cast<uint16_t>(i + 1);
    item.nIndex = i;
    task.arrItems.push_back(item);
  }
  return task;
}

class LostCommitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QZ_SKIP_WITHOUT_CLUSTER(cluster_);
    std::wstring error;
    ASSERT_EQ(QZNVGeZhuanCreateTables(cluster_.Node(), &error), 1);
    ASSERT_TRUE(cluster_.Execute(L"delete from GeZhuanTaskItem"));
    ASSERT_TRUE(cluster_.Execute(L"delete from GeZhuanTaskInfo"));
    QZNVGeZhuanSetDebugOutput([](const std::wstring&) {});
    ASSERT_EQ(writer_.OpenQZNVGeZhuanDB(cluster_.Node()), 1);
  }

  void TearDown() override {
    if (call_.joinable()) {
      // A test that stopped halfway may leave the call waiting for the
      // standby: let replication go on so that it can end.
      cluster_.Run("release-replication");
      call_.join();
    }
    writer_.CloseQZNVGeZhuanDB();
    QZNVGeZhuanSetDebugOutput(nullptr);
  }

  // Starts adding task in a thread of its own; returns once its COMMIT
  // waits for the standby, which gets nothing more, with the pid of the
  // server process that runs it (0 when it never got there).
  int StartAddWaitingForTheStandby(const SQZGeZhuanTaskInfo& task) {
    const std::wstring sender = cluster_.QueryText(L"select pid::text as v from pg_stat_replication");
    if (sender.empty() || !cluster_.Run("hold-replication")) return 0;
    sender_pid_ = std::stoi(sender);
    call_ = std::thread([this, task] {
      std::vector<SQZGeZhuanTaskInfo> tasks{task};
      answer_ = writer_.AddGeZhuanTasks(&tasks);
    });
    for (int tries = 0; tries < 1000; ++tries) {
      const std::wstring pid =
          cluster_.QueryText(L"select pid::text as v from pg_stat_activity where wait_event = 'SyncRep'");
      if (!pid.empty()) return std::stoi(pid);
      std::this_thread::sleep_for(milliseconds(10));
    }
    ADD_FAILURE() << "the COMMIT never waited for the standby";
    return 0;
  }

  // The task as the new primary holds it: its item count, -1 without a row.
  int StoredItems(uint32_t number) {
    CQZNVGeZhuanDBControl check;
    EXPECT_EQ(check.OpenQZNVGeZhuanDB(cluster_.Node()), 1);
    std::vector<SQZGeZhuanTaskInfo> tasks;
    const std::wstring condition = L"strTaskName = 'lost commit " + std::to_wstring(number) + L"'";
    if (!check.GetGeZhuanTasksByCondition(condition, &tasks)) return -1;
    return static_cast<int>(tasks.at(0).arrItems.size());
  }

  // The primary goes down at once; pid, halted, is killed once the shutdown
  // is under way (a halted process cannot end by itself, and killing it
  // earlier would make the server restart instead).
  void StopPrimaryKilling(int pid) {
    std::thread stopping([this] { cluster_.Run("stop-primary"); });
    std::this_thread::sleep_for(milliseconds(500));
    kill(pid, SIGKILL);
    stopping.join();
  }

  qz::testing::PostgresCluster cluster_;
  int sender_pid_ = 0;
  CQZNVGeZhuanDBControl writer_;
  std::thread call_;
  std::atomic<int> answer_{-1};
};

TEST_F(LostCommitTest, ACommitTheStandbyHoldsAnswersOneThoughItsAnswerWasLost) {
  const SQZGeZhuanTaskInfo task = MakeTask(1);
  const int pid = StartAddWaitingForTheStandby(task);
  ASSERT_NE(pid, 0);
  // The server process may not answer; the standby then takes the commit.
  ASSERT_EQ(kill(pid, SIGSTOP), 0);
  ASSERT_TRUE(cluster_.Run("release-replication"));
  for (int tries = 0; tries < 1000; ++tries) {
    if (cluster_.QueryText(L"select (flush_lsn >= pg_current_wal_flush_lsn())::text as v from pg_stat_replication") ==
        L"true")
      break;
    std::this_thread::sleep_for(milliseconds(10));
  }
  StopPrimaryKilling(pid);
  ASSERT_TRUE(cluster_.Run("promote"));
  call_.join();
  EXPECT_EQ(answer_, 1) << "the standby holds the commit, yet the call answered 0";
  EXPECT_EQ(StoredItems(1), kItemsPerTask);
}

TEST_F(LostCommitTest, ACommitTheStandbyNeverGotAnswersZeroAndLeavesNothing) {
  const SQZGeZhuanTaskInfo task = MakeTask(2);
  ASSERT_NE(StartAddWaitingForTheStandby(task), 0);
  // The old primary has written the commit; the standby never gets it.
  StopPrimaryKilling(sender_pid_);
  ASSERT_TRUE(cluster_.Run("promote"));
  call_.join();
  EXPECT_EQ(answer_, 0);
  EXPECT_EQ(StoredItems(2), -1);
}

}  // namespace
