#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include "cli/session/DataFolder.h"
#include "cli/session/Diagnostics.h"

namespace gezhuan {

namespace {

// A known folder of the user's, or an empty path when Windows has none.
std::filesystem::path KnownFolder(REFKNOWNFOLDERID which) {
  PWSTR folder = nullptr;
  const bool found = SHGetKnownFolderPath(which, 0, nullptr, &folder) == S_OK;
  std::filesystem::path path = found ? std::filesystem::path(folder) : std::filesystem::path();
  CoTaskMemFree(folder);
  return path;
}

}  // namespace

// The folder Windows keeps for per-user, per-machine program data
// (C:\Users\<name>\AppData\Local).
std::filesystem::path UserDataFolder() {
  std::filesystem::path path = KnownFolder(FOLDERID_LocalAppData);
  if (path.empty()) Fail("the local application data folder is unknown: give the database with --database PATH");
  return path;
}

// The folder of per-user settings that follow the user between machines
// (%APPDATA%, C:\Users\<name>\AppData\Roaming).
std::filesystem::path UserConfigFolder() {
  std::filesystem::path path = KnownFolder(FOLDERID_RoamingAppData);
  if (path.empty()) Fail("the roaming application data folder is unknown: the configuration file has no folder");
  return path;
}

std::filesystem::path UserDataFolderInWords() { return L"%LOCALAPPDATA%"; }

std::filesystem::path UserConfigFolderInWords() { return L"%APPDATA%"; }

}  // namespace gezhuan
