#include "HostBridge.h"

#include <QZNVGeZhuanHost.h>

#include "Text.h"

// Host calls of the settings and catalogue layer.
QZNV_GEZHUAN_API int QZNVGeZhuanAddSampleCatalogue(const DBsSetNode& node, std::wstring* error);
QZNV_GEZHUAN_API void QZNVGeZhuanSetSettingsDialog(
    std::function<int(std::vector<DBsSetNode>& settings, int mode)> dialog);
QZNV_GEZHUAN_API std::string QZNVGeZhuanSettingsFile();
QZNV_GEZHUAN_API int QZNVGeZhuanSaveSettings(const std::vector<DBsSetNode>& settings, std::wstring* error);

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
