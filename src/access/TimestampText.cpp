#include "access/TimestampText.h"

#include <cmath>
#include <cstdio>

#include "platform/OleDate.h"

namespace qz::access {
namespace {

// Julian day 2440587.5 is 1970-01-01 00:00:00.
constexpr double kJulianDayOfUnixEpoch = 2440587.5;
// Julian days of 0100-01-01 and 10000-01-01, to refuse what lies outside
// before the arithmetic on it can overflow.
constexpr double kFirstJulianDay = 1757584.5;
constexpr double kEndJulianDay = 5373484.5;

// Reads exactly count decimal digits at text[*pos].
bool ReadDigits(std::wstring_view text, size_t* pos, size_t count, int* value) {
  if (*pos + count > text.size()) return false;
  int result = 0;
  for (size_t i = 0; i < count; ++i) {
    const wchar_t c = text[*pos + i];
    if (c < L'0' || c > L'9') return false;
    result = result * 10 + (c - L'0');
  }
  *pos += count;
  *value = result;
  return true;
}

bool Expect(std::wstring_view text, size_t* pos, wchar_t c) {
  if (*pos >= text.size() || text[*pos] != c) return false;
  ++*pos;
  return true;
}

SQZTimestamp FromCalendar(const platform::CalendarTime& time) {
  SQZTimestamp result;
  if (time.year < 100 || time.year > 9999) return result;
  result.year = static_cast<int16_t>(time.year);
  result.month = static_cast<uint16_t>(time.month);
  result.day = static_cast<uint16_t>(time.day);
  result.hour = static_cast<uint16_t>(time.hour);
  result.minute = static_cast<uint16_t>(time.minute);
  result.second = static_cast<uint16_t>(time.second);
  return result;
}

}  // namespace

bool ParseTimestampText(std::wstring_view text, SQZTimestamp* out) {
  while (!text.empty() && text.front() == L' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == L' ') text.remove_suffix(1);
  size_t pos = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  uint32_t fraction = 0;
  if (!ReadDigits(text, &pos, 4, &year) || !Expect(text, &pos, L'-') || !ReadDigits(text, &pos, 2, &month) ||
      !Expect(text, &pos, L'-') || !ReadDigits(text, &pos, 2, &day))
    return false;
  if (pos < text.size()) {
    if (text[pos] != L' ' && text[pos] != L'T') return false;
    ++pos;
    if (!ReadDigits(text, &pos, 2, &hour) || !Expect(text, &pos, L':') || !ReadDigits(text, &pos, 2, &minute))
      return false;
    if (pos < text.size()) {
      if (!Expect(text, &pos, L':') || !ReadDigits(text, &pos, 2, &second)) return false;
      if (pos < text.size()) {
        if (!Expect(text, &pos, L'.')) return false;
        // Nanoseconds from up to nine digits; further digits are ignored.
        uint32_t scale = 100000000;
        size_t digits = 0;
        while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9') {
          if (digits < 9) fraction += static_cast<uint32_t>(text[pos] - L'0') * scale;
          scale /= 10;
          ++digits;
          ++pos;
        }
        if (digits == 0) return false;
      }
      // A zone suffix such as "Z" or "+08" is accepted and ignored.
      if (pos < text.size() && text[pos] != L'Z' && text[pos] != L'+' && text[pos] != L'-') return false;
    }
  }
  out->year = static_cast<int16_t>(year);
  out->month = static_cast<uint16_t>(month);
  out->day = static_cast<uint16_t>(day);
  out->hour = static_cast<uint16_t>(hour);
  out->minute = static_cast<uint16_t>(minute);
  out->second = static_cast<uint16_t>(second);
  out->fraction = fraction;
  return true;
}

// SQLite keeps the moment of a julian day as whole milliseconds, rounded to
// the nearest; the same rounding here gives back the millisecond it meant
// despite the binary fraction. Of that the timestamp takes the whole
// seconds and keeps the rest as its fraction, which the date conversion
// drops, as it drops the fraction of every other timestamp. The day is
// clock time without a time zone: julianday() of a text is the text's own
// clock time.
SQZTimestamp TimestampFromJulianDay(double julian_day) {
  if (!(julian_day >= kFirstJulianDay && julian_day < kEndJulianDay)) return SQZTimestamp();
  const int64_t milliseconds =
      static_cast<int64_t>(std::floor((julian_day - kJulianDayOfUnixEpoch) * 86400000.0 + 0.5));
  const int64_t seconds = milliseconds / 1000 - (milliseconds % 1000 < 0 ? 1 : 0);
  platform::CalendarTime time;
  if (!platform::ClockTimeOf(seconds, &time)) return SQZTimestamp();
  SQZTimestamp result = FromCalendar(time);
  result.fraction = static_cast<uint32_t>(milliseconds - seconds * 1000) * 1000000u;
  return result;
}

// A unix time names a moment, not a clock reading: like every other date of
// the library it is shown as the local time of that moment.
SQZTimestamp TimestampFromUnixTime(int64_t seconds) {
  platform::CalendarTime time;
  if (!platform::LocalTimeOf(seconds, &time)) return SQZTimestamp();
  return FromCalendar(time);
}

SQZTimestamp TimestampFromDateTime(const SQZDateTime& value) {
  SQZTimestamp result;
  int year, month, day, hour, minute, second;
  if (!value.GetParts(&year, &month, &day, &hour, &minute, &second)) return result;
  result.year = static_cast<int16_t>(year);
  result.month = static_cast<uint16_t>(month);
  result.day = static_cast<uint16_t>(day);
  result.hour = static_cast<uint16_t>(hour);
  result.minute = static_cast<uint16_t>(minute);
  result.second = static_cast<uint16_t>(second);
  return result;
}

std::string FormatTimestamp(const SQZTimestamp& value) {
  std::string text;
  FormatTimestamp(value, &text);
  return text;
}

// Written into *text's own room: a run of rows binds a date or more a row.
void FormatTimestamp(const SQZTimestamp& value, std::string* text) {
  // Every written date passes here; snprintf took a tenth of a one-row edit.
  const bool usual = value.year >= 0 && value.year <= 9999 && value.month <= 99 && value.day <= 99 &&
                     value.hour <= 99 && value.minute <= 99 && value.second <= 99;
  if (!usual) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02u:%02u:%02u", static_cast<int>(value.year),
                  static_cast<unsigned>(value.month), static_cast<unsigned>(value.day),
                  static_cast<unsigned>(value.hour), static_cast<unsigned>(value.minute),
                  static_cast<unsigned>(value.second));
    text->assign(buffer);
    return;
  }
  text->assign("0000-00-00 00:00:00");
  char* at = text->data();
  auto put = [at](size_t end, unsigned number, int digits) {
    for (int i = 0; i < digits; ++i, number /= 10)
      at[end - static_cast<size_t>(i)] = static_cast<char>('0' + number % 10);
  };
  put(3, static_cast<unsigned>(value.year), 4);
  put(6, value.month, 2);
  put(9, value.day, 2);
  put(12, value.hour, 2);
  put(15, value.minute, 2);
  put(18, value.second, 2);
}

}  // namespace qz::access
