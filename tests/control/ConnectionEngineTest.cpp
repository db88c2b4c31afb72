// The connection lifecycle on each real engine: a failed open, copies that
// share one connection, a close through any holder, and a fresh open after.
#include <QZNVGeZhuanDBControl.h>
#include <gtest/gtest.h>

#include "support/EngineDatabase.h"
#include "support/ScriptedDriver.h"

namespace {

using qz::testing::DebugCapture;

class ConnectionEngineTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    QZ_SKIP_WITHOUT_ENGINE(GetParam());
    db_ = qz::testing::MakeEngineDatabase(GetParam());
    ASSERT_NE(db_, nullptr);
  }

  std::unique_ptr<qz::testing::EngineDatabase> db_;
};

TEST_P(ConnectionEngineTest, UnreachableDatabaseIsRefusedWithTheOneMessage) {
  DBsSetNode node = db_->Node();
  node.strConnect2 = L"no_such_database_qz";
  if (GetParam() == "SQLite") node.strConnect1 = L"/no/such/folder";
  if (GetParam() == "OdbcSQLite") node.strConnect2 = L"/no/such/folder/no_such_database_qz";
  DebugCapture debug;
  CQZNVGeZhuanDBControl control;
  EXPECT_EQ(control.OpenQZNVGeZhuanDB(node), 0);
  EXPECT_EQ(debug.lines(), std::vector<std::wstring>{L"Open QZNVMANAGE DBERROR"});
  std::vector<SQZGZVTRTapeTypeGroupInfo> groups;
  EXPECT_EQ(control.GetAllVTRTapeGRPInfos(&groups), 0);
  EXPECT_EQ(debug.lines().size(), 1u);  // no connection: nothing tried, nothing logged
}

TEST_P(ConnectionEngineTest, CopiesShareTheConnectionUntilAnyHolderClosesIt) {
  db_->Execute(
      L"insert into VTRTAPEGROUPINFO (guidGroupID, strGroupName, strGroupHint) values "
      L"('0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9', 'HD', '')");
  CQZNVGeZhuanDBControl original;
  ASSERT_EQ(original.OpenQZNVGeZhuanDB(db_->Node()), 1);
  CQZNVGeZhuanDBControl copy(original);
  std::vector<SQZGZVTRTapeTypeGroupInfo> groups;
  EXPECT_EQ(copy.GetAllVTRTapeGRPInfos(&groups), 1);
  ASSERT_EQ(groups.size(), 1u);

  original.CloseQZNVGeZhuanDB();
  groups.clear();
  EXPECT_EQ(copy.GetAllVTRTapeGRPInfos(&groups), 0);  // closed for every holder, and no crash
  EXPECT_TRUE(groups.empty());
  copy.CloseQZNVGeZhuanDB();

  ASSERT_EQ(copy.OpenQZNVGeZhuanDB(db_->Node()), 1);  // a holder can open afresh
  EXPECT_EQ(copy.GetAllVTRTapeGRPInfos(&groups), 1);
  ASSERT_EQ(copy.OpenQZNVGeZhuanDB(db_->Node()), 1);  // and again, the former let go first
  EXPECT_EQ(copy.GetVtrTapeTypeIfHaveThisGrp(groups[0].guidGroupID), 0);
  copy.CloseQZNVGeZhuanDB();
}

QZ_INSTANTIATE_ON_EVERY_ENGINE(ConnectionEngineTest);

}  // namespace
