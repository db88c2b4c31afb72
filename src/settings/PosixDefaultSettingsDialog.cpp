#include "settings/SettingsDialog.h"

namespace qz::settings {

// There is no window system we could count on: until the host installs a
// dialog, nobody can confirm the settings.
QZNVGeZhuanSettingsDialog DefaultSettingsDialog() { return {}; }

}  // namespace qz::settings
