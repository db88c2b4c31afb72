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
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/TextEncoding.h"
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

std::wstring HintOf(int version) { return L"v" + std::to_wstring(version); }

// What the answers told one writer: the tasks that must be stored (with the
// version their hint must carry) and those that must not be.
struct WriterLedger {
  std::map<uint32_t, int> present;  // task number -> hint version
  std::set<uint32_t> gone;          // of adds that answered 0, deletes that answered 1
  size_t counts[3] = {0, 0, 0};     // adds, edits, deletes that answered 1
  size_t refused = 0;               // calls that answered 0

  // The writer's call number call: two adds (the second of them of task
  // number), then an edit of a task's row alone, then a delete of a task.
  // True when it answered 1.
  bool Call(CQZNVGeZhuanDBControl* control, size_t call, uint32_t number) {
    const size_t kind = present.empty() || call % 4 < 2 ? 0 : call % 4 - 1;
    if (kind == 0) {
      std::vector<SQZGeZhuanTaskInfo> tasks{MakeTask(number)};
      tasks[0].strTaskHint = HintOf(0);
      const bool stored = control->AddGeZhuanTasks(&tasks) == 1;
      if (stored)
        present[number] = 0;
      else
        gone.insert(number);
      return Count(kind, stored);
    }
    auto chosen = present.begin();
    std::advance(chosen, static_cast<long>(call % present.size()));
    SQZGeZhuanTaskInfo task = MakeTask(chosen->first);
    if (kind == 1) {
      task.strTaskHint = HintOf(chosen->second + 1);
      const bool stored = control->ModifyGeZhuanTaskOnly(&task) == 1;
      if (stored) ++chosen->second;
      return Count(kind, stored);
    }
    const bool stored = control->DeleteGeZhuanTask(task.guidTaskID) == 1;
    if (stored) {
      gone.insert(chosen->first);
      present.erase(chosen);
    }
    return Count(kind, stored);
  }

  bool Count(size_t kind, bool stored) {
    ++(stored ? counts[kind] : refused);
    return stored;
  }

  void Merge(const WriterLedger& other) {
    present.insert(other.present.begin(), other.present.end());
    gone.insert(other.gone.begin(), other.gone.end());
    for (size_t i = 0; i < 3; ++i) counts[i] += other.counts[i];
    refused += other.refused;
  }
};

// A task row as the database holds it.
struct StoredTask {
  int items = 0;
  std::wstring hint;
};

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

  // Every task row the new primary holds, by number.
  std::map<uint32_t, StoredTask> StoredTasks() {
    std::map<uint32_t, StoredTask> stored;
    const DBsSetNode node = cluster_.Node();
    CQZDatabase database;
    CQZDBVariant name, hint, items;
    try {
      database.Connect(QZDB_POSTGRESQL, node.strConnect1, node.strConnect2, node.strConnect3, L"");
      CQZRecordSet set(&database);
      set.Open(
          L"select t.strTaskName as n, t.strTaskHint as h, "
          L"(select count(*) from GeZhuanTaskItem i where i.guidTask = t.guidTaskID) as c from GeZhuanTaskInfo t",
          ROWOPERATION_READONLY);
      for (; !set.IsEOF(); set.MoveNext()) {
        set.GetValueInColumn(L"n", name);
        set.GetValueInColumn(L"h", hint);
        set.GetValueInColumn(L"c", items);
        const std::wstring text = name.GetTextRef();
        StoredTask& task = stored[static_cast<uint32_t>(std::stoul(text.substr(text.rfind(L' ') + 1)))];
        task.items = static_cast<int>(items.GetInteger64());
        task.hint = hint.GetTextRef();
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

// Several writers, each on a connection of its own, add, edit (the task row
// alone) and delete tasks while the primary fails over with their commits
// in flight: the WAL sender halted so that the standby gets none of them,
// the primary stopped at once, the standby promoted; then the old primary
// rejoins as the new one's standby, and again. The promoted standby hands
// the lost transactions' numbers out afresh, so a number alone cannot tell
// one writer's commit from another's. Afterwards the new primary holds
// exactly what the answers said: every call that answered 1 took effect,
// every call that answered 0 left its task as before.
TEST_F(LostCommitTest, SeveralWritersThroughFailoversLoseNothingTheyWereToldWasStored) {
  constexpr int kWriters = 4;
  constexpr int kRounds = 3;
  std::atomic<bool> stop{false};
  std::atomic<size_t> successes{0};
  std::mutex mutex;
  std::vector<WriterTimes> times(kWriters);
  std::vector<WriterLedger> ledgers(kWriters);
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      WriterLedger& ledger = ledgers[static_cast<size_t>(w)];
      CQZNVGeZhuanDBControl control;
      if (control.OpenQZNVGeZhuanDB(cluster_.Node()) != 1) return;
      uint32_t next = 0;
      for (size_t call = 0; !stop; ++call) {
        const Clock::time_point start = Clock::now();
        const bool stored = ledger.Call(&control, call, static_cast<uint32_t>(w + 1) << 24 | ++next);
        const Clock::time_point end = Clock::now();
        if (stored) ++successes;
        {
          std::lock_guard<std::mutex> lock(mutex);
          times[static_cast<size_t>(w)].Call(start, end, stored);
        }
        // Enough writes to keep a commit of every writer in flight, not so
        // many that bringing the old primary back takes long. A call that
        // answered 0 is followed at the same pace, as a program that tries
        // again would: the first writers back then begin new transactions
        // while the others still settle theirs.
        std::this_thread::sleep_for(milliseconds(5));
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
  auto all_back = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    return std::all_of(times.begin(), times.end(), [](const WriterTimes& t) { return t.back != Clock::time_point{}; });
  };

  double wait_total = 0;
  for (int round = 1; round <= kRounds; ++round) {
    const size_t before = successes;
    WaitUntil([&] { return successes >= before + 20; }, std::chrono::seconds(30));
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

  const std::map<uint32_t, StoredTask> stored = StoredTasks();
  WriterLedger all;
  for (const WriterLedger& ledger : ledgers) all.Merge(ledger);
  size_t missing = 0, not_as_answered = 0, refused_but_stored = 0;
  for (const auto& [number, version] : all.present) {
    const auto found = stored.find(number);
    if (found == stored.end()) {
      ++missing;
      ADD_FAILURE() << "task " << number << ": its add answered 1 and no delete did, but it is not stored";
    } else if (found->second.items != kItemsPerTask || found->second.hint != HintOf(version)) {
      ++not_as_answered;
      ADD_FAILURE() << "task " << number << ": stored with " << found->second.items << " items and hint \""
                    << qz::platform::WideToUtf8(found->second.hint) << "\", the answers said " << kItemsPerTask
                    << " and \"" << qz::platform::WideToUtf8(HintOf(version)) << "\"";
    }
  }
  for (uint32_t number : all.gone) {
    if (!stored.count(number)) continue;
    ++refused_but_stored;
    ADD_FAILURE() << "task " << number << ": its add answered 0 or its delete answered 1, yet it is stored";
  }
  std::printf(
      "%d writers, %d rounds: %zu adds, %zu edits and %zu deletes answered 1, %zu calls answered 0; %zu tasks "
      "missing, %zu not as answered, %zu stored that should not be; the cut calls took %.3f s on average of the "
      "longest per round\n",
      kWriters, kRounds, all.counts[0], all.counts[1], all.counts[2], all.refused, missing, not_as_answered,
      refused_but_stored, wait_total / kRounds);
  EXPECT_EQ(stored.size(), all.present.size() - missing + refused_but_stored);
  EXPECT_EQ(cluster_.QueryText(L"select count(*)::text as v from GeZhuanTaskItem"),
            std::to_wstring(stored.size() * kItemsPerTask))
      << "items without their task, or tasks without their items";
}

}  // namespace
