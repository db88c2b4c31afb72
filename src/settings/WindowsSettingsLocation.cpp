#include <windows.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "settings/SettingsLocation.h"

namespace qz::settings {

// On Windows the store is a registry key, named the way regedit shows it.
std::string DefaultSettingsFilePath() { return "HKEY_CURRENT_USER\\Software\\QZ\\DBSettings"; }

// The POSIX locale variables when one is set (a Unix-like shell, or Wine
// passing them on), so that a process and its tests can choose; otherwise
// the user's display language.
bool PrefersChineseCaptions() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return std::string(value).compare(0, 2, "zh") == 0;
  }
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE;
}

}  // namespace qz::settings
