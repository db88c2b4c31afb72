// SQZDateTime: the calendar parts of an odt column and its day number.
#include <QZDatabaseAccess.h>

#include "platform/OleDate.h"

namespace {

bool SameParts(const qz::platform::CalendarTime& a, const qz::platform::CalendarTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
         a.second == b.second;
}

// Sets *dt from the parts. The parts must convert to a day number and come
// back from it unchanged; anything else leaves day 0 with status invalid.
void AssignParts(const qz::platform::CalendarTime& parts, SQZDateTime* dt) {
  double day_number = 0.0;
  qz::platform::CalendarTime back;
  if (qz::platform::CalendarToDayNumber(parts, &day_number) && qz::platform::DayNumberToCalendar(day_number, &back) &&
      SameParts(parts, back)) {
    dt->m_dt = day_number;
    dt->m_status = SQZDateTime::valid;
  } else {
    dt->m_dt = 0.0;
    dt->m_status = SQZDateTime::invalid;
  }
}

}  // namespace

// Builds the date-time of the calendar parts; see AssignParts.
SQZDateTime::SQZDateTime(int year, int month, int day, int hour, int minute, int second) {
  qz::platform::CalendarTime parts;
  parts.year = year;
  parts.month = month;
  parts.day = day;
  parts.hour = hour;
  parts.minute = minute;
  parts.second = second;
  AssignParts(parts, this);
}

// The local wall-clock time, or invalid day 0 when it cannot be had.
SQZDateTime SQZDateTime::Now() {
  SQZDateTime now;
  qz::platform::CalendarTime parts;
  if (qz::platform::LocalNow(&parts)) {
    AssignParts(parts, &now);
  } else {
    now.m_dt = 0.0;
    now.m_status = invalid;
  }
  return now;
}

// Breaks the day number into parts; the outputs are written only on success.
bool SQZDateTime::GetParts(int* year, int* month, int* day, int* hour, int* minute, int* second) const {
  if (m_status != valid) return false;
  qz::platform::CalendarTime parts;
  if (!qz::platform::DayNumberToCalendar(m_dt, &parts)) return false;
  *year = parts.year;
  *month = parts.month;
  *day = parts.day;
  *hour = parts.hour;
  *minute = parts.minute;
  *second = parts.second;
  return true;
}
