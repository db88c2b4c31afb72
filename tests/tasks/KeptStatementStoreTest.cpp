// The statements a connection keeps prepared between calls are invisible to
// the caller, on every engine: another connection changing the tables under
// them (a column added, a column dropped) changes no answer, and a condition
// that reads the clock ("now") answers by the clock of each call, not of the
// call that first prepared it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"
#include "records/RecordColumns.h"
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

// Another program, the sqlite3 command-line client, rebuilds both tables
// with their columns in another order between reads by key that this
// connection has made often enough to keep their statements and the
// positions its row mappings found in them: each read finds every column
// where it now stands.
TEST_P(KeptStatementStoreTest, ColumnsAnotherProgramMovesAreReadWhereTheyNowStand) {
#if defined(_WIN32)
  GTEST_SKIP() << "the sqlite3 command-line client is a program of the build machine";
#endif
  if (GetParam() != "SQLite") GTEST_SKIP() << "the columns are moved by the sqlite3 client";
  SQZGeZhuanTaskInfo task = TaskWithItems(1, L"first", 2);
  task.strTaskHint = L"hint";
  task.guidPreferUser = TestGuid(7);
  task.enumTaskType = 5;
  task.strDSTDeviceName = L"last column";
  std::vector<SQZGeZhuanTaskInfo> tasks = {task};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  auto read_goes_wrong = [&]() -> std::string {
    std::vector<SQZGeZhuanTaskInfo> listed;
    if (control_.GetGeZhuanTasksByCondition(L"guidTaskID = '" + GuidToText(task.guidTaskID) + L"'", &listed) != 1)
      return "the read answered 0";
    if (listed.size() != 1) return "the read found " + std::to_string(listed.size()) + " tasks";
    const SQZGeZhuanTaskInfo& got = listed[0];
    if (!(got.guidTaskID == task.guidTaskID) || got.strTaskName != task.strTaskName ||
        got.strTaskHint != task.strTaskHint || !(got.guidPreferUser == task.guidPreferUser) ||
        got.enumTaskType != task.enumTaskType || got.dwDuration != task.dwDuration ||
        got.strDSTDeviceName != task.strDSTDeviceName)
      return "a task column was read from another column";
    if (got.arrItems.size() != 2) return "the task came with " + std::to_string(got.arrItems.size()) + " items";
    for (size_t i = 0; i < 2; ++i) {
      const SQZGeZhuanItemInfo& item = got.arrItems[i];
      if (!(item.guidItem == task.arrItems[i].guidItem) || item.strItemName != task.arrItems[i].strItemName ||
          item.nIndex != task.arrItems[i].nIndex || !(item.guidTask == task.guidTaskID))
        return "an item column was read from another column";
    }
    return "";
  };
  for (int call = 0; call < 3; ++call) ASSERT_EQ(read_goes_wrong(), "") << "before the change, call " << call;

  // Each table is rebuilt with its columns the other way round, and the
  // items with one more in front.
  std::wstring reversed;
  for (const auto& column : records::RecordTable<SQZGeZhuanTaskInfo>::kColumns)
    reversed = std::wstring(column.name) + (reversed.empty() ? L"" : L", ") + reversed;
  const DBsSetNode node = db_->Node();
  const std::string command = "sqlite3 '" + platform::WideToUtf8(node.strConnect1 + L"/" + node.strConnect2) +
                              "' \"ALTER TABLE GeZhuanTaskInfo RENAME TO OldInfo; "
                              "CREATE TABLE GeZhuanTaskInfo AS SELECT " +
                              platform::WideToUtf8(reversed) +
                              " FROM OldInfo; DROP TABLE OldInfo; "
                              "ALTER TABLE GeZhuanTaskItem RENAME TO OldItem; "
                              "CREATE TABLE GeZhuanTaskItem AS SELECT 'x' AS strInFront, nIndex, dwLength, dwTrimOut, "
                              "dwTrimIn, nItemType, strItemName, guidItem, guidTask, ItemRowID FROM OldItem; "
                              "DROP TABLE OldItem;\"";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (int call = 0; call < 3; ++call) EXPECT_EQ(read_goes_wrong(), "") << "after the change, call " << call;
  EXPECT_TRUE(debug_.lines().empty()) << debug_.lines().front();
}

QZ_INSTANTIATE_ON_EVERY_ENGINE(KeptStatementStoreTest);

}  // namespace
}  // namespace qz::testing
