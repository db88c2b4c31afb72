// The task filters of `task list`, `task count` and `task export`, turned
// into one SQL search condition that every engine answers alike. Names are
// matched without regard to the case of Latin letters A-Z, dates are
// compared as date-times (not as the text SQLite stores), and whatever the
// person typed reaches the SQL only as an escaped literal.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace gezhuan {

struct TaskFilter {
  std::string name;  // --name: part of the task name
  std::string from;  // --from: origin tape type, by name or GUID
  std::string to;    // --to: destination tape type, by name or GUID
  std::optional<int32_t> type, editStatus, runStatus;
  std::string since;  // --since: begins at or after
  std::string until;  // --until: begins at or before (a bare date: that whole day)
  std::string where;  // --where: SQL passed through unchanged

  bool Empty() const;
};

// Adds the filter options (--where included) to a command.
void AddTaskFilterOptions(CLI::App* command, TaskFilter& filter);

// The search condition for the engine of node: "" for no filter. The
// filters are joined with "and", --where last and in parentheses. Throws a
// usage error for a date that does not parse.
// An "order by" that ends --where stays at the very end, outside the
// parentheses, unless withOrder is false (a count has no use for it).
std::wstring TaskCondition(const TaskFilter& filter, const DBsSetNode& node, bool withOrder = true);

// Whether --where ends in an "order by": a listing then keeps the
// database's order unless --sort asks for another.
bool WhereOrders(const TaskFilter& filter);

// The order and length of `task list`.
struct TaskOrder {
  std::string sort;  // name|begin|end|status; "": begin, or the order that ends --where
  bool reverse = false;
  size_t limit = 0;  // 0: all
};

// The keys of the tasks a listing shows, as the database gives them: sorted
// and limited by the SQL where the engine's SQL can do it, so that a listing
// reads only the tasks it shows. What is left for the reader of the keys:
// reverse them (the order came from --where, which cannot be turned
// around), then keep at most keepFirst of them (0: all).
struct TaskKeyQuery {
  std::wstring sql;  // "select guidTaskID as k from GeZhuanTaskInfo ..."
  bool reverse = false;
  size_t keepFirst = 0;
};
TaskKeyQuery TaskKeys(const TaskFilter& filter, const TaskOrder& order, const DBsSetNode& node);

// What the engines share for case: A-Z folded to a-z, nothing else.
std::wstring FoldLatinCase(const std::wstring& text);

}  // namespace gezhuan
