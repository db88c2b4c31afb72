// Our own OLE date arithmetic (the conversions of every other build) held to
// Windows' SystemTimeToVariantTime and VariantTimeToSystemTime, and the
// Windows build's use of them.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <QZDatabaseAccess.h>
#include <oleauto.h>

#include <cstdio>
#include <random>
#include <string>

#include "platform/OleDate.h"
#include "platform/OleDateArithmetic.h"

namespace {

using qz::platform::ArithmeticCalendarToDayNumber;
using qz::platform::ArithmeticDayNumberToCalendar;
using qz::platform::CalendarTime;

// See OleDateTest.cpp: the real calls may differ from ours in the last bits.
constexpr double kSameMoment = 1e-9;

CalendarTime Parts(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  CalendarTime t;
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  t.second = s;
  return t;
}

SYSTEMTIME ToSystemTime(const CalendarTime& t) {
  SYSTEMTIME system{};
  system.wYear = static_cast<WORD>(t.year);
  system.wMonth = static_cast<WORD>(t.month);
  system.wDay = static_cast<WORD>(t.day);
  system.wHour = static_cast<WORD>(t.hour);
  system.wMinute = static_cast<WORD>(t.minute);
  system.wSecond = static_cast<WORD>(t.second);
  return system;
}

bool Same(const CalendarTime& t, const SYSTEMTIME& s) {
  return s.wYear == t.year && s.wMonth == t.month && s.wDay == t.day && s.wHour == t.hour && s.wMinute == t.minute &&
         s.wSecond == t.second;
}

bool Same(const CalendarTime& a, const CalendarTime& b) { return Same(a, ToSystemTime(b)); }

std::string Text(const CalendarTime& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return text;
}

// Every date from 0100-01-01 to 9999-12-31, negative day numbers (before
// 1899-12-30) included, each at a time of day that changes from one date to
// the next: both directions agree with the real calls.
TEST(WindowsOleDate, ArithmeticMatchesTheSystemCallsFromYear100To9999) {
  const int kSeconds[] = {0, 1, 59, 3599, 43200, 45296, 86399, 21600, 64800, 31415};
  int count = 0;
  for (int year = 100; year <= 9999; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= 31; ++day) {
        const int second = kSeconds[count % 10];
        const CalendarTime parts = Parts(year, month, day, second / 3600, second / 60 % 60, second % 60);
        double ours = 0;
        if (!ArithmeticCalendarToDayNumber(parts, &ours)) continue;  // 30 February and the like
        ++count;
        SYSTEMTIME system = ToSystemTime(parts);
        double real = 0;
        ASSERT_TRUE(SystemTimeToVariantTime(&system, &real)) << Text(parts);
        ASSERT_NEAR(ours, real, kSameMoment) << Text(parts);

        SYSTEMTIME back{};
        ASSERT_TRUE(VariantTimeToSystemTime(ours, &back)) << Text(parts);
        ASSERT_TRUE(Same(parts, back)) << Text(parts) << " from our day number " << ours;
        CalendarTime ours_back;
        ASSERT_TRUE(ArithmeticDayNumberToCalendar(real, &ours_back)) << Text(parts);
        ASSERT_TRUE(Same(parts, ours_back)) << Text(parts) << " from the real day number " << real;
      }
    }
  }
  EXPECT_EQ(count, 2958465 + 657434 + 1);  // 0100-01-01 is day -657434, 9999-12-31 day 2958465
}

// Day numbers that are not whole seconds are rounded to the nearest second
// by both.
TEST(WindowsOleDate, ArithmeticRoundsLikeTheSystemCall) {
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> day_number(-657434.0, 2958465.99);
  for (int i = 0; i < 200000; ++i) {
    const double n = day_number(random);
    SYSTEMTIME real{};
    ASSERT_TRUE(VariantTimeToSystemTime(n, &real)) << n;
    CalendarTime ours;
    ASSERT_TRUE(ArithmeticDayNumberToCalendar(n, &ours)) << n;
    ASSERT_TRUE(Same(ours, real)) << n << ": ours " << Text(ours);
  }
}

// The system call rolls an impossible date over to a real one; the Windows
// build's conversion refuses it, as our arithmetic does, and so does every
// SQZDateTime made from it.
TEST(WindowsOleDate, ImpossibleDatesAreRefusedThoughTheCallRollsThemOver) {
  SYSTEMTIME february30 = ToSystemTime(Parts(2008, 2, 30, 12, 0, 0));
  double rolled = 0;
  ASSERT_TRUE(SystemTimeToVariantTime(&february30, &rolled));
  double march1 = 0;
  ASSERT_TRUE(ArithmeticCalendarToDayNumber(Parts(2008, 3, 1, 12, 0, 0), &march1));
  EXPECT_NEAR(rolled, march1, kSameMoment) << "the call no longer rolls 30 February over";

  const CalendarTime kImpossible[] = {
      Parts(2008, 2, 30, 12),      Parts(2007, 2, 29), Parts(2008, 4, 31),    Parts(2008, 13, 1),
      Parts(2008, 0, 1),           Parts(2008, 1, 0),  Parts(2008, 1, 1, 24), Parts(2008, 1, 1, 0, 60),
      Parts(2008, 1, 1, 0, 0, 60), Parts(99, 12, 31),  Parts(30, 1, 1),       Parts(0, 1, 1),
      Parts(10000, 1, 1),          Parts(-1, 1, 1),    Parts(2008, -1, 1),    Parts(65536 + 2008, 1, 1),
  };
  for (const CalendarTime& parts : kImpossible) {
    double n = 12345.0;
    EXPECT_FALSE(qz::platform::CalendarToDayNumber(parts, &n)) << Text(parts);
    EXPECT_EQ(n, 12345.0) << Text(parts);
    EXPECT_FALSE(ArithmeticCalendarToDayNumber(parts, &n)) << Text(parts);
    EXPECT_FALSE(SQZDateTime(parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second).IsValid())
        << Text(parts);
  }
}

}  // namespace
