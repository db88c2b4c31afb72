#include "cli/session/HostBridge.h"

#include <QZNVGeZhuanHost.h>

#include "cli/terminal/Text.h"

namespace gezhuan::host {

void InstallSettingsDialog(SettingsDialog dialog) { QZNVGeZhuanSetSettingsDialog(std::move(dialog)); }

bool SaveSettings(const std::vector<DBsSetNode>& settings, std::string* error) {
  std::wstring why;
  if (QZNVGeZhuanSaveSettings(settings, &why)) return true;
  if (error) *error = ToUtf8(why);
  return false;
}

std::string SettingsFile() { return QZNVGeZhuanSettingsFile(); }

bool SettingsStoreIsTrusted(std::string* problem) {
  QZNVGeZhuanSettingsStoreState state;
  if (QZNVGeZhuanCheckSettingsStore(&state)) return true;
  std::string text = "settings file " + state.strFile;
  if (state.nLine > 0) text += ", line " + std::to_string(state.nLine);
  if (!state.strKey.empty()) text += ", key " + state.strKey + " of [" + state.strSection + "]";
  if (problem) *problem = text + ": " + state.strReason;
  return false;
}

bool SettingsFileExists() {
  QZNVGeZhuanSettingsStoreState state;
  QZNVGeZhuanCheckSettingsStore(&state);
  return state.nState != 1;
}

bool AddSampleCatalogue(const DBsSetNode& node, std::string* error) {
  std::wstring why;
  if (QZNVGeZhuanAddSampleCatalogue(node, &why)) return true;
  if (error) *error = ToUtf8(why);
  return false;
}

}  // namespace gezhuan::host
