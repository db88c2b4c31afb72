// Changes to tasks and items that never undo another operator's change.
//
// A command reads its tasks first (to resolve GUID starts and to check its
// input), but what it writes back is not that copy: each change runs in one
// transaction of its own that holds the rows it rewrites, reads them there
// afresh, applies only the fields the command names and writes them back.
// A field that another program changed in the meantime keeps its new value,
// and a program that wants the same row waits until the transaction ends.
// Many tasks change in one transaction: all of them or none.
#include <QZDatabaseAccess.h>

#include "cli/commands/TaskCommands.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "common/GuidText.h"

namespace gezhuan {

using qz::common::GuidToText;
using qz::common::GuidToUtf8;

namespace {

// What makes a select hold the rows it reads until the transaction ends. A
// SQLite transaction begun as a writer holds the whole database already;
// the servers lock rows.
std::wstring LockClause(CQZDatabase& database, DATABASETYPE type) {
  if (type == QZDB_SQLITE) return L"";
  if (type == QZDB_ODBC && database.GetDBMSName().find(L"SQLite") != std::wstring::npos) return L"";
  return L" for update";
}

// Reads the one row sql selects, holding it; change sets fields of the
// record read, and the row is written back. False when there is no row.
template <class Record>
bool RewriteRow(CQZDatabase& database, DATABASETYPE type, const std::wstring& sql, const wchar_t* table,
                CQZNVGeZhuanDBControl& control, void (CQZNVGeZhuanDBControl::*read)(Record*, CQZRecordSet*),
                void (CQZNVGeZhuanDBControl::*write)(const Record*, CQZRecordSet*),
                const std::function<void(Record&)>& change) {
  CQZRecordSet set(&database);
  if (!set.Open(sql + LockClause(database, type), ROWOPERATION_WRITE) || set.IsEOF()) return false;
  Record row;
  (control.*read)(&row, &set);
  change(row);
  set.Edit(table);
  (control.*write)(&row, &set);
  set.Update();
  set.Close();
  return true;
}

std::wstring TaskKey(const GUID& task) { return L"'" + GuidToText(task) + L"'"; }

// Replaces the task's items by items (their guidTask as given).
void ReplaceItems(CQZNVGeZhuanDBControl& control, CQZDatabase& database, const GUID& task,
                  const std::vector<SQZGeZhuanItemInfo>& items) {
  CQZRecordSet removal(&database);
  removal.Open(L"delete from GeZhuanTaskItem where guidTask = " + TaskKey(task), ROWOPERATION_WRITE);
  removal.Close();
  if (items.empty()) return;
  // Opened only to add rows: the table is not read.
  CQZRecordSet set(&database);
  set.Open(L"select * from GeZhuanTaskItem", ROWOPERATION_WRITE);
  for (const SQZGeZhuanItemInfo& item : items) {
    set.AddNew(L"GeZhuanTaskItem");
    control.SetGeZhuanItemContent(&item, &set);
    set.Update();
  }
  set.Close();
}

}  // namespace

void ChangeTasks(Session& session, const std::vector<GUID>& tasks, const TaskChange& change, const std::string& what,
                 const std::vector<SQZGeZhuanItemInfo>* items) {
  CQZNVGeZhuanDBControl& control = session.Control();
  session.InOneTransaction(what, [&](CQZDatabase& database, DATABASETYPE type) {
    for (const GUID& guid : tasks) {
      if (!RewriteRow(database, type, L"select * from GeZhuanTaskInfo where guidTaskID = " + TaskKey(guid),
                      L"GeZhuanTaskInfo", control, &CQZNVGeZhuanDBControl::GetGeZhuanTaskContent,
                      &CQZNVGeZhuanDBControl::SetGeZhuanTaskContent, change))
        Fail(what + ": task " + GuidToUtf8(guid) + " is no longer in the database");
      if (items) ReplaceItems(control, database, guid, *items);
    }
  });
}

void DeleteTasks(Session& session, const std::vector<GUID>& tasks, const std::string& what) {
  session.InOneTransaction(what, [&](CQZDatabase& database, DATABASETYPE) {
    for (const GUID& guid : tasks) {
      for (const wchar_t* sql :
           {L"delete from GeZhuanTaskItem where guidTask = ", L"delete from GeZhuanTaskInfo where guidTaskID = "}) {
        CQZRecordSet set(&database);
        set.Open(sql + TaskKey(guid), ROWOPERATION_WRITE);
        set.Close();
      }
    }
  });
}

void ChangeItem(Session& session, const GUID& task, const GUID& item, const ItemChange& change,
                const std::string& what) {
  CQZNVGeZhuanDBControl& control = session.Control();
  session.InOneTransaction(what, [&](CQZDatabase& database, DATABASETYPE type) {
    const std::wstring sql = L"select * from GeZhuanTaskItem where guidTask = " + TaskKey(task) + L" and guidItem = '" +
                             GuidToText(item) + L"'";
    if (!RewriteRow(database, type, sql, L"GeZhuanTaskItem", control, &CQZNVGeZhuanDBControl::GetGeZhuanItemContent,
                    &CQZNVGeZhuanDBControl::SetGeZhuanItemContent, change))
      Fail(what + ": item " + GuidToUtf8(item) + " is no longer in the database");
  });
}

}  // namespace gezhuan
