#include "access/StorableValue.h"

#include <cmath>
#include <string>

#include "platform/OleDate.h"
#include "platform/TextEncoding.h"

namespace qz::access {
namespace {

// SQLSTATE classes 22 (data exception), as PostgreSQL answers the same
// values: 22008 datetime field overflow, 22021 character not in repertoire,
// 22P01 floating point exception.
[[noreturn]] void Refuse(std::wstring_view column, const wchar_t* why, const char* sql_state) {
  CQZDBException::Raise(L"column " + std::wstring(column) + L": " + why, sql_state, 0);
}

bool IsStorableDateTime(const SQZDateTime& value) {
  if (!value.IsValid()) return true;  // stored as NULL, as its status says
  int year, month, day, hour, minute, second;
  return value.GetParts(&year, &month, &day, &hour, &minute, &second);
}

bool IsStorableTimestamp(const SQZTimestamp& value) {
  if (value.year == 0 && value.month == 0 && value.day == 0 && value.hour == 0 && value.minute == 0 &&
      value.second == 0)
    return true;  // NULL
  platform::CalendarTime parts;
  parts.year = value.year;
  parts.month = value.month;
  parts.day = value.day;
  parts.hour = value.hour;
  parts.minute = value.minute;
  parts.second = value.second;
  double day_number;
  return platform::CalendarToDayNumber(parts, &day_number);
}

}  // namespace

void RefuseUnstorableValue(std::wstring_view column, const CQZDBVariant& value) {
  switch (value.GetType()) {
    case CQZDBVariant::TYPE_TEXT:
      if (value.GetTextRef().find(L'\0') != std::wstring::npos)
        Refuse(column, L"the text holds a NUL character, which no engine gives back", "22021");
      if (!platform::IsWholeText(value.GetTextRef()))
        Refuse(column, L"the text holds a lone surrogate or a code point above U+10FFFF, which no engine keeps",
               "22021");
      break;
    case CQZDBVariant::TYPE_DATETIME:
      if (!IsStorableDateTime(value.GetDateTime()))
        Refuse(column, L"the date-time is marked valid but names no moment of the years 100 to 9999", "22008");
      break;
    case CQZDBVariant::TYPE_TIMESTAMP:
      if (!IsStorableTimestamp(value.GetTimestamp()))
        Refuse(column, L"the timestamp names no moment of the years 100 to 9999", "22008");
      break;
    case CQZDBVariant::TYPE_REAL:
      if (std::isnan(value.GetReal())) Refuse(column, L"the number is NaN, which no engine keeps", "22P01");
      break;
    case CQZDBVariant::TYPE_NULL:
    case CQZDBVariant::TYPE_INTEGER:
      break;
  }
}

void RefuseUnrunnableSql(std::wstring_view sql) {
  if (sql.find(L'\0') != std::wstring_view::npos)
    CQZDBException::Raise(L"the SQL text holds a NUL character; the engines would run only the part before it", "22021",
                          0);
  if (!platform::IsWholeText(sql))
    CQZDBException::Raise(L"the SQL text holds a lone surrogate or a code point above U+10FFFF", "22021", 0);
}

}  // namespace qz::access
