// A record to and from the current row of a record set, column by column
// in the order of its table (records/RecordColumns.h), each column by the
// rule of its kind (Conversions.h). Nothing is caught here: a
// CQZDBException belongs to the operation that drives the record set.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include "conversions/Conversions.h"
#include "records/RecordColumns.h"

namespace qz::conversions {

namespace detail {

// Counts the columns as they come, for the lengths of their names.
template <class Record>
struct ColumnWriter {
  CQZRecordSet* set;
  size_t index = 0;
  std::wstring_view Name(const wchar_t* name) { return {name, records::RecordTable<Record>::kColumns[index++].size}; }
  void operator()(const wchar_t* name, const GUID& field) { WriteGuidColumn(set, Name(name), field); }
  void operator()(const wchar_t* name, const std::wstring& field) { WriteTextColumn(set, Name(name), field); }
  void operator()(const wchar_t* name, const SQZDateTime& field) { WriteDateTimeColumn(set, Name(name), field); }
  void operator()(const wchar_t* name, int32_t field) { WriteInt32Column(set, Name(name), field); }
  void operator()(const wchar_t* name, uint32_t field) { WriteUInt32Column(set, Name(name), field); }
};

// Counts the columns as they come, for the positions kept by number.
struct ColumnReader {
  CQZRecordSet* set;
  ColumnPositions* at;
  size_t index = 0;
  int Next(const wchar_t* name) { return at->Of(set, index++, name); }
  void operator()(const wchar_t* name, GUID& field) { ReadGuidAt(set, Next(name), &field); }
  void operator()(const wchar_t* name, std::wstring& field) { ReadTextAt(set, Next(name), &field); }
  void operator()(const wchar_t* name, SQZDateTime& field) { ReadDateTimeAt(set, Next(name), &field); }
  void operator()(const wchar_t* name, int32_t& field) { ReadInt32At(set, Next(name), &field); }
  void operator()(const wchar_t* name, uint32_t& field) { ReadUInt32At(set, Next(name), &field); }
};

// Looks each column up by name, row after row.
struct NamedColumnReader {
  CQZRecordSet* set;
  CQZDBVariant& value;
  void operator()(const wchar_t* name, GUID& field) const { ReadGuidColumn(set, value, name, &field); }
  void operator()(const wchar_t* name, std::wstring& field) const { ReadTextColumn(set, value, name, &field); }
  void operator()(const wchar_t* name, SQZDateTime& field) const { ReadDateTimeColumn(set, value, name, &field); }
  void operator()(const wchar_t* name, int32_t& field) const { ReadInt32Column(set, value, name, &field); }
  void operator()(const wchar_t* name, uint32_t& field) const { ReadUInt32Column(set, value, name, &field); }
};

}  // namespace detail

// Assigns every column of the row being added or edited; Update is the
// caller's. Text goes out trimmed, the record keeps its blanks.
template <class Record>
void WriteRow(CQZRecordSet* set, const Record& record) {
  records::VisitColumns(record, detail::ColumnWriter<Record>{set});
}

// Overwrites every column field of *record from the current row. A failure
// part way leaves the earlier fields read and the later ones as they were.
// *at belongs to set's current statement.
// The positions found are kept, per mapping and thread, for the next
// statement with the same columns.
template <class Record>
void ReadRow(CQZRecordSet* set, ColumnPositions* at, Record* record) {
  static_assert(records::kColumnCount<Record> <= ColumnPositions::kCapacity, "more columns than positions kept");
  if (at->fresh()) {
    thread_local KeptPositions kept;
    at->Recall(set, &kept);
  }
  records::VisitColumns(*record, detail::ColumnReader{set, at});
  at->Keep();
}

// As ReadRow, each column found by its name on every row: for the small
// tables, read a few rows at a time.
template <class Record>
void ReadRowByName(CQZRecordSet* set, Record* record) {
  CQZDBVariant value;
  records::VisitColumns(*record, detail::NamedColumnReader{set, value});
}

}  // namespace qz::conversions
