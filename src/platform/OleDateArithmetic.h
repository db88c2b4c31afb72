// The OLE Automation date arithmetic done in our own code, exactly as
// Windows' SystemTimeToVariantTime and VariantTimeToSystemTime do it for
// valid dates: the conversions of every build but Windows, and on Windows
// the reference a test holds the real calls to.
#pragma once

#include "platform/OleDate.h"

namespace qz::platform {

// As CalendarToDayNumber and DayNumberToCalendar (OleDate.h).
bool ArithmeticCalendarToDayNumber(const CalendarTime& time, double* day_number);
bool ArithmeticDayNumberToCalendar(double day_number, CalendarTime* time);

}  // namespace qz::platform
