// Date-times as ISO 8601 local text, "2024-03-01T09:30:00": the odt fields
// carry no zone, so none is written and none is accepted.
#pragma once

#include <QZDatabaseAccess.h>

#include <optional>
#include <string>

namespace gezhuan {

// Empty when the date-time is invalid (or outside the years 100 to 9999).
std::optional<std::string> FormatDateTime(const SQZDateTime& value);

// For listings: "2024-03-01 09:30:00", or "-" when invalid.
std::wstring DateTimeForDisplay(const SQZDateTime& value);

// Reads "YYYY-MM-DD", "YYYY-MM-DDTHH:MM" or "YYYY-MM-DDTHH:MM:SS" (a blank
// may stand for the T). On failure returns false and says why in *why:
// not that form, or an impossible date such as 2023-02-30.
bool ParseDateTime(const std::string& text, SQZDateTime* value, std::string* why);

}  // namespace gezhuan
