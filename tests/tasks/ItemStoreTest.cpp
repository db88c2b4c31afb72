// Conversion items against a real database: what is stored, what reads
// back, and what a failure leaves.
#include <gtest/gtest.h>

#include <cwctype>

#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"
#include "tasks/StoreFixture.h"

namespace qz::testing {
namespace {

using conversions::GuidToText;
using conversions::IsNullGuid;

SQZGeZhuanItemInfo Item(const GUID& task, uint32_t seed, int32_t index, std::wstring name = L"item") {
  SQZGeZhuanItemInfo item;
  item.guidTask = task;
  item.guidItem = TestGuid(1000 + seed);
  item.strItemName = std::move(name);
  item.nItemType = -7 - static_cast<int32_t>(seed);
  item.dwTrimIn = 100 + seed;
  item.dwTrimOut = 200 + seed;
  item.dwLength = 300 + seed;
  item.nIndex = index;
  return item;
}

void ExpectSameItem(const SQZGeZhuanItemInfo& expected, const SQZGeZhuanItemInfo& actual) {
  EXPECT_TRUE(expected.guidTask == actual.guidTask);
  EXPECT_TRUE(expected.guidItem == actual.guidItem);
  EXPECT_EQ(expected.strItemName, actual.strItemName);
  EXPECT_EQ(expected.nItemType, actual.nItemType);
  EXPECT_EQ(expected.dwTrimIn, actual.dwTrimIn);
  EXPECT_EQ(expected.dwTrimOut, actual.dwTrimOut);
  EXPECT_EQ(expected.dwLength, actual.dwLength);
  EXPECT_EQ(expected.nIndex, actual.nIndex);
}

class ItemStoreTest : public StoreTest {};

TEST_P(ItemStoreTest, EveryFieldSurvivesAWriteAndARead) {
  const GUID task = TestGuid(1);
  std::vector<SQZGeZhuanItemInfo> items = {
      Item(task, 1, 0, L"  \x7D20\x6750  \x4E00  "),        // CJK, blanks around and inside
      Item(task, 2, 1, L"\x3000\t\x7247\x5934\x3000\r\n"),  // ideographic space and controls
      Item(task, 3, 2, L"\U0001F3AC clip"),                 // outside the BMP
      SQZGeZhuanItemInfo(),                                 // all defaults
  };
  items[0].dwTrimIn = 4294967295u;
  items[0].dwTrimOut = 2147483648u;
  items[0].dwLength = 4294967295u;
  items[0].nItemType = INT32_MIN;
  items[1].nIndex = INT32_MAX;
  const std::vector<SQZGeZhuanItemInfo> before = items;

  ASSERT_EQ(control_.AddGeZhuanItems(&items), 1);
  for (size_t i = 0; i < items.size(); ++i) ExpectSameItem(before[i], items[i]);  // the caller's array

  std::vector<SQZGeZhuanItemInfo> read;
  ASSERT_EQ(control_.GetGeZhuanItemsByCondition(L"", &read), 1);
  ASSERT_EQ(read.size(), items.size());
  std::vector<SQZGeZhuanItemInfo> expected = items;
  expected[0].strItemName = L"\x7D20\x6750  \x4E00";
  expected[1].strItemName = L"\x7247\x5934";
  for (size_t i = 0; i < read.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectSameItem(expected[i], read[i]);
  }
  EXPECT_TRUE(debug_.lines().empty());
}

TEST_P(ItemStoreTest, StoresGuidTextTrimmedNamesAndDwordBits) {
  std::vector<SQZGeZhuanItemInfo> items = {SQZGeZhuanItemInfo()};
  items[0].strItemName = L"  a  b  ";
  items[0].guidItem = TestGuid(5);
  items[0].dwLength = 4294967295u;
  ASSERT_EQ(control_.AddGeZhuanItems(&items), 1);

  EXPECT_EQ(db_->QueryText(L"select guidTask as v from GeZhuanTaskItem"), L"00000000-0000-0000-0000-000000000000");
  EXPECT_EQ(db_->QueryText(L"select guidItem as v from GeZhuanTaskItem"), GuidToText(TestGuid(5)));
  EXPECT_EQ(db_->QueryText(L"select strItemName as v from GeZhuanTaskItem"), L"a  b");
  EXPECT_EQ(db_->QueryInteger(L"select dwLength as v from GeZhuanTaskItem"), -1);
  EXPECT_EQ(db_->QueryInteger(L"select dwTrimIn as v from GeZhuanTaskItem"), 0);
}

TEST_P(ItemStoreTest, GuidTextThatIsNotExactReadsAsNullAndTheRestNormally) {
  const std::wstring good = GuidToText(TestGuid(9));
  std::wstring lower = good;
  for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
  struct Case {
    std::wstring stored;
    bool readsAsGuid;
  } const cases[] = {
      {good, true},
      {lower, true},
      {L"  " + good + L" ", true},
      {L"{" + good + L"}", false},
      {good.substr(0, 35) + L"G", false},
      {good.substr(1), false},
      {L"", false},
  };
  db_->AcceptAnyText(L"GeZhuanTaskItem", L"guidItem");
  for (size_t i = 0; i < std::size(cases); ++i)
    db_->Execute(
        L"insert into GeZhuanTaskItem (guidTask, guidItem, strItemName, nItemType, dwTrimIn, dwTrimOut, "
        L"dwLength, nIndex) values ('" +
        good + L"', '" + cases[i].stored + L"', ' n ', 3, -1, 5, 6, " + std::to_wstring(i) + L")");

  std::vector<SQZGeZhuanItemInfo> read;
  ASSERT_EQ(control_.GetGeZhuanItemsByCondition(L"1 = 1 order by nIndex", &read), 1);
  ASSERT_EQ(read.size(), std::size(cases));
  for (size_t i = 0; i < read.size(); ++i) {
    SCOPED_TRACE(platform::WideToUtf8(cases[i].stored));
    EXPECT_EQ(read[i].guidItem == TestGuid(9), cases[i].readsAsGuid);
    if (!cases[i].readsAsGuid) {
      EXPECT_EQ(IsNullGuid(read[i].guidItem), 1);
    }
    EXPECT_TRUE(read[i].guidTask == TestGuid(9));
    EXPECT_EQ(read[i].strItemName, L"n");
    EXPECT_EQ(read[i].dwTrimIn, 4294967295u);
    EXPECT_EQ(read[i].nIndex, static_cast<int32_t>(i));
  }
}

TEST_P(ItemStoreTest, ListingFindsReplacesOrLeavesTheArray) {
  const GUID task = TestGuid(2);
  std::vector<SQZGeZhuanItemInfo> items = {Item(task, 1, 2), Item(task, 2, 0), Item(TestGuid(3), 3, 1)};
  ASSERT_EQ(control_.AddGeZhuanItems(&items), 1);
  const std::wstring t = GuidToText(task);

  std::vector<SQZGeZhuanItemInfo> read = {Item(task, 9, 9, L"old")};
  // No match: 0 and the old contents stay.
  EXPECT_EQ(control_.GetGeZhuanItemsByCondition(L"nIndex = 42", &read), 0);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].strItemName, L"old");

  // Blanks around the condition are dropped; the rows replace the contents.
  const std::wstring condition = L" \t guidTask = '" + t + L"' order by nIndex \x3000";
  ASSERT_EQ(control_.GetGeZhuanItemsByCondition(condition, &read), 1);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].nIndex, 0);
  EXPECT_EQ(read[1].nIndex, 2);

  // An order clause of the caller's decides the order.
  ASSERT_EQ(control_.GetGeZhuanItemsByCondition(L"1 = 1 order by nIndex desc", &read), 1);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].nIndex, 2);
  EXPECT_EQ(read[2].nIndex, 0);
  EXPECT_TRUE(debug_.lines().empty());
}

TEST_P(ItemStoreTest, AConditionOfBlanksOnlyIsRefusedByTheDatabase) {
  std::vector<SQZGeZhuanItemInfo> items = {Item(TestGuid(1), 1, 0)};
  ASSERT_EQ(control_.AddGeZhuanItems(&items), 1);
  std::vector<SQZGeZhuanItemInfo> read = {Item(TestGuid(1), 9, 9, L"old")};
  EXPECT_EQ(control_.GetGeZhuanItemsByCondition(L"   ", &read), 0);
  EXPECT_EQ(debug_.lines(), std::vector<std::wstring>{L"select * from GeZhuanTaskItem where "});
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].strItemName, L"old");
}

TEST_P(ItemStoreTest, ARejectedRowTakesTheWholeCallBack) {
  std::vector<SQZGeZhuanItemInfo> earlier = {Item(TestGuid(1), 1, 0)};
  ASSERT_EQ(control_.AddGeZhuanItems(&earlier), 1);
  db_->RejectInsert(L"GeZhuanTaskItem", L"strItemName", L"BAD");

  std::vector<SQZGeZhuanItemInfo> items = {Item(TestGuid(2), 1, 0), Item(TestGuid(2), 2, 1),
                                           Item(TestGuid(2), 3, 2, L"BAD"), Item(TestGuid(2), 4, 3)};
  EXPECT_EQ(control_.AddGeZhuanItems(&items), 0);
  EXPECT_EQ(debug_.lines(), std::vector<std::wstring>{L"select * from GeZhuanTaskItem"});
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 1);

  // The connection is usable afterwards: no transaction was left open.
  items[2].strItemName = L"fine";
  EXPECT_EQ(control_.AddGeZhuanItems(&items), 1);
  control_.CloseQZNVGeZhuanDB();
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 5);
}

TEST_P(ItemStoreTest, DeleteByTaskByItemOrBoth) {
  const GUID a = TestGuid(1), b = TestGuid(2);
  const std::vector<SQZGeZhuanItemInfo> items = {Item(a, 1, 0), Item(a, 2, 1), Item(b, 1, 0), Item(b, 3, 1)};
  const GUID none{};
  struct Case {
    const char* name;
    GUID task, item;
    int result;
    int remaining;
  } const cases[] = {
      {"task only", a, none, 1, 2},
      {"item only, any task", none, TestGuid(1001), 1, 2},
      {"item of that task", a, TestGuid(1001), 1, 3},
      {"item of another task", a, TestGuid(1003), 1, 4},
      {"no match", TestGuid(7), none, 1, 4},
      {"no key", none, none, 0, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    db_->Execute(L"delete from GeZhuanTaskItem");
    ASSERT_EQ(control_.AddGeZhuanItems(&items), 1);
    EXPECT_EQ(control_.DeleteGeZhuanItem(c.task, c.item), c.result);
    EXPECT_EQ(Count(L"GeZhuanTaskItem"), c.remaining);
  }
  EXPECT_TRUE(debug_.lines().empty());
}

TEST_P(ItemStoreTest, ARejectedDeleteIsReportedAndLogged) {
  const std::vector<SQZGeZhuanItemInfo> items = {Item(TestGuid(1), 1, 0), Item(TestGuid(1), 2, 1, L"KEEP")};
  ASSERT_EQ(control_.AddGeZhuanItems(&items), 1);
  db_->RejectDelete(L"GeZhuanTaskItem", L"strItemName", L"KEEP");
  EXPECT_EQ(control_.DeleteGeZhuanItem(TestGuid(1), GUID{}), 0);
  EXPECT_EQ(debug_.lines(), std::vector<std::wstring>{L"delete from GeZhuanTaskItem where guidTask = '" +
                                                      GuidToText(TestGuid(1)) + L"'"});
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 2);
}

QZ_INSTANTIATE_ON_EVERY_ENGINE(ItemStoreTest);

}  // namespace
}  // namespace qz::testing
