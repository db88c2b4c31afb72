// The caller's conditions and the operations' own texts after their string
// literals became bound parameters of cached statements, on every engine:
// each text must still select exactly what it says, however its literal
// looks, however often its shape repeats with other values, and however
// many other shapes pass through the cache in between.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversions/Conversions.h"
#include "tasks/StoreFixture.h"

namespace qz::testing {
namespace {

SQZGeZhuanTaskInfo NamedTask(uint32_t seed, const std::wstring& name) {
  SQZGeZhuanTaskInfo task;
  task.guidTaskID = TestGuid(seed);
  task.strTaskName = name;
  task.dwDuration = seed;
  SQZGeZhuanItemInfo item;
  item.guidTask = task.guidTaskID;
  item.strItemName = name + L" item";
  task.arrItems.push_back(item);
  return task;
}

// The SQL literal of text: quoted, inner quotes doubled.
std::wstring Literal(const std::wstring& text) {
  std::wstring literal = L"'";
  for (wchar_t c : text) literal += c == L'\'' ? std::wstring(L"''") : std::wstring(1, c);
  return literal + L"'";
}

class StatementShapeStoreTest : public StoreTest {
 protected:
  // The names of the tasks the condition lists, or "<failed>".
  std::vector<std::wstring> NamesWhere(const std::wstring& condition) {
    std::vector<SQZGeZhuanTaskInfo> read;
    if (!control_.GetGeZhuanTasksByCondition(condition, &read)) return {L"<failed>"};
    std::vector<std::wstring> names;
    for (const SQZGeZhuanTaskInfo& task : read) {
      names.push_back(task.strTaskName);
      if (task.arrItems.size() != 1 || !(task.arrItems[0].guidTask == task.guidTaskID))
        names.push_back(L"<wrong items>");
    }
    return names;
  }
};

using Names = std::vector<std::wstring>;

const std::wstring kOddNames[] = {L"O'Brien", L"''",           L"$1",  L"?",  L"?1",     L":name",
                                  L"@name",   L"a' or '1'='1", L"\\'", L"--", L"/* x */"};

// A literal holding quotes, markers, comment starts or backslashes selects
// exactly the task of that name, the first time (the text as written), the
// second (the shape prepared) and after (the shape from the cache); and
// LIKE and IN lists take the same values.
TEST_P(StatementShapeStoreTest, LiteralsThatLookLikeSqlAreOnlyValues) {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  uint32_t seed = 1;
  for (const std::wstring& name : kOddNames) tasks.push_back(NamedTask(seed++, name));
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);

  for (int round = 0; round < 3; ++round) {
    for (const std::wstring& name : kOddNames) {
      SCOPED_TRACE(name);
      EXPECT_EQ(NamesWhere(L"strTaskName = " + Literal(name)), Names{name});
      // (PostgreSQL's LIKE reads a backslash as its escape.)
      if (name.find(L'\\') == std::wstring::npos) {
        EXPECT_EQ(NamesWhere(L"strTaskName like " + Literal(name) + L" and dwDuration > 0"), Names{name});
      }
      EXPECT_EQ(NamesWhere(L"strTaskName in (" + Literal(name) + L", 'nobody') order by 1"), Names{name});
    }
  }
  EXPECT_EQ(NamesWhere(L"strTaskName in ('$1', '?1') order by dwDuration"), (Names{L"$1", L"?1"}));
  EXPECT_TRUE(debug_.lines().empty());
}

// One shape with other values, alternating, never answers with the values
// of the run before; thousands of one-off shapes in between change nothing.
TEST_P(StatementShapeStoreTest, OneShapeWithAlternatingValuesAndManyShapesBetween) {
  std::vector<SQZGeZhuanTaskInfo> tasks = {NamedTask(1, L"first"), NamedTask(2, L"second"), NamedTask(3, L"third")};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);

  for (int round = 0; round < 20; ++round) {
    const std::wstring name = round % 2 ? L"second" : L"first";
    ASSERT_EQ(NamesWhere(L"strTaskName = " + Literal(name)), Names{name}) << round;
    ASSERT_EQ(NamesWhere(L"strTaskName = 'nobody'"), Names{L"<failed>"}) << round;
  }
  for (int shape = 0; shape < 3000; ++shape) {
    // The number makes each text a shape of its own.
    const std::wstring condition = L"strTaskName = 'third' and dwDuration <> " + std::to_wstring(100000 + shape);
    ASSERT_EQ(NamesWhere(condition), Names{L"third"}) << shape;
    if (shape % 500 == 0) {
      ASSERT_EQ(NamesWhere(L"strTaskName = 'first'"), Names{L"first"}) << shape;
      ASSERT_EQ(NamesWhere(L"strTaskName = 'second'"), Names{L"second"}) << shape;
    }
  }
  // The writes by key take the same route.
  SQZGeZhuanTaskInfo renamed = tasks[1];
  renamed.strTaskName = L"renamed 'second'";
  EXPECT_EQ(control_.ModifyGeZhuanTaskOnly(&renamed), 1);
  EXPECT_EQ(control_.DeleteGeZhuanTask(TestGuid(1)), 1);
  EXPECT_EQ(control_.DeleteGeZhuanTask(TestGuid(1)), 1);
  SQZGeZhuanTaskInfo gone = tasks[0];
  EXPECT_EQ(control_.ModifyGeZhuanTaskOnly(&gone), 0);
  EXPECT_EQ(NamesWhere(L"1 = 1 order by dwDuration"), (Names{L"renamed 'second'", L"third"}));
  EXPECT_TRUE(debug_.lines().empty());
}

QZ_INSTANTIATE_ON_EVERY_ENGINE(StatementShapeStoreTest);

}  // namespace
}  // namespace qz::testing
