// The library's host calls for settings and sample data, in one place: the
// dialog the settings methods show, the store they read and we save to, and
// the sample catalogue.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <functional>
#include <string>
#include <vector>

namespace gezhuan::host {

using SettingsDialog = std::function<int(std::vector<DBsSetNode>& settings, int mode)>;

// Makes dialog the one the settings methods show.
void InstallSettingsDialog(SettingsDialog dialog);

// Saves the nodes' connection parts to the store under their names.
bool SaveSettings(const std::vector<DBsSetNode>& settings, std::string* error);

// The settings file the store reads and writes.
std::string SettingsFile();

// Whether the store reads as written (or there is no file). When not, the
// library reads every setting as empty; *problem names the file, the line
// and the key at fault, and why.
bool SettingsStoreIsTrusted(std::string* problem);

// Whether the settings file exists.
bool SettingsFileExists();

// Adds the sample tape groups and tape types (idempotent).
bool AddSampleCatalogue(const DBsSetNode& node, std::string* error);

}  // namespace gezhuan::host
