// The settings fixture on the INI store: a file in a temporary folder.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/SettingsFixture.h"
#include "support/TemporaryFolder.h"

namespace qz::testing {

void EnvironmentGuard::Set(const std::string& name, const std::optional<std::string>& value) {
  if (value)
    setenv(name.c_str(), value->c_str(), 1);
  else
    unsetenv(name.c_str());
}

SettingsTest::SettingsTest()
    : environment_({"LC_ALL", "LC_MESSAGES", "LANG", "QZ_DB_SETTINGS", "XDG_CONFIG_HOME", "HOME"}) {
  folder_ = MakeTemporaryFolder("qz-settings");
  path_ = folder_ + "/dbsettings.ini";
  UseStoreAndRecordingDialog();
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
