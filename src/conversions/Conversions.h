// The conversions every table shares: GUID text, the null GUID, date-times,
// trimming, and the rule by which each column kind is written to and read
// from a record set. The row mappings are lists of calls into this file.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/GuidText.h"

namespace qz::conversions {

// --- GUID ------------------------------------------------------------------
// The GUID text form, shared with the tool (common/GuidText.h).

using qz::common::GuidToText;
using qz::common::GuidToUtf8;
using qz::common::IsNullGuid;
using qz::common::TextToGuid;
using qz::common::Utf8TextToGuid;

// --- Date-time -------------------------------------------------------------

// The date-time of the parts; status invalid unless the parts name a real
// moment of the years 100 to 9999 and survive the round trip unchanged.
SQZDateTime DateTimeFromParts(int year, int month, int day, int hour, int minute, int second);

// The current local wall-clock time in whole seconds.
SQZDateTime CurrentDateTime();

// --- Text ------------------------------------------------------------------

// True for the characters every trim removes: space, \t \n \v \f \r and
// whatever else is wide white space (U+00A0, U+3000, ...).
bool IsWhiteSpace(wchar_t c);

// The text without leading and trailing white space; inner white space stays.
std::wstring Trim(std::wstring_view text);

// Trims in place.
void TrimInPlace(std::wstring* text);

// --- Column kinds ----------------------------------------------------------
// Each Write* assigns the field to the bracketed column through the record
// set's typed setters (CQZRecordSet::SetTextField and the rest), which bind
// it without a variant where the engine can; each Read* calls
// GetValueInColumn and sets the field. None catches anything:
// CQZDBException passes to the caller.

void WriteGuidColumn(CQZRecordSet* set, std::wstring_view column, const GUID& field);
void WriteTextColumn(CQZRecordSet* set, std::wstring_view column, const std::wstring& field);
void WriteInt32Column(CQZRecordSet* set, std::wstring_view column, int32_t field);
// dw columns: the 32 bits as a signed 32-bit integer (4294967295 -> -1).
void WriteUInt32Column(CQZRecordSet* set, std::wstring_view column, uint32_t field);
void WriteDateTimeColumn(CQZRecordSet* set, std::wstring_view column, const SQZDateTime& field);

void ReadGuidColumn(CQZRecordSet* set, CQZDBVariant& variant, const wchar_t* column, GUID* field);
void ReadTextColumn(CQZRecordSet* set, CQZDBVariant& variant, const wchar_t* column, std::wstring* field);
void ReadInt32Column(CQZRecordSet* set, CQZDBVariant& variant, const wchar_t* column, int32_t* field);
void ReadUInt32Column(CQZRecordSet* set, CQZDBVariant& variant, const wchar_t* column, uint32_t* field);
// The timestamp's parts through DateTimeFromParts; a fraction of a second is
// dropped, impossible parts give status invalid.
void ReadDateTimeColumn(CQZRecordSet* set, CQZDBVariant& variant, const wchar_t* column, SQZDateTime* field);

// --- Reading many rows -----------------------------------------------------
// The same reads as the Read*Column calls above, through a column position
// found once per statement and decoded straight from the engine's bytes
// into the field (see CQZRecordSet::GetColumnPosition).

struct KeptPositions;

// The positions of a row mapping's columns in one statement's rows, each
// looked up by name on first use and kept for every row after.
class ColumnPositions {
 public:
  static constexpr size_t kCapacity = 32;
  ColumnPositions() { at_.fill(-1); }
  // The position of column number index of the mapping, named column.
  int Of(CQZRecordSet* set, size_t index, const wchar_t* column) {
    int& at = at_[index];
    if (at < 0) at = set->GetColumnPosition(column);
    return at;
  }

  // Whether Recall is still to be called, before the first row is read.
  bool fresh() const { return fresh_; }
  // Takes the positions kept for the current row's columns, when *kept
  // holds them; otherwise those found in this row go there (Keep).
  inline void Recall(CQZRecordSet* set, KeptPositions* kept);
  // After a row was read whole: keeps the positions found in it.
  inline void Keep();

 private:
  std::array<int, kCapacity> at_;
  bool fresh_ = true;
  KeptPositions* keep_in_ = nullptr;
  uint64_t identity_ = 0;
};

// Positions a row mapping found, kept under the identity of the columns
// they were found in (CQZRecordSet::GetColumnsIdentity), so that the next
// statement with the same columns finds none of them by name again.
struct KeptPositions {
  uint64_t identity = 0;
  std::array<int, ColumnPositions::kCapacity> at;
};

void ColumnPositions::Recall(CQZRecordSet* set, KeptPositions* kept) {
  fresh_ = false;
  const uint64_t identity = set->GetColumnsIdentity();
  if (identity == 0) return;
  if (identity == kept->identity) {
    at_ = kept->at;
    return;
  }
  keep_in_ = kept;
  identity_ = identity;
}

void ColumnPositions::Keep() {
  if (!keep_in_) return;
  keep_in_->identity = identity_;
  keep_in_->at = at_;
  keep_in_ = nullptr;
}

void ReadGuidAt(CQZRecordSet* set, int position, GUID* field);
void ReadTextAt(CQZRecordSet* set, int position, std::wstring* field);
void ReadInt32At(CQZRecordSet* set, int position, int32_t* field);
void ReadUInt32At(CQZRecordSet* set, int position, uint32_t* field);
void ReadDateTimeAt(CQZRecordSet* set, int position, SQZDateTime* field);

}  // namespace qz::conversions
