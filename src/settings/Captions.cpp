#include "settings/Captions.h"

#include "settings/SettingsLocation.h"

namespace qz::settings {
namespace {

struct Caption {
  const wchar_t* key;
  const wchar_t* english;
  const wchar_t* chinese;
};

const Caption kCaptions[] = {
    {L"IDS_COMMONDATA_DB_SETTING", L"Common data database", L"公共数据数据库"},
    {L"IDS_NETMANAGE_DB_SETTING", L"Network management database", L"网络管理数据库"},
    {L"IDS_USERVERIFY_DB_SETTING", L"User verification database", L"用户验证数据库"},
    {L"IDS_ACCOUNTMANAGE_DB_SETTING", L"Account management database", L"账户管理数据库"},
    {L"IDS_LOGEVENTMANAGE_DB_SETTING", L"Log and event management database", L"日志事件管理数据库"},
    {L"IDS_QZNVCENTER_DB_SETTING", L"QZNV centre database", L"QZNV 中心数据库"},
};

}  // namespace

std::wstring QZTranslate(const std::wstring& key, uint32_t /*module*/, int /*flags*/) {
  for (const Caption& caption : kCaptions)
    if (key == caption.key) return PrefersChineseCaptions() ? caption.chinese : caption.english;
  return key;
}

}  // namespace qz::settings
