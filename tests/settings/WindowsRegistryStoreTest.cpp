// The settings store of the Windows build: the registry, one key per
// setting under HKEY_CURRENT_USER\Software\QZ\DBSettings, DBType a DWORD
// and Connect1 to Connect4 strings.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/TextEncoding.h"
#include "settings/SettingsFixture.h"
#include "settings/SettingsStore.h"

namespace {

using qz::testing::CompleteStore;
using qz::testing::Section;
using qz::testing::SettingsTest;
namespace platform = qz::platform;

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
// that is missing reads as 0 or empty. Nothing the record held before
// survives.
TEST_F(SettingsTest, RegistryMissingSettingsAndValuesReadAsEmpty) {
  WriteStore("[Partial]\nConnect2=only this\n");
  const SQZDataBaseInfo missing = Read(L"NotThere");
  EXPECT_EQ(missing.nDBType, 0);
  EXPECT_EQ(missing.strConnect1, L"");
  EXPECT_EQ(missing.strConnect4, L"");
  const SQZDataBaseInfo partial = Read(L"Partial");
  EXPECT_EQ(partial.nDBType, 0);
  EXPECT_EQ(partial.strConnect1, L"");
  EXPECT_EQ(partial.strConnect2, L"only this");
  // A name that would reach into another key is no setting.
  EXPECT_EQ(Read(L"Partial\\..").strConnect2, L"");
  EXPECT_EQ(Read(L"").strConnect1, L"");
}

// A value of another type than its own, or a text holding a NUL, could name
// another database than the one meant: the whole setting reads as empty, so
// the dialog comes, and a debug line names the key, the setting and the
// value. Saving other settings leaves it as a person wrote it.
TEST_F(SettingsTest, RegistrySettingThatCannotBeTrustedReadsAsEmpty) {
  std::vector<std::wstring> debug;
  QZNVGeZhuanSetDebugOutput([&debug](const std::wstring& line) { debug.push_back(line); });
  const std::wstring own = L"QZNVCENTERDBSetting";
  const std::wstring key = platform::Utf8ToWide(path_.substr(std::strlen("HKEY_CURRENT_USER\\")));
  const struct {
    const char* what;
    const wchar_t* value;
    DWORD type;
    std::wstring text;
  } kCases[] = {
      {"DBType as text", L"DBType", REG_SZ, L"2"},
      {"a text holding a NUL", L"Connect2", REG_SZ, std::wstring(L"suite\0other", 11)},
      {"a text to be expanded", L"Connect1", REG_EXPAND_SZ, L"%HOST%"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteStore(CompleteStore());
    HKEY setting = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (key + L"\\" + own).c_str(), 0, KEY_SET_VALUE, &setting), ERROR_SUCCESS);
    RegDeleteValueW(setting, c.value);
    RegSetValueExW(setting, c.value, 0, c.type, reinterpret_cast<const BYTE*>(c.text.data()),
                   static_cast<DWORD>((c.text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(setting);

    debug.clear();
    dialog_.calls = 0;
    std::vector<DBsSetNode> settings;
    ASSERT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 1, 0), 1);
    EXPECT_EQ(dialog_.calls, 1);
    ASSERT_EQ(settings.size(), 6u);
    EXPECT_EQ(settings[5].nDBType, 0);
    EXPECT_EQ(settings[5].strConnect1, L"");
    EXPECT_EQ(settings[5].strConnect2, L"");
    EXPECT_EQ(settings[1].strConnect2, L"suite1");
    ASSERT_EQ(debug.size(), 1u);
    EXPECT_EQ(
        debug[0].find(L"settings key " + platform::Utf8ToWide(path_) + L", setting " + own + L", value " + c.value),
        0u);

    settings[0].strConnect2 = L"changed.db";
    ASSERT_EQ(QZNVGeZhuanSaveSettings(settings, nullptr), 1);
    EXPECT_EQ(Read(L"CommonDataDBSetting").strConnect2, L"changed.db");
    debug.clear();
    EXPECT_EQ(Read(own.c_str()).strConnect1, L"");
    EXPECT_EQ(debug.size(), 1u) << "the setting is left as it was";
  }
  QZNVGeZhuanSetDebugOutput(nullptr);
}

// What the registry cannot hold as one setting is refused, never saved
// shortened, and its setting left as it was; the other settings are saved.
TEST_F(SettingsTest, RegistrySaveRefusesWhatItCannotHoldAndSavesTheRest) {
  const DBsSetNode good = Node(L"QZNVCENTERDBSetting", 0, L"C:\\data", L"new.db");
  const std::vector<DBsSetNode> kRefused = {
      Node(L"Net\\Manage", 0, L"a", L"b"),
      Node(L"", 0, L"a", L"b"),
      Node(std::wstring(256, L'n').c_str(), 0, L"a", L"b"),
      Node(L"UserVerifyDBSetting", 2, std::wstring(L"host\0evil", 9), L"b"),
  };
  for (const DBsSetNode& refused : kRefused) {
    WriteStore(CompleteStore());
    std::wstring error;
    EXPECT_EQ(QZNVGeZhuanSaveSettings({refused, good}, &error), 0);
    EXPECT_NE(error.find(L"cannot be saved"), std::wstring::npos);
    EXPECT_NE(error.find(L"the other settings were saved"), std::wstring::npos);
    EXPECT_EQ(Read(L"QZNVCENTERDBSetting").strConnect2, L"new.db");
    EXPECT_EQ(Read(L"UserVerifyDBSetting").strConnect1, L"/var/lib/qz");
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
