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

// For listings: "2024-03-01 09:30:00", or "-" when invalid.
std::wstring DateTimeForDisplay(const SQZDateTime& value);

// Reads "YYYY-MM-DDTHH:MM:SS", "YYYY-MM-DDTHH:MM" or "YYYY-MM-DD", a blank
// in place of the T as well, with blanks around it. On failure returns
// false and says why in *why: not that form, or an impossible date such as
// 2023-02-30.
bool ParseDateTime(const std::string& text, SQZDateTime* value, std::string* why);

}  // namespace qz::records
