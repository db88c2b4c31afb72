// The statements a connection keeps prepared between calls are invisible to
// the caller, on every engine: another connection changing the tables under
// them (a column added, a column dropped) changes no answer, and a condition
// that reads the clock ("now") answers by the clock of each call, not of the
// call that first prepared it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "conversions/Conversions.h"
#include "tasks/StoreFixture.h"

namespace qz::testing {
namespace {

using conversions::GuidToText;

SQZGeZhuanTaskInfo TaskWithItems(uint32_t seed, const std::wstring& name, size_t item_count) {
  SQZGeZhuanTaskInfo task;
  task.guidTaskID = TestGuid(seed);
  task.strTaskName = name;
  task.dwDuration = seed;
  for (size_t i = 0; i < item_count; ++i) {
    SQZGeZhuanItemInfo item;
    item.guidTask = task.guidTaskID;
    item.guidItem = TestGuid(seed * 100 + static_cast<uint32_t>(i));
    item.strItemName = name + L" item " + std::to_wstring(i);
    item.nIndex = static_cast<int32_t>(i);
    task.arrItems.push_back(item);
  }
  return task;
}

bool IsEngine(const std::string& engine, const char* product) { return engine.find(product) != std::string::npos; }

class KeptStatementStoreTest : public StoreTest {
 protected:
  // What the three kinds of call answer that a caller makes all day, each
  // checked against the data; a line per call that went wrong, empty when
  // all went right. round makes each edit write a name of its own.
  std::vector<std::string> CallsGoWrong(int round) {
    std::vector<std::string> wrong;
    // Listing by a condition with a literal (a kept shape) and without one.
    std::vector<SQZGeZhuanTaskInfo> listed;
    if (control_.GetGeZhuanTasksByCondition(L"guidTaskID = '" + GuidToText(TestGuid(1)) + L"'", &listed) != 1)
      wrong.push_back("listing one task answered 0");
    else if (listed.size() != 1 || listed[0].arrItems.size() != 2)
      wrong.push_back("listing one task read the wrong rows");
    listed.clear();
    if (control_.GetGeZhuanTasksByCondition(L"", &listed) != 1 || listed.size() != 2)
      wrong.push_back("listing every task went wrong");

    // Editing by key: the row is read, then rewritten.
    SQZGeZhuanTaskInfo edited = TaskWithItems(2, L"edited " + std::to_wstring(round), 0);
    if (control_.ModifyGeZhuanTaskOnly(&edited) != 1) wrong.push_back("editing a task answered 0");
    listed.clear();
    if (control_.GetGeZhuanTasksByCondition(L"guidTaskID = '" + GuidToText(TestGuid(2)) + L"'", &listed) != 1 ||
        listed.size() != 1 || listed[0].strTaskName != edited.strTaskName || listed[0].arrItems.size() != second_items_)
      wrong.push_back("the edit was not stored");

    // Reading items by a condition.
    std::vector<SQZGeZhuanItemInfo> items;
    if (control_.GetGeZhuanItemsByCondition(L"guidTask = '" + GuidToText(TestGuid(1)) + L"' order by nIndex", &items) !=
        1)
      wrong.push_back("reading items answered 0");
    else if (items.size() != 2 || items[0].strItemName != L"first item 0" || items[1].nIndex != 1)
      wrong.push_back("reading items read the wrong rows");
    return wrong;
  }

  size_t second_items_ = 1;  // the items task 2 has
};

using Lines = std::vector<std::string>;

// Another connection adds a column to both tables, then drops it again,
// between calls that this connection has made often enough to keep their
// statements: every call still answers 1 with the right data, the first
// one after each change included.
TEST_P(KeptStatementStoreTest, TablesChangedByAnotherConnection) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {TaskWithItems(1, L"first", 2), TaskWithItems(2, L"second", 1)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  int round = 0;
  for (; round < 3; ++round) ASSERT_EQ(CallsGoWrong(round), Lines{}) << "before any change, round " << round;

  const std::wstring type = L" varchar(20)";
  for (const wchar_t* table : {L"GeZhuanTaskInfo", L"GeZhuanTaskItem"})
    ASSERT_TRUE(db_->Execute(std::wstring(L"ALTER TABLE ") + table + L" ADD COLUMN strAddedLater" + type));
  for (int after = 0; after < 2; ++after, ++round)
    EXPECT_EQ(CallsGoWrong(round), Lines{}) << "after a column was added, call " << after;

  for (const wchar_t* table : {L"GeZhuanTaskInfo", L"GeZhuanTaskItem"})
    ASSERT_TRUE(db_->Execute(std::wstring(L"ALTER TABLE ") + table + L" DROP COLUMN strAddedLater"));
  for (int after = 0; after < 2; ++after, ++round)
    EXPECT_EQ(CallsGoWrong(round), Lines{}) << "after the column was dropped, call " << after;

  // A task and its items rewritten in one transaction, after yet another
  // change: the transaction's first statement is a kept one.
  ASSERT_TRUE(db_->Execute(L"ALTER TABLE GeZhuanTaskInfo ADD COLUMN nAddedLater integer"));
  SQZGeZhuanTaskInfo whole = TaskWithItems(2, L"rewritten", 3);
  EXPECT_EQ(control_.ModifyGeZhuanTaskAll(&whole), 1);
  EXPECT_EQ(Count(L"GeZhuanTaskItem", L"guidTask = '" + GuidToText(TestGuid(2)) + L"'"), 3);
  second_items_ = 3;
  EXPECT_EQ(CallsGoWrong(round), Lines{}) << "after a transaction";
  EXPECT_TRUE(debug_.lines().empty()) << debug_.lines().front();
}

// A condition on the database's clock, asked again and again while the
// begin times of two tasks pass: the answer follows the clock. (PostgreSQL
// reads 'now' in a typed literal when it parses the statement.)
TEST_P(KeptStatementStoreTest, ConditionOnTheClockFollowsTheClock) {
  const std::string& engine = GetParam();
  std::wstring now, in;  // now, and now plus %d seconds
  if (IsEngine(engine, "PostgreSQL")) {
    now = L"timestamp 'now'";
    in = L"localtimestamp(0) + interval '%d seconds'";
  } else if (IsEngine(engine, "SQLite")) {
    now = L"datetime('now', 'localtime')";
    in = L"datetime('now', 'localtime', '+%d seconds')";
  } else {
    now = L"now()";
    in = L"now() + interval %d second";
  }
  auto seconds_from_now = [&](int seconds) {
    const size_t mark = in.find(L"%d");
    return in.substr(0, mark) + std::to_wstring(seconds) + in.substr(mark + 2);
  };
  std::vector<SQZGeZhuanTaskInfo> tasks = {TaskWithItems(1, L"first", 0), TaskWithItems(2, L"second", 0)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  ASSERT_TRUE(db_->Execute(L"update GeZhuanTaskInfo set odtTaskBeginDateTime = " + seconds_from_now(2) +
                           L" where strTaskName = 'first'"));
  ASSERT_TRUE(db_->Execute(L"update GeZhuanTaskInfo set odtTaskBeginDateTime = " + seconds_from_now(3) +
                           L" where strTaskName = 'second'"));

  const std::wstring condition = L"odtTaskBeginDateTime < " + now;
  auto begun = [&] {
    std::vector<SQZGeZhuanTaskInfo> listed;
    const int answer = control_.GetGeZhuanTasksByCondition(condition, &listed);
    return answer == 1 ? static_cast<int>(listed.size()) : 0;
  };
  // Asked often enough at once that a connection would keep the statement.
  for (int call = 0; call < 3; ++call) ASSERT_EQ(begun(), 0) << "call " << call;
  std::vector<int> seen;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(4500);
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    seen.push_back(begun());
  } while (seen.back() < 2 && std::chrono::steady_clock::now() < end);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1], seen[i]) << "call " << i;
  EXPECT_EQ(seen.back(), 2) << "both begin times have passed";
  EXPECT_NE(std::find(seen.begin(), seen.end(), 1), seen.end()) << "no call saw one task begun";
}

QZ_INSTANTIATE_ON_EVERY_ENGINE(KeptStatementStoreTest);

}  // namespace
}  // namespace qz::testing
