// The settings dialog: what the common library's dialog does in the suite.
// The host may install its own (QZNVGeZhuanSetSettingsDialog).
#pragma once

#include <QZNVGeZhuanHost.h>

#include <vector>

namespace qz::settings {

// Shows the host's dialog with settings and mode and returns its answer; 2
// (cancelled) when no dialog is installed.
int CallDBsSettingDialog(std::vector<DBsSetNode>& settings, int mode);

void SetSettingsDialog(QZNVGeZhuanSettingsDialog dialog);

// Whether a dialog is installed now, so that a caller can tell "nobody can
// answer" from the user's cancel, which both reach it as 2.
bool HasSettingsDialog();

// The dialog installed before the host installs one: the Win32 dialog on
// Windows (WindowsSettingsDialog.cpp), none elsewhere.
QZNVGeZhuanSettingsDialog DefaultSettingsDialog();

}  // namespace qz::settings
