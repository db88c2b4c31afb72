// Opening and closing the control object's connection, through the scripted
// driver: the kind-code mapping, both failure paths, closing once, copies.
#include <QZNVGeZhuanDBControl.h>
#include <gtest/gtest.h>

#include "support/ScriptedDriver.h"

namespace {

using qz::testing::DebugCapture;
using qz::testing::ScriptedDriver;

DBsSetNode NodeOfKind(int kind) {
  DBsSetNode node;
  node.nDBType = kind;
  node.strConnect1 = L"one";
  node.strConnect2 = L"two";
  node.strSettingName = L"ignored";
  return node;
}

TEST(Connection, KindCodesMapToEngines) {
  const std::pair<int, int> table[] = {{2, 1}, {4, 2}, {8, 3},  {16, 4},  {32, 5}, {0, 0},
                                       {1, 0}, {3, 0}, {64, 0}, {128, 0}, {-1, 0}, {6, 0}};
  for (auto [kind, type] : table) {
    ScriptedDriver driver;
    CQZNVGeZhuanDBControl control;
    EXPECT_EQ(control.OpenQZNVGeZhuanDB(NodeOfKind(kind)), 1);
    ASSERT_FALSE(driver.script().calls.empty());
    EXPECT_EQ(driver.script().calls.front(), "Connect(" + std::to_string(type) + ")") << "kind " << kind;
    control.CloseQZNVGeZhuanDB();
  }
}

TEST(Connection, RefusedConnectIsLoggedOnceAndLeavesNoConnection) {
  ScriptedDriver driver;
  DebugCapture debug;
  driver.script().ThrowOn("Connect", 1);
  CQZNVGeZhuanDBControl control;
  EXPECT_EQ(control.OpenQZNVGeZhuanDB(NodeOfKind(0)), 0);
  EXPECT_EQ(debug.lines(), std::vector<std::wstring>{L"Open QZNVMANAGE DBERROR"});
  control.CloseQZNVGeZhuanDB();  // nothing to close
  EXPECT_EQ(driver.script().Count("Close"), 0);
}

TEST(Connection, UnusableConnectionIsDroppedSilently) {
  ScriptedDriver driver;
  DebugCapture debug;
  driver.script().connected = false;
  CQZNVGeZhuanDBControl control;
  EXPECT_EQ(control.OpenQZNVGeZhuanDB(NodeOfKind(0)), 0);
  EXPECT_TRUE(debug.lines().empty());
  EXPECT_EQ(driver.script().CallsOf({"Connect", "IsConnectted", "Close"}),
            (std::vector<std::string>{"Connect(0)", "IsConnectted"}));
}

TEST(Connection, ClosesOnceAndReopensAfterReleasingTheFormer) {
  ScriptedDriver driver;
  CQZNVGeZhuanDBControl control;
  ASSERT_EQ(control.OpenQZNVGeZhuanDB(NodeOfKind(0)), 1);
  ASSERT_EQ(control.OpenQZNVGeZhuanDB(NodeOfKind(2)), 1);  // the first is closed first
  EXPECT_EQ(driver.script().CallsOf({"Connect", "Close"}),
            (std::vector<std::string>{"Connect(0)", "Close", "Connect(1)"}));
  control.CloseQZNVGeZhuanDB();
  control.CloseQZNVGeZhuanDB();
  EXPECT_EQ(driver.script().Count("Close"), 2);
}

TEST(Connection, CopiesShareOneConnectionClosedOnce) {
  ScriptedDriver driver;
  CQZNVGeZhuanDBControl original;
  ASSERT_EQ(original.OpenQZNVGeZhuanDB(NodeOfKind(0)), 1);
  CQZNVGeZhuanDBControl copy(original);
  CQZNVGeZhuanDBControl assigned;
  assigned = original;
  assigned = assigned;  // self-assignment changes nothing

  original.CloseQZNVGeZhuanDB();
  copy.CloseQZNVGeZhuanDB();  // already closed through the original
  assigned.CloseQZNVGeZhuanDB();
  EXPECT_EQ(driver.script().Count("Close"), 1);
  EXPECT_EQ(driver.script().Count("Connect"), 1);
}

TEST(Connection, ReopeningOneCopyLeavesTheOthersConnected) {
  ScriptedDriver driver;
  CQZNVGeZhuanDBControl original;
  ASSERT_EQ(original.OpenQZNVGeZhuanDB(NodeOfKind(0)), 1);
  {
    CQZNVGeZhuanDBControl copy(original);
    ASSERT_EQ(copy.OpenQZNVGeZhuanDB(NodeOfKind(2)), 1);  // the original still holds the first connection
    EXPECT_EQ(driver.script().Count("Close"), 0);
    std::vector<SQZGeZhuanTaskInfo> tasks;
    original.GetGeZhuanTasksByCondition(L"", &tasks);
    EXPECT_EQ(driver.script().Count("Open"), 1) << "the original's connection is still usable";
    copy.CloseQZNVGeZhuanDB();
  }
  // The last holder of the first connection closes it when it reopens.
  ASSERT_EQ(original.OpenQZNVGeZhuanDB(NodeOfKind(0)), 1);
  EXPECT_EQ(driver.script().Count("Close"), 2);
  original.CloseQZNVGeZhuanDB();
}

}  // namespace
