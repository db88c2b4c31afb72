#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include "cli/session/DataFolder.h"
#include "cli/session/Diagnostics.h"

namespace gezhuan {

// The folder Windows keeps for per-user, per-machine program data
// (C:\Users\<name>\AppData\Local).
std::filesystem::path UserDataFolder() {
  PWSTR folder = nullptr;
  if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder) != S_OK) {
    CoTaskMemFree(folder);
    Fail("the local application data folder is unknown: give the database with --database PATH");
  }
  std::filesystem::path path(folder);
  CoTaskMemFree(folder);
  return path;
}

std::filesystem::path UserDataFolderInWords() { return L"%LOCALAPPDATA%"; }

}  // namespace gezhuan
