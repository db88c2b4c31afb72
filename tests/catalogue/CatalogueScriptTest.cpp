// The catalogue's calls into the access component, seen through the
// scripted driver: the exact statements, what is refused before any call,
// and what the debug output receives when the database fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversions/Conversions.h"
#include "support/ScriptedDriver.h"

namespace {

using qz::conversions::TextToGuid;
using qz::testing::Row;
using qz::testing::V;

const wchar_t kGroupText[] = L"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9";
const wchar_t kTapeText[] = L"F9E8D7C6-B5A4-9382-7160-5F4E3D2C1B0A";

Row GroupRow(const wchar_t* guid, const wchar_t* name) {
  return {{L"guidGroupID", V(guid)}, {L"strGroupName", V(name)}, {L"strGroupHint", V(L" hint ")}};
}

Row TapeRow(const wchar_t* guid, const wchar_t* name, int32_t is_default) {
  return {{L"TAPEGUID", V(guid)},          {L"TAPENAME", V(name)},          {L"TAPEHINT", V(L"hint")},
          {L"guidGroupID", V(kGroupText)}, {L"nMaxLength", V(int32_t{90})}, {L"bIfDefault", V(is_default)}};
}

class CatalogueScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(control_.OpenQZNVGeZhuanDB(DBsSetNode()), 1); }

  std::vector<std::string> Opens() { return driver_.script().CallsOf({"Open"}); }

  qz::testing::ScriptedDriver driver_;
  qz::testing::DebugCapture debug_;
  CQZNVGeZhuanDBControl control_;
  std::vector<SQZGZVTRTapeTypeGroupInfo> groups_;
  std::vector<SQZGZVTRTapeTypeInfo> tapes_;
  SQZGZVTRTapeTypeInfo info_;
  std::wstring name_;
  GUID group_{};
};

TEST_F(CatalogueScriptTest, StatementsAreExactAndReadOnly) {
  const GUID group = TextToGuid(kGroupText);
  const GUID tape = TextToGuid(kTapeText);
  control_.GetAllVTRTapeGRPInfos(&groups_);
  control_.GetVTRTapeGRPInfosByCondition(L"", &groups_);
  control_.GetVTRTapeGRPInfosByCondition(L"  strGroupName like 'B%'\t", &groups_);
  control_.GetVTRTapeTypeGrpName(group, name_);
  control_.GetAllVTRTapeInfos(&tapes_);
  control_.GetVTRTapeInfosByCondition(L"", &tapes_);
  control_.GetVTRTapeInfosByCondition(L" nMaxLength > 60 ", &tapes_);
  control_.GetVtrTapeTypeIfHaveThisGrp(group);
  control_.GetVtrTapeTypeGrpGuid(tape, group_);
  control_.GetDefaultVTRTapeInfo(&info_);
  EXPECT_EQ(Opens(), (std::vector<std::string>{
                         "Open(select * from VTRTAPEGROUPINFO ORDER BY strGroupName|0)",
                         "Open(select * from VTRTAPEGROUPINFO|0)",
                         "Open(select * from VTRTAPEGROUPINFO where strGroupName like 'B%'|0)",
                         "Open(select guidGroupID,strGroupName from VTRTAPEGROUPINFO where guidGroupID = "
                         "'0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9'|0)",
                         "Open(select * from VTRTAPEINFO ORDER BY TAPENAME|0)",
                         "Open(select * from VTRTAPEINFO|0)",
                         "Open(select * from VTRTAPEINFO where nMaxLength > 60|0)",
                         "Open(select * from VTRTAPEINFO where guidGroupID = '0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9'|0)",
                         "Open(select guidGroupID from VTRTAPEINFO where TAPEGUID = "
                         "'F9E8D7C6-B5A4-9382-7160-5F4E3D2C1B0A'|0)",
                         "Open(select * from VTRTAPEINFO where bIfDefault = 1|0)",
                     }));
  // Reads only: no transaction, no writes.
  EXPECT_EQ(driver_.script().CallsOf({"BeginTrans", "AddNew", "Edit", "SetFieldValue", "Update"}).size(), 0u);
  EXPECT_TRUE(debug_.lines().empty());
}

// A null key or a missing output is refused before anything reaches the
// database, and nothing is logged. Without a connection, likewise.
TEST_F(CatalogueScriptTest, NullKeysAndMissingOutputsMakeNoCall) {
  const size_t before = driver_.script().calls.size();
  GUID group = TextToGuid(kGroupText);
  name_ = L"kept";
  EXPECT_EQ(control_.GetVTRTapeTypeGrpName(GUID{}, name_), 0);
  EXPECT_EQ(control_.GetVtrTapeTypeIfHaveThisGrp(GUID{}), 0);
  EXPECT_EQ(control_.GetVtrTapeTypeGrpGuid(GUID{}, group), 0);
  EXPECT_EQ(control_.GetAllVTRTapeGRPInfos(nullptr), 0);
  EXPECT_EQ(control_.GetVTRTapeGRPInfosByCondition(L"1 = 1", nullptr), 0);
  EXPECT_EQ(control_.GetAllVTRTapeInfos(nullptr), 0);
  EXPECT_EQ(control_.GetVTRTapeInfosByCondition(L"1 = 1", nullptr), 0);
  EXPECT_EQ(control_.GetDefaultVTRTapeInfo(nullptr), 0);
  EXPECT_EQ(driver_.script().calls.size(), before);
  EXPECT_EQ(name_, L"kept");
  EXPECT_EQ(group, TextToGuid(kGroupText));

  CQZNVGeZhuanDBControl unopened;
  EXPECT_EQ(unopened.GetAllVTRTapeGRPInfos(&groups_), 0);
  EXPECT_EQ(unopened.GetVTRTapeTypeGrpName(TextToGuid(kGroupText), name_), 0);
  EXPECT_EQ(unopened.GetVtrTapeTypeIfHaveThisGrp(TextToGuid(kGroupText)), 0);
  EXPECT_EQ(unopened.GetDefaultVTRTapeInfo(&info_), 0);
  control_.CloseQZNVGeZhuanDB();
  const size_t after_close = driver_.script().calls.size();
  EXPECT_EQ(control_.GetAllVTRTapeInfos(&tapes_), 0);
  EXPECT_EQ(driver_.script().calls.size(), after_close);
  EXPECT_TRUE(debug_.lines().empty());
}

// Open throwing: 0, the statement alone in the debug output, outputs as
// they were. Open answering false: 0 and nothing logged.
TEST_F(CatalogueScriptTest, FailedOpenIsLoggedAsTheStatementAlone) {
  groups_.assign(1, SQZGZVTRTapeTypeGroupInfo());
  tapes_.assign(1, SQZGZVTRTapeTypeInfo());
  name_ = L"kept";
  info_.TAPENAME = L"kept";
  for (int nth = 1; nth <= 6; ++nth) driver_.script().ThrowOn("Open", nth);
  EXPECT_EQ(control_.GetAllVTRTapeGRPInfos(&groups_), 0);
  EXPECT_EQ(control_.GetVTRTapeTypeGrpName(TextToGuid(kGroupText), name_), 0);
  EXPECT_EQ(control_.GetVTRTapeInfosByCondition(L"  bIfDefault = 0 ", &tapes_), 0);
  EXPECT_EQ(control_.GetVtrTapeTypeIfHaveThisGrp(TextToGuid(kGroupText)), 0);
  EXPECT_EQ(control_.GetVtrTapeTypeGrpGuid(TextToGuid(kTapeText), group_), 0);
  EXPECT_EQ(control_.GetDefaultVTRTapeInfo(&info_), 0);
  EXPECT_EQ(debug_.lines(),
            (std::vector<std::wstring>{
                L"select * from VTRTAPEGROUPINFO ORDER BY strGroupName",
                L"select guidGroupID,strGroupName from VTRTAPEGROUPINFO where guidGroupID = "
                L"'0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9'",
                L"select * from VTRTAPEINFO where bIfDefault = 0",
                L"select * from VTRTAPEINFO where guidGroupID = '0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9'",
                L"select guidGroupID from VTRTAPEINFO where TAPEGUID = 'F9E8D7C6-B5A4-9382-7160-5F4E3D2C1B0A'",
                L"select * from VTRTAPEINFO where bIfDefault = 1",
            }));
  EXPECT_EQ(groups_.size(), 1u);
  EXPECT_EQ(tapes_.size(), 1u);
  EXPECT_EQ(name_, L"kept");
  EXPECT_EQ(info_.TAPENAME, L"kept");

  driver_.script().FailOn("Open", 7);
  driver_.script().QueueResult({GroupRow(kGroupText, L"Betacam")});
  EXPECT_EQ(control_.GetAllVTRTapeGRPInfos(&groups_), 0);
  EXPECT_EQ(groups_.size(), 1u);
  EXPECT_EQ(debug_.lines().size(), 6u);
}

// The row mappings read their columns in table order, bracketed, trimmed.
TEST_F(CatalogueScriptTest, RowMappingsReadEveryColumnInOrder) {
  driver_.script().QueueResult({GroupRow(L" 0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9 ", L"  Betacam ")});
  ASSERT_EQ(control_.GetAllVTRTapeGRPInfos(&groups_), 1);
  driver_.script().QueueResult({TapeRow(kTapeText, L" HDCAM ", 1)});
  ASSERT_EQ(control_.GetAllVTRTapeInfos(&tapes_), 1);
  EXPECT_EQ(driver_.script().CallsOf({"GetValue"}),
            (std::vector<std::string>{"GetValue(guidGroupID)", "GetValue(strGroupName)", "GetValue(strGroupHint)",
                                      "GetValue(TAPEGUID)", "GetValue(TAPENAME)", "GetValue(TAPEHINT)",
                                      "GetValue(guidGroupID)", "GetValue(nMaxLength)", "GetValue(bIfDefault)"}));
  ASSERT_EQ(groups_.size(), 1u);
  EXPECT_EQ(groups_[0].guidGroupID, TextToGuid(kGroupText));
  EXPECT_EQ(groups_[0].strGroupName, L"Betacam");
  EXPECT_EQ(groups_[0].strGroupHint, L"hint");
  ASSERT_EQ(tapes_.size(), 1u);
  EXPECT_EQ(tapes_[0].TAPENAME, L"HDCAM");
  EXPECT_EQ(tapes_[0].nMaxLength, 90);
  EXPECT_EQ(tapes_[0].bIfDefault, 1);
}

// A failure between rows: 0, the statement logged, the array emptied and
// holding the rows read before the failure.
TEST_F(CatalogueScriptTest, FailureWhileReadingKeepsTheRowsReadBefore) {
  groups_.assign(4, SQZGZVTRTapeTypeGroupInfo());
  driver_.script().QueueResult({GroupRow(kGroupText, L"A"), GroupRow(kGroupText, L"B"), GroupRow(kGroupText, L"C")});
  driver_.script().ThrowOn("GetValue", 8);  // the third row's second column
  EXPECT_EQ(control_.GetAllVTRTapeGRPInfos(&groups_), 0);
  ASSERT_EQ(groups_.size(), 2u);
  EXPECT_EQ(groups_[1].strGroupName, L"B");

  tapes_.assign(4, SQZGZVTRTapeTypeInfo());
  driver_.script().QueueResult({TapeRow(kTapeText, L"A", 0), TapeRow(kTapeText, L"B", 0)});
  driver_.script().ThrowOn("MoveNext", 3);  // after the first tape row (the groups moved twice)
  EXPECT_EQ(control_.GetVTRTapeInfosByCondition(L"nMaxLength = 90", &tapes_), 0);
  ASSERT_EQ(tapes_.size(), 1u);
  EXPECT_EQ(tapes_[0].TAPENAME, L"A");
  EXPECT_EQ(debug_.lines(), (std::vector<std::wstring>{L"select * from VTRTAPEGROUPINFO ORDER BY strGroupName",
                                                       L"select * from VTRTAPEINFO where nMaxLength = 90"}));
  // The record set is closed on the failing path too.
  EXPECT_EQ(driver_.script().Count("CloseSet"), 2);
}

// The default tape type: every flagged row passes through the record, the
// last one delivered remains. The lookups read the first row alone.
TEST_F(CatalogueScriptTest, DefaultKeepsTheLastRowLookupsTheFirst) {
  driver_.script().QueueResult({TapeRow(kTapeText, L"Digital Betacam", 1), TapeRow(kGroupText, L"IMX", 1)});
  ASSERT_EQ(control_.GetDefaultVTRTapeInfo(&info_), 1);
  EXPECT_EQ(info_.TAPENAME, L"IMX");
  EXPECT_EQ(info_.TAPEGUID, TextToGuid(kGroupText));

  driver_.script().QueueResult({GroupRow(kGroupText, L"  First "), GroupRow(kGroupText, L"Second")});
  ASSERT_EQ(control_.GetVTRTapeTypeGrpName(TextToGuid(kGroupText), name_), 1);
  EXPECT_EQ(name_, L"First");
  driver_.script().QueueResult(
      {{{L"guidGroupID", V(L"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}")}}, {{L"guidGroupID", V(kGroupText)}}});
  group_ = TextToGuid(kTapeText);
  ASSERT_EQ(control_.GetVtrTapeTypeGrpGuid(TextToGuid(kTapeText), group_), 1);
  EXPECT_EQ(group_, GUID{});
}

}  // namespace
