// OLE Automation date arithmetic. Calendar days are counted in the proleptic
// Gregorian calendar; the day number's whole part is the date and the
// magnitude of its fraction is the time of day, whatever the sign.
#include "platform/OleDateArithmetic.h"

#include <cassert>
#include <cmath>

namespace qz::platform {

namespace {

constexpr int kMinYear = 100;
constexpr int kMaxYear = 9999;
constexpr int64_t kSecondsPerDay = 86400;

// 1899-12-30 lies this many days before 1970-01-01, the origin that
// DaysFromCivil counts from.
constexpr int64_t kDayZeroFromUnixEpoch = 25569;

// The day numbers just outside the years 100 to 9999: 0099-12-31 and
// 10000-01-01. Anything strictly between them can be broken down without
// overflowing an integer; the exact year range is checked afterwards.
constexpr double kBeforeFirstDay = -657435.0;
constexpr double kAfterLastDay = 2958466.0;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[month - 1];
}

// Days from 1970-01-01 to the given date. The year is shifted to start in
// March so that the leap day falls at the end of it; the 400-year cycle of
// 146097 days then makes the count a handful of divisions.
int64_t DaysFromCivil(int year, int month, int day) {
  const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t year_of_era = y - era * 400;                                                         // [0, 399]
  const int64_t shifted_month = month > 2 ? month - 3 : month + 9;                                   // Mar = 0
  const int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;                               // [0, 365]
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;  // [0, 146096]
  return era * 146097 + day_of_era - 719468;  // 719468: 0000-03-01 to 1970-01-01
}

// The inverse of DaysFromCivil.
void CivilFromDays(int64_t days, int* year, int* month, int* day) {
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t day_of_era = z - era * 146097;  // [0, 146096]
  const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t shifted_month = (5 * day_of_year + 2) / 153;  // Mar = 0
  *day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  *month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  *year = static_cast<int>(year_of_era + era * 400 + (*month <= 2 ? 1 : 0));
}

}  // namespace

// Checks every part, then joins the date's day count and the time of day.
// Before day 0 the time is subtracted, because there the fraction runs
// away from zero while the time still runs forward.
bool ArithmeticCalendarToDayNumber(const CalendarTime& time, double* day_number) {
  if (time.year < kMinYear || time.year > kMaxYear) return false;
  if (time.month < 1 || time.month > 12) return false;
  if (time.day < 1 || time.day > DaysInMonth(time.year, time.month)) return false;
  if (time.hour < 0 || time.hour > 23) return false;
  if (time.minute < 0 || time.minute > 59) return false;
  if (time.second < 0 || time.second > 59) return false;

  const int64_t days = DaysFromCivil(time.year, time.month, time.day) + kDayZeroFromUnixEpoch;
  const int64_t seconds = time.hour * 3600 + time.minute * 60 + time.second;
  const double fraction = static_cast<double>(seconds) / static_cast<double>(kSecondsPerDay);
  const double whole = static_cast<double>(days);
  *day_number = days >= 0 ? whole + fraction : whole - fraction;
  return true;
}

// Splits the day number into date and time of day, rounds the time to the
// nearest second, and lets a time that rounds up to midnight move on to the
// following date.
bool ArithmeticDayNumberToCalendar(double day_number, CalendarTime* time) {
  if (!std::isfinite(day_number)) return false;
  if (!(day_number > kBeforeFirstDay && day_number < kAfterLastDay)) return false;

  const double whole = std::trunc(day_number);
  const double fraction = std::fabs(day_number - whole);
  int64_t days = static_cast<int64_t>(whole);
  int64_t seconds = static_cast<int64_t>(std::llround(fraction * static_cast<double>(kSecondsPerDay)));
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++days;
  }

  CalendarTime result;
  CivilFromDays(days - kDayZeroFromUnixEpoch, &result.year, &result.month, &result.day);
  if (result.year < kMinYear || result.year > kMaxYear) return false;
  result.hour = static_cast<int>(seconds / 3600);
  result.minute = static_cast<int>(seconds / 60 % 60);
  result.second = static_cast<int>(seconds % 60);
  *time = result;
  return true;
}

// Days and second of the day apart, both counted forward.
bool ClockTimeOf(int64_t unix_seconds, CalendarTime* time) {
  assert(time != nullptr);
  // Far enough beyond the years 100 to 9999 and short of any overflow.
  constexpr int64_t kLimit = int64_t{1} << 40;
  if (unix_seconds < -kLimit || unix_seconds > kLimit) return false;
  const int64_t days = unix_seconds / kSecondsPerDay - (unix_seconds % kSecondsPerDay < 0 ? 1 : 0);
  const int64_t second_of_day = unix_seconds - days * kSecondsPerDay;
  CalendarTime result;
  CivilFromDays(days, &result.year, &result.month, &result.day);
  if (result.year < kMinYear || result.year > kMaxYear) return false;
  result.hour = static_cast<int>(second_of_day / 3600);
  result.minute = static_cast<int>(second_of_day / 60 % 60);
  result.second = static_cast<int>(second_of_day % 60);
  *time = result;
  return true;
}

}  // namespace qz::platform
