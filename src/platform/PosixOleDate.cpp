// OLE dates where there is no OLE Automation: our own arithmetic, and the
// C library's clock broken down into local time.
#include <cassert>
#include <cstdint>
#include <ctime>

#include "platform/OleDate.h"
#include "platform/OleDateArithmetic.h"

namespace qz::platform {

bool CalendarToDayNumber(const CalendarTime& time, double* day_number) {
  assert(day_number != nullptr);
  return ArithmeticCalendarToDayNumber(time, day_number);
}

bool DayNumberToCalendar(double day_number, CalendarTime* time) {
  assert(time != nullptr);
  return ArithmeticDayNumberToCalendar(day_number, time);
}

// Reads the system clock and breaks it down in the process's time zone.
bool LocalNow(CalendarTime* time) {
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) return false;
  return LocalTimeOf(static_cast<int64_t>(now), time);
}

// Breaks the moment down in the process's time zone.
bool LocalTimeOf(int64_t unix_seconds, CalendarTime* time) {
  assert(time != nullptr);
  const std::time_t moment = static_cast<std::time_t>(unix_seconds);
  if (static_cast<int64_t>(moment) != unix_seconds) return false;  // beyond a narrow time_t
  std::tm local{};
  if (localtime_r(&moment, &local) == nullptr) return false;
  time->year = local.tm_year + 1900;
  time->month = local.tm_mon + 1;
  time->day = local.tm_mday;
  time->hour = local.tm_hour;
  time->minute = local.tm_min;
  // A leap second (tm_sec 60) is held at 59 so that the result stays a
  // time CalendarToDayNumber accepts.
  time->second = local.tm_sec > 59 ? 59 : local.tm_sec;
  return true;
}

}  // namespace qz::platform
