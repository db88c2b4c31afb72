// The row mapping of table GeZhuanTaskItem: one SQZGeZhuanItemInfo to and
// from the current row of a record set, column by column in table order.
// Nothing is caught here; a CQZDBException belongs to the operation that
// drives the record set.
#include <QZNVGeZhuanDBControl.h>

#include "conversions/Conversions.h"

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
  CQZDBVariant value;
  ReadGuidColumn(set, value, L"[guidTask]", &info->guidTask);
  ReadGuidColumn(set, value, L"[guidItem]", &info->guidItem);
  ReadTextColumn(set, value, L"[strItemName]", &info->strItemName);
  ReadInt32Column(set, value, L"[nItemType]", &info->nItemType);
  ReadUInt32Column(set, value, L"[dwTrimIn]", &info->dwTrimIn);
  ReadUInt32Column(set, value, L"[dwTrimOut]", &info->dwTrimOut);
  ReadUInt32Column(set, value, L"[dwLength]", &info->dwLength);
  ReadInt32Column(set, value, L"[nIndex]", &info->nIndex);
}
