// The item reads and writes shared by the item operations and the task
// operations: the item listing (which must tell no items from a failed
// query), the items of many tasks per query, the deletion of a task's
// items inside the task's transaction, and the items of a whole call of
// AddGeZhuanTasks as one run of rows.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <optional>
#include <string>
#include <vector>

#include "control/OperationFrame.h"

namespace qz::tasks {

// The rows of "select * from GeZhuanTaskItem" with condition appended (see
// WithCondition) into *items, read through the item row mapping.
// REQUIRES: database is a usable connection; items != nullptr.
control::ListOutcome ListItems(CQZDatabase* database, const std::wstring& condition,
                               std::vector<SQZGeZhuanItemInfo>* items);

// Fills the arrItems of every task in *tasks, each in nIndex order and at
// its exact size, reading the items of many tasks per query. False when a
// query failed (it has logged its SQL text): the tasks of the queries read
// before it have their items, the others none.
// REQUIRES: database is control's usable connection; every arrItems empty.
bool ListItemsOfTasks(CQZDatabase* database, std::vector<SQZGeZhuanTaskInfo>* tasks);

// A listed task's key and its place in the array of tasks.
struct TaskSlot {
  GUID id;
  size_t index;
};

// Orders slots by key, for DistributeItems.
void SortTaskSlots(std::vector<TaskSlot>* slots);

// Hands each run of items with one guidTask to the tasks of slots (sorted)
// with that key, each at its exact size, moving them out of *items. An
// item no slot holds the key of is dropped.
void DistributeItems(std::vector<SQZGeZhuanItemInfo>* items, std::vector<SQZGeZhuanTaskInfo>* tasks,
                     const std::vector<TaskSlot>& slots);

// The tasks the condition selects, as GetGeZhuanTasksByCondition lists
// them, and their items by one query sent along with the tasks' (see
// CQZRecordSet::OpenWithFollowing): the answer, or nothing when that way
// does not apply to the connection or the condition and nothing was read.
// REQUIRES: database is a usable connection; tasks != nullptr.
std::optional<int> ListTasksWithItems(CQZDatabase* database, const std::wstring& condition,
                                      std::vector<SQZGeZhuanTaskInfo>* tasks);

// The statement that deletes the items of a task, one item, or one item of
// one task, by whichever GUIDs are not null.
// REQUIRES: guidTask or guidItem is not null.
std::wstring ItemDeletion(const GUID& guidTask, const GUID& guidItem);

// Runs ItemDeletion's statement in the caller's transaction. False when
// both GUIDs are null (that would delete without a key), or on failure.
bool DeleteItems(CQZDatabase* database, const GUID& guidTask, const GUID& guidItem);

// Adds the items of every task, item_count in all, as one run of rows in
// one transaction (a savepoint inside the caller's). False, with nothing
// added, when one is refused.
// REQUIRES: database is control's usable connection; item_count > 0.
bool AddItemsOfTasks(CQZNVGeZhuanDBControl& control, CQZDatabase* database,
                     const std::vector<SQZGeZhuanTaskInfo>& tasks, size_t item_count);

}  // namespace qz::tasks
