// How a column value that is not a native timestamp becomes one. Existing
// SQLite databases hold date-times three ways: 'YYYY-MM-DD HH:MM:SS' text
// (with or without fractional seconds, with ' ' or 'T'), julian day REALs
// and unix-time INTEGERs; all three are read.
#pragma once

#include <QZDatabaseAccess.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace qz::access {

// Parses "YYYY-MM-DD[( |T)HH:MM[:SS[.fff]]]" into its parts without judging
// them (2008-02-30 parses; the date conversion refuses it later). Returns
// false, leaving *out alone, when the text has another shape.
bool ParseTimestampText(std::wstring_view text, SQZTimestamp* out);

// A julian day number (SQLite's julianday()) as a timestamp of the same
// clock time, to the millisecond (whole seconds plus fraction); all zero
// outside the years 100 to 9999.
SQZTimestamp TimestampFromJulianDay(double julian_day);

// Seconds since 1970-01-01 UTC as the local time of that moment; all zero
// when it lies outside the years 100 to 9999.
SQZTimestamp TimestampFromUnixTime(int64_t seconds);

// A valid date-time as its parts; all zero when it is invalid.
SQZTimestamp TimestampFromDateTime(const SQZDateTime& value);

// "YYYY-MM-DD HH:MM:SS", the form SQLite's date functions read.
std::string FormatTimestamp(const SQZTimestamp& value);
// The same into *text, reusing its storage.
void FormatTimestamp(const SQZTimestamp& value, std::string* text);

}  // namespace qz::access
