#include "access/StorableValue.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/OleDate.h"
#include "platform/TextEncoding.h"

namespace qz::access {
namespace {

// SQLSTATE classes 22 (data exception), as PostgreSQL answers the same
// values: 22008 datetime field overflow, 22021 character not in repertoire,
// 22P01 floating point exception.
[[noreturn]] void Refuse(std::wstring_view column, const wchar_t* why, const char* sql_state) {
  CQZDBException::Raise(L"column " + std::wstring(column) + L": " + why, sql_state, 0);
}

constexpr wchar_t kHoldsNul[] = L"the text holds a NUL character, which no engine gives back";

bool IsStorableDateTime(const SQZDateTime& value) {
  if (!value.IsValid()) return true;  // stored as NULL, as its status says
  int year, month, day, hour, minute, second;
  return value.GetParts(&year, &month, &day, &hour, &minute, &second);
}

bool IsStorableTimestamp(const SQZTimestamp& value) {
  if (value.year == 0 && value.month == 0 && value.day == 0 && value.hour == 0 && value.minute == 0 &&
      value.second == 0)
    return true;  // NULL
  platform::CalendarTime parts;
  parts.year = value.year;
  parts.month = value.month;
  parts.day = value.day;
  parts.hour = value.hour;
  parts.minute = value.minute;
  parts.second = value.second;
  double day_number;
  return platform::CalendarToDayNumber(parts, &day_number);
}

// False when text holds neither a NUL nor anything from the surrogates up,
// as nearly all text: one pass of adds and ors, with no compare and no
// early exit, so that it runs several characters at a time. True says
// "look closer".
bool MayHoldNulOrBeyondPlain(std::wstring_view text) {
  uint32_t flags = 0;
  for (const wchar_t c : text) {
    const uint32_t t = static_cast<uint32_t>(c) - 1u;         // a NUL wraps round to the top
    flags |= (t & 0xFFFF0000u) | ((t + 0x2801u) & 0x10000u);  // t >= 0xD7FF, c >= 0xD800
  }
  return flags != 0;
}

}  // namespace

void RefuseUnstorableValue(std::wstring_view column, const CQZDBVariant& value) {
  switch (value.GetType()) {
    case CQZDBVariant::TYPE_TEXT:
      RefuseUnstorableText(column, value.GetTextRef());
      break;
    case CQZDBVariant::TYPE_DATETIME:
      RefuseUnstorableDateTime(column, value.GetDateTime());
      break;
    case CQZDBVariant::TYPE_TIMESTAMP:
      if (!IsStorableTimestamp(value.GetTimestamp()))
        Refuse(column, L"the timestamp names no moment of the years 100 to 9999", "22008");
      break;
    case CQZDBVariant::TYPE_REAL:
      if (std::isnan(value.GetReal())) Refuse(column, L"the number is NaN, which no engine keeps", "22P01");
      break;
    case CQZDBVariant::TYPE_NULL:
    case CQZDBVariant::TYPE_INTEGER:
      break;
  }
}

// A NUL is named first, wherever it stands. Only text with a surrogate or
// a character beyond the Basic Multilingual Plane, which is rare, is looked
// at again as a whole. The loops have no early exit, so that they run a
// word at a time.
void RefuseUnstorableText(std::wstring_view column, std::wstring_view text) {
  if (!MayHoldNulOrBeyondPlain(text)) return;
  if (text.find(L'\0') != std::wstring_view::npos) Refuse(column, kHoldsNul, "22021");
  bool beyond_plain = false;
  for (const wchar_t c : text) beyond_plain |= static_cast<uint32_t>(c) >= 0xD800;
  if (beyond_plain && !platform::IsWholeText(text))
    Refuse(column, L"the text holds a lone surrogate or a code point above U+10FFFF, which no engine keeps", "22021");
}

// ASCII, such as GUID text, needs only the look for a NUL; other text is
// judged as the wide text it decodes to, and must encode back to the very
// bytes given.
void RefuseUnstorableUtf8(std::wstring_view column, std::string_view text) {
  // One pass, eight bytes at a time: a NUL, and any byte beyond ASCII.
  // Text of eight bytes or more ends with the word of its last eight, which
  // may look at some bytes twice.
  constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  uint64_t bits = 0;
  bool nul = false;
  auto look_at = [&](size_t at) {
    uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    bits |= word;
    nul |= ((word - kOnes) & ~word & kHighs) != 0;  // exact for "some byte is zero"
  };
  if (text.size() >= 8) {
    for (size_t i = 0; i + 8 < text.size(); i += 8) look_at(i);
    look_at(text.size() - 8);
  } else {
    for (const char c : text) {
      bits |= static_cast<unsigned char>(c);
      nul |= c == '\0';
    }
  }
  if (nul) Refuse(column, kHoldsNul, "22021");
  if ((bits & kHighs) == 0) return;
  const std::wstring wide = platform::Utf8ToWide(text);
  RefuseUnstorableText(column, wide);
  if (platform::WideToUtf8(wide) != text) Refuse(column, L"the text is not UTF-8", "22021");
}

void RefuseUnstorableDateTime(std::wstring_view column, const SQZDateTime& value) {
  if (!IsStorableDateTime(value))
    Refuse(column, L"the date-time is marked valid but names no moment of the years 100 to 9999", "22008");
}

// Every statement passes here; only one that may hold a NUL or a
// surrogate is looked at again.
void RefuseUnrunnableSql(std::wstring_view sql) {
  if (!MayHoldNulOrBeyondPlain(sql)) return;
  if (sql.find(L'\0') != std::wstring_view::npos)
    CQZDBException::Raise(L"the SQL text holds a NUL character; the engines would run only the part before it", "22021",
                          0);
  if (!platform::IsWholeText(sql))
    CQZDBException::Raise(L"the SQL text holds a lone surrogate or a code point above U+10FFFF", "22021", 0);
}

}  // namespace qz::access
