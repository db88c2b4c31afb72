// The store of the suite's named connection settings: what the common
// library's registry reader does in the suite. Here the store is an INI
// file (IniSettingsStore.cpp) or, on Windows, the registry
// (WindowsRegistrySettingsStore.cpp).
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
// held before survives the call. A setting the store holds but cannot be
// trusted to mean one database (a DBType that is no number or of the wrong
// type, a key or section written twice) also reads as empty, with a debug
// line naming the store, the setting and the key.
void ReadQZDBSettingFromReg(const std::wstring& name, SQZDataBaseInfo& info);

// Stores each node's kind and four texts under its name, replacing those
// settings and keeping every other entry of the store. A node the store
// cannot hold as it is (a text with a NUL, a name that is no key) is
// refused and its setting left as it was; the others are saved. Returns
// false when a node was refused or nothing could be saved, with the reasons
// in *error. Saves wait for each other, so none is lost to another.
bool SaveSettings(const std::vector<DBsSetNode>& settings, std::wstring* error);

// What a reader of the store finds (see QZNVGeZhuanCheckSettingsStore).
QZNVGeZhuanSettingsStoreState CheckStore();

// The same for the text of a store file; strFile is left empty.
QZNVGeZhuanSettingsStoreState CheckStoreText(const std::string& text);

// Writes one debug line when the store as a whole cannot be trusted, so that
// a host that does not ask still leaves a trace of why every setting read as
// missing.
void ReportUntrustedStore();

// Whether a and b name the same database: kind and four texts alike. A
// save leaves a setting that already reads as the node says as it stands.
inline bool SameSetting(const SQZDataBaseInfo& a, const SQZDataBaseInfo& b) {
  return a.nDBType == b.nDBType && a.strConnect1 == b.strConnect1 && a.strConnect2 == b.strConnect2 &&
         a.strConnect3 == b.strConnect3 && a.strConnect4 == b.strConnect4;
}

// The file the store uses: the host's choice if it made one, else the
// default of the environment (SettingsLocation.h). Empty means no store.
std::string SettingsFilePath();

// The host's choice; empty returns to the default.
void SetSettingsFilePath(const std::string& path);

}  // namespace qz::settings
