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

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/NumberedTask.h"
#include "support/PostgresCluster.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kItemsPerTask = 10;

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// True once done() is, false when it is not by the end of limit.
bool WaitUntil(const std::function<bool()>& done, Clock::duration limit) {
  const Clock::time_point give_up = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > give_up) return false;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return true;
}

// One writer's calls around a failover, as the test saw them: the call the
// primary's stop cut, and the first answer of 1 after it.
struct WriterTimes {
  Clock::time_point stopped = Clock::time_point::max();
  double cut_call = -1;  // seconds the cut call took, start to answer
  Clock::time_point cut_answered, back;

  void Stopped(Clock::time_point at) {
    stopped = at;
    cut_call = -1;
    cut_answered = back = Clock::time_point{};
  }
  void Call(Clock::time_point start, Clock::time_point end, bool stored) {
    if (end < stopped) return;
    if (start < stopped && cut_call < 0) {
      cut_call = SecondsBetween(start, end);
      cut_answered = end;
    }
    if (stored && back == Clock::time_point{}) back = end;
  }
};

SQZGeZhuanTaskInfo MakeTask(uint32_t number) {
  return qz::testing::NumberedTask(number, 0x1057, L"lost commit ", kItemsPerTask);
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

  // Every task the new primary holds, by number, with its item count.
  std::map<uint32_t, int> StoredTasks() {
    std::map<uint32_t, int> stored;
    const DBsSetNode node = cluster_.Node();
    CQZDatabase database;
    CQZDBVariant name, items;
    try {
      database.Connect(QZDB_POSTGRESQL, node.strConnect1, node.strConnect2, node.strConnect3, L"");
      CQZRecordSet set(&database);
      set.Open(
          L"select t.strTaskName as n, (select count(*) from GeZhuanTaskItem i where i.guidTask = t.guidTaskID) as c "
          L"from GeZhuanTaskInfo t",
          ROWOPERATION_READONLY);
      for (; !set.IsEOF(); set.MoveNext()) {
        set.GetValueInColumn(L"n", name);
        set.GetValueInColumn(L"c", items);
        const std::wstring text = name.GetTextRef();
        stored[static_cast<uint32_t>(std::stoul(text.substr(text.rfind(L' ') + 1)))] =
            static_cast<int>(items.GetInteger64());
      }
    } catch (CQZDBException* e) {
      ADD_FAILURE() << "reading the stored tasks failed";
      e->Delete();
    }
    return stored;
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

// Several writers, each on a connection of its own, add tasks while the
// primary fails over with their commits in flight: the WAL sender halted so
// that the standby gets none of them, the primary stopped at once, the
// standby promoted; then the old primary rejoins as the new one's standby,
// and again. The promoted standby hands the lost transactions' numbers out
// afresh, so a number alone cannot tell one writer's commit from another's.
// Afterwards every task whose add answered 1 is stored whole, and none
// whose add answered 0 is stored at all.
TEST_F(LostCommitTest, SeveralWritersThroughFailoversLoseNothingTheyWereToldWasStored) {
  constexpr int kWriters = 4;
  constexpr int kRounds = 4;
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::set<uint32_t> acknowledged, refused;
  std::vector<WriterTimes> times(kWriters);
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      CQZNVGeZhuanDBControl control;
      if (control.OpenQZNVGeZhuanDB(cluster_.Node()) != 1) return;
      for (uint32_t next = 1; !stop; ++next) {
        const uint32_t number = static_cast<uint32_t>(w + 1) << 24 | next;
        std::vector<SQZGeZhuanTaskInfo> tasks{MakeTask(number)};
        const Clock::time_point start = Clock::now();
        const int answer = control.AddGeZhuanTasks(&tasks);
        const Clock::time_point end = Clock::now();
        {
          std::lock_guard<std::mutex> lock(mutex);
          (answer == 1 ? acknowledged : refused).insert(number);
          times[static_cast<size_t>(w)].Call(start, end, answer == 1);
        }
        // Enough writes to keep a commit of every writer in flight, not so
        // many that bringing the old primary back takes long.
        std::this_thread::sleep_for(milliseconds(answer == 1 ? 5 : 20));
      }
      control.CloseQZNVGeZhuanDB();
    });
  }
  struct Joiner {
    std::atomic<bool>& stop;
    std::vector<std::thread>& threads;
    ~Joiner() {
      stop = true;
      for (std::thread& thread : threads)
        if (thread.joinable()) thread.join();
    }
  } joiner{stop, threads};
  auto successes = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    return acknowledged.size();
  };
  auto all_back = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    return std::all_of(times.begin(), times.end(), [](const WriterTimes& t) { return t.back != Clock::time_point{}; });
  };

  double wait_total = 0;
  for (int round = 1; round <= kRounds; ++round) {
    const size_t before = successes();
    WaitUntil([&] { return successes() >= before + 20; }, std::chrono::seconds(30));
    // What the old primary wrote since its last checkpoint is what bringing
    // it back has to go through: keep that short.
    ASSERT_TRUE(cluster_.Execute(L"checkpoint"));
    const std::wstring sender = cluster_.QueryText(L"select pid::text as v from pg_stat_replication");
    ASSERT_FALSE(sender.empty()) << "round " << round << ": the primary has no WAL sender";
    ASSERT_TRUE(cluster_.Run("hold-replication"));
    // From now on every writer's COMMIT waits for the standby, which gets
    // none of them.
    const std::wstring waiting = std::to_wstring(kWriters);
    EXPECT_TRUE(WaitUntil(
        [&] {
          return cluster_.QueryText(L"select count(*)::text as v from pg_stat_activity where wait_event = 'SyncRep'") ==
                 waiting;
        },
        std::chrono::seconds(10)))
        << "round " << round << ": not every writer's COMMIT waited for the standby";
    const Clock::time_point stopped = Clock::now();
    {
      std::lock_guard<std::mutex> lock(mutex);
      for (WriterTimes& t : times) t.Stopped(stopped);
    }
    StopPrimaryKilling(std::stoi(sender));
    ASSERT_TRUE(cluster_.Run("promote"));
    const Clock::time_point promoted = Clock::now();
    const bool back = WaitUntil(all_back, std::chrono::seconds(60));
    {
      // The promotion is done when the script has seen the server take
      // writes, which the writers may have seen first: times after it can
      // come out below zero.
      std::lock_guard<std::mutex> lock(mutex);
      double longest = 0, answered = -1e9, again = -1e9;
      for (const WriterTimes& t : times) {
        longest = std::max(longest, t.cut_call);
        if (t.cut_call >= 0) answered = std::max(answered, SecondsBetween(promoted, t.cut_answered));
        if (t.back != Clock::time_point{}) again = std::max(again, SecondsBetween(promoted, t.back));
      }
      std::printf(
          "round %d: stop to promoted %.3f s; the cut calls took up to %.3f s, answering by %+.3f s after the "
          "promotion; every writer answered 1 again by %+.3f s\n",
          round, SecondsBetween(stopped, promoted), longest, answered, again);
      wait_total += longest;
    }
    ASSERT_TRUE(back) << "round " << round << ": a writer never answered 1 again";
    if (round < kRounds) {
      ASSERT_TRUE(cluster_.Run("rejoin"));
    }
  }
  stop = true;
  for (std::thread& thread : threads) thread.join();

  const std::map<uint32_t, int> stored = StoredTasks();
  size_t missing = 0, not_whole = 0, refused_but_stored = 0;
  for (uint32_t number : acknowledged) {
    const auto found = stored.find(number);
    if (found == stored.end()) {
      ++missing;
      ADD_FAILURE() << "task " << number << ": its add answered 1, but it is not stored";
    } else if (found->second != kItemsPerTask) {
      ++not_whole;
      ADD_FAILURE() << "task " << number << ": stored with " << found->second << " items";
    }
  }
  for (uint32_t number : refused) {
    if (!stored.count(number)) continue;
    ++refused_but_stored;
    ADD_FAILURE() << "task " << number << ": its add answered 0, yet it is stored";
  }
  std::printf(
      "%d writers, %d rounds: %zu adds answered 1 (%zu missing, %zu not whole), %zu answered 0 (%zu stored); the cut "
      "calls took %.3f s on average of the longest per round\n",
      kWriters, kRounds, acknowledged.size(), missing, not_whole, refused.size(), refused_but_stored,
      wait_total / kRounds);
  EXPECT_EQ(stored.size(), acknowledged.size() - missing + refused_but_stored);
}

}  // namespace
