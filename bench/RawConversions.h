// The conversions the raw side of the benchmarks does for itself, written
// the way an engineer on the bare engine API writes them: straight from and
// into the engine's UTF-8 bytes, GUIDs and timestamps by fixed positions, no
// temporaries. None of the library's code is used here, so the raw side's
// time is the engine's time plus the least conversion work the records need.
// They give the records the library gives (the benchmarks check that).
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qz::bench::raw {

static_assert(sizeof(wchar_t) == 4, "the raw conversions write UTF-32 wide text");

// --- Text ------------------------------------------------------------------

// The blanks trimmed from both ends of stored text: ASCII white space and
// the Unicode space separators.
inline bool IsBlank(char32_t c) {
  if (c > 0x20 && c < 0x80) return false;
  switch (c) {
    case 0x20:
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
    case 0xFEFF:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

// UTF-8 bytes into *out, trimmed, with exactly the capacity it needs: the
// characters are counted first, then decoded in place. A malformed sequence
// gives U+FFFD.
inline void Utf8ToWide(const char* text, size_t size, std::wstring* out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t characters = 0;
  for (size_t i = 0; i < size; ++i) characters += (bytes[i] & 0xC0) != 0x80;
  out->resize(characters);
  wchar_t* w = out->data();
  size_t n = 0;
  for (size_t i = 0; i < size;) {
    const unsigned lead = bytes[i];
    if (lead < 0x80) {
      w[n++] = static_cast<wchar_t>(lead);
      ++i;
      continue;
    }
    if (lead < 0xC0) {  // a stray continuation byte: not counted above, skipped
      ++i;
      continue;
    }
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t c = length == 4 ? lead & 0x07 : length == 3 ? lead & 0x0F : lead & 0x1F;
    bool valid = i + static_cast<size_t>(length) <= size;
    for (int k = 1; valid && k < length; ++k) {
      const unsigned next = bytes[i + static_cast<size_t>(k)];
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    w[n++] = static_cast<wchar_t>(valid ? c : 0xFFFD);
    if (!valid) {
      ++i;
      while (i < size && (bytes[i] & 0xC0) == 0x80) ++i;  // counted as nothing above
    } else {
      i += static_cast<size_t>(length);
    }
  }
  out->resize(n);
  size_t end = n;
  while (end > 0 && IsBlank(static_cast<char32_t>(w[end - 1]))) --end;
  size_t begin = 0;
  while (begin < end && IsBlank(static_cast<char32_t>(w[begin]))) ++begin;
  if (begin != 0 || end != n) *out = out->substr(begin, end - begin);
}

// Wide text, trimmed, appended to *out as UTF-8.
inline void AppendUtf8(const std::wstring& text, std::string* out) {
  size_t begin = 0, end = text.size();
  while (end > 0 && IsBlank(static_cast<char32_t>(text[end - 1]))) --end;
  while (begin < end && IsBlank(static_cast<char32_t>(text[begin]))) ++begin;
  for (size_t i = begin; i < end; ++i) {
    char32_t c = static_cast<char32_t>(text[i]);
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
      continue;
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    } else if (c < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (c >> 12)));
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (c >> 18)));
      out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// --- GUID ------------------------------------------------------------------

constexpr size_t kGuidTextSize = 36;

// The 36 upper-case characters 8-4-4-4-12 at out.
inline void GuidText(const GUID& guid, char* out) {
  static const char kHex[] = "0123456789ABCDEF";
  auto put = [&out](uint32_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) *out++ = kHex[(value >> shift) & 0xF];
  };
  put(guid.Data1, 8);
  *out++ = '-';
  put(guid.Data2, 4);
  *out++ = '-';
  put(guid.Data3, 4);
  *out++ = '-';
  put(guid.Data4[0], 2);
  put(guid.Data4[1], 2);
  *out++ = '-';
  for (int i = 2; i < 8; ++i) put(guid.Data4[i], 2);
}

inline void AppendGuid(const GUID& guid, std::string* out) {
  const size_t at = out->size();
  out->resize(at + kGuidTextSize);
  GuidText(guid, out->data() + at);
}

// The GUID of its 36-character text (either case, ASCII blanks around it
// ignored); anything else is the null GUID.
inline GUID GuidOf(const char* text, size_t size) {
  while (size > 0 && (*text == ' ' || *text == '\t')) ++text, --size;
  while (size > 0 && (text[size - 1] == ' ' || text[size - 1] == '\t')) --size;
  GUID guid{};
  if (size != kGuidTextSize || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return GUID{};
  static const signed char* const kValue = [] {
    static signed char table[256];
    for (int i = 0; i < 256; ++i) table[i] = -1;
    for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<signed char>(i);
    for (int i = 0; i < 6; ++i) table['A' + i] = table['a' + i] = static_cast<signed char>(10 + i);
    return table;
  }();
  bool bad = false;
  auto hex = [&](size_t at, int digits) {
    uint32_t value = 0;
    for (int i = 0; i < digits; ++i) {
      const int v = kValue[static_cast<unsigned char>(text[at + static_cast<size_t>(i)])];
      bad |= v < 0;
      value = (value << 4) | static_cast<uint32_t>(v & 0xF);
    }
    return value;
  };
  guid.Data1 = hex(0, 8);
  guid.Data2 = static_cast<uint16_t>(hex(9, 4));
  guid.Data3 = static_cast<uint16_t>(hex(14, 4));
  static const size_t kByteAt[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<uint8_t>(hex(kByteAt[i], 2));
  return bad ? GUID{} : guid;
}

// --- Date-time -------------------------------------------------------------
// The odt fields hold the OLE day number: days since 1899-12-30, the time
// of day as the fraction's magnitude (before day 0 the fraction runs away
// from zero).

constexpr int64_t kDayZeroFromUnixEpoch = 25569;

inline int64_t DaysFromCivil(int year, int month, int day) {
  const int64_t y = static_cast<int64_t>(year) - (month <= 2);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t year_of_era = y - era * 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  return era * 146097 + year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year - 719468;
}

inline void CivilFromDays(int64_t days, int* year, int* month, int* day) {
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t day_of_era = z - era * 146097;
  const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t shifted_month = (5 * day_of_year + 2) / 153;
  *day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  *month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  *year = static_cast<int>(year_of_era + era * 400 + (*month <= 2));
}

inline int Digits(const char* text, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// "YYYY-MM-DD HH:MM:SS" (a fraction after it is dropped) into *out; other
// text or impossible parts give the invalid day 0, as a NULL does.
inline void ParseTimestamp(const char* text, size_t size, SQZDateTime* out) {
  out->m_dt = 0.0;
  out->m_status = SQZDateTime::invalid;
  if (text == nullptr || size < 19 || text[4] != '-' || text[7] != '-' || (text[10] != ' ' && text[10] != 'T') ||
      text[13] != ':' || text[16] != ':')
    return;
  for (int at : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18})
    if (text[at] < '0' || text[at] > '9') return;
  const int year = Digits(text, 4), month = Digits(text + 5, 2), day = Digits(text + 8, 2);
  const int hour = Digits(text + 11, 2), minute = Digits(text + 14, 2), second = Digits(text + 17, 2);
  static const int kMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (year < 100 || month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] ||
      (month == 2 && day == 29 && !leap) || hour > 23 || minute > 59 || second > 59)
    return;
  const int64_t days = DaysFromCivil(year, month, day) + kDayZeroFromUnixEpoch;
  const double fraction = static_cast<double>(hour * 3600 + minute * 60 + second) / 86400.0;
  out->m_dt = days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
  out->m_status = SQZDateTime::valid;
}

// The 19 characters "YYYY-MM-DD HH:MM:SS" at out; false for an invalid
// date-time (stored as NULL).
inline bool TimestampText(const SQZDateTime& time, char* out) {
  if (time.m_status != SQZDateTime::valid || !(time.m_dt > -657435.0 && time.m_dt < 2958466.0)) return false;
  const double whole = std::trunc(time.m_dt);
  int64_t days = static_cast<int64_t>(whole);
  int64_t seconds = std::llround(std::fabs(time.m_dt - whole) * 86400.0);
  if (seconds >= 86400) seconds -= 86400, ++days;
  int year, month, day;
  CivilFromDays(days - kDayZeroFromUnixEpoch, &year, &month, &day);
  auto put = [&out](int value, int digits, char after) {
    for (int i = digits - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
    out += digits;
    if (after) *out++ = after;
  };
  put(year, 4, '-'), put(month, 2, '-'), put(day, 2, ' ');
  put(static_cast<int>(seconds / 3600), 2, ':'), put(static_cast<int>(seconds / 60 % 60), 2, ':');
  put(static_cast<int>(seconds % 60), 2, 0);
  return true;
}

// --- Integers --------------------------------------------------------------

// Decimal digits with an optional sign, as PostgreSQL's text format sends them.
inline int32_t ParseInt32(const char* text, size_t size) {
  size_t i = 0;
  const bool negative = size > 0 && text[0] == '-';
  i += negative;
  int64_t value = 0;
  for (; i < size; ++i) value = value * 10 + (text[i] - '0');
  return static_cast<int32_t>(negative ? -value : value);
}

inline void AppendInt(int64_t value, std::string* out) {
  char digits[24];
  char* end = digits + sizeof digits;
  char* p = end;
  const bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) *--p = '-';
  out->append(p, end);
}

}  // namespace qz::bench::raw
