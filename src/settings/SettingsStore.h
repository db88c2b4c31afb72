// The store of the suite's named connection settings: what the common
// library's registry reader does in the suite. Here the store is an INI
// file (PosixSettingsFile.cpp); a registry store would implement these same
// calls in a file of its own.
#pragma once

#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>

#include <string>
#include <vector>

namespace qz::settings {

// Fills all five fields of info from the setting stored under name. A
// setting the store does not hold, and every setting of a store that cannot
// be read or is not well-formed, reads as kind 0 and four empty texts; a key
// missing from a stored setting reads as 0 or empty. So nothing that info
// held before survives the call.
void ReadQZDBSettingFromReg(const std::wstring& name, SQZDataBaseInfo& info);

// Stores each node's kind and four texts under its name, replacing those
// settings and keeping every other entry of the store. All or nothing: on
// failure returns false with the reason in *error and the store unchanged.
bool SaveSettings(const std::vector<DBsSetNode>& settings, std::wstring* error);

// What a reader of the store finds (see QZNVGeZhuanCheckSettingsStore).
QZNVGeZhuanSettingsStoreState CheckStore();

// The same for the text of a store file; strFile is left empty.
QZNVGeZhuanSettingsStoreState CheckStoreText(const std::string& text);

// Writes one debug line when the store is in state 2, so that a host that
// does not ask still leaves a trace of why every setting read as missing.
void ReportUntrustedStore();

// The file the store uses: the host's choice if it made one, else the
// default of the environment (SettingsLocation.h). Empty means no store.
std::string SettingsFilePath();

// The host's choice; empty returns to the default.
void SetSettingsFilePath(const std::string& path);

}  // namespace qz::settings
