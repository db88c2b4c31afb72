// The parts of the settings fixture every store shares; the store itself is
// PosixSettingsFixture.cpp (an INI file) or WindowsSettingsFixture.cpp (the
// registry).
#include "settings/SettingsFixture.h"

#include <cstdlib>

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

void SettingsTest::UseStoreAndRecordingDialog() {
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

}  // namespace qz::testing
