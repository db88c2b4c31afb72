// The task store's conversation with the access component, on the scripted
// driver: the exact SQL texts and open modes, the order of calls, what is
// logged on each failure path, and that nothing is called when an operation
// has no connection or a bad argument.
#include <gtest/gtest.h>

#include <functional>

#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"
#include "support/ScriptedDriver.h"
#include "tasks/StoreFixture.h"

namespace qz::testing {
namespace {

using conversions::GuidToText;
using Calls = std::vector<std::string>;
using Lines = std::vector<std::wstring>;

const char* const kTaskColumns[] = {
    "guidTaskID",          "strTaskName",         "strTaskHint",          "strPreferUserName",  "guidPreferUser",
    "strFirstAuditorName", "guidFirstAuditor",    "strSecondAuditorname", "guidSecondAuditor",  "strFirstAuditInfo",
    "strSecondAuditInfo",  "odtTaskPrepareBegin", "odtTaskBeginDateTime", "odtTaskEndDateTime", "dwDuration",
    "enumTaskType",        "enumTaskEditStatus",  "enumTaskRunStatus",    "strOrgTapeTypeName", "guidOrgTapeType",
    "strDSTTapeTypeName",  "guidDSTTapeType",     "ORGDeviceGuid",        "DSTDeviceGuid",      "ORGVAPortGuid",
    "DSTVAPortGuid",       "ORGCtrlPortGuid",     "DSTCtrlPortGuid",      "strORGDeviceName",   "strDSTDeviceName"};
const char* const kItemColumns[] = {"guidTask", "guidItem",  "strItemName", "nItemType",
                                    "dwTrimIn", "dwTrimOut", "dwLength",    "nIndex"};

std::string Narrow(const std::wstring& text) { return platform::WideToUtf8(text); }
std::string Open(const std::wstring& sql, int mode) { return "Open(" + Narrow(sql) + "|" + std::to_string(mode) + ")"; }

// AddNew or Edit of table, the column assignments in order, Update.
Calls RowWrite(const std::string& first, const char* const* columns, size_t count) {
  Calls calls = {first};
  for (size_t i = 0; i < count; ++i) calls.push_back(std::string("SetFieldValue(") + columns[i] + ")");
  calls.push_back("Update");
  return calls;
}
Calls TaskRow(const std::string& first = "AddNew(GeZhuanTaskInfo)") {
  return RowWrite(first, kTaskColumns, std::size(kTaskColumns));
}
Calls ItemRow() { return RowWrite("AddNew(GeZhuanTaskItem)", kItemColumns, std::size(kItemColumns)); }

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

SQZGeZhuanTaskInfo Task(uint32_t seed, size_t items) {
  SQZGeZhuanTaskInfo task;
  task.guidTaskID = TestGuid(seed);
  task.strTaskName = L"  name \x3000";
  task.dwDuration = 4294967295u;
  for (size_t i = 0; i < items; ++i) {
    SQZGeZhuanItemInfo item;
    item.guidTask = task.guidTaskID;
    item.nIndex = static_cast<int32_t>(i);
    task.arrItems.push_back(item);
  }
  return task;
}

// A row of the task table as a query delivers it.
Row TaskRowOf(const GUID& id) { return Row{{L"guidTaskID", V(GuidToText(id))}}; }

class TaskScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(control_.OpenQZNVGeZhuanDB(DBsSetNode()), 1);
    script().calls.clear();
  }
  Script& script() { return driver_.script(); }

  // The calls that reach the database, without the usability checks that
  // every Open and IsConnectted make, and without reads of single values.
  Calls Calls_() {
    Calls out;
    for (const std::string& call : script().calls)
      if (call != "IsConnectted" && call.rfind("GetValue", 0) != 0) out.push_back(call);
    return out;
  }
  Calls Of(std::initializer_list<const char*> kinds) {
    std::set<std::string> set(kinds.begin(), kinds.end());
    return script().CallsOf(set);
  }

  ScriptedDriver driver_;
  CQZNVGeZhuanDBControl control_;
  DebugCapture debug_;
};

TEST_F(TaskScriptTest, AddingTasksWritesRowsThenItemsInOneTransaction) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {Task(1, 0), Task(2, 2)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  EXPECT_EQ(Calls_(), Join({{"BeginTrans", Open(L"select * from GeZhuanTaskInfo", 1)},
                            TaskRow(),
                            TaskRow(),
                            {"CloseSet", "BeginTrans", Open(L"select * from GeZhuanTaskItem", 1)},
                            ItemRow(),
                            ItemRow(),
                            {"CloseSet", "CommitTrans", "CommitTrans"}}));

  // The values as assigned: GUID text, trimmed text, a dw's bits as a signed integer.
  const auto& assigned = script().assigned;
  ASSERT_EQ(assigned.size(), 2 * std::size(kTaskColumns) + 2 * std::size(kItemColumns));
  EXPECT_EQ(std::wstring(assigned[0].second.GetText()), GuidToText(TestGuid(1)));
  EXPECT_EQ(std::wstring(assigned[1].second.GetText()), L"name");
  EXPECT_EQ(assigned[14].second.GetType(), CQZDBVariant::TYPE_INTEGER);
  EXPECT_EQ(assigned[14].second.GetInt32(), -1);
  EXPECT_EQ(assigned[13].second.GetType(), CQZDBVariant::TYPE_DATETIME);
  EXPECT_DOUBLE_EQ(assigned[13].second.GetDateTime().m_dt, 2.0423726851851853);
  EXPECT_EQ(std::wstring(assigned[60].second.GetText()), GuidToText(TestGuid(2)));  // the first item's guidTask
  EXPECT_EQ(tasks[0].strTaskName, L"  name \x3000");
  EXPECT_TRUE(debug_.lines().empty());
}

TEST_F(TaskScriptTest, TheThirdUpdateThrowing) {
  struct Case {
    const char* name;
    std::function<int(CQZNVGeZhuanDBControl&)> call;
    std::wstring logged;
    Calls transactions;
  } const cases[] = {
      {"items",
       [](CQZNVGeZhuanDBControl& c) {
         const std::vector<SQZGeZhuanItemInfo> items(4);
         return c.AddGeZhuanItems(&items);
       },
       L"select * from GeZhuanTaskItem",
       {"BeginTrans", "Rollback"}},
      {"task rows",
       [](CQZNVGeZhuanDBControl& c) {
         const std::vector<SQZGeZhuanTaskInfo> tasks = {Task(1, 1), Task(2, 1), Task(3, 1)};
         return c.AddGeZhuanTasks(&tasks);
       },
       L"select * from GeZhuanTaskInfo",
       {"BeginTrans", "Rollback"}},
      {"the first task's items, after both task rows",
       [](CQZNVGeZhuanDBControl& c) {
         const std::vector<SQZGeZhuanTaskInfo> tasks = {Task(1, 1), Task(2, 1)};
         return c.AddGeZhuanTasks(&tasks);
       },
       L"select * from GeZhuanTaskItem",
       {"BeginTrans", "BeginTrans", "Rollback", "Rollback"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedDriver driver;
    DebugCapture debug;
    CQZNVGeZhuanDBControl control;
    ASSERT_EQ(control.OpenQZNVGeZhuanDB(DBsSetNode()), 1);
    driver.script().ThrowOn("Update", 3);
    EXPECT_EQ(c.call(control), 0);
    EXPECT_EQ(debug.lines(), Lines{c.logged});
    EXPECT_EQ(driver.script().CallsOf({"BeginTrans", "CommitTrans", "Rollback"}), c.transactions);
    EXPECT_EQ(driver.script().Count("Update"), 3);
    EXPECT_EQ(driver.script().Count("CloseSet"), driver.script().Count("Open"));
  }
}

// The item query of listed tasks: their keys, the last one repeated up to
// the query's key count, grouped by task and in nIndex order.
std::wstring ItemsOfTasks(uint32_t first_seed, uint32_t last_seed, size_t slots) {
  std::wstring sql = L"select * from GeZhuanTaskItem where guidTask in (";
  size_t k = 0;
  for (uint32_t seed = first_seed; seed <= last_seed; ++seed)
    sql += (k++ ? L", '" : L"'") + GuidToText(TestGuid(seed)) + L"'";
  for (; k < slots; ++k) sql += L", '" + GuidToText(TestGuid(last_seed)) + L"'";
  return sql + L") order by guidTask, nIndex";
}

TEST_F(TaskScriptTest, ListingQueriesTasksThenTheItemsOfManyTasksAtOnce) {
  script().QueueResult({TaskRowOf(TestGuid(1)), TaskRowOf(TestGuid(2))});
  const CQZDBVariant first = V(GuidToText(TestGuid(1)));
  script().QueueResult({Row{{L"guidTask", first}, {L"strItemName", V(L" a ")}, {L"nIndex", V(0)}},
                        Row{{L"guidTask", first}, {L"strItemName", V(L"b")}}});
  std::vector<SQZGeZhuanTaskInfo> tasks(5);
  ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"\tenumTaskType = 2 ", &tasks), 1);

  EXPECT_EQ(Of({"Open", "CloseSet"}), (Calls{Open(L"select * from GeZhuanTaskInfo where enumTaskType = 2", 0),
                                             "CloseSet", Open(ItemsOfTasks(1, 2, 16), 0), "CloseSet"}));
  ASSERT_EQ(tasks.size(), 2u);
  EXPECT_EQ(tasks.capacity(), 2u);
  EXPECT_TRUE(tasks[1].guidTaskID == TestGuid(2));
  ASSERT_EQ(tasks[0].arrItems.size(), 2u);
  EXPECT_EQ(tasks[0].arrItems.capacity(), 2u);
  EXPECT_EQ(tasks[0].arrItems[0].strItemName, L"a");
  EXPECT_TRUE(tasks[1].arrItems.empty());
  EXPECT_EQ(script().Count("MoveNext"), 4);
  EXPECT_TRUE(debug_.lines().empty());
}

// 1100 tasks take two item queries; when the second fails, the listing
// answers 0 and only the tasks of the first have their items.
TEST_F(TaskScriptTest, ListingFailsWhenAnItemQueryThrows) {
  std::vector<Row> task_rows;
  for (uint32_t seed = 1; seed <= 1100; ++seed) task_rows.push_back(TaskRowOf(TestGuid(seed)));
  script().QueueResult(task_rows);
  script().QueueResult({Row{{L"guidTask", V(GuidToText(TestGuid(1024)))}, {L"strItemName", V(L"a")}}});
  script().ThrowOn("Open", 3);
  std::vector<SQZGeZhuanTaskInfo> tasks;
  EXPECT_EQ(control_.GetGeZhuanTasksByCondition(L"", &tasks), 0);
  EXPECT_EQ(debug_.lines(), Lines{ItemsOfTasks(1025, 1100, 256)});
  EXPECT_EQ(script().Count("Open"), 3);
  ASSERT_EQ(tasks.size(), 1100u);
  EXPECT_EQ(tasks[1023].arrItems.size(), 1u);
  EXPECT_TRUE(tasks[1024].arrItems.empty());
}

TEST_F(TaskScriptTest, RewritingTheRowOnlyEditsTheFirstRowFoundInOneTransaction) {
  script().QueueResult({TaskRowOf(TestGuid(1))});
  const SQZGeZhuanTaskInfo task = Task(1, 2);
  ASSERT_EQ(control_.ModifyGeZhuanTaskOnly(&task), 1);
  EXPECT_EQ(
      Calls_(),
      Join({{"BeginTrans",
             Open(L"select * from GeZhuanTaskInfo where guidTaskID = '" + GuidToText(TestGuid(1)) + L"'", 1), "IsBOF"},
            TaskRow("Edit(GeZhuanTaskInfo)"),
            {"CloseSet", "CommitTrans"}}));
}

TEST_F(TaskScriptTest, RewritingTheRowAndItemsIsOneTransaction) {
  const std::wstring key = GuidToText(TestGuid(1));
  const SQZGeZhuanTaskInfo task = Task(1, 1);

  script().QueueResult({TaskRowOf(TestGuid(1))});
  ASSERT_EQ(control_.ModifyGeZhuanTaskAll(&task), 1);
  EXPECT_EQ(Of({"BeginTrans", "CommitTrans", "Rollback", "Open", "Edit", "AddNew"}),
            (Calls{"BeginTrans", Open(L"select * from GeZhuanTaskInfo where guidTaskID = '" + key + L"'", 1),
                   "Edit(GeZhuanTaskInfo)", Open(L"delete from GeZhuanTaskItem where guidTask = '" + key + L"'", 1),
                   "BeginTrans", Open(L"select * from GeZhuanTaskItem", 1), "AddNew(GeZhuanTaskItem)", "CommitTrans",
                   "CommitTrans"}));

  // No row of that GUID: nothing further is done.
  script().calls.clear();
  ASSERT_EQ(control_.ModifyGeZhuanTaskAll(&task), 0);
  EXPECT_EQ(
      Of({"BeginTrans", "CommitTrans", "Rollback", "Open"}),
      (Calls{"BeginTrans", Open(L"select * from GeZhuanTaskInfo where guidTaskID = '" + key + L"'", 1), "Rollback"}));
  EXPECT_TRUE(debug_.lines().empty());
}

TEST_F(TaskScriptTest, DeletingATaskIsOneTransaction) {
  const std::wstring key = GuidToText(TestGuid(1));
  ASSERT_EQ(control_.DeleteGeZhuanTask(TestGuid(1)), 1);
  EXPECT_EQ(Of({"BeginTrans", "CommitTrans", "Rollback", "Open"}),
            (Calls{"BeginTrans", Open(L"delete from GeZhuanTaskInfo where guidTaskID = '" + key + L"'", 1),
                   Open(L"delete from GeZhuanTaskItem where guidTask = '" + key + L"'", 1), "CommitTrans"}));

  // A commit that fails is a failure, logged with the task's statement.
  script().calls.clear();
  script().ThrowOn("CommitTrans", 2);
  EXPECT_EQ(control_.DeleteGeZhuanTask(TestGuid(1)), 0);
  EXPECT_EQ(debug_.lines(), Lines{L"delete from GeZhuanTaskInfo where guidTaskID = '" + key + L"'"});
  EXPECT_EQ(Of({"CommitTrans", "Rollback"}), (Calls{"CommitTrans", "Rollback"}));
}

TEST_F(TaskScriptTest, DeletingItemsByWhicheverKeysAreGiven) {
  const std::wstring t = GuidToText(TestGuid(1)), i = GuidToText(TestGuid(2));
  EXPECT_EQ(control_.DeleteGeZhuanItem(TestGuid(1), GUID{}), 1);
  EXPECT_EQ(control_.DeleteGeZhuanItem(GUID{}, TestGuid(2)), 1);
  EXPECT_EQ(control_.DeleteGeZhuanItem(TestGuid(1), TestGuid(2)), 1);
  EXPECT_EQ(Of({"Open"}),
            (Calls{Open(L"delete from GeZhuanTaskItem where guidTask = '" + t + L"'", 1),
                   Open(L"delete from GeZhuanTaskItem where guidItem = '" + i + L"'", 1),
                   Open(L"delete from GeZhuanTaskItem where guidTask = '" + t + L"' AND guidItem = '" + i + L"'", 1)}));
}

// Each operation with a usable argument, and the SQL text it logs when its
// first Open throws.
struct Operation {
  const char* name;
  std::function<int(CQZNVGeZhuanDBControl&)> call;
  std::wstring logged;
};

std::vector<Operation> Operations() {
  const std::wstring key = GuidToText(TestGuid(1));
  return {
      {"AddGeZhuanItems",
       [](CQZNVGeZhuanDBControl& c) {
         const std::vector<SQZGeZhuanItemInfo> items(1);
         return c.AddGeZhuanItems(&items);
       },
       L"select * from GeZhuanTaskItem"},
      {"GetGeZhuanItemsByCondition",
       [](CQZNVGeZhuanDBControl& c) {
         std::vector<SQZGeZhuanItemInfo> items;
         return c.GetGeZhuanItemsByCondition(L" nIndex > 1 ", &items);
       },
       L"select * from GeZhuanTaskItem where nIndex > 1"},
      {"DeleteGeZhuanItem", [](CQZNVGeZhuanDBControl& c) { return c.DeleteGeZhuanItem(GUID{}, TestGuid(1)); },
       L"delete from GeZhuanTaskItem where guidItem = '" + key + L"'"},
      {"AddGeZhuanTasks",
       [](CQZNVGeZhuanDBControl& c) {
         const std::vector<SQZGeZhuanTaskInfo> tasks = {Task(1, 1)};
         return c.AddGeZhuanTasks(&tasks);
       },
       L"select * from GeZhuanTaskInfo"},
      {"GetGeZhuanTasksByCondition",
       [](CQZNVGeZhuanDBControl& c) {
         std::vector<SQZGeZhuanTaskInfo> tasks;
         return c.GetGeZhuanTasksByCondition(L"", &tasks);
       },
       L"select * from GeZhuanTaskInfo"},
      {"ModifyGeZhuanTaskOnly",
       [](CQZNVGeZhuanDBControl& c) {
         const SQZGeZhuanTaskInfo task = Task(1, 0);
         return c.ModifyGeZhuanTaskOnly(&task);
       },
       L"select * from GeZhuanTaskInfo where guidTaskID = '" + key + L"'"},
      {"ModifyGeZhuanTaskAll",
       [](CQZNVGeZhuanDBControl& c) {
         const SQZGeZhuanTaskInfo task = Task(1, 1);
         return c.ModifyGeZhuanTaskAll(&task);
       },
       L"select * from GeZhuanTaskInfo where guidTaskID = '" + key + L"'"},
      {"DeleteGeZhuanTask", [](CQZNVGeZhuanDBControl& c) { return c.DeleteGeZhuanTask(TestGuid(1)); },
       L"delete from GeZhuanTaskInfo where guidTaskID = '" + key + L"'"},
  };
}

TEST_F(TaskScriptTest, AnOpenThatThrowsLogsExactlyTheOperationsText) {
  for (const Operation& op : Operations()) {
    SCOPED_TRACE(op.name);
    ScriptedDriver driver;
    DebugCapture debug;
    CQZNVGeZhuanDBControl control;
    ASSERT_EQ(control.OpenQZNVGeZhuanDB(DBsSetNode()), 1);
    driver.script().ThrowOn("Open", 1);
    EXPECT_EQ(op.call(control), 0);
    EXPECT_EQ(debug.lines(), Lines{op.logged});
    EXPECT_EQ(driver.script().Count("Open"), 1);
    EXPECT_EQ(driver.script().Count("BeginTrans"), driver.script().Count("Rollback"));
    EXPECT_EQ(driver.script().Count("CommitTrans"), 0);
  }
}

TEST_F(TaskScriptTest, AnOpenThatAnswersFalseFailsSilently) {
  for (const Operation& op : Operations()) {
    SCOPED_TRACE(op.name);
    ScriptedDriver driver;
    DebugCapture debug;
    CQZNVGeZhuanDBControl control;
    ASSERT_EQ(control.OpenQZNVGeZhuanDB(DBsSetNode()), 1);
    driver.script().FailOn("Open", 1);
    EXPECT_EQ(op.call(control), 0);
    EXPECT_TRUE(debug.lines().empty());
    EXPECT_EQ(driver.script().Count("Open"), 1);
    EXPECT_EQ(driver.script().Count("BeginTrans"), driver.script().Count("Rollback"));
    EXPECT_EQ(driver.script().Count("CommitTrans"), 0);
  }
}

TEST_F(TaskScriptTest, NothingIsCalledWithoutAConnection) {
  CQZNVGeZhuanDBControl never_opened;
  CQZNVGeZhuanDBControl closed = control_;
  control_.CloseQZNVGeZhuanDB();
  for (CQZNVGeZhuanDBControl* control : {&never_opened, &closed}) {
    for (const Operation& op : Operations()) {
      SCOPED_TRACE(op.name);
      script().calls.clear();
      EXPECT_EQ(op.call(*control), 0);
      EXPECT_TRUE(script().calls.empty());
    }
  }
  EXPECT_TRUE(debug_.lines().empty());
}

TEST_F(TaskScriptTest, NothingIsCalledForABadArgument) {
  const std::vector<SQZGeZhuanItemInfo> no_items;
  const std::vector<SQZGeZhuanTaskInfo> no_tasks;
  const std::function<int()> calls[] = {
      [&] { return control_.AddGeZhuanItems(nullptr); },
      [&] { return control_.AddGeZhuanItems(&no_items); },
      [&] { return control_.GetGeZhuanItemsByCondition(L"", nullptr); },
      [&] { return control_.DeleteGeZhuanItem(GUID{}, GUID{}); },
      [&] { return control_.AddGeZhuanTasks(nullptr); },
      [&] { return control_.AddGeZhuanTasks(&no_tasks); },
      [&] { return control_.GetGeZhuanTasksByCondition(L"", nullptr); },
      [&] { return control_.ModifyGeZhuanTaskOnly(nullptr); },
      [&] { return control_.ModifyGeZhuanTaskAll(nullptr); },
      [&] { return control_.DeleteGeZhuanTask(GUID{}); },
  };
  for (size_t i = 0; i < std::size(calls); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(calls[i](), 0);
    EXPECT_EQ(Calls_(), Calls{});
  }
  EXPECT_TRUE(debug_.lines().empty());
}

TEST_F(TaskScriptTest, ARowMappingStopsAtTheColumnThatThrows) {
  CQZDatabase database;
  database.Connect(QZDB_SQLITE, L"", L"", L"", L"");
  CQZRecordSet set(&database);
  ASSERT_TRUE(set.Open(L"select * from GeZhuanTaskInfo", ROWOPERATION_WRITE));
  set.AddNew(L"GeZhuanTaskInfo");
  script().ThrowOn("SetFieldValue", 20);
  const SQZGeZhuanTaskInfo task = Task(1, 0);
  CQZDBException* caught = nullptr;
  try {
    control_.SetGeZhuanTaskContent(&task, &set);
  } catch (CQZDBException* e) {
    caught = e;
  }
  ASSERT_NE(caught, nullptr);
  caught->Delete();
  ASSERT_EQ(script().assigned.size(), 19u);
  EXPECT_EQ(script().assigned.back().first, L"strOrgTapeTypeName");

  // Reading: the fields before the failing column are read, the rest kept.
  script().QueueResult({Row{{L"guidTask", V(GuidToText(TestGuid(3)))}, {L"strItemName", V(L"read")}}});
  ASSERT_TRUE(set.Open(L"select * from GeZhuanTaskItem", ROWOPERATION_READONLY));
  script().ThrowOn("GetValue", 3);  // the item's third column
  SQZGeZhuanItemInfo item;
  item.strItemName = L"kept";
  item.nIndex = 5;
  caught = nullptr;
  try {
    control_.GetGeZhuanItemContent(&item, &set);
  } catch (CQZDBException* e) {
    caught = e;
  }
  ASSERT_NE(caught, nullptr);
  caught->Delete();
  EXPECT_TRUE(item.guidTask == TestGuid(3));
  EXPECT_EQ(item.strItemName, L"kept");
  EXPECT_EQ(item.nIndex, 5);
}

}  // namespace
}  // namespace qz::testing
