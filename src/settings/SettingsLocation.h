// Where the settings live and which language their captions speak: the two
// things the settings layer takes from the environment it runs in. One
// implementation per platform (PosixSettingsLocation.cpp here).
#pragma once

#include <string>

namespace qz::settings {

// $QZ_DB_SETTINGS when set and not empty; else $XDG_CONFIG_HOME/qz/dbsettings.ini
// when that is an absolute path; else <home>/.config/qz/dbsettings.ini, the
// home folder from $HOME or the user database. Empty when there is no home.
std::string DefaultSettingsFilePath();

// True when the user's messages locale is Chinese: the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty begins with "zh".
bool PrefersChineseCaptions();

}  // namespace qz::settings
