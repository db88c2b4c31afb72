// The host-facing calls of the settings layer.
#include <QZNVGeZhuanHost.h>

#include "settings/SettingsDialog.h"
#include "settings/SettingsStore.h"

void QZNVGeZhuanSetSettingsDialog(QZNVGeZhuanSettingsDialog dialog) {
  qz::settings::SetSettingsDialog(std::move(dialog));
}

void QZNVGeZhuanSetSettingsFile(const std::string& path) { qz::settings::SetSettingsFilePath(path); }

std::string QZNVGeZhuanSettingsFile() { return qz::settings::SettingsFilePath(); }

int QZNVGeZhuanSaveSettings(const std::vector<DBsSetNode>& settings, std::wstring* error) {
  return qz::settings::SaveSettings(settings, error) ? 1 : 0;
}

int QZNVGeZhuanCheckSettingsStore(QZNVGeZhuanSettingsStoreState* state) {
  const QZNVGeZhuanSettingsStoreState found = qz::settings::CheckStore();
  if (state) *state = found;
  return found.nState == 2 ? 0 : 1;
}
