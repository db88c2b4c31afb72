// The task record's defaults and the row mapping of table GeZhuanTaskInfo
// (its columns are listed in records/RecordColumns.h). The items are rows
// of GeZhuanTaskItem and are never touched here.
#include <QZNVGeZhuanDBControl.h>

#include "conversions/Conversions.h"
#include "conversions/RowMapping.h"
#include "tasks/RowReading.h"

using namespace qz::conversions;

// A new task was prepared now; its begin and end stand at the fixed mark
// 1900-01-01 01:01:01 until the caller sets them.
SQZGeZhuanTaskInfo::SQZGeZhuanTaskInfo()
    : odtTaskPrepareBegin(CurrentDateTime()),
      odtTaskBeginDateTime(1900, 1, 1, 1, 1, 1),
      odtTaskEndDateTime(1900, 1, 1, 1, 1, 1) {}

// Assigns all 30 columns of the row being added or edited; Update is the
// caller's. The record is only read.
void CQZNVGeZhuanDBControl::SetGeZhuanTaskContent(const SQZGeZhuanTaskInfo* task, CQZRecordSet* set) {
  WriteRow(set, *task);
}

// Overwrites the 30 column fields from the current row; arrItems keeps what
// it held.
void CQZNVGeZhuanDBControl::GetGeZhuanTaskContent(SQZGeZhuanTaskInfo* task, CQZRecordSet* set) {
  ColumnPositions at;
  ReadRow(set, &at, task);
}

namespace qz::tasks {

void ReadTaskRow(CQZRecordSet* set, ColumnPositions* at, SQZGeZhuanTaskInfo* task) { ReadRow(set, at, task); }

}  // namespace qz::tasks
