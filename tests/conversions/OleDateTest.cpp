#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <random>

#include "conversions/Conversions.h"
#include "platform/OleDate.h"

namespace {

using qz::platform::CalendarTime;
using qz::platform::CalendarToDayNumber;
using qz::platform::DayNumberToCalendar;

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

bool Same(const CalendarTime& a, const CalendarTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
         a.second == b.second;
}

// Windows' own conversions add hours, minutes and seconds as separate
// fractions, so their day numbers may differ from ours in the last bits; a
// second is 1.2e-5 days, far above what this allows.
constexpr double kSameMoment = 1e-9;

struct KnownDate {
  CalendarTime parts;
  double day_number;
};

// Values as the Windows conversions give them; SQZDateTime must agree.
TEST(OleDateTest, KnownDatesConvertBothWays) {
  const KnownDate kCases[] = {
      {Parts(1899, 12, 30), 0.0},
      {Parts(1900, 1, 1, 1, 1, 1), 2.0423726851851853},
      {Parts(1899, 12, 29, 6, 0, 0), -1.25},
      {Parts(1899, 12, 29), -1.0},
      {Parts(1899, 12, 30, 18, 0, 0), 0.75},
      {Parts(1970, 1, 1), 25569.0},
      {Parts(2000, 1, 1), 36526.0},
      {Parts(2000, 2, 29, 12, 0, 0), 36585.5},
      {Parts(2008, 2, 29, 23, 59, 59), 39507.0 + 86399.0 / 86400.0},
      {Parts(100, 1, 1), -657434.0},
      {Parts(100, 1, 1, 12, 0, 0), -657434.5},
      {Parts(9999, 12, 31, 23, 59, 59), 2958465.0 + 86399.0 / 86400.0},
  };
  for (const KnownDate& c : kCases) {
    double n = 1e9;
    ASSERT_TRUE(CalendarToDayNumber(c.parts, &n)) << c.day_number;
    EXPECT_NEAR(n, c.day_number, kSameMoment);
    CalendarTime back;
    ASSERT_TRUE(DayNumberToCalendar(c.day_number, &back)) << c.day_number;
    EXPECT_TRUE(Same(back, c.parts)) << c.day_number;
    const CalendarTime& p = c.parts;
    const SQZDateTime dt = qz::conversions::DateTimeFromParts(p.year, p.month, p.day, p.hour, p.minute, p.second);
    EXPECT_TRUE(dt.IsValid()) << c.day_number;
    EXPECT_NEAR(dt.m_dt, c.day_number, kSameMoment);
    CalendarTime got;
    ASSERT_TRUE(dt.GetParts(&got.year, &got.month, &got.day, &got.hour, &got.minute, &got.second));
    EXPECT_TRUE(Same(got, p)) << c.day_number;
  }
}

// Counts every day of years 100 to 9999 with a naive calendar and checks
// that consecutive dates get consecutive day numbers.
TEST(OleDateTest, EveryDateIsOneDayAfterThePrevious) {
  int y = 100, m = 1, d = 1;
  double expected = -657434.0;
  for (;;) {
    double n = 0;
    ASSERT_TRUE(CalendarToDayNumber(Parts(y, m, d), &n)) << y << "-" << m << "-" << d;
    ASSERT_EQ(n, expected) << y << "-" << m << "-" << d;
    if (y == 9999 && m == 12 && d == 31) break;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    const int len[12] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (++d > len[m - 1]) {
      d = 1;
      if (++m > 12) {
        m = 1;
        ++y;
      }
    }
    expected += 1.0;
  }
}

TEST(OleDateTest, RoundsToNearestSecond) {
  struct Case {
    double n;
    CalendarTime want;
  } kCases[] = {
      {0.99999999, Parts(1899, 12, 31)},        {-1.99999999, Parts(1899, 12, 30)},  // 1899-12-29 23:59:59.999 -> day 0
      {1.0 - 0.4 / 86400, Parts(1899, 12, 31)}, {1.0 - 0.6 / 86400, Parts(1899, 12, 30, 23, 59, 59)},
      {-657434.99999999, Parts(100, 1, 2)},     {2958465.0 + 86399.4 / 86400, Parts(9999, 12, 31, 23, 59, 59)},
  };
  for (const Case& c : kCases) {
    CalendarTime t;
    ASSERT_TRUE(DayNumberToCalendar(c.n, &t)) << c.n;
    EXPECT_TRUE(Same(t, c.want)) << c.n;
  }
}

TEST(OleDateTest, RefusesDayNumbersOutsideTheYears) {
  const double kBad[] = {-657435.0,
                         -657435.5,
                         2958466.0,
                         2958465.9999999,  // rounds into 10000
                         1e300,
                         -1e300,
                         std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity()};
  for (double n : kBad) {
    CalendarTime t = Parts(1, 2, 3, 4, 5, 6);
    EXPECT_FALSE(DayNumberToCalendar(n, &t)) << n;
    EXPECT_TRUE(Same(t, Parts(1, 2, 3, 4, 5, 6))) << n;
    SQZDateTime dt;
    dt.m_dt = n;
    int y = -7, mo, d, h, mi, s;
    EXPECT_FALSE(dt.GetParts(&y, &mo, &d, &h, &mi, &s));
    EXPECT_EQ(y, -7);
  }
}

TEST(OleDateTest, RandomDatesSurviveBothConversions) {
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<int> day(-657434, 2958465), second(0, 86399);
  for (int i = 0; i < 200000; ++i) {
    const double n0 = day(rng);
    const double n = n0 < 0 ? n0 - second(rng) / 86400.0 : n0 + second(rng) / 86400.0;
    CalendarTime t;
    ASSERT_TRUE(DayNumberToCalendar(n, &t)) << n;
    double back = 0;
    ASSERT_TRUE(CalendarToDayNumber(t, &back)) << n;
    ASSERT_NEAR(back, n, kSameMoment);
  }
}

TEST(SQZDateTimeTest, ImpossiblePartsAreInvalidDayZero) {
  const CalendarTime kInvalid[] = {
      Parts(99, 12, 31),           Parts(10000, 1, 1), Parts(2008, 2, 30),    Parts(1900, 2, 29),
      Parts(2001, 2, 29),          Parts(2008, 4, 31), Parts(2008, 1, 1, 24), Parts(2008, 1, 1, 0, 60),
      Parts(2008, 1, 1, 0, 0, 60), Parts(2008, 13, 1), Parts(2008, 0, 1),     Parts(2008, 1, 0),
      Parts(2008, 1, 1, -1),       Parts(0, 0, 0)};
  for (const CalendarTime& p : kInvalid) {
    SQZDateTime dt(p.year, p.month, p.day, p.hour, p.minute, p.second);
    EXPECT_FALSE(dt.IsValid()) << p.year << "-" << p.month << "-" << p.day << " " << p.hour;
    EXPECT_EQ(dt.m_dt, 0.0);
    int y = -7, mo = -7, d = -7, h = -7, mi = -7, s = -7;
    EXPECT_FALSE(dt.GetParts(&y, &mo, &d, &h, &mi, &s));
    EXPECT_TRUE(y == -7 && mo == -7 && d == -7 && h == -7 && mi == -7 && s == -7);
  }
}

TEST(SQZDateTimeTest, NowIsTheLocalClock) {
  const std::time_t before = std::time(nullptr);
  const SQZDateTime now = qz::conversions::CurrentDateTime();
  ASSERT_TRUE(now.IsValid());
  // std::localtime rather than localtime_r, which Windows lacks; the test
  // runs on one thread.
  const std::tm* broken_down = std::localtime(&before);
  ASSERT_NE(broken_down, nullptr);
  const std::tm local = *broken_down;
  double expected = 0;
  ASSERT_TRUE(CalendarToDayNumber(Parts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                        local.tm_min, std::min(local.tm_sec, 59)),
                                  &expected));
  EXPECT_NEAR(now.m_dt, expected, 5.0 / 86400);
  const double seconds = std::fabs(now.m_dt - std::trunc(now.m_dt)) * 86400;
  EXPECT_NEAR(seconds, std::round(seconds), 1e-3) << "not whole seconds";
}

}  // namespace
