// The items of many tasks at once: read by one query per chunk of tasks,
// and added as one run of rows. Reading a task's items one query at a time
// costs a round trip per task on a server; a chunk costs one for many.
#include <QZNVGeZhuanDBControl.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <iterator>

#include "control/OperationFrame.h"
#include "conversions/Conversions.h"
#include "tasks/ItemListing.h"

namespace qz::tasks {
namespace {

// The number of keys an item query lists. A chunk is padded to the
// smallest of these that holds it by repeating its last key (which matches
// nothing more), so that all item queries take one of four shapes and the
// engine parses each shape once per connection. Each query waits a round
// trip for its first rows: across a network, few large chunks list much
// faster than many small ones (their rows still stream).
constexpr size_t kKeySlots[] = {1, 16, 256, 1024};
constexpr size_t kTasksPerQuery = 1024;

size_t KeySlotsFor(size_t count) {
  for (size_t slots : kKeySlots)
    if (count <= slots) return slots;
  return kTasksPerQuery;
}

// "guidTask in ('A', 'B', ...) order by guidTask, nIndex": the items of
// tasks [first, end), grouped by task and each task's in nIndex order.
std::wstring ItemsOfTasksCondition(const std::vector<SQZGeZhuanTaskInfo>& tasks, size_t first, size_t end) {
  const size_t slots = KeySlotsFor(end - first);
  std::wstring condition;
  condition.reserve(16 + slots * 42 + 32);
  condition += L"guidTask in (";
  for (size_t k = 0; k < slots; ++k) {
    if (k) condition += L", ";
    condition += L'\'';
    condition += conversions::GuidToText(tasks[std::min(first + k, end - 1)].guidTaskID);
    condition += L'\'';
  }
  condition += L") order by guidTask, nIndex";
  return condition;
}

bool GuidLess(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

}  // namespace

void SortTaskSlots(std::vector<TaskSlot>* slots) {
  std::sort(slots->begin(), slots->end(), [](const TaskSlot& a, const TaskSlot& b) { return GuidLess(a.id, b.id); });
}

void DistributeItems(std::vector<SQZGeZhuanItemInfo>* items, std::vector<SQZGeZhuanTaskInfo>* tasks,
                     const std::vector<TaskSlot>& slots) {
  auto run = items->begin();
  while (run != items->end()) {
    const GUID key = run->guidTask;
    auto run_end =
        std::find_if(run, items->end(), [&](const SQZGeZhuanItemInfo& i) { return !SameGuid(i.guidTask, key); });
    auto slot = std::lower_bound(slots.begin(), slots.end(), key,
                                 [](const TaskSlot& s, const GUID& id) { return GuidLess(s.id, id); });
    // Listed tasks have distinct keys; should one repeat, each copy gets
    // the items, as a query per task would give them.
    for (; slot != slots.end() && SameGuid(slot->id, key); ++slot) {
      std::vector<SQZGeZhuanItemInfo>& out = (*tasks)[slot->index].arrItems;
      if (std::next(slot) != slots.end() && SameGuid(std::next(slot)->id, key))
        out.assign(run, run_end);
      else
        out.assign(std::make_move_iterator(run), std::make_move_iterator(run_end));
    }
    run = run_end;
  }
}

bool ListItemsOfTasks(CQZDatabase* database, std::vector<SQZGeZhuanTaskInfo>* tasks) {
  assert(database != nullptr && !database->IsClosed());
  assert(std::all_of(tasks->begin(), tasks->end(), [](const SQZGeZhuanTaskInfo& t) { return t.arrItems.empty(); }));
  std::vector<SQZGeZhuanItemInfo> items;  // one chunk's, reused
  // Room for a task's usual handful of items from the start: a read by key
  // then grows the array no more. Kept within 1 KiB, which an allocator
  // serves from its small blocks at once; a larger first block costs it a
  // search on every read.
  items.reserve(1024 / sizeof(SQZGeZhuanItemInfo));
  std::vector<TaskSlot> slots;
  for (size_t first = 0; first < tasks->size(); first += kTasksPerQuery) {
    const size_t end = std::min(tasks->size(), first + kTasksPerQuery);
    items.clear();
    const control::ListOutcome outcome = ListItems(database, ItemsOfTasksCondition(*tasks, first, end), &items);
    if (outcome == control::ListOutcome::kFailed) return false;
    if (outcome == control::ListOutcome::kNoRows) continue;
    slots.clear();
    for (size_t t = first; t < end; ++t) slots.push_back(TaskSlot{(*tasks)[t].guidTaskID, t});
    SortTaskSlots(&slots);
    DistributeItems(&items, tasks, slots);
  }
  return true;
}

bool AddItemsOfTasks(CQZNVGeZhuanDBControl& control, CQZDatabase* database,
                     const std::vector<SQZGeZhuanTaskInfo>& tasks, size_t item_count) {
  assert(database != nullptr && !database->IsClosed() && item_count > 0);
  size_t task = 0, item = 0;  // where row i of the run comes from
  return control::BatchInsert(database, L"GeZhuanTaskItem", item_count, [&](size_t, CQZRecordSet& set) {
           while (item == tasks[task].arrItems.size()) ++task, item = 0;
           control.SetGeZhuanItemContent(&tasks[task].arrItems[item++], &set);
         }) != 0;
}

}  // namespace qz::tasks
