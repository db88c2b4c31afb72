// Where a user's data lives on this platform: the default database's folder
// is in it. One implementation per platform (PosixDataFolder.cpp,
// WindowsDataFolder.cpp).
#pragma once

#include <filesystem>

namespace gezhuan {

// $XDG_DATA_HOME when absolute, else ~/.local/share; on Windows the local
// application data folder. Fails (CommandError) when there is none.
std::filesystem::path UserDataFolder();

// The same folder as people write it, for help texts: "$XDG_DATA_HOME",
// "%LOCALAPPDATA%".
std::filesystem::path UserDataFolderInWords();

}  // namespace gezhuan
