// The settings store of the Windows build: the registry, one key per
// setting under HKEY_CURRENT_USER\Software\QZ\DBSettings, DBType a DWORD
// and Connect1 to Connect4 strings.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "settings/SettingsFixture.h"
#include "settings/SettingsStore.h"

namespace {

using qz::testing::CompleteStore;
using qz::testing::Section;
using qz::testing::SettingsTest;

DBsSetNode Node(const wchar_t* name, int kind, const std::wstring& c1, const std::wstring& c2,
                const std::wstring& c3 = L"", const std::wstring& c4 = L"") {
  DBsSetNode node;
  node.strSettingName = name;
  node.nDBType = kind;
  node.strConnect1 = c1;
  node.strConnect2 = c2;
  node.strConnect3 = c3;
  node.strConnect4 = c4;
  return node;
}

SQZDataBaseInfo Read(const wchar_t* name) {
  SQZDataBaseInfo info;
  info.nDBType = 99;
  info.strConnect1 = L"left over";
  qz::settings::ReadQZDBSettingFromReg(name, info);
  return info;
}

// Text outside the BMP, CJK text, a negative kind and empty texts all come
// back as they were saved; settings not saved stay as they were.
TEST_F(SettingsTest, RegistrySaveReadsBackExactly) {
  WriteStore(Section("Other", "2", "keep", "me"));
  const std::wstring kMusic = L"\U0001D11E 乐谱 \U0001F600";
  const std::vector<DBsSetNode> nodes = {
      Node(L"QZNVCENTERDBSetting", 4, L"DSN=" + kMusic, L"gezhuan", L"操作员", L"p=w;d"),
      Node(L"CommonDataDBSetting", -3, L"", L"", L"", L""),
  };
  std::wstring error;
  ASSERT_EQ(QZNVGeZhuanSaveSettings(nodes, &error), 1);
  const SQZDataBaseInfo own = Read(L"QZNVCENTERDBSetting");
  EXPECT_EQ(own.nDBType, 4);
  EXPECT_EQ(own.strConnect1, L"DSN=" + kMusic);
  EXPECT_EQ(own.strConnect2, L"gezhuan");
  EXPECT_EQ(own.strConnect3, L"操作员");
  EXPECT_EQ(own.strConnect4, L"p=w;d");
  const SQZDataBaseInfo common = Read(L"CommonDataDBSetting");
  EXPECT_EQ(common.nDBType, -3);
  EXPECT_EQ(common.strConnect1, L"");
  const SQZDataBaseInfo other = Read(L"Other");
  EXPECT_EQ(other.nDBType, 2);
  EXPECT_EQ(other.strConnect1, L"keep");
  // Setting names are registry key names: they compare without case.
  EXPECT_EQ(Read(L"qznvcenterdbsetting").strConnect2, L"gezhuan");
}

// A setting the store does not hold is kind 0 and four empty texts; a value
// that is missing or of the wrong type reads as 0 or empty. Nothing the
// record held before survives.
TEST_F(SettingsTest, RegistryMissingSettingsAndValuesReadAsEmpty) {
  WriteStore("[Partial]\nConnect2=only this\n[Wrong]\nDBType=two\nConnect1=x\n");
  const SQZDataBaseInfo missing = Read(L"NotThere");
  EXPECT_EQ(missing.nDBType, 0);
  EXPECT_EQ(missing.strConnect1, L"");
  EXPECT_EQ(missing.strConnect4, L"");
  const SQZDataBaseInfo partial = Read(L"Partial");
  EXPECT_EQ(partial.nDBType, 0);
  EXPECT_EQ(partial.strConnect1, L"");
  EXPECT_EQ(partial.strConnect2, L"only this");
  const SQZDataBaseInfo wrong = Read(L"Wrong");
  EXPECT_EQ(wrong.nDBType, 0);  // a string where a DWORD belongs
  EXPECT_EQ(wrong.strConnect1, L"x");
  // A name that would reach into another key is no setting.
  EXPECT_EQ(Read(L"Partial\\..").strConnect2, L"");
  EXPECT_EQ(Read(L"").strConnect1, L"");
}

// What the registry cannot hold as one setting is refused before anything
// is written: a save is all or nothing.
TEST_F(SettingsTest, RegistrySaveRefusesWhatItCannotHoldAndWritesNothing) {
  WriteStore(CompleteStore());
  const std::string before = ReadStore();
  const DBsSetNode good = Node(L"QZNVCENTERDBSetting", 0, L"C:\\data", L"new.db");
  const std::vector<std::vector<DBsSetNode>> kRefused = {
      {good, Node(L"Net\\Manage", 0, L"a", L"b")},
      {good, Node(L"", 0, L"a", L"b")},
      {good, Node(std::wstring(256, L'n').c_str(), 0, L"a", L"b")},
      {good, Node(L"UserVerifyDBSetting", 2, std::wstring(L"host\0evil", 9), L"b")},
  };
  for (const std::vector<DBsSetNode>& nodes : kRefused) {
    std::wstring error;
    EXPECT_EQ(QZNVGeZhuanSaveSettings(nodes, &error), 0);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadStore(), before);
  }
}

// With no key chosen by the host, the store is the suite's own key.
TEST_F(SettingsTest, RegistryDefaultKeyIsTheSuites) {
  QZNVGeZhuanSetSettingsFile("");
  EXPECT_EQ(QZNVGeZhuanSettingsFile(), "HKEY_CURRENT_USER\\Software\\QZ\\DBSettings");
  const std::wstring name = L"QZTest" + std::to_wstring(GetCurrentProcessId());
  std::wstring error;
  ASSERT_EQ(QZNVGeZhuanSaveSettings({Node(name.c_str(), 2, L"db.example:5432", L"suite")}, &error), 1);
  const std::wstring key = L"Software\\QZ\\DBSettings\\" + name;
  DWORD kind = 0;
  DWORD size = sizeof kind;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"DBType", RRF_RT_REG_DWORD, nullptr, &kind, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(kind, 2u);
  wchar_t text[64] = {};
  size = sizeof text;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"Connect2", RRF_RT_REG_SZ, nullptr, text, &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(text, L"suite");
  RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

}  // namespace
