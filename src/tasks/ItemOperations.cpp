// Adding, listing and deleting rows of GeZhuanTaskItem. Each operation runs
// in the operation frame; the row work is the item row mapping.
#include <QZNVGeZhuanDBControl.h>

#include <cassert>

#include "control/OperationFrame.h"
#include "conversions/Conversions.h"
#include "tasks/ItemListing.h"
#include "tasks/RowReading.h"

using qz::control::UsableConnection;
using qz::conversions::GuidToText;
using qz::conversions::IsNullGuid;

namespace qz::tasks {

control::ListOutcome ListItems(CQZDatabase* database, const std::wstring& condition,
                               std::vector<SQZGeZhuanItemInfo>* items) {
  assert(database != nullptr && !database->IsClosed() && items != nullptr);
  const std::wstring sql = control::WithCondition(L"select * from GeZhuanTaskItem", condition);
  conversions::ColumnPositions at;
  return control::ListReadOutcome(database, sql, items,
                                  [&](SQZGeZhuanItemInfo* item, CQZRecordSet* set) { ReadItemRow(set, &at, item); });
}

std::wstring ItemDeletion(const GUID& guidTask, const GUID& guidItem) {
  assert(!IsNullGuid(guidTask) || !IsNullGuid(guidItem));
  std::wstring condition;
  if (!IsNullGuid(guidTask)) {
    condition += L"guidTask = '" + GuidToText(guidTask) + L"'";
    if (!IsNullGuid(guidItem)) condition += L" AND ";
  }
  if (!IsNullGuid(guidItem)) condition += L"guidItem = '" + GuidToText(guidItem) + L"'";
  return L"delete from GeZhuanTaskItem where " + condition;
}

bool DeleteItems(CQZDatabase* database, const GUID& guidTask, const GUID& guidItem) {
  if (IsNullGuid(guidTask) && IsNullGuid(guidItem)) return false;
  return control::Delete(database, ItemDeletion(guidTask, guidItem)) != 0;
}

}  // namespace qz::tasks

// Inserts every item of *items, in order, in one transaction (a savepoint
// when the caller already has one open). 1 only when all rows went in and
// the commit was issued; on a failure none of them stays.
int CQZNVGeZhuanDBControl::AddGeZhuanItems(const std::vector<SQZGeZhuanItemInfo>* items) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || items == nullptr || items->empty()) return 0;
  return qz::control::BatchInsert(database, L"GeZhuanTaskItem", items->size(),
                                  [&](size_t i, CQZRecordSet& set) { SetGeZhuanItemContent(&(*items)[i], &set); });
}

// Lists the items the condition selects, in the database's order unless
// the condition ends in an order clause. 0 for no rows or a failure.
int CQZNVGeZhuanDBControl::GetGeZhuanItemsByCondition(std::wstring condition, std::vector<SQZGeZhuanItemInfo>* items) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || items == nullptr) return 0;
  return qz::tasks::ListItems(database, condition, items) == qz::control::ListOutcome::kRows ? 1 : 0;
}

// Deletes the items of a task, one item, or one item of one task, by
// whichever GUIDs are not null. Both null would delete without a key, so
// that is refused. 1 when the statement ran, whatever it matched.
int CQZNVGeZhuanDBControl::DeleteGeZhuanItem(GUID guidTask, GUID guidItem) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || (IsNullGuid(guidTask) && IsNullGuid(guidItem))) return 0;
  const std::wstring sql = qz::tasks::ItemDeletion(guidTask, guidItem);
  return qz::control::InOneTransaction(database, sql, [&] { return qz::control::Delete(database, sql) != 0; },
                                       {{sql, false}});
}
