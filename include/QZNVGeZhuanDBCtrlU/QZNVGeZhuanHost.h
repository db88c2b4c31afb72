// What a host program sets up around CQZNVGeZhuanDBControl: where the debug
// output goes, the tables of a new database and its sample catalogue, and
// the store and dialog behind the connection settings. (Kept apart from the
// exported class so that the class stays exactly what callers know.)
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <functional>
#include <string>
#include <vector>

// Replaces the debug output sink. The library hands it each debug line's
// text exactly (an operation's SQL text, or "Open QZNVMANAGE DBERROR"),
// without a line end. An empty function restores the default: standard
// error, one line per text.
QZNV_GEZHUAN_API void QZNVGeZhuanSetDebugOutput(std::function<void(const std::wstring&)> sink);

// Creates the four tables and their indexes on the database that node names,
// where they do not exist yet. Returns 1 on success; on failure 0, with the
// database's message in *error when error is not null.
QZNV_GEZHUAN_API int QZNVGeZhuanCreateTables(const DBsSetNode& node, std::wstring* error);

// Adds a small sample catalogue (Betacam, DV and HD tape groups with their
// tape types, one of them the default) to the database that node names,
// whose tables must exist. Rows whose key is there already are left alone,
// so adding it twice changes nothing. Returns 1 on success; on failure 0,
// nothing added, with the database's message in *error when error is not null.
QZNV_GEZHUAN_API int QZNVGeZhuanAddSampleCatalogue(const DBsSetNode& node, std::wstring* error);

// --- Connection settings ------------------------------------------------------

// The settings dialog: shown with the settings read (all six, or the one of
// this library) and the mode 1. It may change the entries in place. Its
// result 2 means the user cancelled; anything else counts as accepted.
// Storing what the user changed is the handler's work (see
// QZNVGeZhuanSaveSettings).
using QZNVGeZhuanSettingsDialog = std::function<int(std::vector<DBsSetNode>& settings, int mode)>;

// Installs the dialog. With none installed (an empty function, and the
// default except on Windows) every dialog answers 2, since nobody can
// confirm the settings. On Windows the default is a modal Win32 dialog that
// saves what the user confirms to the store.
QZNV_GEZHUAN_API void QZNVGeZhuanSetSettingsDialog(QZNVGeZhuanSettingsDialog dialog);

// Points the settings store at an INI file. An empty path restores the
// default: $QZ_DB_SETTINGS, else $XDG_CONFIG_HOME/qz/dbsettings.ini, else
// ~/.config/qz/dbsettings.ini.
// On Windows the store is the registry: path names the key below
// HKEY_CURRENT_USER that holds one key per setting (the default is
// HKEY_CURRENT_USER\Software\QZ\DBSettings).
QZNV_GEZHUAN_API void QZNVGeZhuanSetSettingsFile(const std::string& path);

// The file the store uses now; empty when no home folder can be found.
QZNV_GEZHUAN_API std::string QZNVGeZhuanSettingsFile();

// Saves each node's kind and four connection texts under its setting name,
// replacing only those settings in the store (other entries stay). The file
// is replaced atomically and readable by its owner alone, and saves from
// several programs at once wait for each other, so none is lost. A node
// the store cannot hold as it is (a text holding a NUL or a line break, a
// name that cannot be a setting's) is refused, never saved shortened: its
// setting stays as it was and the other nodes are saved. Returns 1 when
// every node is saved; else 0, with the reasons in *error when error is not
// null (and the store unchanged when it could not be written at all).
QZNV_GEZHUAN_API int QZNVGeZhuanSaveSettings(const std::vector<DBsSetNode>& settings, std::wstring* error);

// What QZNVGeZhuanCheckSettingsStore finds. The settings methods read a
// store they cannot trust as if it held no setting (kind 0, empty texts), as
// callers of those methods expect; a host that must not then carry on with
// another database asks here first.
struct QZNVGeZhuanSettingsStoreState {
  // 0: the file reads as it is written. 1: there is no file, or no place for
  // one: an empty store. 2: the file cannot be read, or it holds something
  // the settings methods would not read as written (a line that is no INI, a
  // DBType that is not a kind code, text that is not UTF-8, a section or key
  // written twice).
  int nState = 0;
  std::string strFile;     // the store's file; "" when there is no place for one
  int nLine = 0;           // state 2: the line at fault, 1 for the first; 0 when it is the whole file
  std::string strSection;  // state 2: the section holding the key at fault, else ""
  std::string strKey;      // state 2: the key at fault, else ""
  std::string strReason;   // state 2: what is wrong, in a few words
};

// Reads the store as the settings methods do and says what it finds in
// *state. Returns 1 for states 0 and 1, 0 for state 2. (The settings methods
// themselves write a debug line naming the file, line and reason each time
// they meet a file they cannot read, and naming the setting and key each
// time a setting they read cannot be trusted and reads as empty.)
QZNV_GEZHUAN_API int QZNVGeZhuanCheckSettingsStore(QZNVGeZhuanSettingsStoreState* state);
