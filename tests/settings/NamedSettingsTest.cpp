// The three settings methods of the control object: what they put in the
// caller's array and when they show the dialog.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/SettingsFixture.h"

namespace {

using qz::testing::CompleteStore;
using qz::testing::kSettingNames;
using qz::testing::Section;
using qz::testing::SettingsTest;

std::vector<std::wstring> Names(const std::vector<DBsSetNode>& settings) {
  std::vector<std::wstring> names;
  for (const DBsSetNode& node : settings) names.push_back(node.strSettingName);
  return names;
}

const std::vector<std::wstring> kAllNames = {L"CommonDataDBSetting",     L"NetManageDBSetting",
                                             L"UserVerifyDBSetting",     L"AccountManageDBSetting",
                                             L"LogEventManageDBSetting", L"QZNVCENTERDBSetting"};

std::vector<DBsSetNode> OldEntries() {
  DBsSetNode old;
  old.strSettingName = L"Old";
  old.strConnect1 = L"old";
  return std::vector<DBsSetNode>(3, old);
}

// The array is emptied first and then holds the six settings in table order,
// each with its caption and the values of the store.
TEST_F(SettingsTest, AllSettingsInTableOrderReplaceOldEntries) {
  WriteStore(CompleteStore());
  std::vector<DBsSetNode> settings = OldEntries();
  ASSERT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 0, 0), 1);
  ASSERT_EQ(Names(settings), kAllNames);
  EXPECT_EQ(settings[0].strCaption, L"Common data database");
  EXPECT_EQ(settings[5].strCaption, L"QZNV centre database");
  EXPECT_EQ(settings[0].nDBType, 0);
  EXPECT_EQ(settings[0].strConnect1, L"/var/lib/qz");
  EXPECT_EQ(settings[0].strConnect2, L"db0.db");
  EXPECT_EQ(settings[0].strConnect4, L"");
  EXPECT_EQ(settings[3].nDBType, 2);
  EXPECT_EQ(settings[3].strConnect2, L"suite3");
  EXPECT_EQ(settings[3].strConnect3, L"user3");
  EXPECT_EQ(settings[3].strConnect4, L"secret3");

  settings = OldEntries();
  dialog_.answer = 1;
  ASSERT_EQ(control_.SetQZNVGeZhuanALLDBSettings(settings), 1);
  EXPECT_EQ(Names(settings), kAllNames);
  EXPECT_EQ(Names(dialog_.seen), kAllNames);
}

TEST_F(SettingsTest, OwnSettingAlone) {
  WriteStore(CompleteStore());
  std::vector<DBsSetNode> settings = OldEntries();
  ASSERT_EQ(control_.GetQZNVGeZhuanDBSettings(settings, 1, 0), 1);
  ASSERT_EQ(settings.size(), 1u);
  EXPECT_EQ(settings[0].strSettingName, L"QZNVCENTERDBSetting");
  EXPECT_EQ(settings[0].strCaption, L"QZNV centre database");
  EXPECT_EQ(settings[0].nDBType, 2);
  EXPECT_EQ(settings[0].strConnect1, L"db.example:5432");
  EXPECT_EQ(dialog_.calls, 0);
}

// When the two reading methods show the dialog: only when allowed, and then
// when some setting lacks Connect1 or Connect2 or the caller forces it.
// Connect3, Connect4 and the kind are not looked at. The dialog comes once,
// after every setting is read, with mode 1.
TEST_F(SettingsTest, DialogRules) {
  const std::string complete = CompleteStore();
  std::string second_lacks_connect2 = complete;
  second_lacks_connect2.replace(second_lacks_connect2.find("suite1"), 6, "");
  std::string own_lacks_connect1 = complete;
  own_lacks_connect1.replace(own_lacks_connect1.find("db.example:5432", complete.find("QZNVCENTER")), 15, "");

  struct Case {
    const char* what;
    const std::string* store;
    int allow;
    int force;
    bool all_shows;  // GetQZNVGeZhuanALLDBSettings
    bool own_shows;  // GetQZNVGeZhuanDBSettings
  };
  const Case kCases[] = {
      {"not allowed, incomplete", &second_lacks_connect2, 0, 0, false, false},
      {"not allowed, forced", &complete, 0, 1, false, false},
      {"allowed, complete", &complete, 1, 0, false, false},
      {"allowed, one lacks Connect2", &second_lacks_connect2, 1, 0, true, false},
      {"allowed, own lacks Connect1", &own_lacks_connect1, 1, 0, true, true},
      {"allowed and forced, complete", &complete, 1, 1, true, true},
      {"any nonzero allows and forces", &complete, -7, 42, true, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteStore(*c.store);
    std::vector<DBsSetNode> settings;
    dialog_ = {};
    EXPECT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, c.allow, c.force), 1);
    EXPECT_EQ(dialog_.calls, c.all_shows ? 1 : 0);
    if (c.all_shows) {
      EXPECT_EQ(dialog_.mode, 1);
      EXPECT_EQ(Names(dialog_.seen), kAllNames);
    }
    dialog_ = {};
    EXPECT_EQ(control_.GetQZNVGeZhuanDBSettings(settings, c.allow, c.force), 1);
    EXPECT_EQ(dialog_.calls, c.own_shows ? 1 : 0);
    if (c.own_shows) {
      EXPECT_EQ(Names(dialog_.seen), std::vector<std::wstring>{L"QZNVCENTERDBSetting"});
    }
  }
}

// Only 2 is a refusal; the caller gets the array as the dialog left it.
TEST_F(SettingsTest, DialogAnswerAndEdits) {
  WriteStore(CompleteStore());
  const std::string before = ReadStore();
  dialog_.edit = [](std::vector<DBsSetNode>& settings) { settings.back().strConnect2 = L"edited"; };
  for (int answer : {0, 1, 3, -1, 2}) {
    SCOPED_TRACE(answer);
    dialog_.answer = answer;
    const int expected = answer == 2 ? 0 : 1;
    std::vector<DBsSetNode> settings;
    EXPECT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 1, 1), expected);
    ASSERT_EQ(settings.size(), 6u);
    EXPECT_EQ(settings[5].strConnect2, L"edited");
    EXPECT_EQ(control_.SetQZNVGeZhuanALLDBSettings(settings), expected);
    EXPECT_EQ(control_.GetQZNVGeZhuanDBSettings(settings, 1, 1), expected);
    ASSERT_EQ(settings.size(), 1u);
    EXPECT_EQ(settings[0].strConnect2, L"edited");
  }
  // The methods themselves store nothing.
  EXPECT_EQ(ReadStore(), before);
}

TEST_F(SettingsTest, SetShowsTheDialogEvenWhenComplete) {
  WriteStore(CompleteStore());
  std::vector<DBsSetNode> settings;
  EXPECT_EQ(control_.SetQZNVGeZhuanALLDBSettings(settings), 1);
  EXPECT_EQ(dialog_.calls, 1);
  EXPECT_EQ(dialog_.mode, 1);
}

// A setting the store lacks, wholly or in part, reads as kind 0 and empty
// texts: it does not carry over what the setting read before it held, so it
// counts as incomplete and brings the dialog where allowed.
TEST_F(SettingsTest, MissingSettingInheritsNothingFromThePreviousOne) {
  WriteStore(Section(kSettingNames[0], "2", "db.example", "common", "user", "secret") +
             "[UserVerifyDBSetting]\nConnect1=only-the-first\n" +
             Section(kSettingNames[4], "4", "DSN=suite", "events", "u", "p"));
  std::vector<DBsSetNode> settings;
  ASSERT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 0, 0), 1);
  ASSERT_EQ(settings.size(), 6u);
  for (int i : {1, 2, 3, 5}) {
    SCOPED_TRACE(kSettingNames[i]);
    EXPECT_EQ(settings[i].nDBType, 0);
    EXPECT_EQ(settings[i].strConnect2, L"");
    EXPECT_EQ(settings[i].strConnect3, L"");
    EXPECT_EQ(settings[i].strConnect4, L"");
  }
  EXPECT_EQ(settings[1].strConnect1, L"");
  EXPECT_EQ(settings[2].strConnect1, L"only-the-first");
  EXPECT_EQ(settings[4].nDBType, 4);
  EXPECT_EQ(dialog_.calls, 0);

  ASSERT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 1, 0), 1);
  EXPECT_EQ(dialog_.calls, 1);
  ASSERT_EQ(control_.GetQZNVGeZhuanDBSettings(settings, 1, 0), 1);
  EXPECT_EQ(dialog_.calls, 2);
  EXPECT_EQ(settings[0].strConnect1, L"");
}

// Nobody to confirm the settings: the dialog answers 2.
TEST_F(SettingsTest, WithoutADialogNeedingOneFails) {
  QZNVGeZhuanSetSettingsDialog(nullptr);
  std::vector<DBsSetNode> settings;
  EXPECT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 1, 0), 0);
  EXPECT_EQ(settings.size(), 6u);
  EXPECT_EQ(control_.GetQZNVGeZhuanDBSettings(settings, 1, 1), 0);
  EXPECT_EQ(control_.SetQZNVGeZhuanALLDBSettings(settings), 0);
  WriteStore(CompleteStore());
  EXPECT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 1, 0), 1);
  EXPECT_EQ(control_.GetQZNVGeZhuanDBSettings(settings, 0, 1), 1);
}

}  // namespace
