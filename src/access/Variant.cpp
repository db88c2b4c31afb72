#include <QZDatabaseAccess.h>

#include <cmath>
#include <cstdio>

#include "access/TimestampText.h"
#include "platform/TextEncoding.h"

namespace {

// The 32 bits of a 64-bit integer, as the integer view hands out.
int32_t Low32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))); }

// Leading optional sign and digits, as SQL's CAST of text to integer reads them.
int64_t ParseInteger(const std::wstring& text) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == L' ' || text[pos] == L'\t')) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == L'-' || text[pos] == L'+')) negative = text[pos++] == L'-';
  uint64_t value = 0;
  for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos)
    value = value * 10 + static_cast<uint64_t>(text[pos] - L'0');
  return negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

}  // namespace

CQZDBVariant::CQZDBVariant() = default;
CQZDBVariant::CQZDBVariant(const CQZDBVariant& other) { *this = other; }

// Copies only what the value's type uses: row writers copy a variant per
// column per row.
CQZDBVariant& CQZDBVariant::operator=(const CQZDBVariant& other) {
  if (this == &other) return *this;
  m_type = other.m_type;
  switch (m_type) {
    case TYPE_INTEGER:
      m_integer = other.m_integer;
      break;
    case TYPE_REAL:
      m_real = other.m_real;
      break;
    case TYPE_TEXT:
      m_text.assign(other.m_text);
      break;
    case TYPE_DATETIME:
      m_dateTime = other.m_dateTime;
      break;
    case TYPE_TIMESTAMP:
      m_timestamp = other.m_timestamp;
      break;
    case TYPE_NULL:
      break;
  }
  return *this;
}
CQZDBVariant::~CQZDBVariant() = default;

CQZDBVariant& CQZDBVariant::operator=(int32_t value) {
  m_type = TYPE_INTEGER;
  m_integer = value;
  return *this;
}

CQZDBVariant& CQZDBVariant::operator=(const std::wstring& value) {
  m_type = TYPE_TEXT;
  m_text.assign(value);
  return *this;
}

CQZDBVariant& CQZDBVariant::operator=(const wchar_t* value) {
  m_type = TYPE_TEXT;
  if (value)
    m_text.assign(value);
  else
    m_text.clear();
  return *this;
}

CQZDBVariant& CQZDBVariant::operator=(const SQZDateTime& value) {
  m_type = TYPE_DATETIME;
  m_dateTime = value;
  return *this;
}

void CQZDBVariant::SetNull() { m_type = TYPE_NULL; }

void CQZDBVariant::SetInteger(int64_t value) {
  m_type = TYPE_INTEGER;
  m_integer = value;
}

void CQZDBVariant::SetReal(double value) {
  m_type = TYPE_REAL;
  m_real = value;
}

void CQZDBVariant::SetTextUtf8(std::string_view utf8) {
  m_type = TYPE_TEXT;
  qz::platform::Utf8ToWide(utf8, &m_text);
}

void CQZDBVariant::SetTimestamp(const SQZTimestamp& value) {
  m_type = TYPE_TIMESTAMP;
  m_timestamp = value;
}

int32_t CQZDBVariant::GetInt32() const {
  switch (m_type) {
    case TYPE_INTEGER:
      return Low32(m_integer);
    case TYPE_REAL:
      if (!std::isfinite(m_real) || std::fabs(m_real) >= 9.2e18) return 0;
      return Low32(static_cast<int64_t>(m_real));
    case TYPE_TEXT:
      return Low32(ParseInteger(m_text));
    default:
      return 0;
  }
}

const std::wstring& CQZDBVariant::GetTextRef() const {
  switch (m_type) {
    case TYPE_TEXT:
      return m_text;
    case TYPE_INTEGER:
      m_textView = std::to_wstring(m_integer);
      break;
    case TYPE_REAL: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.17g", m_real);
      m_textView = qz::platform::Utf8ToWide(buffer);
      break;
    }
    case TYPE_DATETIME:
      m_textView =
          m_dateTime.IsValid()
              ? qz::platform::Utf8ToWide(qz::access::FormatTimestamp(qz::access::TimestampFromDateTime(m_dateTime)))
              : std::wstring();
      break;
    case TYPE_TIMESTAMP:
      m_textView = qz::platform::Utf8ToWide(qz::access::FormatTimestamp(m_timestamp));
      break;
    case TYPE_NULL:
      m_textView.clear();
      break;
  }
  return m_textView;
}

const wchar_t* CQZDBVariant::GetText() const { return GetTextRef().c_str(); }

SQZTimestamp CQZDBVariant::GetTimestamp() const {
  SQZTimestamp result;
  switch (m_type) {
    case TYPE_TIMESTAMP:
      return m_timestamp;
    case TYPE_DATETIME:
      return qz::access::TimestampFromDateTime(m_dateTime);
    case TYPE_TEXT:
      qz::access::ParseTimestampText(m_text, &result);
      return result;
    case TYPE_REAL:
      return qz::access::TimestampFromJulianDay(m_real);
    case TYPE_INTEGER:
      return qz::access::TimestampFromUnixTime(m_integer);
    case TYPE_NULL:
      break;
  }
  return result;
}
