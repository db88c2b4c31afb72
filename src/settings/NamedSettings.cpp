// The suite's named connection settings: the three methods of the control
// object that read them into a caller's array and show the settings dialog
// when a setting is incomplete or the caller asks for it. None of them needs
// or touches the object's connection, and none stores anything: keeping
// what the user changed is the dialog's work.
#include <QZNVGeZhuanDBControl.h>

#include <iterator>

#include "settings/Captions.h"
#include "settings/SettingsDialog.h"
#include "settings/SettingsStore.h"

namespace {

using qz::settings::CallDBsSettingDialog;

struct NamedSetting {
  const wchar_t* name;
  const wchar_t* caption_key;
};

// In array order. The last is the setting of this library's own database.
const NamedSetting kNamedSettings[] = {
    {L"CommonDataDBSetting", L"IDS_COMMONDATA_DB_SETTING"},
    {L"NetManageDBSetting", L"IDS_NETMANAGE_DB_SETTING"},
    {L"UserVerifyDBSetting", L"IDS_USERVERIFY_DB_SETTING"},
    {L"AccountManageDBSetting", L"IDS_ACCOUNTMANAGE_DB_SETTING"},
    {L"LogEventManageDBSetting", L"IDS_LOGEVENTMANAGE_DB_SETTING"},
    {L"QZNVCENTERDBSetting", L"IDS_QZNVCENTER_DB_SETTING"},
};
const NamedSetting& kOwnSetting = kNamedSettings[std::size(kNamedSettings) - 1];

// The dialog's answer when the user cancelled.
constexpr int kDialogCancelled = 2;

// Connection texts 1 and 2 say where and which database; 3 and 4 (user,
// password) may be empty. The kind is not looked at: 0 is a valid kind.
bool IsComplete(const SQZDataBaseInfo& info) { return !info.strConnect1.empty() && !info.strConnect2.empty(); }

// Reads one named setting into working and appends a copy to settings.
// The store writes all five connection fields, a setting it does not hold
// as kind 0 and four empty texts; so nothing of the row read before into
// the same working node survives to make a missing setting look complete.
// Returns whether the setting is complete.
bool AppendNamedSetting(const NamedSetting& row, DBsSetNode& working, std::vector<DBsSetNode>& settings) {
  working.strSettingName = row.name;
  working.strCaption = qz::settings::QZTranslate(row.caption_key, 0, 1);
  qz::settings::ReadQZDBSettingFromReg(working.strSettingName, working);
  settings.push_back(working);
  return IsComplete(working);
}

// The rule the two reading methods share: with the dialog allowed, show it
// when a setting is incomplete or the caller insists. Cancelled: 0.
int OfferDialog(std::vector<DBsSetNode>& settings, bool some_incomplete, int bAllowDialog, int bForceDialog) {
  if (bAllowDialog && (some_incomplete || bForceDialog)) {
    if (CallDBsSettingDialog(settings, 1) == kDialogCancelled) return 0;
  }
  return 1;
}

}  // namespace

int CQZNVGeZhuanDBControl::GetQZNVGeZhuanALLDBSettings(std::vector<DBsSetNode>& settings, int bAllowDialog,
                                                       int bForceDialog) {
  settings.clear();
  qz::settings::ReportUntrustedStore();
  DBsSetNode working;
  bool some_incomplete = false;
  for (const NamedSetting& row : kNamedSettings)
    if (!AppendNamedSetting(row, working, settings)) some_incomplete = true;
  return OfferDialog(settings, some_incomplete, bAllowDialog, bForceDialog);
}

int CQZNVGeZhuanDBControl::SetQZNVGeZhuanALLDBSettings(std::vector<DBsSetNode>& settings) {
  settings.clear();
  qz::settings::ReportUntrustedStore();
  DBsSetNode working;
  for (const NamedSetting& row : kNamedSettings) AppendNamedSetting(row, working, settings);
  return CallDBsSettingDialog(settings, 1) == kDialogCancelled ? 0 : 1;
}

int CQZNVGeZhuanDBControl::GetQZNVGeZhuanDBSettings(std::vector<DBsSetNode>& settings, int bAllowDialog,
                                                    int bForceDialog) {
  settings.clear();
  qz::settings::ReportUntrustedStore();
  DBsSetNode working;
  const bool complete = AppendNamedSetting(kOwnSetting, working, settings);
  return OfferDialog(settings, !complete, bAllowDialog, bForceDialog);
}
