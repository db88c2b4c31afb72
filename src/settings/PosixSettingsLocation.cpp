#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "settings/SettingsLocation.h"

namespace qz::settings {
namespace {

// The variable's value, or empty when it is unset.
std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (!home.empty()) return home;
  // getpwuid_r keeps this safe beside other users of the user database.
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr && found->pw_dir)
    return found->pw_dir;
  return std::string();
}

}  // namespace

std::string DefaultSettingsFilePath() {
  const std::string explicit_path = Environment("QZ_DB_SETTINGS");
  if (!explicit_path.empty()) return explicit_path;
  // XDG base directory rules: a relative XDG_CONFIG_HOME is to be ignored.
  const std::string config = Environment("XDG_CONFIG_HOME");
  if (!config.empty() && config.front() == '/') return config + "/qz/dbsettings.ini";
  const std::string home = HomeFolder();
  if (home.empty()) return std::string();
  return home + "/.config/qz/dbsettings.ini";
}

bool PrefersChineseCaptions() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const std::string value = Environment(name);
    if (!value.empty()) return value.compare(0, 2, "zh") == 0;
  }
  return false;
}

}  // namespace qz::settings
