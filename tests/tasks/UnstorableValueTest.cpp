// Values that no engine could store and give back as they were given: a
// date-time marked valid that names no moment, a text holding a NUL. Each
// engine refuses them the same way, through the library's operations (the
// call answers 0 and writes its SQL text) and through the access component
// (CQZDBException before the driver sees the value).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/KindCode.h"
#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"
#include "tasks/StoreFixture.h"

namespace qz::testing {
namespace {

using conversions::GuidToText;

SQZGeZhuanTaskInfo Task(uint32_t seed) {
  SQZGeZhuanTaskInfo task;
  task.guidTaskID = TestGuid(seed);
  task.strTaskName = L"task " + std::to_wstring(seed);
  return task;
}

SQZDateTime ValidDay(double day_number) {
  SQZDateTime value;
  value.m_dt = day_number;
  value.m_status = SQZDateTime::valid;
  return value;
}

// The SQLSTATE of the CQZDBException that assigning value to a column of a
// row being added throws; "" when nothing is thrown.
std::string RefusalOf(const DBsSetNode& node, const CQZDBVariant& value) {
  CQZDatabase database;
  try {
    database.Connect(common::DatabaseTypeOfKind(node.nDBType), node.strConnect1, node.strConnect2, node.strConnect3,
                     node.strConnect4);
    CQZRecordSet set(&database);
    set.Open(L"select * from GeZhuanTaskItem", ROWOPERATION_WRITE);
    set.AddNew(L"GeZhuanTaskItem");
    set.SetFieldValue(L"[strItemName]", value);
  } catch (CQZDBException* e) {
    std::string state = e->GetSQLState().empty() ? "(none)" : e->GetSQLState();
    e->Delete();
    return state;
  }
  return "";
}

class UnstorableValueTest : public StoreTest {};

TEST_P(UnstorableValueTest, DatesMarkedValidThatNameNoMomentAreRefused) {
  std::vector<SQZGeZhuanTaskInfo> stored = {Task(1)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&stored), 1);
  const std::wstring key = L" where guidTaskID = '" + GuidToText(TestGuid(1)) + L"'";
  const std::wstring begin_before = db_->QueryText(L"select odtTaskBeginDateTime as v from GeZhuanTaskInfo" + key);

  const double kBadDays[] = {
      std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
      -657436.0,  // 0099-12-30
      2958466.0,  // 10000-01-01
      1e300};
  for (double day : kBadDays) {
    SCOPED_TRACE(day);
    const size_t lines = debug_.lines().size();

    std::vector<SQZGeZhuanTaskInfo> added = {Task(2), Task(3)};
    added[1].odtTaskEndDateTime = ValidDay(day);
    EXPECT_EQ(control_.AddGeZhuanTasks(&added), 0);
    EXPECT_EQ(Count(L"GeZhuanTaskInfo"), 1);  // neither row of the call

    SQZGeZhuanTaskInfo changed = stored[0];
    changed.strTaskName = L"changed";
    changed.odtTaskBeginDateTime = ValidDay(day);
    EXPECT_EQ(control_.ModifyGeZhuanTaskOnly(&changed), 0);
    changed.arrItems.resize(1);
    EXPECT_EQ(control_.ModifyGeZhuanTaskAll(&changed), 0);

    ASSERT_EQ(debug_.lines().size(), lines + 3);
    EXPECT_EQ(debug_.lines()[lines], L"select * from GeZhuanTaskInfo");
    EXPECT_EQ(debug_.lines()[lines + 1], L"select * from GeZhuanTaskInfo" + key);
    EXPECT_EQ(debug_.lines()[lines + 2], L"select * from GeZhuanTaskInfo" + key);
  }
  EXPECT_EQ(db_->QueryText(L"select strTaskName as v from GeZhuanTaskInfo" + key), L"task 1");
  EXPECT_EQ(db_->QueryText(L"select odtTaskBeginDateTime as v from GeZhuanTaskInfo" + key), begin_before);
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 0);

  // The edges of the years 100 to 9999 are moments, and an invalid date-time
  // is still written as NULL, whatever day number it carries.
  std::vector<SQZGeZhuanTaskInfo> edges = {Task(4)};
  edges[0].odtTaskPrepareBegin = SQZDateTime(100, 1, 1, 0, 0, 0);
  edges[0].odtTaskBeginDateTime = SQZDateTime(9999, 12, 31, 23, 59, 59);
  edges[0].odtTaskEndDateTime = SQZDateTime();
  edges[0].odtTaskEndDateTime.m_dt = std::nan("");
  edges[0].odtTaskEndDateTime.m_status = SQZDateTime::invalid;
  ASSERT_EQ(control_.AddGeZhuanTasks(&edges), 1);
  const std::wstring edge_key = L" where guidTaskID = '" + GuidToText(TestGuid(4)) + L"'";
  EXPECT_TRUE(db_->QueryIsNull(L"select odtTaskEndDateTime as v from GeZhuanTaskInfo" + edge_key));
  std::vector<SQZGeZhuanTaskInfo> read;
  ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"guidTaskID = '" + GuidToText(TestGuid(4)) + L"'", &read), 1);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_DOUBLE_EQ(read[0].odtTaskPrepareBegin.m_dt, edges[0].odtTaskPrepareBegin.m_dt);
  EXPECT_DOUBLE_EQ(read[0].odtTaskBeginDateTime.m_dt, edges[0].odtTaskBeginDateTime.m_dt);

  // The access component refuses them before any driver sees them.
  CQZDBVariant value;
  value = ValidDay(std::nan(""));
  EXPECT_EQ(RefusalOf(db_->Node(), value), "22008");
  SQZTimestamp thirtieth_of_february;
  thirtieth_of_february.year = 2008;
  thirtieth_of_february.month = 2;
  thirtieth_of_february.day = 30;
  value.SetTimestamp(thirtieth_of_february);
  EXPECT_EQ(RefusalOf(db_->Node(), value), "22008");
  value.SetReal(std::nan(""));
  EXPECT_EQ(RefusalOf(db_->Node(), value), "22P01");
  value = SQZDateTime(2008, 2, 29, 0, 0, 0);
  EXPECT_EQ(RefusalOf(db_->Node(), value), "");
}

TEST_P(UnstorableValueTest, TextsHoldingANulAreRefused) {
  const std::wstring with_nul = std::wstring(L"before") + L'\0' + L"after";

  std::vector<SQZGeZhuanTaskInfo> tasks = {Task(1), Task(2)};
  tasks[1].strSecondAuditInfo = with_nul;
  EXPECT_EQ(control_.AddGeZhuanTasks(&tasks), 0);
  EXPECT_EQ(Count(L"GeZhuanTaskInfo"), 0);

  std::vector<SQZGeZhuanItemInfo> items(2);
  items[0].guidTask = items[1].guidTask = TestGuid(1);
  items[1].strItemName = with_nul;
  EXPECT_EQ(control_.AddGeZhuanItems(&items), 0);
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 0);

  // A task whose item has one is not stored either: the call is all or nothing.
  tasks = {Task(3)};
  tasks[0].arrItems = items;
  EXPECT_EQ(control_.AddGeZhuanTasks(&tasks), 0);
  EXPECT_EQ(Count(L"GeZhuanTaskInfo"), 0);

  // A condition is SQL text: cut at the NUL it would select every row.
  tasks = {Task(4), Task(5)};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  std::vector<SQZGeZhuanTaskInfo> read;
  EXPECT_EQ(control_.GetGeZhuanTasksByCondition(std::wstring(L"1 = 1") + L'\0' + L" and strTaskName = 'task 4'", &read),
            0);
  EXPECT_TRUE(read.empty());

  EXPECT_EQ(debug_.lines().size(), 4u);
  CQZDBVariant value;
  value = with_nul;
  EXPECT_EQ(RefusalOf(db_->Node(), value), "22021");
}

// Text no encoding holds whole, a lone surrogate or (where wide text is
// UTF-32) a code point above U+10FFFF, is refused, not stored as U+FFFD.
TEST_P(UnstorableValueTest, TextsNoEncodingHoldsAreRefused) {
  std::vector<std::wstring> broken = {std::wstring(L"lone ") + wchar_t(0xD800) + L" high",
                                      std::wstring(L"lone low ") + wchar_t(0xDC00),
                                      std::wstring(L"reversed ") + wchar_t(0xDC00) + wchar_t(0xD800)};
  if (sizeof(wchar_t) == 4) broken.push_back(std::wstring(L"beyond ") + static_cast<wchar_t>(0x110000));
  for (const std::wstring& text : broken) {
    SCOPED_TRACE(platform::WideToUtf8(text));
    std::vector<SQZGeZhuanTaskInfo> tasks = {Task(1), Task(2)};
    tasks[1].strTaskName = text;
    EXPECT_EQ(control_.AddGeZhuanTasks(&tasks), 0);
    EXPECT_EQ(Count(L"GeZhuanTaskInfo"), 0);

    std::vector<SQZGeZhuanTaskInfo> read;
    EXPECT_EQ(control_.GetGeZhuanTasksByCondition(L"strTaskName = '" + text + L"'", &read), 0);

    CQZDBVariant value;
    value = text;
    EXPECT_EQ(RefusalOf(db_->Node(), value), "22021");
  }
  // A pair in its order is one character, and is kept.
  std::vector<SQZGeZhuanTaskInfo> tasks = {Task(3)};
  tasks[0].strTaskName = L"\U0001D11E clef";
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  std::vector<SQZGeZhuanTaskInfo> read;
  // Found by its ASCII tail: the SQLite ODBC driver matches no character
  // beyond the BMP written in the statement text itself.
  ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"strTaskName like '% clef'", &read), 1);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].strTaskName, tasks[0].strTaskName);
}

TEST_P(UnstorableValueTest, AByteOrderMarkIsKeptThroughAWriteAndARead) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {Task(1)};
  tasks[0].strTaskName =
      L"\xFEFF"
      L"Betacam \xFEFF";
  tasks[0].strTaskHint = L" \xFEFF ";
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  std::vector<SQZGeZhuanTaskInfo> read;
  ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"", &read), 1);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].strTaskName, tasks[0].strTaskName);
  EXPECT_EQ(read[0].strTaskHint, L"\xFEFF");
}

QZ_INSTANTIATE_ON_EVERY_ENGINE(UnstorableValueTest);

}  // namespace
}  // namespace qz::testing
