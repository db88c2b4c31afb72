#include "records/DateText.h"

#include <cctype>
#include <cstdio>

#include "common/AsciiTrim.h"
#include "platform/TextEncoding.h"

namespace qz::records {

using common::TrimAscii;

std::optional<std::string> FormatDateTime(const SQZDateTime& value) {
  int year, month, day, hour, minute, second;
  if (!value.IsValid() || !value.GetParts(&year, &month, &day, &hour, &minute, &second)) return std::nullopt;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour, minute, second);
  return std::string(text);
}

SQZDateTime UnsetDateTime() { return SQZDateTime(1900, 1, 1, 1, 1, 1); }

bool IsUnsetDateTime(const SQZDateTime& value) {
  int year, month, day, hour, minute, second;
  if (!value.IsValid() || !value.GetParts(&year, &month, &day, &hour, &minute, &second)) return true;
  return year == 1900 && month == 1 && day == 1 && hour == 1 && minute == 1 && second == 1;
}

std::wstring DateTimeForDisplay(const SQZDateTime& value) {
  std::optional<std::string> text = FormatDateTime(value);
  if (!text || IsUnsetDateTime(value)) return L"";
  (*text)[10] = ' ';
  return platform::Utf8ToWide(*text);
}

bool ParseDateTime(const std::string& input, SQZDateTime* value, std::string* why) {
  const std::string text = TrimAscii(input);
  // The digits of each part at fixed places: YYYY-MM-DD[Thh:mm[:ss]].
  auto digits = [&](size_t at, size_t count, int* out) {
    if (at + count > text.size()) return false;
    int v = 0;
    for (size_t i = at; i < at + count; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
      v = v * 10 + (text[i] - '0');
    }
    *out = v;
    return true;
  };
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool ok = (text.size() == 10 || text.size() == 16 || text.size() == 19) && digits(0, 4, &year) && text[4] == '-' &&
            digits(5, 2, &month) && text[7] == '-' && digits(8, 2, &day);
  if (ok && text.size() > 10)
    ok = (text[10] == 'T' || text[10] == ' ') && digits(11, 2, &hour) && text[13] == ':' && digits(14, 2, &minute);
  if (ok && text.size() == 19) ok = text[16] == ':' && digits(17, 2, &second);
  if (!ok) {
    if (why) *why = "not a local date-time of the form YYYY-MM-DDTHH:MM:SS: \"" + text + "\"";
    return false;
  }
  SQZDateTime parsed(year, month, day, hour, minute, second);
  if (!parsed.IsValid()) {
    if (why) *why = "impossible date-time \"" + text + "\"";
    return false;
  }
  *value = parsed;
  return true;
}

}  // namespace qz::records
