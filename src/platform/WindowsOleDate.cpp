// OLE dates on Windows: the system's own conversions. SystemTimeToVariantTime
// rolls impossible dates over (2008-02-30 becomes 2008-03-01) instead of
// refusing them, so every conversion is taken back and must return the parts
// it was given.
#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>

#include <cassert>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "platform/OleDate.h"

namespace qz::platform {
namespace {

// The day numbers of 0099-12-31 and 10000-01-01.
constexpr double kBeforeFirstDay = -657435.0;
constexpr double kAfterLastDay = 2958466.0;

bool SameParts(const CalendarTime& time, const SYSTEMTIME& system) {
  return system.wYear == time.year && system.wMonth == time.month && system.wDay == time.day &&
         system.wHour == time.hour && system.wMinute == time.minute && system.wSecond == time.second;
}

CalendarTime FromSystemTime(const SYSTEMTIME& system) {
  CalendarTime time;
  time.year = system.wYear;
  time.month = system.wMonth;
  time.day = system.wDay;
  time.hour = system.wHour;
  time.minute = system.wMinute;
  time.second = system.wSecond;
  return time;
}

// SYSTEMTIME holds each part in 16 bits; a part that does not fit would be
// cut down to one that does and then pass the round trip.
bool FitsSystemTime(const CalendarTime& time) {
  for (int part : {time.year, time.month, time.day, time.hour, time.minute, time.second})
    if (part < 0 || part > 0xFFFF) return false;
  return true;
}

}  // namespace

bool CalendarToDayNumber(const CalendarTime& time, double* day_number) {
  assert(day_number != nullptr);
  if (!FitsSystemTime(time)) return false;
  SYSTEMTIME system{};
  system.wYear = static_cast<WORD>(time.year);
  system.wMonth = static_cast<WORD>(time.month);
  system.wDay = static_cast<WORD>(time.day);
  system.wHour = static_cast<WORD>(time.hour);
  system.wMinute = static_cast<WORD>(time.minute);
  system.wSecond = static_cast<WORD>(time.second);
  double converted = 0.0;
  if (!SystemTimeToVariantTime(&system, &converted)) return false;
  SYSTEMTIME back{};
  if (!VariantTimeToSystemTime(converted, &back) || !SameParts(time, back)) return false;
  *day_number = converted;
  return true;
}

bool DayNumberToCalendar(double day_number, CalendarTime* time) {
  assert(time != nullptr);
  // VariantTimeToSystemTime takes NaN, and under Wine day numbers just
  // outside the years, for a date; nothing outside 0099-12-31 and
  // 10000-01-01 (exclusive) is given to it.
  if (!std::isfinite(day_number) || !(day_number > kBeforeFirstDay && day_number < kAfterLastDay)) return false;
  SYSTEMTIME system{};
  if (!VariantTimeToSystemTime(day_number, &system)) return false;
  if (system.wYear < 100 || system.wYear > 9999) return false;
  *time = FromSystemTime(system);
  return true;
}

// GetLocalTime cannot fail; it is the wall clock in the user's time zone.
bool LocalNow(CalendarTime* time) {
  SYSTEMTIME system{};
  GetLocalTime(&system);
  *time = FromSystemTime(system);
  // A leap second is held at 59, as everywhere.
  if (time->second > 59) time->second = 59;
  return true;
}

// The moment as a FILETIME (100-nanosecond steps since 1601-01-01 UTC),
// then into the user's time zone with the rules of that year.
bool LocalTimeOf(int64_t unix_seconds, CalendarTime* time) {
  assert(time != nullptr);
  constexpr int64_t kUnixEpochInFileTimeSeconds = 11644473600;  // 1601-01-01 to 1970-01-01
  constexpr int64_t kTicksPerSecond = 10000000;
  const int64_t seconds = unix_seconds + kUnixEpochInFileTimeSeconds;
  if (seconds < 0 || seconds > INT64_MAX / kTicksPerSecond) return false;
  const uint64_t ticks = static_cast<uint64_t>(seconds * kTicksPerSecond);
  FILETIME file_time;
  file_time.dwLowDateTime = static_cast<DWORD>(ticks);
  file_time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  if (!FileTimeToSystemTime(&file_time, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return false;
  *time = FromSystemTime(local);
  return true;
}

}  // namespace qz::platform
