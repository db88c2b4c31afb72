#include "HostBridge.h"

#include <QZNVGeZhuanHost.h>

#include "Text.h"

namespace gezhuan::host {

void InstallSettingsDialog(SettingsDialog dialog) { QZNVGeZhuanSetSettingsDialog(std::move(dialog)); }

bool SaveSettings(const std::vector<DBsSetNode>& settings, std::string* error) {
  std::wstring why;
  if (QZNVGeZhuanSaveSettings(settings, &why)) return true;
  if (error) *error = ToUtf8(why);
  return false;
}

std::string SettingsFile() { return QZNVGeZhuanSettingsFile(); }

bool AddSampleCatalogue(const DBsSetNode& node, std::string* error) {
  std::wstring why;
  if (QZNVGeZhuanAddSampleCatalogue(node, &why)) return true;
  if (error) *error = ToUtf8(why);
  return false;
}

}  // namespace gezhuan::host
