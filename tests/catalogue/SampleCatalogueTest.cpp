// The sample catalogue of "gezhuan init --sample": what it adds, that adding
// it again adds nothing, and that it never disturbs rows already there.
#include <QZNVGeZhuanHost.h>
#include <gtest/gtest.h>

#include <cwctype>
#include <set>
#include <string>
#include <vector>

#include "catalogue/CatalogueBackend.h"
#include "catalogue/SampleCatalogue.h"
#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"

namespace {

using qz::conversions::GuidToText;

class SampleCatalogueTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    QZ_SKIP_WITHOUT_ENGINE(GetParam());
    backend_ = qz::testing::MakeCatalogueBackend(GetParam());
    ASSERT_NE(backend_, nullptr);
  }

  int Add() {
    std::wstring error;
    const int result = QZNVGeZhuanAddSampleCatalogue(backend_->Node(), &error);
    EXPECT_EQ(result, 1) << qz::platform::WideToUtf8(error);
    return result;
  }

  void Read(std::vector<SQZGZVTRTapeTypeGroupInfo>* groups, std::vector<SQZGZVTRTapeTypeInfo>* tapes) {
    CQZNVGeZhuanDBControl control;
    ASSERT_EQ(control.OpenQZNVGeZhuanDB(backend_->Node()), 1);
    control.GetAllVTRTapeGRPInfos(groups);
    control.GetAllVTRTapeInfos(tapes);
    control.CloseQZNVGeZhuanDB();
  }

  std::unique_ptr<qz::testing::CatalogueBackend> backend_;
};

TEST_P(SampleCatalogueTest, FillsAnEmptyCatalogueWithOneDefault) {
  Add();
  std::vector<SQZGZVTRTapeTypeGroupInfo> groups;
  std::vector<SQZGZVTRTapeTypeInfo> tapes;
  Read(&groups, &tapes);
  ASSERT_EQ(groups.size(), qz::catalogue::SampleTapeGroups().size());
  ASSERT_EQ(tapes.size(), qz::catalogue::SampleTapeTypes().size());
  std::set<std::wstring> group_keys;
  for (const auto& group : groups) group_keys.insert(GuidToText(group.guidGroupID));
  int defaults = 0;
  for (const auto& tape : tapes) {
    EXPECT_EQ(group_keys.count(GuidToText(tape.guidGroupID)), 1u) << qz::platform::WideToUtf8(tape.TAPENAME);
    EXPECT_GT(tape.nMaxLength, 0);
    EXPECT_FALSE(tape.TAPEHINT.empty());
    defaults += tape.bIfDefault == 1;
  }
  EXPECT_EQ(defaults, 1);
}

// Adding twice adds nothing the second time; a row already under a sample
// key is left as it is; a catalogue with its own default keeps it alone.
TEST_P(SampleCatalogueTest, AddsOnlyWhatIsMissingAndKeepsOneDefault) {
  const SQZGZVTRTapeTypeInfo& first = qz::catalogue::SampleTapeTypes().front();
  // The same key in lower case, which is the same tape type.
  std::wstring key = GuidToText(first.TAPEGUID);
  for (wchar_t& c : key) c = static_cast<wchar_t>(towlower(c));
  backend_->InsertTape(key, L"Renamed by the user", L"", L"", 30, 0);
  backend_->InsertTape(L"AAAAAAAA-0000-0000-0000-000000000001", L"House format", L"", L"", 60, 1);
  Add();
  Add();

  std::vector<SQZGZVTRTapeTypeGroupInfo> groups;
  std::vector<SQZGZVTRTapeTypeInfo> tapes;
  Read(&groups, &tapes);
  EXPECT_EQ(groups.size(), qz::catalogue::SampleTapeGroups().size());
  ASSERT_EQ(tapes.size(), qz::catalogue::SampleTapeTypes().size() + 1);
  std::vector<std::wstring> defaults;
  bool renamed_kept = false;
  for (const auto& tape : tapes) {
    if (tape.bIfDefault == 1) defaults.push_back(tape.TAPENAME);
    if (tape.TAPEGUID == first.TAPEGUID) renamed_kept = tape.TAPENAME == L"Renamed by the user";
    EXPECT_NE(tape.TAPENAME, first.TAPENAME);
  }
  EXPECT_TRUE(renamed_kept);
  EXPECT_EQ(defaults, std::vector<std::wstring>{L"House format"});
}

// A database that refuses one row part way: nothing of the sample stays.
TEST_P(SampleCatalogueTest, RefusedRowRollsEverythingBack) {
  backend_->database().RejectInsert(L"VTRTAPEINFO", L"TAPENAME", L"HDCAM");
  std::wstring error;
  EXPECT_EQ(QZNVGeZhuanAddSampleCatalogue(backend_->Node(), &error), 0);
  EXPECT_NE(error.find(L"rejected HDCAM"), std::wstring::npos) << qz::platform::WideToUtf8(error);

  CQZNVGeZhuanDBControl control;
  ASSERT_EQ(control.OpenQZNVGeZhuanDB(backend_->Node()), 1);
  std::vector<SQZGZVTRTapeTypeGroupInfo> groups;
  std::vector<SQZGZVTRTapeTypeInfo> tapes;
  EXPECT_EQ(control.GetAllVTRTapeGRPInfos(&groups), 0);
  EXPECT_EQ(control.GetAllVTRTapeInfos(&tapes), 0);
  control.CloseQZNVGeZhuanDB();
}

TEST_P(SampleCatalogueTest, WithoutTablesReportsTheDatabasesMessage) {
  backend_.reset();  // first: on a server the two would share the tables
  backend_ = qz::testing::MakeCatalogueBackend(GetParam(), /*with_tables=*/false);
  ASSERT_NE(backend_, nullptr);
  std::wstring error;
  EXPECT_EQ(QZNVGeZhuanAddSampleCatalogue(backend_->Node(), &error), 0);
  EXPECT_FALSE(error.empty());
}

QZ_INSTANTIATE_ON_EVERY_ENGINE(SampleCatalogueTest);

}  // namespace
