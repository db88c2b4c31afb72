// Reading task and item rows when many come from one statement: the column
// positions are found on the first row and kept for the rest. The public
// Get...Content calls read one row the same way, with fresh positions.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include "conversions/Conversions.h"

namespace qz::tasks {

// Overwrites the 30 column fields from the current row; arrItems keeps
// what it held. *at belongs to set's current statement.
void ReadTaskRow(CQZRecordSet* set, conversions::ColumnPositions* at, SQZGeZhuanTaskInfo* task);

// Overwrites every field of *item from the current row. A failure part way
// leaves the earlier fields read and the later ones as they were.
void ReadItemRow(CQZRecordSet* set, conversions::ColumnPositions* at, SQZGeZhuanItemInfo* item);

}  // namespace qz::tasks
