#include "SqliteRawStore.h"

#include <stdexcept>

#include "BenchSupport.h"
#include "RawConversions.h"

namespace qz::bench {

namespace {

// Binds a record's fields to ?1, ?2, ... in visiting order; text from the
// store's buffers, which outlive the step.
struct Binder {
  sqlite3_stmt* statement;
  std::string* buffers;
  int index = 0;

  void Bytes(const std::string& text) {
    ++index;
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }
  void Guid(const GUID& guid) {
    std::string& buffer = buffers[index];
    buffer.clear();
    raw::AppendGuid(guid, &buffer);
    Bytes(buffer);
  }
  void Text(const std::wstring& text) {
    std::string& buffer = buffers[index];
    buffer.clear();
    raw::AppendUtf8(text, &buffer);
    Bytes(buffer);
  }
  void Time(const SQZDateTime& time) {
    std::string& buffer = buffers[index];
    buffer.resize(19);
    if (raw::TimestampText(time, buffer.data()))
      Bytes(buffer);
    else
      sqlite3_bind_null(statement, ++index);
  }
  void Int(int32_t value) { sqlite3_bind_int(statement, ++index, value); }
  void UInt(uint32_t value) { sqlite3_bind_int(statement, ++index, static_cast<int32_t>(value)); }
};

// Reads columns 0, 1, ... of the current row into a record's fields.
struct Reader {
  sqlite3_stmt* statement;
  int column = 0;

  const char* Bytes(size_t* size) {
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    *size = static_cast<size_t>(sqlite3_column_bytes(statement, column));
    ++column;
    return text;
  }
  void Guid(GUID& guid) {
    size_t size;
    const char* text = Bytes(&size);
    guid = raw::GuidOf(text ? text : "", size);
  }
  void Text(std::wstring& text) {
    size_t size;
    const char* bytes = Bytes(&size);
    raw::Utf8ToWide(bytes, size, &text);
  }
  void Time(SQZDateTime& time) {
    size_t size;
    const char* text = Bytes(&size);
    raw::ParseTimestamp(text, size, &time);
  }
  void Int(int32_t& value) { value = sqlite3_column_int(statement, column++); }
  void UInt(uint32_t& value) { value = static_cast<uint32_t>(sqlite3_column_int(statement, column++)); }
};

const std::string kSelectTasks = std::string("select ") + kTaskColumns + " from GeZhuanTaskInfo";
const std::string kSelectItems =
    std::string("select ") + kItemColumns + " from GeZhuanTaskItem where guidTask = ?1 order by nIndex";

}  // namespace

SqliteRawStore::SqliteRawStore(const std::string& path) : db_(OpenRawSqlite(path)) {
  begin_ = Prepare("BEGIN IMMEDIATE");
  commit_ = Prepare("COMMIT");
  insert_task_ = Prepare(std::string("insert into GeZhuanTaskInfo (") + kTaskColumns +
                         ") values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
  insert_item_ = Prepare(std::string("insert into GeZhuanTaskItem (") + kItemColumns + ") values (?,?,?,?,?,?,?,?)");
  select_tasks_ = Prepare(kSelectTasks);
  select_task_ = Prepare(kSelectTasks + " where guidTaskID = ?1");
  select_items_ = Prepare(kSelectItems);
  update_task_ = Prepare("update GeZhuanTaskInfo set " + TaskAssignments('?', 1) + " where guidTaskID = ?30");
  delete_task_ = Prepare("delete from GeZhuanTaskInfo where guidTaskID = ?1");
  delete_items_ = Prepare("delete from GeZhuanTaskItem where guidTask = ?1");
}

SqliteRawStore::~SqliteRawStore() {
  for (sqlite3_stmt* s : {begin_, commit_, insert_task_, insert_item_, select_tasks_, select_task_, select_items_,
                          update_task_, delete_task_, delete_items_})
    sqlite3_finalize(s);
  sqlite3_close(db_);
}

sqlite3_stmt* SqliteRawStore::Prepare(const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK)
    throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in " + sql);
  return statement;
}

// Steps a statement that returns no rows and resets it.
void SqliteRawStore::Run(sqlite3_stmt* statement) {
  const int status = sqlite3_step(statement);
  sqlite3_reset(statement);
  if (status != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
}

void SqliteRawStore::Execute(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
    throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in " + sql);
}

void SqliteRawStore::BindKey(sqlite3_stmt* statement, int index, const GUID& id) {
  raw::GuidText(id, key_);
  sqlite3_bind_text(statement, index, key_, 36, SQLITE_STATIC);
}

void SqliteRawStore::AddTasks(const std::vector<SQZGeZhuanTaskInfo>& tasks) {
  Run(begin_);
  try {
    for (const SQZGeZhuanTaskInfo& task : tasks) {
      Binder binder{insert_task_, buffers_};
      VisitTaskFields(task, binder);
      Run(insert_task_);
    }
    for (const SQZGeZhuanTaskInfo& task : tasks) {
      for (const SQZGeZhuanItemInfo& item : task.arrItems) {
        Binder binder{insert_item_, buffers_};
        VisitItemFields(item, binder);
        Run(insert_item_);
      }
    }
  } catch (...) {
    Execute("ROLLBACK");
    throw;
  }
  Run(commit_);
}

void SqliteRawStore::AddItems(const std::vector<SQZGeZhuanItemInfo>& items) {
  Run(begin_);
  try {
    for (const SQZGeZhuanItemInfo& item : items) {
      Binder binder{insert_item_, buffers_};
      VisitItemFields(item, binder);
      Run(insert_item_);
    }
  } catch (...) {
    Execute("ROLLBACK");
    throw;
  }
  Run(commit_);
}

// The items are gathered in a reused scratch array and then copied into
// the task's array at its exact size.
void SqliteRawStore::ReadItemsOf(const GUID& id, std::vector<SQZGeZhuanItemInfo>* items) {
  BindKey(select_items_, 1, id);
  scratch_items_.clear();
  while (sqlite3_step(select_items_) == SQLITE_ROW) {
    scratch_items_.emplace_back();
    Reader reader{select_items_};
    VisitItemFields(scratch_items_.back(), reader);
  }
  sqlite3_reset(select_items_);
  items->assign(std::make_move_iterator(scratch_items_.begin()), std::make_move_iterator(scratch_items_.end()));
}

std::vector<SQZGeZhuanTaskInfo> SqliteRawStore::ListTasks() {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  while (sqlite3_step(select_tasks_) == SQLITE_ROW) {
    tasks.emplace_back();
    Reader reader{select_tasks_};
    VisitTaskFields(tasks.back(), reader);
  }
  sqlite3_reset(select_tasks_);
  for (SQZGeZhuanTaskInfo& task : tasks) ReadItemsOf(task.guidTaskID, &task.arrItems);
  return tasks;
}

bool SqliteRawStore::ReadTask(const GUID& id, SQZGeZhuanTaskInfo* task) {
  BindKey(select_task_, 1, id);
  const bool found = sqlite3_step(select_task_) == SQLITE_ROW;
  if (found) {
    Reader reader{select_task_};
    VisitTaskFields(*task, reader);
  }
  sqlite3_reset(select_task_);
  if (found) ReadItemsOf(id, &task->arrItems);
  return found;
}

bool SqliteRawStore::ModifyTaskOnly(const SQZGeZhuanTaskInfo& task) {
  Binder binder{update_task_, buffers_};
  VisitTaskFieldsAfterKey(task, binder);
  BindKey(update_task_, 30, task.guidTaskID);
  Run(update_task_);
  return sqlite3_changes(db_) > 0;
}

void SqliteRawStore::DeleteTask(const GUID& id) {
  Run(begin_);
  BindKey(delete_task_, 1, id);
  BindKey(delete_items_, 1, id);
  try {
    Run(delete_task_);
    Run(delete_items_);
  } catch (...) {
    Execute("ROLLBACK");
    throw;
  }
  Run(commit_);
}

}  // namespace qz::bench
