// The operation frame's body variants on the scripted driver: what each
// answers, what it logs, and that the record set is closed on every path.
#include <gtest/gtest.h>

#include <set>

#include "control/OperationFrame.h"
#include "support/ScriptedDriver.h"

namespace {

using qz::testing::DebugCapture;
using qz::testing::MakeRowsOfNames;
using qz::testing::Row;
using qz::testing::ScriptedDriver;
using qz::testing::V;

class OperationFrameTest : public ::testing::Test {
 protected:
  void SetUp() override { database_.Connect(QZDB_SQLITE, L"", L"x", L"", L""); }

  qz::testing::Script& script() { return driver_.script(); }

  // Reads column "name" of every row into a vector of strings.
  int List(std::vector<std::wstring>* out) {
    return qz::control::ListRead(&database_, L"select * from X", out, [](std::wstring* name, CQZRecordSet* set) {
      CQZDBVariant value;
      set->GetValueInColumn(L"[name]", value);
      *name = value.GetText();
    });
  }

  int Insert(size_t count) {
    return qz::control::BatchInsert(&database_, L"X", count, [](size_t i, CQZRecordSet& set) {
      set.SetFieldValue(L"[n]", V(static_cast<int32_t>(i)));
    });
  }

  ScriptedDriver driver_;
  DebugCapture debug_;
  CQZDatabase database_;
};

TEST_F(OperationFrameTest, ListReadReplacesOnRowsAndKeepsOnNone) {
  std::vector<std::wstring> names{L"old"};
  EXPECT_EQ(List(&names), 0);  // nothing queued: no rows
  EXPECT_EQ(names, std::vector<std::wstring>{L"old"});

  script().QueueResult(MakeRowsOfNames({L"a", L"b"}));
  EXPECT_EQ(List(&names), 1);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"a", L"b"}));
  EXPECT_EQ(script().CallsOf({"Open"}),
            (std::vector<std::string>{"Open(select * from X|0)", "Open(select * from X|0)"}));
  EXPECT_TRUE(debug_.lines().empty());
}

TEST_F(OperationFrameTest, ListReadFailingPartWayKeepsWhatWasReadAndLogsTheText) {
  std::vector<std::wstring> names{L"old"};
  script().QueueResult(MakeRowsOfNames({L"a", L"b", L"c"}));
  script().ThrowOn("GetValue", 2);
  EXPECT_EQ(List(&names), 0);
  EXPECT_EQ(names, std::vector<std::wstring>{L"a"});
  EXPECT_EQ(debug_.lines(), std::vector<std::wstring>{L"select * from X"});
  EXPECT_EQ(script().Count("CloseSet"), 1);

  script().FailOn("Open", 2);
  EXPECT_EQ(List(&names), 0);  // Open false: no log
  EXPECT_EQ(debug_.lines().size(), 1u);
}

TEST_F(OperationFrameTest, BatchInsertRunsInOneTransactionInOrder) {
  EXPECT_EQ(Insert(2), 1);
  EXPECT_EQ(script().CallsOf(
                {"BeginTrans", "Open", "AddNew", "SetFieldValue", "Update", "CloseSet", "CommitTrans", "Rollback"}),
            (std::vector<std::string>{"BeginTrans", "Open(select * from X|1)", "AddNew(X)", "SetFieldValue(n)",
                                      "Update", "AddNew(X)", "SetFieldValue(n)", "Update", "CloseSet", "CommitTrans"}));
}

TEST_F(OperationFrameTest, BatchInsertFailuresRollBack) {
  script().FailOn("Open", 1);
  EXPECT_EQ(Insert(3), 0);
  EXPECT_EQ(script().Count("Rollback"), 1);
  EXPECT_TRUE(debug_.lines().empty());  // Open false is not logged

  script().ThrowOn("Update", 3);
  EXPECT_EQ(Insert(5), 0);
  EXPECT_EQ(script().Count("Rollback"), 2);
  EXPECT_EQ(script().Count("CommitTrans"), 0);
  EXPECT_EQ(script().Count("AddNew"), 3);  // stopped at the failing row
  EXPECT_EQ(debug_.lines(), std::vector<std::wstring>{L"select * from X"});
  EXPECT_EQ(script().Count("CloseSet"), 1);

  // A step after the rows that says no undoes them without a log of its own.
  const int result = qz::control::BatchInsert(
      &database_, L"X", 1, [](size_t, CQZRecordSet&) {}, [] { return false; });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(script().Count("Rollback"), 3);
  EXPECT_EQ(debug_.lines().size(), 1u);
}

TEST_F(OperationFrameTest, DeleteAnswersWhetherTheStatementRan) {
  EXPECT_EQ(qz::control::Delete(&database_, L"delete from X where a = 'b'"), 1);
  script().FailOn("Open", 2);
  EXPECT_EQ(qz::control::Delete(&database_, L"delete from X"), 0);
  script().ThrowOn("Open", 3);
  EXPECT_EQ(qz::control::Delete(&database_, L"delete from X where 1"), 0);
  EXPECT_EQ(debug_.lines(), std::vector<std::wstring>{L"delete from X where 1"});
}

// Beginning or committing that answers false (no exception: the connection
// is gone) fails the operation, with the transaction rolled back when it
// was begun; a write never runs outside its transaction.
TEST_F(OperationFrameTest, ATransactionAnsweringFalseFailsTheWrite) {
  const std::set<std::string> kinds{"BeginTrans", "Open", "CommitTrans", "Rollback"};
  auto write = [&] {
    return qz::control::InOneTransaction(&database_, L"delete from X",
                                         [&] { return qz::control::Delete(&database_, L"delete from X") != 0; });
  };
  script().FailOn("BeginTrans", 1);
  script().FailOn("BeginTrans", 2);
  EXPECT_EQ(write(), 0);
  EXPECT_EQ(Insert(1), 0);
  EXPECT_EQ(script().CallsOf(kinds), (std::vector<std::string>{"BeginTrans", "BeginTrans"}));

  script().calls.clear();
  script().FailOn("CommitTrans", 1);
  script().FailOn("CommitTrans", 2);
  EXPECT_EQ(write(), 0);
  EXPECT_EQ(Insert(1), 0);
  EXPECT_EQ(script().CallsOf(kinds),
            (std::vector<std::string>{"BeginTrans", "Open(delete from X|1)", "CommitTrans", "Rollback", "BeginTrans",
                                      "Open(select * from X|1)", "CommitTrans", "Rollback"}));
  EXPECT_TRUE(debug_.lines().empty());  // nothing threw

  script().calls.clear();
  script().ThrowOn("BeginTrans", 5);
  EXPECT_EQ(write(), 0);
  EXPECT_EQ(debug_.lines(), std::vector<std::wstring>{L"delete from X"});
  EXPECT_EQ(script().CallsOf(kinds), std::vector<std::string>{"BeginTrans"});
}

TEST_F(OperationFrameTest, ConditionsAreTrimmedButBlankIsNotEmpty) {
  using qz::control::WithCondition;
  EXPECT_EQ(WithCondition(L"select * from X", L""), L"select * from X");
  EXPECT_EQ(WithCondition(L"select * from X", L" \t a = 1 \u3000"), L"select * from X where a = 1");
  EXPECT_EQ(WithCondition(L"select * from X", L"   "), L"select * from X where ");
}

}  // namespace
