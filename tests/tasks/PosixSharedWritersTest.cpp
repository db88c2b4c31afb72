// Several programs writing one database at once, each a process of its own:
// no call that could have waited for the others fails, and every call
// answered 1 is stored. And a writer that keeps the database locked longer
// than the others wait makes them answer 0 with their SQL text logged, not
// hang and not fail at once.
#include <QZNVGeZhuanHost.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"
#include "support/NumberedTask.h"
#include "support/WriterProcesses.h"
#include "tasks/StoreFixture.h"

namespace qz::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kShared = 0x5A;

// The task writer edits, and the one it adds by its call number, named
// "shared <number>", with items.
SQZGeZhuanTaskInfo Task(uint32_t number, const std::wstring& hint, int items) {
  SQZGeZhuanTaskInfo task = NumberedTask(number, kShared, L"shared ", items);
  task.strTaskHint = hint;
  return task;
}
uint32_t OwnTask(int writer) { return 7000 + static_cast<uint32_t>(writer); }
uint32_t AddedTask(int writer, int call) { return 10000 + static_cast<uint32_t>(writer * 1000 + call); }

std::wstring Hint(int writer, int call) {
  return L"writer " + std::to_wstring(writer) + L" call " + std::to_wstring(call);
}

class SharedWritersTest : public StoreTest {};

// What one writer process does: calls in turn an edit of its own task and
// an add of a new task with two items, as the suite's services do, and
// reports how many answered 0 and the first line they logged.
std::string WriteInTurn(const DBsSetNode& node, int writer, int calls, const StartGate& gate) {
  std::wstring first_line;
  QZNVGeZhuanSetDebugOutput([&](const std::wstring& line) {
    if (first_line.empty()) first_line = line;
  });
  CQZNVGeZhuanDBControl control;
  if (!control.OpenQZNVGeZhuanDB(node)) return "not connected";
  gate.Wait();
  int zeros = 0;
  for (int call = 0; call < calls; ++call) {
    if (call % 2 == 0) {
      SQZGeZhuanTaskInfo task = Task(OwnTask(writer), Hint(writer, call), 0);
      zeros += control.ModifyGeZhuanTaskOnly(&task) ? 0 : 1;
    } else {
      std::vector<SQZGeZhuanTaskInfo> tasks{Task(AddedTask(writer, call), Hint(writer, call), 2)};
      zeros += control.AddGeZhuanTasks(&tasks) ? 0 : 1;
    }
  }
  control.CloseQZNVGeZhuanDB();
  return "zeros " + std::to_string(zeros) + (zeros ? " first " + platform::WideToUtf8(first_line) : "");
}

TEST_P(SharedWritersTest, ProgramsWritingAtOnceAllSucceed) {
  constexpr int kCalls = 900;  // in all, per round
  for (int writers : {2, 4}) {
    SCOPED_TRACE(std::to_string(writers) + " writers");
    StartAfresh();
    for (int w = 0; w < writers; ++w) {
      std::vector<SQZGeZhuanTaskInfo> own{Task(OwnTask(w), L"", 0)};
      ASSERT_EQ(control_.AddGeZhuanTasks(&own), 1);
    }
    const int calls = kCalls / writers;
    const DBsSetNode node = db_->Node();
    const std::vector<ProcessReport> reports = RunInProcesses(
        writers, [&](int writer, const StartGate& gate) { return WriteInTurn(node, writer, calls, gate); });
    for (int w = 0; w < writers; ++w) {
      EXPECT_TRUE(reports[w].exited_normally) << "writer " << w;
      EXPECT_EQ(reports[w].text, "zeros 0") << "writer " << w;
    }

    // Every answered 1 is there: each writer's last edit, and every task it
    // added with both items.
    const int last_edit = (calls - 1) / 2 * 2;
    for (int w = 0; w < writers; ++w) {
      EXPECT_EQ(db_->QueryText(L"select strTaskHint as v from GeZhuanTaskInfo where guidTaskID = '" +
                               conversions::GuidToText(Task(OwnTask(w), L"", 0).guidTaskID) + L"'"),
                Hint(w, last_edit));
    }
    EXPECT_EQ(Count(L"GeZhuanTaskInfo", L"strTaskName like 'shared %'"), writers + writers * (calls / 2));
    EXPECT_EQ(Count(L"GeZhuanTaskItem"), 2 * writers * (calls / 2));
  }
}

// Another program holds the write lock for longer than a writer waits: the
// writer waits the busy timeout out (it neither fails at once nor hangs),
// then answers 0 and logs its SQL text; the engine's error says why.
TEST(SharedSqliteWriterTest, AWriterThatWaitsTooLongAnswersZero) {
  std::unique_ptr<EngineDatabase> db = MakeEngineDatabase("SQLite");
  ASSERT_NE(db, nullptr);
  CQZNVGeZhuanDBControl control;
  ASSERT_EQ(control.OpenQZNVGeZhuanDB(db->Node()), 1);
  DebugCapture debug;
  const SQZGeZhuanTaskInfo task = Task(OwnTask(0), L"", 0);
  std::vector<SQZGeZhuanTaskInfo> tasks{task};
  ASSERT_EQ(control.AddGeZhuanTasks(&tasks), 1);
  const DBsSetNode node = db->Node();
  const std::filesystem::path release = std::filesystem::u8path(platform::WideToUtf8(node.strConnect1)) / "release";

  // The holder writes in a transaction it keeps open until this process
  // creates the release file (or for a minute at most).
  auto hold = [&](int, const StartGate& gate) -> std::string {
    CQZDatabase database;
    database.Connect(QZDB_SQLITE, node.strConnect1, node.strConnect2, L"", L"");
    database.BeginTrans();
    CQZRecordSet set(&database);
    set.Open(L"update GeZhuanTaskInfo set strTaskHint = 'held'", ROWOPERATION_WRITE);
    gate.Wait();
    const Clock::time_point give_up = Clock::now() + std::chrono::minutes(1);
    while (!std::filesystem::exists(release) && Clock::now() < give_up)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    database.Rollback();
    return "held";
  };
  SQZGeZhuanTaskInfo changed = task;
  changed.strTaskHint = L"changed";
  auto meanwhile = [&] {
    // The engine's error says that another connection kept this one waiting.
    // (PRAGMA busy_timeout sets how long this one connection waits.)
    CQZDatabase probe;
    probe.Connect(QZDB_SQLITE, node.strConnect1, node.strConnect2, L"", L"");
    CQZRecordSet(&probe).Open(L"PRAGMA busy_timeout = 50", ROWOPERATION_READONLY);
    auto error_of = [](const std::function<void()>& step) {
      std::wstring error;
      try {
        step();
      } catch (CQZDBException* e) {
        error = e->GetErrorMessage();
        e->Delete();
      }
      return error;
    };
    for (const std::wstring& error : {error_of([&] { probe.BeginTrans(); }), error_of([&] {
                                        CQZRecordSet(&probe).Open(L"delete from GeZhuanTaskItem", ROWOPERATION_WRITE);
                                      })}) {
      EXPECT_NE(error.find(L"database is locked"), std::wstring::npos) << platform::WideToUtf8(error);
      EXPECT_NE(error.find(L"another connection"), std::wstring::npos) << platform::WideToUtf8(error);
    }

    const Clock::time_point start = Clock::now();
    EXPECT_EQ(control.ModifyGeZhuanTaskOnly(&changed), 0);
    const double waited = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GT(waited, 4.5);  // the driver's busy timeout is 5 s
    EXPECT_LT(waited, 30.0);
    EXPECT_EQ(debug.lines(), std::vector<std::wstring>{L"select * from GeZhuanTaskInfo where guidTaskID = '" +
                                                       conversions::GuidToText(task.guidTaskID) + L"'"});
    std::ofstream(release).put('x');
  };
  const std::vector<ProcessReport> holder = RunInProcesses(1, hold, meanwhile);
  EXPECT_EQ(holder[0].text, "held");
  // Once the lock is let go, the same call goes through.
  EXPECT_EQ(control.ModifyGeZhuanTaskOnly(&changed), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, SharedWritersTest, ::testing::ValuesIn(EngineNames()), EngineName());

}  // namespace
}  // namespace qz::testing
