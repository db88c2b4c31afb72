// Where a user's data and settings live on this platform: the default
// database's folder and the tool's configuration file are in them. One
// implementation per platform (PosixDataFolder.cpp, WindowsDataFolder.cpp).
#pragma once

#include <filesystem>

namespace gezhuan {

// $XDG_DATA_HOME when absolute, else ~/.local/share; on Windows the local
// application data folder. Fails (CommandError) when there is none.
std::filesystem::path UserDataFolder();

// $XDG_CONFIG_HOME when absolute, else ~/.config; on Windows the roaming
// application data folder (%APPDATA%). Fails (CommandError) when there is
// none.
std::filesystem::path UserConfigFolder();

// The same folder as people write it, for help texts: "$XDG_DATA_HOME",
// "%LOCALAPPDATA%".
std::filesystem::path UserDataFolderInWords();

// The configuration folder as people write it: "$XDG_CONFIG_HOME (~/.config)",
// "%APPDATA%".
std::filesystem::path UserConfigFolderInWords();

}  // namespace gezhuan
