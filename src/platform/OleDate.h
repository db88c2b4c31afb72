// OLE Automation dates: a day number counted from 1899-12-30 (day 0) whose
// fraction is the time of day. Before day 0 the whole part is negative while
// the fraction still counts forward from midnight, so -1.25 is 1899-12-29
// 06:00. On Windows the conversions are SystemTimeToVariantTime and
// VariantTimeToSystemTime (WindowsOleDate.cpp); elsewhere our own
// arithmetic (OleDateArithmetic.cpp).
#pragma once

#include <cstdint>

namespace qz::platform {

// A broken-down calendar time. Fields are plain ints so that out-of-range
// input (month 13, hour 24) can be represented and then refused.
struct CalendarTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Converts a calendar time to a day number. Returns false, leaving *day_number
// untouched, when the parts do not name a moment of the years 100 to 9999
// (month outside 1..12, day beyond the month's length, hour > 23, minute or
// second > 59).
// REQUIRES: day_number != nullptr.
bool CalendarToDayNumber(const CalendarTime& time, double* day_number);

// Converts a day number to a calendar time, rounded to the nearest second.
// Returns false when the day number lies outside the years 100 to 9999 or is
// not a finite number.
// REQUIRES: time != nullptr.
bool DayNumberToCalendar(double day_number, CalendarTime* time);

// The current local wall-clock time, whole seconds. Returns false when the
// clock cannot be broken down into local time.
bool LocalNow(CalendarTime* time);

// The calendar time of seconds counted from 1970-01-01 00:00:00, without
// any time zone. Returns false outside the years 100 to 9999.
// REQUIRES: time != nullptr.
bool ClockTimeOf(int64_t unix_seconds, CalendarTime* time);

// The local wall-clock time of a moment given in seconds since 1970-01-01
// UTC. Returns false when it cannot be broken down into local time.
// REQUIRES: time != nullptr.
bool LocalTimeOf(int64_t unix_seconds, CalendarTime* time);

}  // namespace qz::platform
