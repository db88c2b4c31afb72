// The settings store behind the methods: reading an INI file it cannot trust
// as missing, saving so that what is saved reads back the same and nobody
// else can read it, where the file lives, and the captions' language.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "settings/Captions.h"
#include "settings/SettingsFixture.h"
#include "settings/SettingsStore.h"

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
      {"a key after a section header, which libinih drops",
       "[CommonDataDBSetting] DBType=2\nConnect1=a\nConnect2=b\n" + good},
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
      {"a kind in words", good + "[NetManageDBSetting]\r\ndbtype = postgresql\r\n", 8, "NetManageDBSetting", "DBType",
       "postgresql"},
      {"a kind out of range", Section(kSettingNames[1], "99999999999", "a", "b"), 2, kSettingNames[1], "DBType",
       "99999999999"},
      {"a key set twice", good + "DBType=0\n", 7, kSettingNames[5], "DBType", "lines 2 and 7"},
      {"a section written twice", good + "[qznvcenterdbsetting]\nColour=blue\n", 7, kSettingNames[5], "",
       "comes twice"},
      // Read as written (it opens the embedded database), but worth a word.
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

    // One debug line: for the whole file, or for the one setting that reads
    // as empty, naming it and the key.
    debug.clear();
    std::vector<DBsSetNode> settings;
    EXPECT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 0, 0), 1);
    if (c.section.empty()) {
      EXPECT_TRUE(AllMissing(settings)) << "the methods' contract holds";
    }
    if (c.reason == "kind code") {
      EXPECT_TRUE(debug.empty());
      continue;
    }
    ASSERT_EQ(debug.size(), 1u);
    std::wstring expected = L"settings file " + std::wstring(path_.begin(), path_.end());
    if (!c.section.empty()) expected += L", setting " + std::wstring(c.section.begin(), c.section.end());
    if (!c.key.empty()) expected += L", key " + std::wstring(c.key.begin(), c.key.end());
    EXPECT_EQ(debug[0].find(expected), 0u) << std::string(debug[0].begin(), debug[0].end());
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
// ends, names in another case, blanks around '=', ':' for '=', a kind left
// empty.
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
      "DBType=\n"
      "Connect1:b\n"
      "[NetManageDBSetting]\n"
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

// A setting the file says two things about, or a kind that is no number,
// could name another database than the one meant: it reads as empty, so it
// is incomplete and the dialog comes. The other settings read as written;
// saving them leaves the setting's lines as the person wrote them, and
// saving the setting itself puts it right.
TEST_F(SettingsTest, SettingThatCannotBeTrustedReadsAsEmptyAndIsKeptForAPerson) {
  std::vector<std::wstring> debug;
  QZNVGeZhuanSetDebugOutput([&debug](const std::wstring& line) { debug.push_back(line); });
  const std::string own = kSettingNames[5];
  const std::string others = CompleteStore().substr(0, CompleteStore().find("[" + own + "]"));
  const struct {
    const char* what;
    std::string section;  // the setting's lines
    const char* key;
  } kCases[] = {
      {"the engine's name for a kind", "[" + own + "]\nDBType=postgresql\nConnect1=db.example\nConnect2=suite\n",
       "DBType"},
      {"digits and letters", "[" + own + "]\nDBType=16abc\nConnect1=db.example\nConnect2=suite\n", "DBType"},
      {"a kind beyond 32 bits", "[" + own + "]\nDBType=4294967298\nConnect1=db.example\nConnect2=suite\n", "DBType"},
      {"a kind set twice", "[" + own + "]\nDBType=2\nConnect1=db.example\nConnect2=suite\nDBType=0\n", "DBType"},
      {"a text set twice", "[" + own + "]\nDBType=2\nConnect1=db.example\nConnect2=suite\nconnect1 = /srv\n",
       "Connect1"},
      {"a section written twice",
       "[" + own + "]\nDBType=2\nConnect1=db.example\nConnect2=suite\n[" + own + "]\nDBType=0\n", nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteStore(others + c.section);
    debug.clear();
    dialog_.calls = 0;
    std::vector<DBsSetNode> settings;
    ASSERT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 1, 0), 1);
    EXPECT_EQ(dialog_.calls, 1) << "the setting is incomplete";
    ASSERT_EQ(settings.size(), 6u);
    EXPECT_EQ(settings[5].nDBType, 0);
    EXPECT_EQ(settings[5].strConnect1, L"");
    EXPECT_EQ(settings[5].strConnect2, L"");
    EXPECT_EQ(settings[1].strConnect2, L"suite1") << "the other settings read as written";
    ASSERT_EQ(debug.size(), 1u);
    std::wstring expected = L"settings file " + std::wstring(path_.begin(), path_.end()) + L", setting " +
                            std::wstring(own.begin(), own.end());
    if (c.key) expected += L", key " + std::wstring(c.key, c.key + std::strlen(c.key));
    EXPECT_EQ(debug[0].find(expected), 0u) << std::string(debug[0].begin(), debug[0].end());
    EXPECT_NE(debug[0].find(L"reads as empty"), std::wstring::npos);
    settings.clear();
    EXPECT_EQ(control_.GetQZNVGeZhuanDBSettings(settings, 1, 0), 1);
    EXPECT_EQ(dialog_.calls, 2) << "the one-setting method offers the dialog too";

    // A dialog that saves all six as shown changes the others only: the
    // setting still says what it said, and still reads as empty.
    std::vector<DBsSetNode> shown;
    control_.GetQZNVGeZhuanALLDBSettings(shown, 0, 0);
    shown[0].strConnect2 = L"changed.db";
    ASSERT_EQ(QZNVGeZhuanSaveSettings(shown, nullptr), 1);
    EXPECT_NE(ReadStore().find("Connect1=db.example"), std::string::npos);
    debug.clear();
    ASSERT_EQ(control_.GetQZNVGeZhuanALLDBSettings(settings, 0, 0), 1);
    EXPECT_EQ(settings[0].strConnect2, L"changed.db");
    EXPECT_EQ(settings[5].strConnect1, L"");
    EXPECT_EQ(debug.size(), 1u);

    // Saving the setting itself makes it one setting again.
    shown[5].nDBType = 2;
    shown[5].strConnect1 = L"db.example";
    shown[5].strConnect2 = L"suite";
    ASSERT_EQ(QZNVGeZhuanSaveSettings(shown, nullptr), 1);
    debug.clear();
    ASSERT_EQ(control_.GetQZNVGeZhuanDBSettings(settings, 0, 0), 1);
    EXPECT_EQ(settings[0].nDBType, 2);
    EXPECT_EQ(settings[0].strConnect2, L"suite");
    EXPECT_TRUE(debug.empty());
  }
  QZNVGeZhuanSetDebugOutput(nullptr);
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
  // Nothing left beside it but the lock that saves take, empty.
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder_))
    if (entry.is_regular_file()) files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"dbsettings.ini", "dbsettings.ini.lock"}));
  EXPECT_EQ(std::filesystem::file_size(path_ + ".lock"), 0u);
  EXPECT_EQ(ModeOf(path_ + ".lock"), 0600u);
}

TEST_F(SettingsTest, SaveCreatesMissingFoldersForTheOwnerAlone) {
  const std::string nested = folder_ + "/config/qz/dbsettings.ini";
  QZNVGeZhuanSetSettingsFile(nested);
  ASSERT_EQ(QZNVGeZhuanSaveSettings(NodesToSave(), nullptr), 1);
  EXPECT_EQ(ModeOf(nested), 0600u);
  EXPECT_EQ(ModeOf(folder_ + "/config/qz"), 0700u);
}

// A value the file could not give back unchanged is refused with a reason
// and never saved shortened: its setting stays as it was, and the other
// settings are saved. A store we could not read is left whole, since a save
// would overwrite it with less than it held.
TEST_F(SettingsTest, SaveRefusesWhatWouldNotReadBackAndSavesTheRest) {
  const struct {
    const char* what;
    std::wstring DBsSetNode::*field;
    std::wstring value;
  } kCases[] = {
      {"NUL", &DBsSetNode::strConnect4, std::wstring(L"pass\0word", 9)},
      {"line break", &DBsSetNode::strConnect4, L"pass\n[QZNVCENTERDBSetting]"},
      {"leading blank", &DBsSetNode::strConnect4, L" pass"},
      {"trailing tab", &DBsSetNode::strConnect1, L"host\t"},
      {"comment", &DBsSetNode::strConnect4, L"pass ;word"},
      {"too long", &DBsSetNode::strConnect1, std::wstring(200, L'h')},
      {"bracket in name", &DBsSetNode::strSettingName, L"A]B"},
      {"name too long", &DBsSetNode::strSettingName, std::wstring(50, L'N')},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteStore(CompleteStore());
    std::vector<DBsSetNode> settings = NodesToSave();
    settings[5].*c.field = c.value;
    std::wstring error;
    EXPECT_EQ(QZNVGeZhuanSaveSettings(settings, &error), 0);
    EXPECT_NE(error.find(L"cannot be saved"), std::wstring::npos);
    EXPECT_NE(error.find(L"the other settings were saved"), std::wstring::npos);
    std::vector<DBsSetNode> read;
    ASSERT_EQ(control_.GetQZNVGeZhuanALLDBSettings(read, 0, 0), 1);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(read[i].strConnect1, settings[i].strConnect1) << i;
    EXPECT_EQ(read[5].strConnect4, L"secret5") << "the refused setting stays as it was";
  }

  const std::string malformed = CompleteStore() + "garbage\n";
  WriteStore(malformed);
  std::wstring error;
  EXPECT_EQ(QZNVGeZhuanSaveSettings(NodesToSave(), &error), 0);
  EXPECT_NE(error.find(L"left as it is"), std::wstring::npos);
  EXPECT_EQ(ReadStore(), malformed);
}

// Two programs saving settings of their own at the same moment, round after
// round, each reading, changing and writing the whole file: every save that
// answered 1 is in the file afterwards.
TEST_F(SettingsTest, SavesFromTwoProgramsAtOnceAreNeverLost) {
  constexpr int kRounds = 60;
  const std::wstring programs[2] = {L"First", L"Second"};
  auto name = [](const std::wstring& program, int round) { return program + std::to_wstring(round); };
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  std::vector<pid_t> children;
  for (const std::wstring& program : programs) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Both begin when the test closes its end of the pipe.
      ::close(start[1]);
      char ignored;
      while (::read(start[0], &ignored, 1) < 0 && errno == EINTR) {
      }
      int failed = 0;
      for (int round = 0; round < kRounds; ++round) {
        DBsSetNode node;
        node.strSettingName = name(program, round);
        node.nDBType = 2;
        node.strConnect1 = L"db.example";
        node.strConnect2 = L"suite" + std::to_wstring(round);
        failed += QZNVGeZhuanSaveSettings({node}, nullptr) != 1;
      }
      ::_exit(failed);
    }
    children.push_back(child);
  }
  ::close(start[0]);
  ::close(start[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed";
  }
  int lost = 0;
  for (const std::wstring& program : programs) {
    for (int round = 0; round < kRounds; ++round) {
      SQZDataBaseInfo info;
      qz::settings::ReadQZDBSettingFromReg(name(program, round), info);
      lost += info.strConnect2 != L"suite" + std::to_wstring(round);
    }
  }
  EXPECT_EQ(lost, 0) << "of " << 2 * kRounds << " saves answered 1";
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
