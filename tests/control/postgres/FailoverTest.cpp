// The library follows a PostgreSQL failover by itself: a writer and a reader
// keep working through one control object each, opened once on a setting
// that names the primary and its synchronous standby, while the primary is
// stopped (pg_ctl stop -m immediate) or fenced read-only and the standby
// promoted, several times, the old primary each time brought back as the
// new one's standby. Afterwards every answer the library gave is held
// against what the new primary stores.
//
// Needs the cluster of scripts/postgres-failover-cluster.sh (scripts/test.sh
// starts one); skips without it.
#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/PostgresCluster.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kItemsPerTask = 10;
// Past this many tasks the writer only rewrites: the reader's listing (one
// query per task) stays short enough to end soon after a switch.
constexpr size_t kMaxTasks = 1000;
// The bound within which the writer and the reader answer 1 again after a
// promotion. Measured on loopback: well under a second (the test prints
// each switch's times).
constexpr double kRecoveryBoundSeconds = 5.0;
// How long a switch may keep both from succeeding before the test gives up.
constexpr auto kRecoveryGiveUp = std::chrono::seconds(60);

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

GUID MakeGuid(uint32_t number, uint16_t version, uint16_t index) {
  GUID id{};
  id.Data1 = number;
  id.Data2 = version;
  id.Data3 = index;
  const uint8_t tail[8] = {0xFA, 0x11, 0x0E, 0xE5, 0x00, 0x00, 0x00, 0x01};
  for (int i = 0; i < 8; ++i) id.Data4[i] = tail[i];
  return id;
}

// Task number's record as the write of version makes it: the version is in
// the task's name and in every item's name, so that a row and items from
// different writes stand out.
SQZGeZhuanTaskInfo MakeTask(int number, int version) {
  SQZGeZhuanTaskInfo task;
  task.guidTaskID = MakeGuid(static_cast<uint32_t>(number), 0, 0);
  task.strTaskName = L"failover " + std::to_wstring(number) + L" v" + std::to_wstring(version);
  for (int i = 0; i < kItemsPerTask; ++i) {
    SQZGeZhuanItemInfo item;
    item.guidTask = task.guidTaskID;
    item.guidItem =
        MakeGuid(static_cast<uint32_t>(number), static_cast<uint16_t>(version + 1), static_cast<uint16_t>(i + 1));
    item.strItemName = L"v" + std::to_wstring(version) + L" item " + std::to_wstring(i);
    item.nIndex = i;
    item.dwTrimOut = static_cast<uint32_t>(version);
    task.arrItems.push_back(item);
  }
  return task;
}

// The version a task's name carries; -1 when it carries none.
int VersionOf(const std::wstring& name) {
  const size_t mark = name.rfind(L" v");
  return mark == std::wstring::npos ? -1 : std::stoi(name.substr(mark + 2));
}

// What the library answered the writer, per task.
struct TaskLedger {
  bool added = false;             // an AddGeZhuanTasks call holding it answered 1
  int acknowledged_version = -1;  // the version of the last write of it that answered 1
  int last_version = -1;          // the last version tried, whatever the answer
};

class FailoverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QZ_SKIP_WITHOUT_CLUSTER(cluster_);
    std::wstring error;
    ASSERT_EQ(QZNVGeZhuanCreateTables(cluster_.Node(), &error), 1) << std::string(error.begin(), error.end());
    ASSERT_TRUE(cluster_.Execute(L"delete from GeZhuanTaskItem"));
    ASSERT_TRUE(cluster_.Execute(L"delete from GeZhuanTaskInfo"));
    // Each failed call writes its SQL text; during a failover there are
    // many, and they are expected.
    QZNVGeZhuanSetDebugOutput([this](const std::wstring&) { ++debug_lines_; });
  }

  void TearDown() override { QZNVGeZhuanSetDebugOutput(nullptr); }

  // Adds one or two new tasks, or rewrites an added one with new items.
  void WriterLoop(CQZNVGeZhuanDBControl* control) {
    int next_number = 1;
    for (int round = 0; !stop_; ++round) {
      ++writer_calls_;
      int answer = 0;
      std::vector<int> numbers;
      std::vector<SQZGeZhuanTaskInfo> tasks;
      int modified = 0;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if ((round % 2 == 1 || added_.size() >= kMaxTasks) && !added_.empty()) {
          modified = added_[static_cast<size_t>(round * 7) % added_.size()];
          tasks.push_back(MakeTask(modified, ++ledger_[modified].last_version));
        } else {
          for (int i = 0; i < 1 + round % 3 % 2; ++i) {
            numbers.push_back(next_number);
            ledger_[next_number].last_version = 0;
            tasks.push_back(MakeTask(next_number++, 0));
          }
        }
      }
      answer = modified ? control->ModifyGeZhuanTaskAll(&tasks[0]) : control->AddGeZhuanTasks(&tasks);
      const Clock::time_point done = Clock::now();
      std::lock_guard<std::mutex> lock(mutex_);
      if (answer == 1) {
        if (done > promoted_ && writer_back_at_ == Clock::time_point{}) writer_back_at_ = done;
        ++writer_successes_;
        if (modified) ledger_[modified].acknowledged_version = ledger_[modified].last_version;
        for (int number : numbers) {
          ledger_[number].added = true;
          ledger_[number].acknowledged_version = 0;
          added_.push_back(number);
        }
      } else {
        ++writer_failures_;
      }
      if (answer != 1) std::this_thread::sleep_for(milliseconds(20));
    }
  }

  // Lists every task; an answer of 1 must hold every task added before the
  // call began, each whole.
  void ReaderLoop(CQZNVGeZhuanDBControl* control) {
    while (!stop_) {
      std::set<int> expected;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        expected.insert(added_.begin(), added_.end());
      }
      std::vector<SQZGeZhuanTaskInfo> tasks;
      const int answer = control->GetGeZhuanTasksByCondition(L"", &tasks);
      const Clock::time_point done = Clock::now();
      if (answer != 1) {
        ++reader_failures_;
        std::this_thread::sleep_for(milliseconds(20));
        continue;
      }
      std::string problem;
      for (const SQZGeZhuanTaskInfo& task : tasks) {
        expected.erase(static_cast<int>(task.guidTaskID.Data1));
        if (!problem.empty()) continue;
        // The row and the items are read by separate queries, so a rewrite
        // between them may give newer items than the row; but the items
        // are always one write's whole set.
        const int version = task.arrItems.empty() ? -1 : static_cast<int>(task.arrItems[0].dwTrimOut);
        bool whole = task.arrItems.size() == kItemsPerTask && version >= VersionOf(task.strTaskName);
        for (size_t i = 0; whole && i < task.arrItems.size(); ++i)
          whole =
              task.arrItems[i].nIndex == static_cast<int>(i) && static_cast<int>(task.arrItems[i].dwTrimOut) == version;
        if (!whole) problem = "a listing answered 1 with task " + std::to_string(task.guidTaskID.Data1) + " not whole";
      }
      if (problem.empty() && !expected.empty())
        problem = "a listing answered 1 without " + std::to_string(expected.size()) + " task(s) added before it began";
      std::lock_guard<std::mutex> lock(mutex_);
      if (!problem.empty()) reader_problems_.push_back(problem);
      if (done > promoted_ && reader_back_at_ == Clock::time_point{}) reader_back_at_ = done;
      ++reader_successes_;
    }
  }

  // Waits until the writer has had `calls` more successes.
  void LetWriterSucceed(int calls) {
    const int target = writer_successes_ + calls;
    const Clock::time_point give_up = Clock::now() + kRecoveryGiveUp;
    while (writer_successes_ < target && Clock::now() < give_up) std::this_thread::sleep_for(milliseconds(5));
  }

  // Waits until the writer starts its next call, then offset more, so that
  // the switches land at different moments of a call.
  void WaitIntoACall(milliseconds offset) {
    const int calls = writer_calls_;
    const Clock::time_point give_up = Clock::now() + kRecoveryGiveUp;
    while (writer_calls_ == calls && Clock::now() < give_up) std::this_thread::yield();
    std::this_thread::sleep_for(offset);
  }

  // Waits for the writer's and the reader's first answer of 1 after the
  // promotion and prints how long each took; a test failure past the bound.
  void MeasureRecovery(const char* what, Clock::time_point stopped) {
    const Clock::time_point give_up = Clock::now() + kRecoveryGiveUp;
    Clock::time_point promoted, writer, reader;
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        promoted = promoted_;
        writer = writer_back_at_;
        reader = reader_back_at_;
      }
      if ((writer != Clock::time_point{} && reader != Clock::time_point{}) || Clock::now() > give_up) break;
      std::this_thread::sleep_for(milliseconds(5));
    }
    ASSERT_TRUE(writer != Clock::time_point{}) << what << ": the writer never answered 1 again";
    ASSERT_TRUE(reader != Clock::time_point{}) << what << ": the reader never answered 1 again";
    const double writer_seconds = SecondsBetween(promoted, writer);
    const double reader_seconds = SecondsBetween(promoted, reader);
    std::printf("%-30s stop to promoted %.3f s; then the writer answered 1 after %.3f s, the reader after %.3f s\n",
                what, SecondsBetween(stopped, promoted), writer_seconds, reader_seconds);
    EXPECT_LT(writer_seconds, kRecoveryBoundSeconds) << what;
    EXPECT_LT(reader_seconds, kRecoveryBoundSeconds) << what;
  }

  // One switch: the primary stopped at once (or fenced), the standby
  // promoted after pause.
  void Switch(const char* what, const char* take_down, milliseconds offset, milliseconds pause) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      promoted_ = Clock::time_point::max();
      writer_back_at_ = reader_back_at_ = Clock::time_point{};
    }
    WaitIntoACall(offset);
    const Clock::time_point stopped = Clock::now();
    ASSERT_TRUE(cluster_.Run(take_down));
    std::this_thread::sleep_for(pause);
    ASSERT_TRUE(cluster_.Run("promote"));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      promoted_ = Clock::now();
    }
    MeasureRecovery(what, stopped);
  }

  qz::testing::PostgresCluster cluster_;
  std::atomic<int> debug_lines_{0};
  std::atomic<bool> stop_{false};

  std::mutex mutex_;
  std::map<int, TaskLedger> ledger_;
  std::vector<int> added_;
  // The end of the last promotion (the far future while one is under way),
  // and the first answers of 1 that came after it.
  Clock::time_point promoted_ = Clock::time_point::max();
  Clock::time_point writer_back_at_, reader_back_at_;
  std::vector<std::string> reader_problems_;

  std::atomic<int> writer_calls_{0}, writer_successes_{0}, writer_failures_{0};
  std::atomic<int> reader_successes_{0}, reader_failures_{0};
};

TEST_F(FailoverTest, AnsweredWritesSurviveSwitchesAndTheLibraryFollowsWithoutReopening) {
  CQZNVGeZhuanDBControl writer, reader;
  ASSERT_EQ(writer.OpenQZNVGeZhuanDB(cluster_.Node()), 1);
  ASSERT_EQ(reader.OpenQZNVGeZhuanDB(cluster_.Node()), 1);
  std::thread writing([&] { WriterLoop(&writer); });
  std::thread reading([&] { ReaderLoop(&reader); });
  // Both threads must end whatever an assertion below does.
  struct Joiner {
    std::atomic<bool>& stop;
    std::thread& a;
    std::thread& b;
    ~Joiner() {
      stop = true;
      if (a.joinable()) a.join();
      if (b.joinable()) b.join();
    }
  } joiner{stop_, writing, reading};

  LetWriterSucceed(30);
  // At once, as a failover manager would; the writer is in a call.
  Switch("stop, promote at once", "stop-primary", milliseconds(0), milliseconds(0));
  LetWriterSucceed(30);
  // The old primary comes back as the new one's synchronous standby while
  // the writer goes on.
  ASSERT_TRUE(cluster_.Run("rejoin"));
  LetWriterSucceed(30);
  // Both servers down for a while, further into a call.
  Switch("stop, promote after 0.5 s", "stop-primary", milliseconds(3), milliseconds(500));
  LetWriterSucceed(30);
  ASSERT_TRUE(cluster_.Run("rejoin"));
  LetWriterSucceed(30);
  // The site fences a running primary read-only before promoting.
  Switch("fence read-only, promote", "fence", milliseconds(1), milliseconds(200));
  LetWriterSucceed(30);
  ASSERT_TRUE(cluster_.Run("rejoin"));
  LetWriterSucceed(30);
  Switch("stop, promote at once (again)", "stop-primary", milliseconds(6), milliseconds(0));
  LetWriterSucceed(30);
  stop_ = true;
  if (writing.joinable()) writing.join();
  if (reading.joinable()) reading.join();

  std::printf("writer: %d answered 1, %d answered 0; reader: %d answered 1, %d answered 0 (listings cut)\n",
              writer_successes_.load(), writer_failures_.load(), reader_successes_.load(), reader_failures_.load());
  for (const std::string& problem : reader_problems_) ADD_FAILURE() << problem;
  EXPECT_GT(writer_failures_.load(), 0) << "no switch reached the writer";

  // Everything as the new primary holds it, read by a connection of its own.
  CQZNVGeZhuanDBControl check;
  ASSERT_EQ(check.OpenQZNVGeZhuanDB(cluster_.Node()), 1);
  std::vector<SQZGeZhuanTaskInfo> stored;
  ASSERT_EQ(check.GetGeZhuanTasksByCondition(L"", &stored), 1);
  std::vector<SQZGeZhuanItemInfo> all_items;
  ASSERT_EQ(check.GetGeZhuanItemsByCondition(L"", &all_items), 1);

  std::map<int, const SQZGeZhuanTaskInfo*> by_number;
  for (const SQZGeZhuanTaskInfo& task : stored) by_number[static_cast<int>(task.guidTaskID.Data1)] = &task;
  size_t expected_items = 0;
  for (const auto& [number, ledger] : ledger_) {
    const auto found = by_number.find(number);
    if (!ledger.added) {
      // Its add answered 0 and it was never rewritten: nothing of it.
      EXPECT_EQ(found, by_number.end()) << "task " << number << ": its add answered 0, yet its row is stored";
      continue;
    }
    ASSERT_NE(found, by_number.end()) << "task " << number << ": its add answered 1, but it is gone";
    const SQZGeZhuanTaskInfo& task = *found->second;
    EXPECT_EQ(VersionOf(task.strTaskName), ledger.acknowledged_version)
        << "task " << number << ": the row is not the last write that answered 1 (last tried " << ledger.last_version
        << ")";
    ASSERT_EQ(task.arrItems.size(), static_cast<size_t>(kItemsPerTask)) << "task " << number;
    for (int i = 0; i < kItemsPerTask; ++i) {
      EXPECT_EQ(task.arrItems[i].nIndex, i) << "task " << number;
      EXPECT_EQ(static_cast<int>(task.arrItems[i].dwTrimOut), ledger.acknowledged_version)
          << "task " << number << ": item " << i << " is not from the last write that answered 1";
    }
    expected_items += kItemsPerTask;
  }
  // No row or item the ledger does not account for (a write that answered
  // 0 leaving something behind under a number it never acknowledged).
  EXPECT_EQ(stored.size(), added_.size());
  EXPECT_EQ(all_items.size(), expected_items);
  std::printf("stored: %zu tasks, %zu items, all as answered\n", stored.size(), all_items.size());
  check.CloseQZNVGeZhuanDB();
  writer.CloseQZNVGeZhuanDB();
  reader.CloseQZNVGeZhuanDB();
}

}  // namespace
