// The suite's named connection settings through the C interface: the six
// settings read by the control object's settings methods, one saved to the
// store, a database opened from one, and the settings dialog where this
// build has one. Settings travel as QZNVGeZhuanDBSetting, texts the
// caller frees with QZNVGeZhuanDB_FreeSettings.
#include <QZNVGeZhuanDB.h>
#include <QZNVGeZhuanHost.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "capi/Handle.h"
#include "capi/Utf16Text.h"
#include "platform/TextEncoding.h"
#include "settings/SettingsDialog.h"

namespace {

using qz::capi::Fail;
using qz::capi::Run;
using qz::capi::Utf16ToWide;

// ASCII letters compared without case: the registry keeps the names so.
bool SameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const wchar_t x = a[i] >= L'a' && a[i] <= L'z' ? a[i] - (L'a' - L'A') : a[i];
    const wchar_t y = b[i] >= L'a' && b[i] <= L'z' ? b[i] - (L'a' - L'A') : b[i];
    if (x != y) return false;
  }
  return true;
}

// The six settings as the store holds them, without a dialog.
std::vector<DBsSetNode> ReadSettings(QZNVGeZhuanDB* db) {
  std::vector<DBsSetNode> settings;
  db->control.GetQZNVGeZhuanALLDBSettings(settings, 0, 0);
  return settings;
}

// The names of the six settings, for a message.
std::string Names(const std::vector<DBsSetNode>& settings) {
  std::string names;
  for (const DBsSetNode& node : settings)
    names += (names.empty() ? "" : ", ") + qz::platform::WideToUtf8(node.strSettingName);
  return names;
}

// The setting called name among settings into *found; else 0 with a reason.
int FindSetting(QZNVGeZhuanDB* db, const std::vector<DBsSetNode>& settings, const QZNVChar* name, DBsSetNode* found) {
  const std::wstring wanted = Utf16ToWide(name);
  for (const DBsSetNode& node : settings)
    if (SameName(node.strSettingName, wanted)) {
      *found = node;
      return 1;
    }
  return Fail(db,
              "no setting is called \"" + qz::platform::WideToUtf8(wanted) + "\"; the settings are " + Names(settings));
}

// A copy of text for the caller; throws std::bad_alloc when memory ran out.
const QZNVChar* Copy(const std::wstring& text) {
  QZNVChar* copy = qz::capi::NewText(qz::capi::WideToUtf16(text));
  if (copy == nullptr) throw std::bad_alloc();
  return copy;
}

// Fills *out from node. On a throw nothing is left to free: what was
// copied is freed again and *out cleared.
void ToCaller(const DBsSetNode& node, QZNVGeZhuanDBSetting* out) {
  QZNVGeZhuanDBSetting setting{};
  try {
    setting.nDBType = node.nDBType;
    setting.strConnect1 = Copy(node.strConnect1);
    setting.strConnect2 = Copy(node.strConnect2);
    setting.strConnect3 = Copy(node.strConnect3);
    setting.strConnect4 = Copy(node.strConnect4);
    setting.strSettingName = Copy(node.strSettingName);
    setting.strCaption = Copy(node.strCaption);
  } catch (...) {
    QZNVGeZhuanDB_FreeSettings(&setting, 1);
    *out = QZNVGeZhuanDBSetting{};
    throw;
  }
  *out = setting;
}

// Empties count settings of the caller's, which may hold anything: so that
// freeing them is safe whatever the call answers.
void Empty(QZNVGeZhuanDBSetting* settings, size_t count) {
  for (size_t i = 0; i < count; ++i) settings[i] = QZNVGeZhuanDBSetting{};
}

// Fills out[0..5] from settings, all or nothing.
void AllToCaller(const std::vector<DBsSetNode>& settings, QZNVGeZhuanDBSetting* out) {
  Empty(out, QZNV_GEZHUAN_SETTING_COUNT);
  try {
    for (size_t i = 0; i < settings.size() && i < QZNV_GEZHUAN_SETTING_COUNT; ++i) ToCaller(settings[i], &out[i]);
  } catch (...) {
    QZNVGeZhuanDB_FreeSettings(out, QZNV_GEZHUAN_SETTING_COUNT);
    throw;
  }
}

}  // namespace

extern "C" {

int QZNVGeZhuanDB_GetSettings(QZNVGeZhuanDB* db, QZNVGeZhuanDBSetting settings[QZNV_GEZHUAN_SETTING_COUNT]) {
  return Run(db, false, [&] {
    if (settings == nullptr) return Fail(db, "the settings pointer is null");
    Empty(settings, QZNV_GEZHUAN_SETTING_COUNT);
    AllToCaller(ReadSettings(db), settings);
    return 1;
  });
}

int QZNVGeZhuanDB_GetSetting(QZNVGeZhuanDB* db, const QZNVChar* name, QZNVGeZhuanDBSetting* setting) {
  return Run(db, false, [&] {
    if (setting == nullptr) return Fail(db, "the setting pointer is null");
    Empty(setting, 1);
    DBsSetNode node;
    if (!FindSetting(db, ReadSettings(db), name, &node)) return 0;
    ToCaller(node, setting);
    return 1;
  });
}

int QZNVGeZhuanDB_SetSetting(QZNVGeZhuanDB* db, const QZNVGeZhuanDBSetting* setting) {
  return Run(db, false, [&] {
    if (setting == nullptr) return Fail(db, "the setting pointer is null");
    DBsSetNode node;
    if (!FindSetting(db, ReadSettings(db), setting->strSettingName, &node)) return 0;
    node.nDBType = setting->nDBType;
    node.strConnect1 = Utf16ToWide(setting->strConnect1);
    node.strConnect2 = Utf16ToWide(setting->strConnect2);
    node.strConnect3 = Utf16ToWide(setting->strConnect3);
    node.strConnect4 = Utf16ToWide(setting->strConnect4);
    std::wstring error;
    if (!QZNVGeZhuanSaveSettings({node}, &error))
      return Fail(db, "the setting was not saved: " + qz::platform::WideToUtf8(error));
    return 1;
  });
}

int QZNVGeZhuanDB_OpenBySetting(QZNVGeZhuanDB* db, const QZNVChar* name) {
  return Run(db, false, [&] {
    DBsSetNode node;
    if (!FindSetting(db, ReadSettings(db), name, &node)) return 0;
    if (node.strConnect1.empty() || node.strConnect2.empty())
      return Fail(db, "the setting " + qz::platform::WideToUtf8(node.strSettingName) +
                          " is incomplete: it needs its first two connection texts (where, and which database)");
    return qz::capi::OpenNode(db, node);
  });
}

int QZNVGeZhuanDB_ShowSettingsDialog(QZNVGeZhuanDB* db, QZNVGeZhuanDBSetting settings[QZNV_GEZHUAN_SETTING_COUNT]) {
  return Run(db, false, [&] {
    if (settings != nullptr) Empty(settings, QZNV_GEZHUAN_SETTING_COUNT);
    if (!qz::settings::HasSettingsDialog())
      return Fail(db,
                  "this build has no settings dialog: read and save the settings with "
                  "QZNVGeZhuanDB_GetSetting and QZNVGeZhuanDB_SetSetting");
    // The method's only 0 is the user's cancel.
    std::vector<DBsSetNode> shown;
    const int accepted = db->control.SetQZNVGeZhuanALLDBSettings(shown);
    if (settings != nullptr) AllToCaller(shown, settings);
    if (!accepted) return Fail(db, QZNV_GEZHUAN_CANCELLED, "the settings dialog was cancelled");
    return 1;
  });
}

void QZNVGeZhuanDB_FreeSettings(QZNVGeZhuanDBSetting* settings, size_t count) {
  if (settings == nullptr) return;
  for (size_t i = 0; i < count; ++i) {
    QZNVGeZhuanDBSetting& setting = settings[i];
    for (const QZNVChar** text : {&setting.strConnect1, &setting.strConnect2, &setting.strConnect3,
                                  &setting.strConnect4, &setting.strSettingName, &setting.strCaption}) {
      std::free(const_cast<QZNVChar*>(*text));
      *text = nullptr;
    }
  }
}

}  // extern "C"
