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
    // The settings dialog of the Windows build.
    {L"IDS_DB_SETTINGS_DIALOG", L"Database settings", L"数据库设置"},
    {L"IDS_DB_KIND", L"Kind", L"类型"},
    {L"IDS_DB_KIND_EMBEDDED", L"Embedded SQLite file", L"嵌入式 SQLite 文件"},
    {L"IDS_DB_KIND_POSTGRESQL", L"PostgreSQL server", L"PostgreSQL 服务器"},
    {L"IDS_DB_KIND_ODBC", L"ODBC source", L"ODBC 数据源"},
    {L"IDS_DB_KIND_OTHER", L"Kind code", L"类型代码"},
    {L"IDS_DB_CONNECT1", L"Server or folder", L"服务器或文件夹"},
    {L"IDS_DB_CONNECT2", L"Database or file", L"数据库或文件"},
    {L"IDS_DB_CONNECT3", L"User", L"用户"},
    {L"IDS_DB_CONNECT4", L"Password", L"密码"},
    {L"IDS_OK", L"OK", L"确定"},
    {L"IDS_CANCEL", L"Cancel", L"取消"},
};

}  // namespace

std::wstring QZTranslate(const std::wstring& key, uint32_t /*module*/, int /*flags*/) {
  for (const Caption& caption : kCaptions)
    if (key == caption.key) return PrefersChineseCaptions() ? caption.chinese : caption.english;
  return key;
}

}  // namespace qz::settings
