// The settings commands against a temporary store: show with masking, the
// scripted dialog, check, and opening through a setting.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ToolRunner.h"

namespace gezhuan_test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class SettingsTest : public ToolTest {
 protected:
  json Settings() const {
    ToolResult shown = Run({"--json", "settings"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    return json::parse(shown.out);
  }
  std::string StoreText() const {
    std::ifstream in(m_settings);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(SettingsTest, ShowListsTheSixSettingsAllIncompleteInAnEmptyStore) {
  const json settings = Settings();
  ASSERT_EQ(settings.size(), 6u);
  EXPECT_EQ(settings[5]["strSettingName"], "QZNVCENTERDBSetting");
  for (const json& node : settings) {
    EXPECT_FALSE(node["complete"].get<bool>());
    EXPECT_FALSE(node["strCaption"].get<std::string>().empty());
  }
  ToolResult text = Run({"settings", "show"});
  EXPECT_NE(text.out.find("incomplete"), std::string::npos);
  EXPECT_NE(text.out.find(m_settings), std::string::npos) << "says which store it read";
}

TEST_F(SettingsTest, ScriptedDialogChangesASettingAndTheToolOpensThroughIt) {
  const std::string folder = (m_dir / "center").string();
  ToolResult edited = Run({"settings", "edit"}, "6\nsqlite\n" + folder + "\ncenter.db\ns\n");
  ASSERT_EQ(edited.status, 0) << edited.out << edited.err;

  const json settings = Settings();
  EXPECT_EQ(settings[5]["strConnect1"], folder);
  EXPECT_EQ(settings[5]["strConnect2"], "center.db");
  EXPECT_TRUE(settings[5]["complete"].get<bool>());
  EXPECT_FALSE(settings[0]["complete"].get<bool>()) << "the others are untouched";

  // Without --database the tool now opens the library's own setting.
  ASSERT_EQ(Run({"init"}).status, 0);
  EXPECT_TRUE(fs::exists(fs::path(folder) / "center.db"));
  ToolResult status = Run({"status"});
  EXPECT_NE(status.out.find("setting QZNVCENTERDBSetting"), std::string::npos) << status.out;
  // --database still wins.
  ToolResult explicitFile = RunDb({"init"});
  EXPECT_NE(explicitFile.out.find(m_database), std::string::npos);

  ToolResult check = Run({"settings", "check"});
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_NE(check.out.find("QZNVCENTERDBSetting: sqlite"), std::string::npos);
  EXPECT_NE(check.out.find("works"), std::string::npos);
}

TEST_F(SettingsTest, AStoreThatCannotBeReadStopsTheToolInsteadOfSwitchingDatabase) {
  const std::string folder = (m_dir / "center").string();
  const std::string good = "[QZNVCENTERDBSetting]\nDBType=0\nConnect1=" + folder + "\nConnect2=center.db\n";
  const fs::path fallback = m_dir / "data" / "qz" / "gezhuan.db";
  const struct {
    const char* what;
    std::string text;
    std::string where;  // what the message must name besides the file
  } kCases[] = {
      {"a stray line", good + "Connect3=x\nthis line is no INI\n", "line 6"},
      {"an over-long line", good + "Connect3=" + std::string(300, 'x') + "\n", "line 5"},
      {"an over-long file", good + std::string(2 << 20, '#'), "larger than"},
      {"binary content", good + std::string("Connect3=\x89PNG\0\x1a\n", 15), "line 5"},
      {"text that is not UTF-8", good + "Connect3=\xB9\xE3\xB2\xA5\n", "line 5, key Connect3"},
      {"a kind that is not a number", "[QZNVCENTERDBSetting]\nDBType=postgresql\nConnect1=db1\nConnect2=gz\n",
       "line 2, key DBType of [QZNVCENTERDBSetting]"},
      {"an unknown kind code", "[QZNVCENTERDBSetting]\nDBType=3\nConnect1=db1\nConnect2=gz\n", "line 2, key DBType"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteFile("dbsettings.ini", c.text);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"init"}, {"task", "add", "--name", "x"}, {"status"}, {"settings"}}) {
      ToolResult refused = Run(command);
      EXPECT_EQ(refused.status, 1) << command[0];
      EXPECT_NE(refused.err.find("settings file " + m_settings), std::string::npos) << refused.err;
      EXPECT_NE(refused.err.find(c.where), std::string::npos) << refused.err;
    }
    EXPECT_EQ(Run({"settings", "edit"}, "6\nsqlite\n/x\ny.db\ns\n").status, 1);
    EXPECT_FALSE(fs::exists(fallback)) << "fell back to the default database";
    EXPECT_FALSE(fs::exists(fs::path(folder) / "center.db"));
    EXPECT_EQ(RunDb({"init"}).status, 0) << "--database needs no settings";
  }

  // A store named on purpose must be there.
  fs::remove(m_settings);
  ToolResult missing = Run({"init"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("QZ_DB_SETTINGS names " + m_settings + ", which does not exist"), std::string::npos)
      << missing.err;
  EXPECT_FALSE(fs::exists(fallback));

  WriteFile("dbsettings.ini", good);
  ASSERT_EQ(Run({"init"}).status, 0);
  EXPECT_TRUE(fs::exists(fs::path(folder) / "center.db"));
}

TEST_F(SettingsTest, DialogAsksAgainForTextThatIsNotUtf8) {
  ToolResult edited = Run({"settings", "edit"}, "6\nsqlite\n/srv/\xC3\x28\n/srv/qz\ngz.db\ns\n");
  ASSERT_EQ(edited.status, 0) << edited.out << edited.err;
  EXPECT_NE(edited.out.find("not UTF-8 text; type it again"), std::string::npos) << edited.out;
  EXPECT_EQ(Settings()[5]["strConnect1"], "/srv/qz");
}

TEST_F(SettingsTest, DialogWrapsLongLinesAtWordsToTheTerminal) {
  if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) to give the tool a terminal";
  const std::string chinese = "\xE8\xBD\xAC\xE6\x8D\xA2\xE4\xB8\xAD\xE5\xBF\x83";  // 转换中心
  std::string folder = "/srv/";
  for (int i = 0; i < 6; ++i) folder += chinese;
  ASSERT_EQ(Run({"settings", "edit"}, "6\nsqlite\n" + folder + "\ncenter.db\ns\n").status, 0);

  // Standard output on a terminal 40 columns wide, the answers from a file.
  const std::string input = WriteFile("answers.txt", "s\n"), out = (m_dir / "terminal.txt").string();
  const std::string command = "HOME=" + (m_dir / "home").string() + " QZ_DB_SETTINGS=" + m_settings +
                              " COLUMNS=40 script -qec '" + std::string(QZ_GEZHUAN_PATH) + " settings edit <" + input +
                              "' /dev/null </dev/null >" + out;
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(out);
  std::string words, characters;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    EXPECT_LE(Columns(line), 40) << line;
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    words += (words.empty() ? "" : " ") + line.substr(start);
    characters += line.substr(start);
  }
  // Broken only between words, so they read whole once joined by spaces;
  // the Chinese folder, without spaces, is broken between characters.
  EXPECT_NE(words.find("Setting to edit (1-6), s to save, q to cancel:"), std::string::npos) << words;
  EXPECT_NE(characters.find(folder), std::string::npos) << characters;
  EXPECT_NE(words.find("Saved to "), std::string::npos) << words;
}

TEST_F(SettingsTest, PasswordsAreMaskedAndCancelKeepsTheStore) {
  ToolResult edited =
      Run({"settings", "edit"}, "NetManageDBSetting\npostgresql\ndb1:5432\nnetmanage\nqz\nS3cret!\ns\n");
  ASSERT_EQ(edited.status, 0) << edited.out << edited.err;
  EXPECT_EQ(edited.out.find("S3cret!"), std::string::npos) << "the dialog never echoes the password";
  const json settings = Settings();
  EXPECT_EQ(settings[1]["nDBType"], 2);
  EXPECT_EQ(settings[1]["strConnect3"], "qz");
  EXPECT_EQ(settings[1]["strConnect4"], "********");
  EXPECT_EQ(Run({"settings"}).out.find("S3cret!"), std::string::npos);
  EXPECT_NE(StoreText().find("S3cret!"), std::string::npos) << "but the store keeps it";

  const std::string before = StoreText();
  EXPECT_EQ(Run({"settings", "edit"}, "2\nsqlite\n/x\ny.db\nq\n").status, 1);
  EXPECT_EQ(Run({"settings", "edit"}, "2\nsqlite\n").status, 1) << "input ending cancels";
  EXPECT_EQ(StoreText(), before);

  // A bad answer is asked again; "-" empties a text.
  ASSERT_EQ(Run({"settings", "edit"}, "9\n2\noracle\nodbc\n-\n\n\n\ns\n").status, 0);
  EXPECT_EQ(Settings()[1]["strConnect1"], "");
  EXPECT_EQ(Settings()[1]["nDBType"], 4);
}

TEST_F(SettingsTest, CheckSaysWhichSettingsFailAndSettingOptionIsChecked) {
  ASSERT_EQ(Run({"settings", "edit"}, "1\nsqlite\n" + m_dir.string() + "\nmissing.db\ns\n").status, 0);
  ToolResult check = Run({"settings", "check"});
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.out.find("CommonDataDBSetting"), std::string::npos);
  EXPECT_NE(check.out.find("fails"), std::string::npos) << check.out;
  EXPECT_FALSE(fs::exists(m_dir / "missing.db")) << "checking creates nothing";

  EXPECT_EQ(Run({"--setting", "NoSuchSetting", "status"}).status, 2);
  EXPECT_EQ(Run({"--setting", "UserVerifyDBSetting", "status"}).status, 1) << "incomplete";
  ASSERT_EQ(Run({"--setting", "CommonDataDBSetting", "init"}).status, 0);
  ToolResult status = Run({"--setting", "CommonDataDBSetting", "status"});
  EXPECT_EQ(status.status, 0) << status.err;
  EXPECT_NE(status.out.find("missing.db"), std::string::npos);
}

TEST_F(SettingsTest, SetChangesOneSettingWithTheDialogsChecks) {
  const std::string folder = m_dir.string();
  const ToolResult embedded = Run(
      {"settings", "set", "QZNVCENTERDBSetting", "--engine", "sqlite", "--connect1", folder, "--connect2", "set.db"});
  ASSERT_EQ(embedded.status, 0) << embedded.err;
  EXPECT_EQ(embedded.err, "") << "a complete setting saves without a warning";
  ASSERT_EQ(Run({"init"}).status, 0);
  EXPECT_TRUE(fs::exists(m_dir / "set.db")) << "the tool opens through the new setting";

  // The password from standard input; the file stays private.
  const ToolResult server = Run({"settings", "set", "NetManageDBSetting", "--engine", "postgresql", "--connect1",
                                 "db1:5432", "--connect3", "operator", "--password-stdin"},
                                "pass word\n");
  ASSERT_EQ(server.status, 0) << server.err;
  EXPECT_NE(server.err.find("warning: setting NetManageDBSetting is incomplete"), std::string::npos) << server.err;
  EXPECT_NE(StoreText().find("Connect4=pass word\n"), std::string::npos) << StoreText();
  EXPECT_EQ(Run({"settings", "set", "NetManageDBSetting", "--password-stdin"}, " edges \n").status, 1)
      << "the store cannot keep blanks at the ends";
  EXPECT_NE(StoreText().find("Connect4=pass word\n"), std::string::npos) << StoreText();
  EXPECT_EQ(fs::status(m_settings).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(Run({"settings", "set", "NetManageDBSetting", "--connect2", "gezhuan"}).status, 0);
  const json net = Settings()[1];
  EXPECT_EQ(net["complete"], true);
  EXPECT_EQ(net["strConnect3"], "operator") << "what is not given is kept";
  EXPECT_EQ(net["strConnect4"], "********");

  EXPECT_EQ(Run({"settings", "set", "NoSuchSetting", "--engine", "sqlite"}).status, 2);
  EXPECT_EQ(Run({"settings", "set", "NetManageDBSetting", "--engine", "mysql"}).status, 2);
  EXPECT_EQ(Run({"settings", "set", "QZNVCENTERDBSetting", "--connect3", "someone"}).status, 2)
      << "sqlite takes no user";
  EXPECT_EQ(Run({"settings", "set", "QZNVCENTERDBSetting"}).status, 2) << "nothing to change";
  EXPECT_EQ(Settings()[5]["strConnect2"], "set.db");
}

}  // namespace
}  // namespace gezhuan_test
