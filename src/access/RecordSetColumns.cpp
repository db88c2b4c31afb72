// The record set's reads by column position: each value comes straight
// from the cursor's cell, and only a value the engine holds in some other
// form goes through a variant, so that both ways give the same answer.
#include <QZDatabaseAccess.h>

#include "access/TimestampText.h"
#include "access/driver/Driver.h"
#include "platform/TextEncoding.h"

using qz::access::Cursor;

namespace {

// The 32 bits of a 64-bit integer, as the variant's integer view hands out.
int32_t Low32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))); }

// Timestamp text is short and ASCII: it is widened on the stack for the
// parser the variant uses. False for other text, which then takes the
// variant's way.
bool ParseShortTimestamp(std::string_view text, SQZTimestamp* out) {
  wchar_t wide[64];
  if (text.size() > std::size(wide)) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    wide[i] = static_cast<wchar_t>(text[i]);
  }
  if (!qz::access::ParseTimestampText(std::wstring_view(wide, text.size()), out)) *out = SQZTimestamp{};
  return true;
}

constexpr wchar_t kNoRow[] = L"there is no current row to read";

// The cursor when it is known to stand on a row of an open connection, as
// RequireRow would find it, without RequireRow's calls: the reads below
// run for every cell of a listing. Null says "ask RequireRow".
Cursor* KnownRow(const std::unique_ptr<Cursor>& cursor, const CQZDatabase* database) {
  return cursor && cursor->KnownOnRow() && !database->IsClosed() ? cursor.get() : nullptr;
}

}  // namespace

int CQZRecordSet::GetColumnPosition(std::wstring_view column) {
  return RequireRow(kNoRow).ColumnPosition(qz::access::BareColumnName(column));
}

uint64_t CQZRecordSet::GetColumnsIdentity() { return RequireRow(kNoRow).ColumnsIdentity(); }

void CQZRecordSet::GetTextAt(int position, std::wstring* out) {
  Cursor* known = KnownRow(m_cursor, m_database);
  Cursor& cursor = known ? *known : RequireRow(kNoRow);
  const Cursor::Cell cell = cursor.CellAt(position);
  if (cell.kind == Cursor::Cell::kNull) {
    out->clear();
  } else if (cell.kind == Cursor::Cell::kText) {
    // The text view of a variant ends at a NUL the value may hold.
    qz::platform::Utf8ToWide(cell.text.substr(0, cell.text.find('\0')), out);
  } else {
    CQZDBVariant value;
    cursor.GetValueAt(position, value);
    out->assign(value.GetText());
  }
}

bool CQZRecordSet::GetUtf8At(int position, std::string_view* out) {
  Cursor* known = KnownRow(m_cursor, m_database);
  const Cursor::Cell cell = (known ? *known : RequireRow(kNoRow)).CellAt(position);
  if (cell.kind != Cursor::Cell::kText) return false;
  *out = cell.text;
  return true;
}

int32_t CQZRecordSet::GetInt32At(int position) {
  Cursor* known = KnownRow(m_cursor, m_database);
  Cursor& cursor = known ? *known : RequireRow(kNoRow);
  const Cursor::Cell cell = cursor.CellAt(position);
  if (cell.kind == Cursor::Cell::kNull) return 0;
  if (cell.kind == Cursor::Cell::kInteger) return Low32(cell.integer);
  CQZDBVariant value;
  cursor.GetValueAt(position, value);
  return value.GetInt32();
}

SQZTimestamp CQZRecordSet::GetTimestampAt(int position) {
  Cursor* known = KnownRow(m_cursor, m_database);
  Cursor& cursor = known ? *known : RequireRow(kNoRow);
  const Cursor::Cell cell = cursor.CellAt(position);
  SQZTimestamp timestamp;
  if (cell.kind == Cursor::Cell::kNull) return timestamp;
  const bool text = cell.kind == Cursor::Cell::kText || cell.kind == Cursor::Cell::kTimestampText;
  if (text && ParseShortTimestamp(cell.text, &timestamp)) return timestamp;
  CQZDBVariant value;
  cursor.GetValueAt(position, value);
  return value.GetTimestamp();
}
