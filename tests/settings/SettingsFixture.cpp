#include "settings/SettingsFixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qz::testing {

const char* const kSettingNames[6] = {"CommonDataDBSetting",    "NetManageDBSetting",      "UserVerifyDBSetting",
                                      "AccountManageDBSetting", "LogEventManageDBSetting", "QZNVCENTERDBSetting"};

EnvironmentGuard::EnvironmentGuard(std::vector<std::string> names) {
  for (const std::string& name : names) {
    const char* value = std::getenv(name.c_str());
    saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
  }
}

EnvironmentGuard::~EnvironmentGuard() {
  for (const auto& [name, value] : saved_) Set(name, value);
}

void EnvironmentGuard::Set(const std::string& name, const std::optional<std::string>& value) {
  if (value)
    setenv(name.c_str(), value->c_str(), 1);
  else
    unsetenv(name.c_str());
}

std::string Section(const std::string& name, const std::string& kind, const std::string& connect1,
                    const std::string& connect2, const std::string& connect3, const std::string& connect4) {
  return "[" + name + "]\nDBType=" + kind + "\nConnect1=" + connect1 + "\nConnect2=" + connect2 +
         "\nConnect3=" + connect3 + "\nConnect4=" + connect4 + "\n";
}

// Kinds 0 and 2 alike, user and password only where a server needs them.
std::string CompleteStore() {
  std::string text;
  for (int i = 0; i < 6; ++i) {
    const std::string n = std::to_string(i);
    text += i % 2 == 0 ? Section(kSettingNames[i], "0", "/var/lib/qz", "db" + n + ".db")
                       : Section(kSettingNames[i], "2", "db.example:5432", "suite" + n, "user" + n, "secret" + n);
  }
  return text;
}

SettingsTest::SettingsTest()
    : environment_({"LC_ALL", "LC_MESSAGES", "LANG", "QZ_DB_SETTINGS", "XDG_CONFIG_HOME", "HOME"}) {
  std::string pattern = (std::filesystem::temp_directory_path() / "qz-settings-XXXXXX").string();
  if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
  folder_ = pattern;
  path_ = folder_ + "/dbsettings.ini";
  QZNVGeZhuanSetSettingsFile(path_);
  EnvironmentGuard::Set("LC_ALL", "C");
  QZNVGeZhuanSetSettingsDialog([this](std::vector<DBsSetNode>& settings, int mode) {
    ++dialog_.calls;
    dialog_.mode = mode;
    dialog_.seen = settings;
    if (dialog_.edit) dialog_.edit(settings);
    return dialog_.answer;
  });
}

SettingsTest::~SettingsTest() {
  QZNVGeZhuanSetSettingsDialog(nullptr);
  QZNVGeZhuanSetSettingsFile("");
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void SettingsTest::WriteStore(const std::string& text) const {
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string SettingsTest::ReadStore() const {
  std::ifstream in(path_, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace qz::testing
