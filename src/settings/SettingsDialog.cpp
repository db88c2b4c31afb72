#include "settings/SettingsDialog.h"

#include <mutex>
#include <utility>

namespace qz::settings {
namespace {

std::mutex& DialogMutex() {
  static std::mutex mutex;
  return mutex;
}

QZNVGeZhuanSettingsDialog& InstalledDialog() {
  static QZNVGeZhuanSettingsDialog dialog = DefaultSettingsDialog();
  return dialog;
}

}  // namespace

// The dialog runs outside the lock, so that it may itself install another.
int CallDBsSettingDialog(std::vector<DBsSetNode>& settings, int mode) {
  QZNVGeZhuanSettingsDialog dialog;
  {
    std::lock_guard<std::mutex> lock(DialogMutex());
    dialog = InstalledDialog();
  }
  if (!dialog) return 2;
  return dialog(settings, mode);
}

void SetSettingsDialog(QZNVGeZhuanSettingsDialog dialog) {
  std::lock_guard<std::mutex> lock(DialogMutex());
  InstalledDialog() = std::move(dialog);
}

bool HasSettingsDialog() {
  std::lock_guard<std::mutex> lock(DialogMutex());
  return static_cast<bool>(InstalledDialog());
}

}  // namespace qz::settings
