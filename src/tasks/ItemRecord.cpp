// The row mapping of table GeZhuanTaskItem: one SQZGeZhuanItemInfo to and
// from the current row of a record set, column by column in table order.
// Nothing is caught here; a CQZDBException belongs to the operation that
// drives the record set.
#include <QZNVGeZhuanDBControl.h>

#include "conversions/Conversions.h"
#include "tasks/RowReading.h"

using namespace qz::conversions;

// Assigns the eight columns of the row being added or edited. The record is
// only read: the name goes out trimmed, the field keeps its blanks.
void CQZNVGeZhuanDBControl::SetGeZhuanItemContent(const SQZGeZhuanItemInfo* info, CQZRecordSet* set) {
  CQZDBVariant value;
  WriteGuidColumn(set, value, L"[guidTask]", info->guidTask);
  WriteGuidColumn(set, value, L"[guidItem]", info->guidItem);
  WriteTextColumn(set, value, L"[strItemName]", info->strItemName);
  WriteInt32Column(set, value, L"[nItemType]", info->nItemType);
  WriteUInt32Column(set, value, L"[dwTrimIn]", info->dwTrimIn);
  WriteUInt32Column(set, value, L"[dwTrimOut]", info->dwTrimOut);
  WriteUInt32Column(set, value, L"[dwLength]", info->dwLength);
  WriteInt32Column(set, value, L"[nIndex]", info->nIndex);
}

// Overwrites every field from the current row. A failure part way leaves the
// earlier fields read and the later ones as they were.
void CQZNVGeZhuanDBControl::GetGeZhuanItemContent(SQZGeZhuanItemInfo* info, CQZRecordSet* set) {
  ColumnPositions at;
  qz::tasks::ReadItemRow(set, &at, info);
}

namespace qz::tasks {

void ReadItemRow(CQZRecordSet* set, ColumnPositions* at, SQZGeZhuanItemInfo* item) {
  ReadGuidAt(set, at->Of(set, 0, L"guidTask"), &item->guidTask);
  ReadGuidAt(set, at->Of(set, 1, L"guidItem"), &item->guidItem);
  ReadTextAt(set, at->Of(set, 2, L"strItemName"), &item->strItemName);
  ReadInt32At(set, at->Of(set, 3, L"nItemType"), &item->nItemType);
  ReadUInt32At(set, at->Of(set, 4, L"dwTrimIn"), &item->dwTrimIn);
  ReadUInt32At(set, at->Of(set, 5, L"dwTrimOut"), &item->dwTrimOut);
  ReadUInt32At(set, at->Of(set, 6, L"dwLength"), &item->dwLength);
  ReadInt32At(set, at->Of(set, 7, L"nIndex"), &item->nIndex);
}

}  // namespace qz::tasks
