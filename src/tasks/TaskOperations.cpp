// Adding, listing, rewriting and deleting rows of GeZhuanTaskInfo together
// with their items. Task rows go through the task row mapping in the
// operation frame; items go through the item operations.
//
// A task and its items change together or not at all: the operations that
// write both run in one transaction, the item operations' own transactions
// nesting inside it as savepoints, and answer 1 only when every step did
// its part. A failing step logs its own SQL text; the others stay silent.
#include <QZNVGeZhuanDBControl.h>

#include "control/OperationFrame.h"
#include "conversions/Conversions.h"
#include "tasks/ItemListing.h"
#include "tasks/RowReading.h"

using qz::control::UsableConnection;
using qz::conversions::GuidToText;

namespace {

// "<prefix>'<GUID text of id>'": the statements that name one task row.
// GUID text has no blanks to trim; built in one allocation, as it is for
// every single-row call.
std::wstring WithTaskKey(const wchar_t* prefix, const GUID& id) {
  thread_local std::wstring key;
  GuidToText(id, &key);
  std::wstring sql;
  sql.reserve(std::char_traits<wchar_t>::length(prefix) + key.size() + 1);
  sql.append(prefix).append(key).push_back(L'\'');
  return sql;
}

// Rewrites the first row that sql (the task's key query) selects, in the
// caller's transaction. 0 when no row holds the key, or on failure.
int RewriteTaskRow(CQZNVGeZhuanDBControl& control, CQZDatabase* database, const std::wstring& sql,
                   const SQZGeZhuanTaskInfo* task) {
  return qz::control::UpdateInPlace(database, sql, L"GeZhuanTaskInfo",
                                    [&](CQZRecordSet& set) { control.SetGeZhuanTaskContent(task, &set); });
}

}  // namespace

// Inserts every task row of *tasks and then the items of all of them, all
// in one transaction: the items go in as one run of rows, so that an engine
// that sends rows together sends them in as few round trips as it can. 1
// only when every row of the call is stored; otherwise 0 and none of them
// is. Items are stored under their own guidTask, as given.
int CQZNVGeZhuanDBControl::AddGeZhuanTasks(const std::vector<SQZGeZhuanTaskInfo>* tasks) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || tasks == nullptr || tasks->empty()) return 0;
  const size_t count = tasks->size();
  size_t item_count = 0;
  for (const SQZGeZhuanTaskInfo& task : *tasks) item_count += task.arrItems.size();
  return qz::control::BatchInsert(
      database, L"GeZhuanTaskInfo", count,
      [&](size_t i, CQZRecordSet& set) { SetGeZhuanTaskContent(&(*tasks)[i], &set); },
      [&] { return item_count == 0 || qz::tasks::AddItemsOfTasks(*this, database, *tasks, item_count); });
}

// Lists the tasks the condition selects, then their items in nIndex order:
// by one query sent along with the tasks' where the engine and the
// condition allow (ListTasksWithItems), else the items of many tasks per
// query (ListItemsOfTasks). 1 only when every listed task came with all
// its items. When an item query fails the answer is 0 and the array holds
// every listed task, those before the failing query's tasks with their
// items and the rest without any.
int CQZNVGeZhuanDBControl::GetGeZhuanTasksByCondition(std::wstring condition, std::vector<SQZGeZhuanTaskInfo>* tasks) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || tasks == nullptr) return 0;
  if (const std::optional<int> answer = qz::tasks::ListTasksWithItems(database, condition, tasks)) return *answer;
  const std::wstring sql = qz::control::WithCondition(L"select * from GeZhuanTaskInfo", condition);
  qz::conversions::ColumnPositions at;
  const int listed = qz::control::ListRead(database, sql, tasks, [&](SQZGeZhuanTaskInfo* task, CQZRecordSet* set) {
    qz::tasks::ReadTaskRow(set, &at, task);
  });
  if (!listed) return 0;
  // The array ends at its exact size. Now, before the items exist, the copy
  // this takes costs the least memory it ever can.
  tasks->shrink_to_fit();
  return qz::tasks::ListItemsOfTasks(database, tasks) ? 1 : 0;
}

// Rewrites all 30 columns of the first row holding task's guidTaskID (a
// null one included); the items are left alone. 0 when no row holds it.
// The row is read and written in one transaction.
int CQZNVGeZhuanDBControl::ModifyGeZhuanTaskOnly(const SQZGeZhuanTaskInfo* task) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || task == nullptr) return 0;
  const std::wstring sql = WithTaskKey(L"select * from GeZhuanTaskInfo where guidTaskID = '", task->guidTaskID);
  // The rewrite's answer may come with the commit's: one round trip.
  return qz::control::InOneTransaction(database, sql, [&] { return RewriteTaskRow(*this, database, sql, task) != 0; },
                                       {{sql, true}});
}

// Rewrites the task's row and replaces its items by task->arrItems, in one
// transaction. A task no row holds is not given items; a failure of any step
// leaves the row and the old items as they were. 1 only when both are stored.
int CQZNVGeZhuanDBControl::ModifyGeZhuanTaskAll(const SQZGeZhuanTaskInfo* task) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || task == nullptr) return 0;
  const std::wstring sql = WithTaskKey(L"select * from GeZhuanTaskInfo where guidTaskID = '", task->guidTaskID);
  return qz::control::InOneTransaction(database, sql, [&] {
    if (!RewriteTaskRow(*this, database, sql, task)) return false;
    // With a null guidTaskID this refuses (it deletes nothing without a
    // key), so the old items could not be replaced: that fails the call.
    if (!qz::tasks::DeleteItems(database, task->guidTaskID, GUID{})) return false;
    return task->arrItems.empty() || AddGeZhuanItems(&task->arrItems) != 0;
  });
}

// Deletes the task's row and its items in one transaction. 1 only when both
// statements ran (whatever they matched); otherwise nothing is deleted.
int CQZNVGeZhuanDBControl::DeleteGeZhuanTask(GUID taskID) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || qz::conversions::IsNullGuid(taskID)) return 0;
  const std::wstring sql = WithTaskKey(L"delete from GeZhuanTaskInfo where guidTaskID = '", taskID);
  const std::wstring items = qz::tasks::ItemDeletion(taskID, GUID{});
  // Both deletes' answers may come with the commit's: one round trip.
  return qz::control::InOneTransaction(
      database, sql,
      [&] { return qz::control::Delete(database, sql) != 0 && qz::control::Delete(database, items) != 0; },
      {{sql, false}, {items, false}});
}
