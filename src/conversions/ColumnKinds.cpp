// How each column kind travels between a row structure and a record set.
// Exceptions from the record set pass straight through to the caller.
#include "conversions/Conversions.h"

namespace qz::conversions {

namespace {

// The variant's text view as a string_view; a missing text reads as empty.
std::wstring_view TextOf(const CQZDBVariant& variant) {
  const wchar_t* text = variant.GetText();
  return text != nullptr ? std::wstring_view(text) : std::wstring_view();
}

}  // namespace

// GUIDs are stored as their 36-character text, written into a buffer kept
// for the thread: a long run of rows makes no text of its own per GUID.
void WriteGuidColumn(CQZRecordSet* set, std::wstring_view column, const GUID& field) {
  static thread_local std::string text;
  GuidToUtf8(field, &text);
  set->SetUtf8Field(column, text);
}

// Text is stored trimmed; the field itself keeps its blanks. Trimming only
// narrows the view of the field, so no text is copied for it.
void WriteTextColumn(CQZRecordSet* set, std::wstring_view column, const std::wstring& field) {
  std::wstring_view text(field);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  set->SetTextField(column, text);
}

void WriteInt32Column(CQZRecordSet* set, std::wstring_view column, int32_t field) {
  set->SetIntegerField(column, field);
}

// The column is a signed 32-bit integer, so the bits are stored as one.
void WriteUInt32Column(CQZRecordSet* set, std::wstring_view column, uint32_t field) {
  set->SetIntegerField(column, static_cast<int32_t>(field));
}

void WriteDateTimeColumn(CQZRecordSet* set, std::wstring_view column, const SQZDateTime& field) {
  set->SetDateTimeField(column, field);
}

// Text that is not exactly a GUID (NULL included) reads as the null GUID.
void ReadGuidColumn(CQZRecordSet* set, CQZDBVariant& variant, const wchar_t* column, GUID* field) {
  set->GetValueInColumn(column, variant);
  *field = TextToGuid(Trim(TextOf(variant)));
}

void ReadTextColumn(CQZRecordSet* set, CQZDBVariant& variant, const wchar_t* column, std::wstring* field) {
  set->GetValueInColumn(column, variant);
  *field = Trim(TextOf(variant));
}

void ReadInt32Column(CQZRecordSet* set, CQZDBVariant& variant, const wchar_t* column, int32_t* field) {
  set->GetValueInColumn(column, variant);
  *field = variant.GetInt32();
}

// The inverse of WriteUInt32Column: -1 reads back as 4294967295.
void ReadUInt32Column(CQZRecordSet* set, CQZDBVariant& variant, const wchar_t* column, uint32_t* field) {
  set->GetValueInColumn(column, variant);
  *field = static_cast<uint32_t>(variant.GetInt32());
}

// The timestamp's whole seconds; a NULL's all-zero timestamp names no real
// moment and so gives an invalid date-time.
void ReadDateTimeColumn(CQZRecordSet* set, CQZDBVariant& variant, const wchar_t* column, SQZDateTime* field) {
  set->GetValueInColumn(column, variant);
  const SQZTimestamp ts = variant.GetTimestamp();
  *field = DateTimeFromParts(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second);
}

// --- Through positions -----------------------------------------------------

// GUID text as it is stored needs no trimming and parses from its bytes;
// anything else takes the way of ReadGuidColumn.
void ReadGuidAt(CQZRecordSet* set, int position, GUID* field) {
  std::string_view bytes;
  if (set->GetUtf8At(position, &bytes) && Utf8TextToGuid(bytes, field)) return;
  std::wstring text;
  set->GetTextAt(position, &text);
  *field = TextToGuid(Trim(text));
}

// Decoded into the field's own storage and trimmed there.
void ReadTextAt(CQZRecordSet* set, int position, std::wstring* field) {
  set->GetTextAt(position, field);
  TrimInPlace(field);
}

void ReadInt32At(CQZRecordSet* set, int position, int32_t* field) { *field = set->GetInt32At(position); }

void ReadUInt32At(CQZRecordSet* set, int position, uint32_t* field) {
  *field = static_cast<uint32_t>(set->GetInt32At(position));
}

void ReadDateTimeAt(CQZRecordSet* set, int position, SQZDateTime* field) {
  const SQZTimestamp ts = set->GetTimestampAt(position);
  *field = DateTimeFromParts(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second);
}

}  // namespace qz::conversions
