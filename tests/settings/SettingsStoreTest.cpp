// The settings store behind the methods: reading an INI file it cannot trust
// as missing, saving so that what is saved reads back the same and nobody
// else can read it, where the file lives, and the captions' language.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "settings/Captions.h"
#include "settings/SettingsFixture.h"

namespace {

using qz::testing::CompleteStore;
using qz::testing::EnvironmentGuard;
using qz::testing::kSettingNames;
using qz::testing::Section;
using qz::testing::SettingsTest;

bool AllMissing(const std::vector<DBsSetNode>& settings) {
  if (settings.size() != 6) return false;
  for (const DBsSetNode& node : settings)
    if (node.nDBType != 0 || !node.strConnect1.empty() || !node.strConnect2.empty() || !node.strConnect3.empty() ||
        !node.strConnect4.empty())
      return false;
  return true;
}

unsigned ModeOf(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? static_cast<unsigned>(info.st_mode & 07777) : 0xFFFFFFFFu;
}

std::vector<DBsSetNode> NodesToSave() {
  std::vector<DBsSetNode> settings(6);
  for (int i = 0; i < 6; ++i) {
    settings[i].strSettingName = std::wstring(kSettingNames[i], kSettingNames[i] + std::strlen(kSettingNames[i]));
    settings[i].nDBType = i == 5 ? 2 : 0;
    settings[i].strConnect1 = L"/srv/\x5A92\x4F53/" + std::to_wstring(i);  // 媒体
    settings[i].strConnect2 = L"gezhuan.db";
  }
  settings[5].strConnect3 = L"operator";
  settings[5].strConnect4 = L"p=ss:w;rd\x1F3AC";  // '=', ':', ';' and a clapper board
  return settings;
}

// A store that cannot be read, or that libinih would read differently from
// what it says, is ignored as a whole: every setting reads as missing, and
// the dialog then comes where allowed.
TEST_F(SettingsTest, StoreThatCannotBeTrustedReadsAsMissing) {
  const std::string good = Section(kSettingNames[5], "2", "db.example", "suite", "u", "p");
  const struct {
    const char* what;
    std::string text;
  } kCases[] = {
      {"a line that is no INI", good + "this is not a key\n"},
      {"a section header left open", "[QZNVCENTERDBSetting\n" + good},
      {"a line too long to read whole", good + "Connect4=" + std::string(300, 'x') + "\n"},
      {"an indented line that would continue a value", good + "  Connect1=elsewhere\n"},
      {"a NUL byte", good + std::string("Connect3=a\0b\n", 13)},
      {"a section name libinih would cut short", "\xEF\xBB\xBF[" + std::string(50, 'S') + "]\nDBType=2\n" + good},
      {"nothing at all", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteStore(c.text);
    std::vector<DBsSetNode> settings;
    EXPECT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 0, 0), 1);
    EXPECT_TRUE(AllMissing(settings));
  }

  std::filesystem::remove(path_);
  std::vector<DBsSetNode> settings;
  EXPECT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 1, 0), 1);
  EXPECT_TRUE(AllMissing(settings));
  EXPECT_EQ(dialog_.calls, 1);

  // A folder, and a FIFO that nobody writes (which must not hang the read).
  std::filesystem::create_directory(path_);
  EXPECT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 0, 0), 1);
  EXPECT_TRUE(AllMissing(settings));
  std::filesystem::remove(path_);
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  EXPECT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 0, 0), 1);
  EXPECT_TRUE(AllMissing(settings));
}

// The host can ask what the methods found: the file, the line and the key
// at fault. The methods keep reading such a store as empty, and say so in
// one debug line per call.
TEST_F(SettingsTest, CheckNamesWhereTheStoreCannotBeTrusted) {
  std::vector<std::wstring> debug;
  QZNVGeZhuanSetDebugOutput([&debug](const std::wstring& line) { debug.push_back(line); });
  const std::string good = Section(kSettingNames[5], "2", "db.example", "suite", "u", "p");  // 6 lines
  const struct {
    const char* what;
    std::string text;
    int line;
    std::string section, key, reason;
  } kCases[] = {
      {"a stray line", good + "this is not a key\n", 7, "", "", "neither"},
      {"a line too long", good + "Connect4=" + std::string(300, 'x') + "\n", 7, "", "", "longer"},
      {"a NUL byte", good + std::string("\n\nConnect3=a\0b\n", 15), 9, "", "", "NUL"},
      {"a file too large", good + std::string(2 << 20, ';'), 0, "", "", "larger than"},
      {"text that is not UTF-8", "; x\n" + Section(kSettingNames[0], "0", "a\xFF", "b"), 4, kSettingNames[0],
       "Connect1", "UTF-8"},
      {"a kind in words", good + "[Other]\r\ndbtype = postgresql\r\n", 8, "Other", "DBType", "postgresql"},
      {"a kind out of range", Section(kSettingNames[1], "99999999999", "a", "b"), 2, kSettingNames[1], "DBType",
       "99999999999"},
      {"an unknown kind code", Section(kSettingNames[1], "3", "a", "b"), 2, kSettingNames[1], "DBType", "kind code"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteStore(c.text);
    QZNVGeZhuanSettingsStoreState state;
    EXPECT_EQ(QZNVGeZhuanCheckSettingsStore(&state), 0);
    EXPECT_EQ(state.nState, 2);
    EXPECT_EQ(state.strFile, path_);
    EXPECT_EQ(state.nLine, c.line);
    EXPECT_EQ(state.strSection, c.section);
    EXPECT_EQ(state.strKey, c.key);
    EXPECT_NE(state.strReason.find(c.reason), std::string::npos) << state.strReason;

    debug.clear();
    std::vector<DBsSetNode> settings;
    EXPECT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 0, 0), 1);
    if (c.key.empty()) {
      EXPECT_TRUE(AllMissing(settings)) << "the methods' contract holds";
    }
    ASSERT_EQ(debug.size(), 1u);
    EXPECT_EQ(debug[0].find(L"settings file " + std::wstring(path_.begin(), path_.end())), 0u);
  }

  WriteStore(good + "[Other]\nDBType=32\nColour=blue\n");
  QZNVGeZhuanSettingsStoreState state;
  EXPECT_EQ(QZNVGeZhuanCheckSettingsStore(&state), 1);
  EXPECT_EQ(state.nState, 0);
  debug.clear();
  std::vector<DBsSetNode> settings;
  control_.GetQZNVGeZhuanDBSettings(settings, 0, 0);
  EXPECT_TRUE(debug.empty());

  std::filesystem::remove(path_);
  EXPECT_EQ(QZNVGeZhuanCheckSettingsStore(&state), 1);
  EXPECT_EQ(state.nState, 1);
  std::filesystem::create_directory(path_);
  EXPECT_EQ(QZNVGeZhuanCheckSettingsStore(&state), 0);
  EXPECT_EQ(state.nLine, 0);
  EXPECT_NE(state.strReason.find("not a regular file"), std::string::npos);
  QZNVGeZhuanSetDebugOutput(nullptr);
}

// What a person may write by hand: comments, a byte-order mark, CRLF line
// ends, names in another case, blanks around '='. A kind that is not a
// 32-bit number reads as 0.
TEST_F(SettingsTest, HandWrittenStoreReadsAsMeant) {
  WriteStore(
      "\xEF\xBB\xBF; written by hand\r\n"
      "# another comment\r\n"
      "[qznvcenterdbsetting]\r\n"
      "dbtype = 2\r\n"
      "CONNECT1 = db.example:5432 ; the server\r\n"
      "Connect2=\xE8\xBD\xAC\xE7\xA0\x81\r\n"  // 转码
      "\r\n"
      "[CommonDataDBSetting]\n"
      "DBType=99999999999\n"
      "Connect1=a\n"
      "Connect1=b\n"
      "[NetManageDBSetting]\n"
      "DBType=16abc\n"
      "Connect2=x\n");
  std::vector<DBsSetNode> settings;
  ASSERT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 0, 0), 1);
  ASSERT_EQ(settings.size(), 6u);
  EXPECT_EQ(settings[5].nDBType, 2);
  EXPECT_EQ(settings[5].strConnect1, L"db.example:5432");
  EXPECT_EQ(settings[5].strConnect2, L"\x8F6C\x7801");
  EXPECT_EQ(settings[0].nDBType, 0);
  EXPECT_EQ(settings[0].strConnect1, L"b");
  EXPECT_EQ(settings[1].nDBType, 0);
  EXPECT_EQ(settings[1].strConnect2, L"x");
}

// A save replaces only the settings saved, reads back exactly, and leaves a
// file for its owner alone, however open the file was before.
TEST_F(SettingsTest, SaveReadsBackAndIsForTheOwnerAlone) {
  WriteStore("[OtherSuiteSetting]\nConnect1=kept\nColour=blue\n\n" + Section(kSettingNames[5], "0", "old", "old"));
  ASSERT_EQ(::chmod(path_.c_str(), 0644), 0);
  const std::vector<DBsSetNode> saved = NodesToSave();
  std::wstring error;
  ASSERT_EQ(QZNVGeZhuanSaveSettings(saved, &error), 1) << std::string(error.begin(), error.end());
  EXPECT_EQ(ModeOf(path_), 0600u);

  std::vector<DBsSetNode> settings;
  ASSERT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 1, 0), 1);
  EXPECT_EQ(dialog_.calls, 0);
  ASSERT_EQ(settings.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(settings[i].nDBType, saved[i].nDBType);
    EXPECT_EQ(settings[i].strConnect1, saved[i].strConnect1);
    EXPECT_EQ(settings[i].strConnect2, saved[i].strConnect2);
    EXPECT_EQ(settings[i].strConnect3, saved[i].strConnect3);
    EXPECT_EQ(settings[i].strConnect4, saved[i].strConnect4);
  }
  const std::string text = ReadStore();
  EXPECT_NE(text.find("[OtherSuiteSetting]\nConnect1=kept\nColour=blue\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("old"), std::string::npos) << text;
  // Nothing left beside it.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST_F(SettingsTest, SaveCreatesMissingFoldersForTheOwnerAlone) {
  const std::string nested = folder_ + "/config/qz/dbsettings.ini";
  QZNVGeZhuanSetSettingsFile(nested);
  ASSERT_EQ(QZNVGeZhuanSaveSettings(NodesToSave(), nullptr), 1);
  EXPECT_EQ(ModeOf(nested), 0600u);
  EXPECT_EQ(ModeOf(folder_ + "/config/qz"), 0700u);
}

// A value the file could not give back unchanged is refused with a reason,
// and the store stays as it was; so does a store we could not read, which a
// save would otherwise overwrite with less than it held.
TEST_F(SettingsTest, SaveRefusesWhatWouldNotReadBack) {
  WriteStore(CompleteStore());
  const std::string before = ReadStore();
  const struct {
    const char* what;
    std::wstring DBsSetNode::*field;
    std::wstring value;
  } kCases[] = {
      {"line break", &DBsSetNode::strConnect4, L"pass\n[QZNVCENTERDBSetting]"},
      {"leading blank", &DBsSetNode::strConnect4, L" pass"},
      {"trailing tab", &DBsSetNode::strConnect1, L"host\t"},
      {"comment", &DBsSetNode::strConnect4, L"pass ;word"},
      {"too long", &DBsSetNode::strConnect1, std::wstring(200, L'h')},
      {"no name", &DBsSetNode::strSettingName, L""},
      {"bracket in name", &DBsSetNode::strSettingName, L"A]B"},
      {"name too long", &DBsSetNode::strSettingName, std::wstring(50, L'N')},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    std::vector<DBsSetNode> settings = NodesToSave();
    settings[5].*c.field = c.value;
    std::wstring error;
    EXPECT_EQ(QZNVGeZhuanSaveSettings(settings, &error), 0);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadStore(), before);
  }

  const std::string malformed = CompleteStore() + "garbage\n";
  WriteStore(malformed);
  std::wstring error;
  EXPECT_EQ(QZNVGeZhuanSaveSettings(NodesToSave(), &error), 0);
  EXPECT_NE(error.find(L"left as it is"), std::wstring::npos);
  EXPECT_EQ(ReadStore(), malformed);
}

// The host's file first, then QZ_DB_SETTINGS, then the XDG configuration
// folder when absolute, then the home folder.
TEST_F(SettingsTest, StoreLocationFollowsHostThenEnvironment) {
  EXPECT_EQ(QZNVGeZhuanSettingsFile(), path_);
  EnvironmentGuard::Set("QZ_DB_SETTINGS", "/etc/qz/suite.ini");
  EXPECT_EQ(QZNVGeZhuanSettingsFile(), path_);
  QZNVGeZhuanSetSettingsFile("");
  EXPECT_EQ(QZNVGeZhuanSettingsFile(), "/etc/qz/suite.ini");
  EnvironmentGuard::Set("QZ_DB_SETTINGS", "");
  EnvironmentGuard::Set("XDG_CONFIG_HOME", "/home/op/.cfg");
  EnvironmentGuard::Set("HOME", "/home/op");
  EXPECT_EQ(QZNVGeZhuanSettingsFile(), "/home/op/.cfg/qz/dbsettings.ini");
  EnvironmentGuard::Set("XDG_CONFIG_HOME", "relative/cfg");
  EXPECT_EQ(QZNVGeZhuanSettingsFile(), "/home/op/.config/qz/dbsettings.ini");
  EnvironmentGuard::Set("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(QZNVGeZhuanSettingsFile(), "/home/op/.config/qz/dbsettings.ini");

  // The environment's file is the one read.
  EnvironmentGuard::Set("QZ_DB_SETTINGS", path_);
  WriteStore(CompleteStore());
  std::vector<DBsSetNode> settings;
  ASSERT_EQ(control_.GetQZNVGeZhuanDBSettings(settings, 0, 0), 1);
  EXPECT_EQ(settings[0].strConnect2, L"suite5");
}

// English unless the messages locale is Chinese; LC_ALL before LC_MESSAGES
// before LANG, an empty one not counting.
TEST_F(SettingsTest, CaptionsFollowTheMessagesLocale) {
  const struct {
    const char* lc_all;
    const char* lc_messages;
    const char* lang;
    bool chinese;
  } kCases[] = {
      {"zh_CN.UTF-8", nullptr, nullptr, true},  {"", "zh_TW.UTF-8", "en_GB.UTF-8", true},
      {nullptr, nullptr, "zh_HK", true},        {"en_US.UTF-8", nullptr, "zh_CN.UTF-8", false},
      {nullptr, "C", "zh_CN.UTF-8", false},     {nullptr, nullptr, nullptr, false},
      {nullptr, nullptr, "de_DE.UTF-8", false},
  };
  auto set = [](const char* name, const char* value) {
    EnvironmentGuard::Set(name, value ? std::optional<std::string>(value) : std::nullopt);
  };
  for (const auto& c : kCases) {
    set("LC_ALL", c.lc_all);
    set("LC_MESSAGES", c.lc_messages);
    set("LANG", c.lang);
    std::vector<DBsSetNode> settings;
    control_.GetQZNVGeZhuanDBSettings(settings, 0, 0);
    ASSERT_EQ(settings.size(), 1u);
    EXPECT_EQ(settings[0].strCaption, c.chinese ? L"QZNV \x4E2D\x5FC3\x6570\x636E\x5E93" : L"QZNV centre database")
        << (c.lc_all ? c.lc_all : "-") << " " << (c.lc_messages ? c.lc_messages : "-") << " "
        << (c.lang ? c.lang : "-");
  }
  EXPECT_EQ(qz::settings::QZTranslate(L"IDS_NOT_OURS", 0, 1), L"IDS_NOT_OURS");
}

}  // namespace
