// Listing tasks and their items with the items' query sent along with the
// tasks': on a server that saves every chunk's round trip. The items are
// those of the tasks the same condition selects, in a subquery:
//   select * from GeZhuanTaskItem where guidTask in
//     (select guidTaskID from GeZhuanTaskInfo where C) order by guidTask, nIndex
// They stream a task's run at a time into the listed tasks, so memory
// stays what the listing itself needs.
//
// The answer must be what the chunks of ListItemsOfTasks give, so this way
// is taken only where the subquery selects exactly the listed tasks and
// names them as the chunks do:
//   - the condition only filters rows, and filters them alike each time it
//     runs (ConditionSelectsAlike): no ORDER BY, LIMIT or the like, which
//     would not select the same rows inside a subquery, no subquery of its
//     own and no function call, which may answer otherwise the second time;
//   - every listed task's key is stored as exactly its GUID's own text (the
//     chunks ask for that text; the subquery matches the stored one).
// Otherwise the chunks run, after the tasks; they also run when the one
// items query fails. Where the engine did not send
// the items' query along, the chunks run too: elsewhere they cost nothing
// a single query would save. Where it never sends one (SQLite, ODBC), the
// plain listing runs from the start, without writing the items' query.
#include <QZNVGeZhuanDBControl.h>

#include <cstring>
#include <string_view>

#include "control/OperationFrame.h"
#include "conversions/Conversions.h"
#include "tasks/ItemListing.h"
#include "tasks/RowReading.h"

namespace qz::tasks {
namespace {

bool IsWordCharacter(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' || c > 0x7F;
}

bool IsWord(std::wstring_view word, std::wstring_view lower) {
  if (word.size() != lower.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if ((word[i] >= L'A' && word[i] <= L'Z' ? word[i] + (L'a' - L'A') : word[i]) != lower[i]) return false;
  return true;
}

// Words after which a condition does more than filter rows, or holds a
// query of its own.
constexpr std::wstring_view kRefusedWords[] = {L"select",    L"from",        L"join",   L"order",  L"limit",
                                               L"offset",    L"fetch",       L"group",  L"having", L"window",
                                               L"union",     L"intersect",   L"except", L"for",    L"into",
                                               L"returning", L"tablesample", L"with",   L"lateral"};
// Words a parenthesis may follow without making a call.
constexpr std::wstring_view kWordsBeforeParenthesis[] = {L"in", L"and", L"or", L"not"};

// Whether condition, as a subquery's WHERE, selects exactly the rows it
// selects as the listing's: it reads only column values and constants. A
// quote, comment or parenthesis this reading might take otherwise than the
// server does, or any doubt, answers false.
bool ConditionSelectsAlike(std::wstring_view condition) {
  const size_t size = condition.size();
  int depth = 0;
  for (size_t i = 0; i < size;) {
    const wchar_t c = condition[i];
    const wchar_t next = i + 1 < size ? condition[i + 1] : L'\0';
    if (c == L'\'' || c == L'"') {
      // A text or a quoted name; a doubled quote stands for itself.
      size_t end = i + 1;
      for (;; ++end) {
        if (end >= size) return false;
        if (condition[end] != c) continue;
        if (end + 1 < size && condition[end + 1] == c) {
          ++end;
          continue;
        }
        break;
      }
      i = end + 1;
      continue;
    }
    if (IsWordCharacter(c)) {
      size_t end = i;
      while (end < size && IsWordCharacter(condition[end])) ++end;
      const std::wstring_view word = condition.substr(i, end - i);
      for (std::wstring_view refused : kRefusedWords)
        if (IsWord(word, refused)) return false;
      size_t after = end;
      while (after < size && conversions::IsWhiteSpace(condition[after])) ++after;
      if (after < size && condition[after] == L'(') {
        bool call = true;
        for (std::wstring_view allowed : kWordsBeforeParenthesis)
          if (IsWord(word, allowed)) call = false;
        if (call) return false;
      }
      i = end;
      continue;
    }
    if (c == L'(') {
      ++depth;
    } else if (c == L')') {
      if (--depth < 0) return false;
    } else if (c == L';' || c == L'$' || c == L'\\' || c == L'?' || c == L'{' || (c == L'-' && next == L'-') ||
               (c == L'/' && next == L'*')) {
      return false;
    }
    ++i;
  }
  return depth == 0;
}

// The key's stored text is exactly the text of the GUID read from it: the
// 36 characters of the form, its digits upper-case (ReadGuidAt reads such
// text as it stands).
bool KeyTextIsExact(CQZRecordSet& set, int key_at) {
  std::string_view text;
  if (!set.GetUtf8At(key_at, &text) || text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool exact =
        i == 8 || i == 13 || i == 18 || i == 23 ? c == '-' : (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    if (!exact) return false;
  }
  return true;
}

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

}  // namespace

std::optional<int> ListTasksWithItems(CQZDatabase* database, const std::wstring& condition,
                                      std::vector<SQZGeZhuanTaskInfo>* tasks) {
  CQZRecordSet set(database);
  if (!set.MaySendFollowing() || !ConditionSelectsAlike(condition)) return std::nullopt;
  const std::wstring sql = control::WithCondition(L"select * from GeZhuanTaskInfo", condition);
  const std::wstring items_sql =
      control::WithCondition(L"select * from GeZhuanTaskItem where guidTask in (select guidTaskID from GeZhuanTaskInfo",
                             condition) +
      L") order by guidTask, nIndex";
  bool exact_keys = true;
  try {
    if (!set.OpenWithFollowing(sql, items_sql) || set.IsBOF()) {
      control::CloseQuietly(set);
      return 0;
    }
    tasks->clear();
    conversions::ColumnPositions at;
    const int key_at = set.GetColumnPosition(L"guidTaskID");
    while (!set.IsEOF()) {
      SQZGeZhuanTaskInfo task;
      ReadTaskRow(&set, &at, &task);
      exact_keys = exact_keys && KeyTextIsExact(set, key_at);
      tasks->push_back(std::move(task));
      set.MoveNext(false);
    }
  } catch (CQZDBException* e) {
    control::LogFailure(e, sql);
    control::CloseQuietly(set);
    return 0;
  }
  // The array ends at its exact size, before the items exist.
  tasks->shrink_to_fit();
  try {
    if (!exact_keys || !set.OpenFollowing()) {
      control::CloseQuietly(set);
      return ListItemsOfTasks(database, tasks) ? 1 : 0;
    }
    std::vector<TaskSlot> slots;
    slots.reserve(tasks->size());
    for (size_t t = 0; t < tasks->size(); ++t) slots.push_back(TaskSlot{(*tasks)[t].guidTaskID, t});
    SortTaskSlots(&slots);
    // The rows come grouped by task; each task's run is handed over whole.
    std::vector<SQZGeZhuanItemInfo> run;
    conversions::ColumnPositions at;
    if (!set.IsBOF()) {
      while (!set.IsEOF()) {
        SQZGeZhuanItemInfo item;
        ReadItemRow(&set, &at, &item);
        if (!run.empty() && !SameGuid(run.front().guidTask, item.guidTask)) {
          DistributeItems(&run, tasks, slots);
          run.clear();
        }
        run.push_back(std::move(item));
        set.MoveNext(false);
      }
    }
    DistributeItems(&run, tasks, slots);
    set.Close();
    return 1;
  } catch (CQZDBException* e) {
    // The one items query failed. The server may have read other tasks'
    // items for it (a join plans as it likes), so the failure need not be a
    // listed task's: the chunks, which ask for the listed tasks' items only,
    // give the answer, and log the failure where there is one.
    e->Delete();
    control::CloseQuietly(set);
    for (SQZGeZhuanTaskInfo& task : *tasks) std::vector<SQZGeZhuanItemInfo>().swap(task.arrItems);
    return ListItemsOfTasks(database, tasks) ? 1 : 0;
  }
}

}  // namespace qz::tasks
