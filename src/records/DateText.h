// Date-times as ISO 8601 local text, "2024-03-01T09:30:00": the odt fields
// carry no zone, so none is written and none is accepted. The form of the
// records' JSON and of the tool's date options.
#pragma once

#include <QZDatabaseAccess.h>

#include <optional>
#include <string>

namespace qz::records {

// "YYYY-MM-DDTHH:MM:SS"; empty when the date-time is invalid (or outside
// the years 100 to 9999).
std::optional<std::string> FormatDateTime(const SQZDateTime& value);

// For listings: "2024-03-01 09:30:00", or "" when unset.
std::wstring DateTimeForDisplay(const SQZDateTime& value);

// The value a task's begin and end hold until they are set: 1900-01-01
// 01:01:01, which the library writes for them as it is.
SQZDateTime UnsetDateTime();

// Whether a date-time holds no date: invalid (a database NULL) or the
// value of UnsetDateTime.
bool IsUnsetDateTime(const SQZDateTime& value);

// Reads "YYYY-MM-DDTHH:MM:SS", "YYYY-MM-DDTHH:MM" or "YYYY-MM-DD", a blank
// in place of the T as well, with blanks around it. On failure returns
// false and says why in *why: not that form, or an impossible date such as
// 2023-02-30.
bool ParseDateTime(const std::string& text, SQZDateTime* value, std::string* why);

}  // namespace qz::records
