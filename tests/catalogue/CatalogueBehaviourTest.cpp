// The catalogue against a real database: what the tables hold decides what
// the reads answer. Runs once per backend of CatalogueBackend.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue/CatalogueBackend.h"
#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"
#include "support/ScriptedDriver.h"

namespace {

using qz::conversions::IsNullGuid;
using qz::conversions::TextToGuid;

const wchar_t kBetacam[] = L"11111111-2222-3333-4444-555555555501";
const wchar_t kDV[] = L"11111111-2222-3333-4444-555555555502";
const wchar_t kHD[] = L"11111111-2222-3333-4444-555555555503";
const wchar_t kNoTapes[] = L"11111111-2222-3333-4444-555555555504";
const wchar_t kUnknown[] = L"11111111-2222-3333-4444-5555555555FF";

const wchar_t kDigiBeta[] = L"AAAAAAAA-0000-0000-0000-000000000001";
const wchar_t kMiniDV[] = L"AAAAAAAA-0000-0000-0000-000000000002";
const wchar_t kHDCAM[] = L"AAAAAAAA-0000-0000-0000-000000000003";

GUID G(const wchar_t* text) { return TextToGuid(text); }

SQZGZVTRTapeTypeGroupInfo SentinelGroup() {
  SQZGZVTRTapeTypeGroupInfo group;
  group.guidGroupID = G(kUnknown);
  group.strGroupName = L"sentinel";
  return group;
}

SQZGZVTRTapeTypeInfo SentinelTape() {
  SQZGZVTRTapeTypeInfo tape;
  tape.TAPEGUID = G(kUnknown);
  tape.TAPENAME = L"sentinel";
  tape.nMaxLength = 77;
  tape.bIfDefault = 5;
  return tape;
}

bool SameTape(const SQZGZVTRTapeTypeInfo& a, const SQZGZVTRTapeTypeInfo& b) {
  return a.TAPEGUID == b.TAPEGUID && a.TAPENAME == b.TAPENAME && a.TAPEHINT == b.TAPEHINT &&
         a.guidGroupID == b.guidGroupID && a.nMaxLength == b.nMaxLength && a.bIfDefault == b.bIfDefault;
}

std::vector<std::wstring> GroupNames(const std::vector<SQZGZVTRTapeTypeGroupInfo>& groups) {
  std::vector<std::wstring> names;
  for (const auto& group : groups) names.push_back(group.strGroupName);
  return names;
}

std::vector<std::wstring> TapeNames(const std::vector<SQZGZVTRTapeTypeInfo>& tapes) {
  std::vector<std::wstring> names;
  for (const auto& tape : tapes) names.push_back(tape.TAPENAME);
  return names;
}

class CatalogueTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    QZ_SKIP_WITHOUT_ENGINE(GetParam());
    backend_ = qz::testing::MakeCatalogueBackend(GetParam());
    ASSERT_NE(backend_, nullptr);
    ASSERT_EQ(control_.OpenQZNVGeZhuanDB(backend_->Node()), 1);
  }
  void TearDown() override { control_.CloseQZNVGeZhuanDB(); }

  // Three groups with blanks around names and hints, and one group without
  // tape types; inserted out of name order.
  void AddGroups() {
    backend_->InsertGroup(kHD, L"HD", L"high definition");
    backend_->InsertGroup(kBetacam, L"  Betacam  ", L"  Sony  half-inch  ");
    backend_->InsertGroup(kDV, L"DV", L"");
    backend_->InsertGroup(kNoTapes, L"Film", L"no tape types");
  }
  void AddTapes() {
    backend_->InsertTape(kHDCAM, L"HDCAM", L"  144 Mbit/s ", kHD, 124, 0);
    backend_->InsertTape(kDigiBeta, L" Digital Betacam ", L"", kBetacam, -5, 1);
    backend_->InsertTape(kMiniDV, L"MiniDV", L"locked audio", kDV, 184, 2);
  }

  qz::testing::DebugCapture debug_;
  std::unique_ptr<qz::testing::CatalogueBackend> backend_;
  CQZNVGeZhuanDBControl control_;
};

// No rows anywhere: every read answers 0 and leaves the caller's array,
// record, name or GUID exactly as it was, without a word in the debug output.
TEST_P(CatalogueTest, EmptyCatalogueAnswersZeroAndLeavesOutputsAlone) {
  std::vector<SQZGZVTRTapeTypeGroupInfo> groups(2, SentinelGroup());
  std::vector<SQZGZVTRTapeTypeInfo> tapes(2, SentinelTape());
  EXPECT_EQ(control_.GetAllVTRTapeGRPInfos(&groups), 0);
  EXPECT_EQ(control_.GetVTRTapeGRPInfosByCondition(L"", &groups), 0);
  EXPECT_EQ(control_.GetAllVTRTapeInfos(&tapes), 0);
  EXPECT_EQ(control_.GetVTRTapeInfosByCondition(L"", &tapes), 0);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[1].strGroupName, L"sentinel");
  ASSERT_EQ(tapes.size(), 2u);
  EXPECT_TRUE(SameTape(tapes[1], SentinelTape()));

  std::wstring name = L"kept";
  EXPECT_EQ(control_.GetVTRTapeTypeGrpName(G(kBetacam), name), 0);
  EXPECT_EQ(name, L"kept");
  GUID group = G(kUnknown);
  EXPECT_EQ(control_.GetVtrTapeTypeGrpGuid(G(kDigiBeta), group), 0);
  EXPECT_EQ(group, G(kUnknown));
  EXPECT_EQ(control_.GetVtrTapeTypeIfHaveThisGrp(G(kBetacam)), 0);
  SQZGZVTRTapeTypeInfo info = SentinelTape();
  EXPECT_EQ(control_.GetDefaultVTRTapeInfo(&info), 0);
  EXPECT_TRUE(SameTape(info, SentinelTape()));
  EXPECT_TRUE(debug_.lines().empty());
}

// A listing replaces the array (it does not extend it), in name order, with
// names and hints trimmed and integers as stored. (Names are chosen to sort
// alike under byte order and under linguistic collations.)
TEST_P(CatalogueTest, ListingsReplaceTheArrayInNameOrder) {
  AddGroups();
  AddTapes();
  std::vector<SQZGZVTRTapeTypeGroupInfo> groups(3, SentinelGroup());
  ASSERT_EQ(control_.GetAllVTRTapeGRPInfos(&groups), 1);
  EXPECT_EQ(GroupNames(groups), (std::vector<std::wstring>{L"Betacam", L"DV", L"Film", L"HD"}));
  EXPECT_EQ(groups[0].guidGroupID, G(kBetacam));
  EXPECT_EQ(groups[0].strGroupHint, L"Sony  half-inch");

  std::vector<SQZGZVTRTapeTypeInfo> tapes(5, SentinelTape());
  ASSERT_EQ(control_.GetAllVTRTapeInfos(&tapes), 1);
  ASSERT_EQ(TapeNames(tapes), (std::vector<std::wstring>{L"Digital Betacam", L"HDCAM", L"MiniDV"}));
  EXPECT_EQ(tapes[0].nMaxLength, -5);
  EXPECT_EQ(tapes[0].bIfDefault, 1);
  EXPECT_EQ(tapes[1].TAPEHINT, L"144 Mbit/s");
  EXPECT_EQ(tapes[2].TAPEGUID, G(kMiniDV));
  EXPECT_EQ(tapes[2].guidGroupID, G(kDV));
  EXPECT_EQ(tapes[2].nMaxLength, 184);
  EXPECT_EQ(tapes[2].bIfDefault, 2);

  // An empty condition lists the whole table too.
  groups.assign(1, SentinelGroup());
  ASSERT_EQ(control_.GetVTRTapeGRPInfosByCondition(L"", &groups), 1);
  EXPECT_EQ(groups.size(), 4u);
  tapes.assign(1, SentinelTape());
  ASSERT_EQ(control_.GetVTRTapeInfosByCondition(L"", &tapes), 1);
  EXPECT_EQ(tapes.size(), 3u);
}

// A condition is trimmed, not emptied: blanks around it go, blanks alone
// leave a bare " where " that the database refuses, logged as the SQL text.
TEST_P(CatalogueTest, ConditionsAreTrimmedAndOtherwiseTakenAsGiven) {
  AddGroups();
  AddTapes();
  std::vector<SQZGZVTRTapeTypeGroupInfo> groups(2, SentinelGroup());
  ASSERT_EQ(control_.GetVTRTapeGRPInfosByCondition(L" \t strGroupName = 'DV' \n", &groups), 1);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].guidGroupID, G(kDV));

  std::vector<SQZGZVTRTapeTypeInfo> tapes(2, SentinelTape());
  ASSERT_EQ(control_.GetVTRTapeInfosByCondition(L"  nMaxLength > 100  ", &tapes), 1);
  EXPECT_EQ(tapes.size(), 2u);

  // Matching nothing: 0 and the array as it was.
  tapes.assign(2, SentinelTape());
  EXPECT_EQ(control_.GetVTRTapeInfosByCondition(L"TAPENAME = 'Quadruplex'", &tapes), 0);
  EXPECT_EQ(tapes.size(), 2u);
  groups.assign(2, SentinelGroup());
  EXPECT_EQ(control_.GetVTRTapeGRPInfosByCondition(L"strGroupName = 'U-matic'", &groups), 0);
  EXPECT_EQ(groups.size(), 2u);
  EXPECT_TRUE(debug_.lines().empty());

  EXPECT_EQ(control_.GetVTRTapeGRPInfosByCondition(L"   ", &groups), 0);
  EXPECT_EQ(control_.GetVTRTapeInfosByCondition(L" \t ", &tapes), 0);
  EXPECT_EQ(groups.size(), 2u);
  EXPECT_EQ(tapes.size(), 2u);
  EXPECT_EQ(debug_.lines(),
            (std::vector<std::wstring>{L"select * from VTRTAPEGROUPINFO where ", L"select * from VTRTAPEINFO where "}));
}

// Stored key text that is not GUID text reads as the null GUID; the row is
// still delivered, and a tape type's group found as null still counts as
// found. Blanks and lower case around a real GUID are no obstacle.
TEST_P(CatalogueTest, KeyTextThatIsNotGuidTextReadsAsNullGuid) {
  backend_->database().AcceptAnyText(L"VTRTAPEGROUPINFO", L"guidGroupID");
  backend_->database().AcceptAnyText(L"VTRTAPEINFO", L"guidGroupID");
  backend_->InsertGroup(L"{11111111-2222-3333-4444-555555555501}", L"Braced", L"");
  backend_->InsertGroup(kDV, L"DV", L"");
  backend_->InsertTape(kDigiBeta, L"Digital Betacam", L"", L"{11111111-2222-3333-4444-555555555501}", 124, 0);
  backend_->InsertTape(kMiniDV, L"MiniDV", L"", L"  11111111-2222-3333-4444-5555555555aa ", 184, 0);
  backend_->InsertTape(L"", L"No key", L"", L"", 0, 0);

  std::vector<SQZGZVTRTapeTypeGroupInfo> groups;
  ASSERT_EQ(control_.GetAllVTRTapeGRPInfos(&groups), 1);
  ASSERT_EQ(GroupNames(groups), (std::vector<std::wstring>{L"Braced", L"DV"}));
  EXPECT_TRUE(IsNullGuid(groups[0].guidGroupID));
  EXPECT_EQ(groups[1].guidGroupID, G(kDV));

  GUID group = G(kUnknown);
  EXPECT_EQ(control_.GetVtrTapeTypeGrpGuid(G(kDigiBeta), group), 1);
  EXPECT_TRUE(IsNullGuid(group));
  EXPECT_EQ(control_.GetVtrTapeTypeGrpGuid(G(kMiniDV), group), 1);
  EXPECT_EQ(group, G(L"11111111-2222-3333-4444-5555555555AA"));

  std::vector<SQZGZVTRTapeTypeInfo> tapes;
  ASSERT_EQ(control_.GetAllVTRTapeInfos(&tapes), 1);
  ASSERT_EQ(TapeNames(tapes), (std::vector<std::wstring>{L"Digital Betacam", L"MiniDV", L"No key"}));
  EXPECT_TRUE(IsNullGuid(tapes[0].guidGroupID));
  EXPECT_TRUE(IsNullGuid(tapes[2].TAPEGUID));
}

// Only bIfDefault = 1 marks the default. Of several, the one delivered last
// remains; which one that is the database decides, so it is compared with
// the same query's listing.
TEST_P(CatalogueTest, DefaultTapeTypeIsTheLastFlaggedOneDelivered) {
  backend_->InsertTape(kMiniDV, L"MiniDV", L"", kDV, 184, 2);
  backend_->InsertTape(kHDCAM, L"HDCAM", L"", kHD, 124, -1);
  SQZGZVTRTapeTypeInfo info = SentinelTape();
  EXPECT_EQ(control_.GetDefaultVTRTapeInfo(&info), 0);
  EXPECT_TRUE(SameTape(info, SentinelTape()));

  backend_->InsertTape(kDigiBeta, L"Digital Betacam", L"digital", kBetacam, 124, 1);
  backend_->InsertTape(L"AAAAAAAA-0000-0000-0000-000000000004", L"IMX", L"mpeg", kBetacam, 184, 1);
  ASSERT_EQ(control_.GetDefaultVTRTapeInfo(&info), 1);
  std::vector<SQZGZVTRTapeTypeInfo> flagged;
  ASSERT_EQ(control_.GetVTRTapeInfosByCondition(L"bIfDefault = 1", &flagged), 1);
  ASSERT_EQ(flagged.size(), 2u);
  EXPECT_TRUE(SameTape(info, flagged.back()));
  EXPECT_EQ(info.bIfDefault, 1);
}

TEST_P(CatalogueTest, GroupLookups) {
  AddGroups();
  AddTapes();
  std::wstring name = L"kept";
  EXPECT_EQ(control_.GetVTRTapeTypeGrpName(G(kBetacam), name), 1);
  EXPECT_EQ(name, L"Betacam");
  name = L"kept";
  EXPECT_EQ(control_.GetVTRTapeTypeGrpName(G(kUnknown), name), 0);
  EXPECT_EQ(name, L"kept");

  EXPECT_EQ(control_.GetVtrTapeTypeIfHaveThisGrp(G(kHD)), 1);
  EXPECT_EQ(control_.GetVtrTapeTypeIfHaveThisGrp(G(kNoTapes)), 0);
  EXPECT_EQ(control_.GetVtrTapeTypeIfHaveThisGrp(G(kUnknown)), 0);

  GUID group = G(kUnknown);
  EXPECT_EQ(control_.GetVtrTapeTypeGrpGuid(G(kHDCAM), group), 1);
  EXPECT_EQ(group, G(kHD));
  group = G(kNoTapes);
  EXPECT_EQ(control_.GetVtrTapeTypeGrpGuid(G(kUnknown), group), 0);
  EXPECT_EQ(group, G(kNoTapes));
  EXPECT_TRUE(debug_.lines().empty());
}

// A condition runs as the one statement the engine reads in it, by the
// engine's own rules: a backslash is an ordinary character in a quoted text
// and a '$' inside a name opens no dollar quote. Text after the first
// statement is refused (0) and never runs, whichever listing it reaches.
TEST_P(CatalogueTest, AConditionIsOneStatementReadByTheEnginesOwnRules) {
  AddGroups();
  AddTapes();
  backend_->InsertTape(L"AAAAAAAA-0000-0000-0000-000000000005", L"a\\", L"", kDV, 1, 0);
  backend_->InsertTape(L"AAAAAAAA-0000-0000-0000-000000000006", L";x", L"", kDV, 2, 0);

  std::vector<SQZGZVTRTapeTypeInfo> tapes;
  ASSERT_EQ(control_.GetVTRTapeInfosByCondition(L"TAPENAME = 'a\\' or TAPENAME = ';x'", &tapes), 1);
  std::vector<std::wstring> names = TapeNames(tapes);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L";x", L"a\\"}));

  for (const wchar_t* condition : {L"strTaskName = 'a\\'; delete from VTRTAPEINFO where ''=''",
                                   L"TAPENAME = 'a\\'; delete from VTRTAPEINFO where ''=''",
                                   L"exists (select 1 as a$b$) ; delete from VTRTAPEINFO"}) {
    SCOPED_TRACE(qz::platform::WideToUtf8(condition));
    std::vector<SQZGeZhuanTaskInfo> tasks;
    EXPECT_EQ(control_.GetGeZhuanTasksByCondition(condition, &tasks), 0);
    tapes.assign(1, SentinelTape());
    EXPECT_EQ(control_.GetVTRTapeInfosByCondition(condition, &tapes), 0);
    EXPECT_TRUE(tapes.size() == 1 && SameTape(tapes[0], SentinelTape()));
    EXPECT_EQ(backend_->database().QueryInteger(L"select count(*) as v from VTRTAPEINFO"), 5);
  }
}

QZ_INSTANTIATE_ON_EVERY_ENGINE(CatalogueTest);

}  // namespace
