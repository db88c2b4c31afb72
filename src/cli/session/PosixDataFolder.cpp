#include <cstdlib>

#include "cli/session/DataFolder.h"
#include "cli/session/Diagnostics.h"

namespace gezhuan {

std::filesystem::path UserDataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data && std::filesystem::path(data).is_absolute()) return data;
  const char* home = std::getenv("HOME");
  if (!home || !*home) Fail("neither XDG_DATA_HOME nor HOME is set: give the database with --database PATH");
  return std::filesystem::path(home) / ".local" / "share";
}

std::filesystem::path UserConfigFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config && std::filesystem::path(config).is_absolute()) return config;
  const char* home = std::getenv("HOME");
  if (!home || !*home) Fail("neither XDG_CONFIG_HOME nor HOME is set: the configuration file has no folder");
  return std::filesystem::path(home) / ".config";
}

std::filesystem::path UserDataFolderInWords() { return "$XDG_DATA_HOME"; }

std::filesystem::path UserConfigFolderInWords() { return "$XDG_CONFIG_HOME (~/.config)"; }

}  // namespace gezhuan
