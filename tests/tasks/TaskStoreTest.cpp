// Conversion tasks with their items against a real database: every column
// round trip, the listing, and that a task and its items change together or
// not at all when the database itself refuses a row.
#include <gtest/gtest.h>

#include <cmath>

#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"
#include "tasks/StoreFixture.h"

namespace qz::testing {
namespace {

using conversions::GuidToText;
using conversions::IsNullGuid;

// A task whose every field holds a value of its own, so that two columns
// swapped or one left out shows.
SQZGeZhuanTaskInfo FullTask(uint32_t seed, size_t item_count = 0) {
  SQZGeZhuanTaskInfo t;
  const std::wstring n = std::to_wstring(seed);
  t.guidTaskID = TestGuid(seed);
  t.strTaskName = L"task " + n;
  t.strTaskHint = L"hint " + n;
  t.strPreferUserName = L"prefer " + n;
  t.guidPreferUser = TestGuid(seed + 100);
  t.strFirstAuditorName = L"first " + n;
  t.guidFirstAuditor = TestGuid(seed + 200);
  t.strSecondAuditorname = L"second " + n;
  t.guidSecondAuditor = TestGuid(seed + 300);
  t.strFirstAuditInfo = L"first info " + n;
  t.strSecondAuditInfo = L"second info " + n;
  t.odtTaskPrepareBegin = SQZDateTime(2020, 2, 29, 23, 59, 58);
  t.odtTaskBeginDateTime = SQZDateTime(2021, 3, 4, 5, 6, 7);
  t.odtTaskEndDateTime = SQZDateTime(1899, 12, 29, 6, 0, 0);
  t.dwDuration = 3000000000u + seed;
  t.enumTaskType = 11;
  t.enumTaskEditStatus = -12;
  t.enumTaskRunStatus = 13;
  t.strOrgTapeTypeName = L"org tape " + n;
  t.guidOrgTapeType = TestGuid(seed + 400);
  t.strDSTTapeTypeName = L"dst tape " + n;
  t.guidDSTTapeType = TestGuid(seed + 500);
  t.ORGDeviceGuid = TestGuid(seed + 600);
  t.DSTDeviceGuid = TestGuid(seed + 700);
  t.ORGVAPortGuid = TestGuid(seed + 800);
  t.DSTVAPortGuid = TestGuid(seed + 900);
  t.ORGCtrlPortGuid = TestGuid(seed + 1000);
  t.DSTCtrlPortGuid = TestGuid(seed + 1100);
  t.strORGDeviceName = L"org device " + n;
  t.strDSTDeviceName = L"dst device " + n;
  for (size_t i = 0; i < item_count; ++i) {
    SQZGeZhuanItemInfo item;
    item.guidTask = t.guidTaskID;
    item.guidItem = TestGuid(seed * 100 + 5000 + static_cast<uint32_t>(i));
    item.strItemName = L"item " + std::to_wstring(i);
    item.nIndex = static_cast<int32_t>(item_count - i);  // stored in reverse order
    t.arrItems.push_back(item);
  }
  return t;
}

void ExpectSameTime(const SQZDateTime& expected, const SQZDateTime& actual) {
  EXPECT_EQ(expected.m_status, actual.m_status);
  if (expected.IsValid()) {
    EXPECT_NEAR(expected.m_dt, actual.m_dt, 0.5 / 86400);
  }
}

// The 30 column fields.
void ExpectSameRow(const SQZGeZhuanTaskInfo& e, const SQZGeZhuanTaskInfo& a) {
  EXPECT_TRUE(e.guidTaskID == a.guidTaskID);
  EXPECT_EQ(e.strTaskName, a.strTaskName);
  EXPECT_EQ(e.strTaskHint, a.strTaskHint);
  EXPECT_EQ(e.strPreferUserName, a.strPreferUserName);
  EXPECT_TRUE(e.guidPreferUser == a.guidPreferUser);
  EXPECT_EQ(e.strFirstAuditorName, a.strFirstAuditorName);
  EXPECT_TRUE(e.guidFirstAuditor == a.guidFirstAuditor);
  EXPECT_EQ(e.strSecondAuditorname, a.strSecondAuditorname);
  EXPECT_TRUE(e.guidSecondAuditor == a.guidSecondAuditor);
  EXPECT_EQ(e.strFirstAuditInfo, a.strFirstAuditInfo);
  EXPECT_EQ(e.strSecondAuditInfo, a.strSecondAuditInfo);
  ExpectSameTime(e.odtTaskPrepareBegin, a.odtTaskPrepareBegin);
  ExpectSameTime(e.odtTaskBeginDateTime, a.odtTaskBeginDateTime);
  ExpectSameTime(e.odtTaskEndDateTime, a.odtTaskEndDateTime);
  EXPECT_EQ(e.dwDuration, a.dwDuration);
  EXPECT_EQ(e.enumTaskType, a.enumTaskType);
  EXPECT_EQ(e.enumTaskEditStatus, a.enumTaskEditStatus);
  EXPECT_EQ(e.enumTaskRunStatus, a.enumTaskRunStatus);
  EXPECT_EQ(e.strOrgTapeTypeName, a.strOrgTapeTypeName);
  EXPECT_TRUE(e.guidOrgTapeType == a.guidOrgTapeType);
  EXPECT_EQ(e.strDSTTapeTypeName, a.strDSTTapeTypeName);
  EXPECT_TRUE(e.guidDSTTapeType == a.guidDSTTapeType);
  EXPECT_TRUE(e.ORGDeviceGuid == a.ORGDeviceGuid);
  EXPECT_TRUE(e.DSTDeviceGuid == a.DSTDeviceGuid);
  EXPECT_TRUE(e.ORGVAPortGuid == a.ORGVAPortGuid);
  EXPECT_TRUE(e.DSTVAPortGuid == a.DSTVAPortGuid);
  EXPECT_TRUE(e.ORGCtrlPortGuid == a.ORGCtrlPortGuid);
  EXPECT_TRUE(e.DSTCtrlPortGuid == a.DSTCtrlPortGuid);
  EXPECT_EQ(e.strORGDeviceName, a.strORGDeviceName);
  EXPECT_EQ(e.strDSTDeviceName, a.strDSTDeviceName);
}

// The item names of a task in the order it holds them.
std::vector<std::wstring> ItemNames(const SQZGeZhuanTaskInfo& task) {
  std::vector<std::wstring> names;
  for (const SQZGeZhuanItemInfo& item : task.arrItems) names.push_back(item.strItemName);
  return names;
}

using Names = std::vector<std::wstring>;
class TaskStoreTest : public StoreTest {};

TEST_P(TaskStoreTest, ANewRecordHoldsItsDefaults) {
  const SQZDateTime before = SQZDateTime::Now();
  const SQZGeZhuanTaskInfo task;
  const SQZDateTime after = SQZDateTime::Now();
  ASSERT_TRUE(task.odtTaskPrepareBegin.IsValid());
  EXPECT_GE(task.odtTaskPrepareBegin.m_dt, before.m_dt);
  EXPECT_LE(task.odtTaskPrepareBegin.m_dt, after.m_dt);
  const double seconds = task.odtTaskPrepareBegin.m_dt * 86400;
  EXPECT_NEAR(seconds, std::round(seconds), 1e-3);  // a whole second
  for (const SQZDateTime& mark : {task.odtTaskBeginDateTime, task.odtTaskEndDateTime}) {
    EXPECT_TRUE(mark.IsValid());
    EXPECT_DOUBLE_EQ(mark.m_dt, 2.0423726851851853);
  }
  EXPECT_EQ(IsNullGuid(task.guidTaskID), 1);
  EXPECT_EQ(IsNullGuid(task.DSTCtrlPortGuid), 1);
  EXPECT_TRUE(task.strSecondAuditorname.empty());
  EXPECT_EQ(task.dwDuration, 0u);
  EXPECT_TRUE(task.arrItems.empty());
}

TEST_P(TaskStoreTest, ANewRecordIsStoredAsNullGuidTextEmptyTextAndTheMarks) {
  std::vector<SQZGeZhuanTaskInfo> tasks(1);
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  const wchar_t* guid_columns[] = {L"guidTaskID",      L"guidPreferUser",  L"guidFirstAuditor", L"guidSecondAuditor",
                                   L"guidOrgTapeType", L"guidDSTTapeType", L"ORGDeviceGuid",    L"DSTDeviceGuid",
                                   L"ORGVAPortGuid",   L"DSTVAPortGuid",   L"ORGCtrlPortGuid",  L"DSTCtrlPortGuid"};
  for (const wchar_t* column : guid_columns)
    EXPECT_EQ(db_->QueryText(std::wstring(L"select ") + column + L" as v from GeZhuanTaskInfo"),
              L"00000000-0000-0000-0000-000000000000")
        << platform::WideToUtf8(column);
  EXPECT_EQ(db_->QueryText(L"select strSecondAuditorname as v from GeZhuanTaskInfo"), L"");
  EXPECT_EQ(db_->QueryText(L"select odtTaskBeginDateTime as v from GeZhuanTaskInfo"), L"1900-01-01 01:01:01");
  EXPECT_EQ(db_->QueryText(L"select odtTaskEndDateTime as v from GeZhuanTaskInfo"), L"1900-01-01 01:01:01");

  std::vector<SQZGeZhuanTaskInfo> read;
  ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"", &read), 1);
  ASSERT_EQ(read.size(), 1u);
  ExpectSameRow(tasks[0], read[0]);
  EXPECT_TRUE(read[0].arrItems.empty());
}

TEST_P(TaskStoreTest, EveryColumnSurvivesAWriteAndARead) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1, 3), FullTask(2)};
  tasks[0].strTaskName = L"  \x683C\x5F0F\x8F6C\x6362\x3000";
  tasks[0].strSecondAuditorname = L"\t\x5F20 \x4E09 ";
  tasks[0].strORGDeviceName = L"\x3000VTR-1\x3000";
  tasks[1].dwDuration = 4294967295u;
  tasks[1].odtTaskEndDateTime.m_status = SQZDateTime::invalid;
  const std::vector<SQZGeZhuanTaskInfo> before = tasks;
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  ExpectSameRow(before[0], tasks[0]);  // the caller's records keep their blanks
  EXPECT_EQ(db_->QueryInteger(L"select dwDuration as v from GeZhuanTaskInfo where strTaskName = 'task 2'"), -1);
  EXPECT_TRUE(db_->QueryIsNull(L"select odtTaskEndDateTime as v from GeZhuanTaskInfo where strTaskName = 'task 2'"));

  std::vector<SQZGeZhuanTaskInfo> read;
  ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"1 = 1 order by dwDuration", &read), 1);
  ASSERT_EQ(read.size(), 2u);
  SQZGeZhuanTaskInfo expected = tasks[0];
  expected.strTaskName = L"\x683C\x5F0F\x8F6C\x6362";
  expected.strSecondAuditorname = L"\x5F20 \x4E09";
  expected.strORGDeviceName = L"VTR-1";
  ExpectSameRow(expected, read[0]);
  ExpectSameRow(tasks[1], read[1]);
  EXPECT_EQ(ItemNames(read[0]), (Names{L"item 2", L"item 1", L"item 0"}));  // nIndex 1, 2, 3
  EXPECT_TRUE(read[1].arrItems.empty());
  EXPECT_TRUE(debug_.lines().empty());
}

TEST_P(TaskStoreTest, StoredValuesThatAreNotQuiteRightReadAsNullOrInvalid) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  const std::wstring key = L" where guidTaskID = '" + GuidToText(TestGuid(1)) + L"'";
  db_->AcceptAnyText(L"GeZhuanTaskInfo", L"guidOrgTapeType");
  db_->AcceptAnyText(L"GeZhuanTaskInfo", L"ORGDeviceGuid");
  db_->Execute(L"update GeZhuanTaskInfo set guidOrgTapeType = '{" + GuidToText(TestGuid(401)) +
               L"}', ORGDeviceGuid = '  " + GuidToText(TestGuid(601)) + L" ', odtTaskPrepareBegin = " +
               db_->UnrepresentableDateTime() +
               L", odtTaskBeginDateTime = '2008-02-29 12:00:00.750',"
               L" odtTaskEndDateTime = NULL, strTaskHint = NULL" +
               key);

  std::vector<SQZGeZhuanTaskInfo> read;
  ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"", &read), 1);
  ASSERT_EQ(read.size(), 1u);
  SQZGeZhuanTaskInfo expected = tasks[0];
  expected.guidOrgTapeType = GUID{};
  expected.odtTaskPrepareBegin.m_status = SQZDateTime::invalid;
  expected.odtTaskBeginDateTime = SQZDateTime(2008, 2, 29, 12, 0, 0);  // the fraction is dropped
  expected.odtTaskEndDateTime.m_status = SQZDateTime::invalid;
  expected.strTaskHint.clear();
  ExpectSameRow(expected, read[0]);
}

TEST_P(TaskStoreTest, ListingByCondition) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1, 2), FullTask(2, 3), FullTask(3)};
  // An item filed under another task than the one carrying it.
  tasks[2].arrItems.push_back(tasks[0].arrItems[0]);
  tasks[2].arrItems[0].strItemName = L"stray";
  tasks[2].arrItems[0].nIndex = 0;
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);

  std::vector<SQZGeZhuanTaskInfo> read(4);
  EXPECT_EQ(control_.GetGeZhuanTasksByCondition(L"strTaskName = 'nobody'", &read), 0);
  EXPECT_EQ(read.size(), 4u);  // untouched

  const std::wstring condition = L"  strTaskName <> 'task 2' order by strTaskName desc\x3000";
  ASSERT_EQ(control_.GetGeZhuanTasksByCondition(condition, &read), 1);
  ASSERT_EQ(read.size(), 2u);  // replaced, not extended
  EXPECT_EQ(read[0].strTaskName, L"task 3");
  EXPECT_TRUE(read[0].arrItems.empty());
  EXPECT_EQ(read[1].strTaskName, L"task 1");
  EXPECT_EQ(ItemNames(read[1]), (Names{L"stray", L"item 1", L"item 0"}));
  EXPECT_TRUE(debug_.lines().empty());

  EXPECT_EQ(control_.GetGeZhuanTasksByCondition(L" ", &read), 0);
  EXPECT_EQ(debug_.lines(), std::vector<std::wstring>{L"select * from GeZhuanTaskInfo where "});
  EXPECT_EQ(read.size(), 2u);
}

TEST_P(TaskStoreTest, RewritingTheRowOnly) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1, 2), FullTask(2, 1)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  SQZGeZhuanTaskInfo changed = FullTask(50);
  changed.guidTaskID = tasks[0].guidTaskID;
  ASSERT_EQ(control_.ModifyGeZhuanTaskOnly(&changed), 1);

  std::vector<SQZGeZhuanTaskInfo> read;
  ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"1 = 1 order by strTaskName", &read), 1);
  ASSERT_EQ(read.size(), 2u);
  ExpectSameRow(tasks[1], read[0]);
  ExpectSameRow(changed, read[1]);
  EXPECT_EQ(read[1].arrItems.size(), 2u);  // the items stay

  SQZGeZhuanTaskInfo unknown = FullTask(99);
  EXPECT_EQ(control_.ModifyGeZhuanTaskOnly(&unknown), 0);
  EXPECT_EQ(Count(L"GeZhuanTaskInfo"), 2);
  EXPECT_TRUE(debug_.lines().empty());
}

// A row rewritten with the values it holds is found and so rewritten,
// though no value changes: MySQL and MariaDB count such a row as matched
// only with their driver's found-rows option, which no data source need set.
TEST_P(TaskStoreTest, RewritingATaskWithTheValuesItHoldsAnswersOne) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1, 1)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  SQZGeZhuanTaskInfo same = tasks[0];
  EXPECT_EQ(control_.ModifyGeZhuanTaskOnly(&same), 1);
  EXPECT_EQ(control_.ModifyGeZhuanTaskAll(&same), 1);
  EXPECT_TRUE(debug_.lines().empty());

  std::vector<SQZGeZhuanTaskInfo> read;
  ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"", &read), 1);
  ASSERT_EQ(read.size(), 1u);
  ExpectSameRow(tasks[0], read[0]);
  EXPECT_EQ(read[0].arrItems.size(), 1u);
}

// The rewrite changes no row (here the database skips the update, as it
// finds nothing after a delete from elsewhere): that is no success. Where
// the engine rewrites by key without reading the row first, this is the
// case of a key no row holds, answered 0 in silence; where the row is read
// first and gone by the time it is written, the failure is logged.
TEST_P(TaskStoreTest, RewritingARowThatIsGoneAnswersZero) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  if (GetParam() == "OdbcMariaDB") GTEST_SKIP() << "a MariaDB trigger cannot skip a row";
  db_->SkipUpdate(L"GeZhuanTaskInfo", L"strTaskName", L"vanishing");
  SQZGeZhuanTaskInfo changed = tasks[0];
  changed.strTaskName = L"vanishing";
  EXPECT_EQ(control_.ModifyGeZhuanTaskOnly(&changed), 0);
  const bool reads_first = GetParam().rfind("Odbc", 0) == 0;
  if (reads_first)
    EXPECT_EQ(debug_.lines(), std::vector<std::wstring>{L"select * from GeZhuanTaskInfo where guidTaskID = '" +
                                                        GuidToText(tasks[0].guidTaskID) + L"'"});
  else
    EXPECT_TRUE(debug_.lines().empty());
  EXPECT_EQ(Count(L"GeZhuanTaskInfo", L"strTaskName = 'task 1'"), 1);
}

TEST_P(TaskStoreTest, RewritingTheRowAndItsItems) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1, 3), FullTask(2, 1)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);

  SQZGeZhuanTaskInfo changed = FullTask(1, 2);
  changed.strTaskName = L"renamed";
  changed.arrItems[0].strItemName = L"new";
  ASSERT_EQ(control_.ModifyGeZhuanTaskAll(&changed), 1);
  std::vector<SQZGeZhuanTaskInfo> read;
  ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"strTaskName = 'renamed'", &read), 1);
  EXPECT_EQ(ItemNames(read[0]), (Names{L"item 1", L"new"}));

  changed.arrItems.clear();
  ASSERT_EQ(control_.ModifyGeZhuanTaskAll(&changed), 1);
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 1);  // only the other task's item is left

  // A task no row holds gets no items: no item rows without a task row.
  SQZGeZhuanTaskInfo unknown = FullTask(9, 2);
  EXPECT_EQ(control_.ModifyGeZhuanTaskAll(&unknown), 0);
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 1);
  EXPECT_EQ(Count(L"GeZhuanTaskInfo"), 2);
  EXPECT_TRUE(debug_.lines().empty());
}

// A task keyed by the null GUID is found like any other, but its old items
// cannot be deleted (that would be a delete without a key), so the item set
// cannot be replaced: the call fails and changes nothing.
TEST_P(TaskStoreTest, RewritingATaskWithANullKeyChangesNothing) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1, 2)};
  tasks[0].guidTaskID = GUID{};
  for (SQZGeZhuanItemInfo& item : tasks[0].arrItems) item.guidTask = GUID{};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);

  SQZGeZhuanTaskInfo changed = tasks[0];
  changed.strTaskName = L"renamed";
  EXPECT_EQ(control_.ModifyGeZhuanTaskAll(&changed), 0);
  EXPECT_EQ(Count(L"GeZhuanTaskInfo", L"strTaskName = 'renamed'"), 0);
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 2);

  EXPECT_EQ(control_.ModifyGeZhuanTaskOnly(&changed), 1);
  EXPECT_EQ(Count(L"GeZhuanTaskInfo", L"strTaskName = 'renamed'"), 1);
  EXPECT_TRUE(debug_.lines().empty());
}

TEST_P(TaskStoreTest, DeletingATaskTakesItsItems) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1, 3), FullTask(2, 2)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  ASSERT_EQ(control_.DeleteGeZhuanTask(TestGuid(1)), 1);
  EXPECT_EQ(Count(L"GeZhuanTaskInfo"), 1);
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 2);
  EXPECT_EQ(Count(L"GeZhuanTaskItem", L"guidTask = '" + GuidToText(TestGuid(2)) + L"'"), 2);

  EXPECT_EQ(control_.DeleteGeZhuanTask(GUID{}), 0);
  EXPECT_EQ(control_.DeleteGeZhuanTask(TestGuid(77)), 1);  // no such task: ran, matched nothing
  EXPECT_EQ(Count(L"GeZhuanTaskInfo"), 1);
  EXPECT_TRUE(debug_.lines().empty());
}

// --- All or nothing, with the database refusing a row -------------------------

TEST_P(TaskStoreTest, AddingTasksLeavesNothingWhenATaskRowIsRefused) {
  std::vector<SQZGeZhuanTaskInfo> earlier = {FullTask(9, 1)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&earlier), 1);
  db_->RejectInsert(L"GeZhuanTaskInfo", L"strTaskName", L"task 2");

  std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1, 2), FullTask(2, 2), FullTask(3, 2)};
  EXPECT_EQ(control_.AddGeZhuanTasks(&tasks), 0);
  EXPECT_EQ(debug_.lines(), std::vector<std::wstring>{L"select * from GeZhuanTaskInfo"});
  EXPECT_EQ(Count(L"GeZhuanTaskInfo"), 1);
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 1);
}

TEST_P(TaskStoreTest, AddingTasksLeavesNothingWhenAnItemIsRefused) {
  std::vector<SQZGeZhuanTaskInfo> earlier = {FullTask(9, 1)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&earlier), 1);
  db_->RejectInsert(L"GeZhuanTaskItem", L"strItemName", L"BAD");

  std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1, 2), FullTask(2), FullTask(3, 3)};
  tasks[2].arrItems[2].strItemName = L"BAD";
  const std::vector<SQZGeZhuanTaskInfo> before = tasks;
  EXPECT_EQ(control_.AddGeZhuanTasks(&tasks), 0);
  EXPECT_EQ(debug_.lines(), std::vector<std::wstring>{L"select * from GeZhuanTaskItem"});
  EXPECT_EQ(Count(L"GeZhuanTaskInfo"), 1);
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 1);
  EXPECT_EQ(ItemNames(tasks[2]), ItemNames(before[2]));

  // Nothing was left open: the same call goes through once the row is fine.
  tasks[2].arrItems[2].strItemName = L"good";
  EXPECT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  control_.CloseQZNVGeZhuanDB();
  EXPECT_EQ(Count(L"GeZhuanTaskInfo"), 4);
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 6);
}

TEST_P(TaskStoreTest, RewritingATaskWithItemsLeavesItAsItWasWhenAStepIsRefused) {
  const GUID id = TestGuid(1);
  const std::wstring item_delete = L"delete from GeZhuanTaskItem where guidTask = '" + GuidToText(id) + L"'";
  const std::wstring row_query = L"select * from GeZhuanTaskInfo where guidTaskID = '" + GuidToText(id) + L"'";
  struct Case {
    const char* name;
    void (*refuse)(const EngineDatabase&);
    std::wstring logged;
  } const cases[] = {
      {"the row", [](const EngineDatabase& db) { db.RejectUpdate(L"GeZhuanTaskInfo", L"strTaskName", L"renamed"); },
       row_query},
      {"an old item's delete",
       [](const EngineDatabase& db) { db.RejectDelete(L"GeZhuanTaskItem", L"strItemName", L"item 1"); }, item_delete},
      {"a new item", [](const EngineDatabase& db) { db.RejectInsert(L"GeZhuanTaskItem", L"strItemName", L"new"); },
       L"select * from GeZhuanTaskItem"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(StartAfresh());
    std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1, 3)};
    ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
    c.refuse(*db_);

    SQZGeZhuanTaskInfo changed = FullTask(1, 2);
    changed.strTaskName = L"renamed";
    changed.arrItems[1].strItemName = L"new";
    DebugCapture debug;
    EXPECT_EQ(control_.ModifyGeZhuanTaskAll(&changed), 0);
    EXPECT_EQ(debug.lines(), std::vector<std::wstring>{c.logged});

    std::vector<SQZGeZhuanTaskInfo> read;
    ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"", &read), 1);
    ASSERT_EQ(read.size(), 1u);
    ExpectSameRow(tasks[0], read[0]);
    EXPECT_EQ(ItemNames(read[0]), (Names{L"item 2", L"item 1", L"item 0"}));
    control_.CloseQZNVGeZhuanDB();
  }
}

TEST_P(TaskStoreTest, DeletingATaskDeletesNothingWhenAStepIsRefused) {
  const GUID id = TestGuid(1);
  struct Case {
    const char* name;
    const wchar_t* table;
    const wchar_t* column;
    const wchar_t* marked;
    std::wstring logged;
  } const cases[] = {
      {"the row", L"GeZhuanTaskInfo", L"strTaskName", L"task 1",
       L"delete from GeZhuanTaskInfo where guidTaskID = '" + GuidToText(id) + L"'"},
      {"an item", L"GeZhuanTaskItem", L"strItemName", L"item 1",
       L"delete from GeZhuanTaskItem where guidTask = '" + GuidToText(id) + L"'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(StartAfresh());
    std::vector<SQZGeZhuanTaskInfo> tasks = {FullTask(1, 3)};
    ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
    db_->RejectDelete(c.table, c.column, c.marked);

    DebugCapture debug;
    EXPECT_EQ(control_.DeleteGeZhuanTask(id), 0);
    EXPECT_EQ(debug.lines(), std::vector<std::wstring>{c.logged});
    control_.CloseQZNVGeZhuanDB();
    EXPECT_EQ(db_->QueryInteger(L"select count(*) as v from GeZhuanTaskInfo"), 1);
    EXPECT_EQ(db_->QueryInteger(L"select count(*) as v from GeZhuanTaskItem"), 3);
  }
}

// Tasks listed together, read by the same item queries, each get only
// their own items, in nIndex order, at the exact size; tasks without items
// get none; and the arrays themselves end at their exact size. 40 tasks
// take one query; 300 take two, the second padded.
TEST_P(TaskStoreTest, TasksListedTogetherKeepTheirOwnItems) {
  for (uint32_t count : {40u, 300u}) {
    SCOPED_TRACE(count);
    ASSERT_NO_FATAL_FAILURE(StartAfresh());
    std::vector<SQZGeZhuanTaskInfo> tasks;
    for (uint32_t seed = 1; seed <= count; ++seed) {
      tasks.push_back(FullTask(seed, seed % 3));
      for (SQZGeZhuanItemInfo& item : tasks.back().arrItems) item.strItemName += L" of " + std::to_wstring(seed);
    }
    ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);

    std::vector<SQZGeZhuanTaskInfo> read(1000);
    ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"1 = 1 order by dwDuration desc", &read), 1);
    ASSERT_EQ(read.size(), count);
    EXPECT_EQ(read.capacity(), read.size());
    for (size_t i = 0; i < read.size(); ++i) {
      const SQZGeZhuanTaskInfo& expected = tasks[count - 1 - i];
      ASSERT_TRUE(read[i].guidTaskID == expected.guidTaskID);
      const std::wstring of = L" of " + std::to_wstring(count - i);
      Names names;
      for (size_t k = expected.arrItems.size(); k-- > 0;) names.push_back(L"item " + std::to_wstring(k) + of);
      EXPECT_EQ(ItemNames(read[i]), names) << i;
      EXPECT_EQ(read[i].arrItems.capacity(), read[i].arrItems.size());
    }
  }
  EXPECT_TRUE(debug_.lines().empty());
}

// The items of many tasks come in one query. When that query fails part
// way (the rows of task 1049 read, those of task 1050 unreadable), the
// listing answers 0, logs that query, and no task of it keeps items; the
// tasks of the queries read whole before it keep theirs.
TEST_P(TaskStoreTest, ListingReportsTasksWhoseItemsCouldNotBeRead) {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  for (uint32_t seed = 1; seed <= 1100; ++seed) tasks.push_back(FullTask(seed, 2));
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  db_->FailItemReadsOf(TestGuid(1050));

  std::vector<SQZGeZhuanTaskInfo> read;
  EXPECT_EQ(control_.GetGeZhuanTasksByCondition(L"strTaskName in ('task 1049', 'task 1050', 'task 1051')", &read), 0);
  ASSERT_EQ(debug_.lines().size(), 1u);
  const std::wstring items_query = L"select * from GeZhuanTaskItem where guidTask in (";
  EXPECT_EQ(debug_.lines()[0].substr(0, items_query.size()), items_query);
  EXPECT_NE(debug_.lines()[0].find(GuidToText(TestGuid(1050))), std::wstring::npos) << "it names the failing task";
  ASSERT_EQ(read.size(), 3u);
  for (const SQZGeZhuanTaskInfo& task : read) EXPECT_TRUE(task.arrItems.empty());

  // 1100 tasks in seed order take two queries; task 1050 is in the second.
  EXPECT_EQ(control_.GetGeZhuanTasksByCondition(L"1 = 1 order by dwDuration", &read), 0);
  EXPECT_EQ(debug_.lines().size(), 2u);
  ASSERT_EQ(read.size(), 1100u);
  for (size_t i = 0; i < read.size(); ++i) {
    ASSERT_TRUE(read[i].guidTaskID == TestGuid(static_cast<uint32_t>(i + 1)));
    EXPECT_EQ(read[i].arrItems.size(), i < 1024 ? 2u : 0u) << i;
  }
  EXPECT_EQ(ItemNames(read[0]), (Names{L"item 1", L"item 0"}));

  // A listing that does not reach that task is whole.
  EXPECT_EQ(control_.GetGeZhuanTasksByCondition(L"strTaskName <> 'task 1050' order by dwDuration", &read), 1);
  EXPECT_EQ(read.size(), 1099u);
  EXPECT_EQ(ItemNames(read[1098]), (Names{L"item 1", L"item 0"}));
}

// A condition that only filters rows lets a server send the items' query
// along with the tasks' (one query for all items, in the tasks' snapshot);
// any other condition, or a key not stored exactly as its GUID's text,
// takes the item queries per chunk. Every way answers alike: each listed
// task, and only those, with exactly its items in nIndex order at the
// exact size, past the server's chunks of 2,000 rows (2,100 tasks and
// 2,100 items); and the connection is free for the next call each time.
TEST_P(TaskStoreTest, ListingByAFilterAnswersAsTheItemQueriesPerChunkDo) {
  constexpr uint32_t kCount = 2100;
  std::vector<SQZGeZhuanTaskInfo> tasks;
  for (uint32_t seed = 1; seed <= kCount; ++seed) {
    tasks.push_back(FullTask(seed, seed % 3));
    for (SQZGeZhuanItemInfo& item : tasks.back().arrItems) item.strItemName += L" of " + std::to_wstring(seed);
  }
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  auto expect_listed = [&](const std::wstring& condition, const std::vector<uint32_t>& seeds) {
    SCOPED_TRACE(condition);
    std::vector<SQZGeZhuanTaskInfo> read(3);
    ASSERT_EQ(control_.GetGeZhuanTasksByCondition(condition, &read), 1);
    ASSERT_EQ(read.size(), seeds.size());
    EXPECT_EQ(read.capacity(), read.size());
    std::vector<bool> seen(kCount + 1);
    for (const SQZGeZhuanTaskInfo& task : read) {
      // The seed is in the name; the order is the engine's.
      const uint32_t seed = static_cast<uint32_t>(std::stoul(task.strTaskName.substr(5)));
      ASSERT_TRUE(seed >= 1 && seed <= kCount && !seen[seed]) << seed;
      seen[seed] = true;
      ASSERT_TRUE(task.guidTaskID == TestGuid(seed));
      Names names;
      for (size_t k = seed % 3; k-- > 0;)
        names.push_back(L"item " + std::to_wstring(k) + L" of " + std::to_wstring(seed));
      EXPECT_EQ(ItemNames(task), names) << seed;
      EXPECT_EQ(task.arrItems.capacity(), task.arrItems.size()) << seed;
    }
    for (uint32_t seed : seeds) EXPECT_TRUE(seen[seed]) << seed;
  };
  std::vector<uint32_t> all, filtered, first_nine;
  for (uint32_t seed = 1; seed <= kCount; ++seed) {
    all.push_back(seed);
    if (seed > 100 && seed != 2000) filtered.push_back(seed);
    if (seed < 10) first_nine.push_back(seed);
  }
  // dwDuration holds 3,000,000,000 + seed, stored as a signed 32-bit
  // integer: -1,294,967,296 + seed.
  expect_listed(L"", all);
  expect_listed(L"dwDuration > -1294967196 and strTaskName <> 'task 2000'", filtered);
  // A call in the condition, or the rows ordered: item queries per chunk.
  expect_listed(L"abs(enumTaskEditStatus) = 12 and dwDuration < -1294967286", first_nine);
  expect_listed(L"dwDuration < -1294967286 order by strTaskName", first_nine);
  expect_listed(L"dwDuration < -1294967286 order by strTaskName limit 3", {1, 2, 3});
  // Task 7's key in lower case: a chunk asks for its items by the GUID
  // read from it, in upper case, as they are stored.
  ASSERT_TRUE(db_->Execute(L"update GeZhuanTaskInfo set guidTaskID = lower(guidTaskID) where strTaskName = 'task 7'"));
  expect_listed(L"dwDuration < -1294967286", first_nine);
  expect_listed(L"dwDuration < -1294967286", first_nine);
  EXPECT_TRUE(debug_.lines().empty());
}

QZ_INSTANTIATE_ON_EVERY_ENGINE(TaskStoreTest);

}  // namespace
}  // namespace qz::testing
