// The row mapping of table GeZhuanTaskItem: one SQZGeZhuanItemInfo to and
// from the current row of a record set, column by column in table order
// (records/RecordColumns.h).
// Nothing is caught here; a CQZDBException belongs to the operation that
// drives the record set.
#include <QZNVGeZhuanDBControl.h>

#include "conversions/Conversions.h"
#include "conversions/RowMapping.h"
#include "tasks/RowReading.h"

using namespace qz::conversions;

// Assigns the eight columns of the row being added or edited. The record is
// only read: the name goes out trimmed, the field keeps its blanks.
void CQZNVGeZhuanDBControl::SetGeZhuanItemContent(const SQZGeZhuanItemInfo* info, CQZRecordSet* set) {
  WriteRow(set, *info);
}

// Overwrites every field from the current row. A failure part way leaves the
// earlier fields read and the later ones as they were.
void CQZNVGeZhuanDBControl::GetGeZhuanItemContent(SQZGeZhuanItemInfo* info, CQZRecordSet* set) {
  ColumnPositions at;
  ReadRow(set, &at, info);
}

namespace qz::tasks {

void ReadItemRow(CQZRecordSet* set, ColumnPositions* at, SQZGeZhuanItemInfo* item) { ReadRow(set, at, item); }

}  // namespace qz::tasks
