// The task store's operations written directly on the SQLite C API, as the
// baseline the library is measured against: every statement prepared once
// per connection and reused with bound parameters, values bound from reused
// buffers, columns read by position straight into the records, and no
// transaction or savepoint the work does not need.
#pragma once

#include <QZNVGeZhuanDBControl.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "TaskColumns.h"

namespace qz::bench {

class SqliteRawStore {
 public:
  // Opens the database file with the driver's settings and prepares every
  // statement; the tables must exist. Throws std::runtime_error.
  explicit SqliteRawStore(const std::string& path);
  ~SqliteRawStore();
  SqliteRawStore(const SqliteRawStore&) = delete;
  SqliteRawStore& operator=(const SqliteRawStore&) = delete;

  // AddGeZhuanTasks: the task rows and their items in one transaction.
  void AddTasks(const std::vector<SQZGeZhuanTaskInfo>& tasks);
  // AddGeZhuanItems: the rows in one transaction.
  void AddItems(const std::vector<SQZGeZhuanItemInfo>& items);
  // GetGeZhuanTasksByCondition(L""): every task, each with its items in
  // nIndex order.
  std::vector<SQZGeZhuanTaskInfo> ListTasks();
  // One task by key with its items; false when no row holds it.
  bool ReadTask(const GUID& id, SQZGeZhuanTaskInfo* task);
  // ModifyGeZhuanTaskOnly: false when no row holds the key.
  bool ModifyTaskOnly(const SQZGeZhuanTaskInfo& task);
  // DeleteGeZhuanTask: the row and its items in one transaction.
  void DeleteTask(const GUID& id);

  // Untimed housekeeping.
  void Execute(const char* sql);

 private:
  sqlite3_stmt* Prepare(const std::string& sql);
  void Run(sqlite3_stmt* statement);
  void BindKey(sqlite3_stmt* statement, int index, const GUID& id);
  void ReadItemsOf(const GUID& id, std::vector<SQZGeZhuanItemInfo>* items);

  sqlite3* db_ = nullptr;
  sqlite3_stmt* begin_ = nullptr;
  sqlite3_stmt* commit_ = nullptr;
  sqlite3_stmt* insert_task_ = nullptr;
  sqlite3_stmt* insert_item_ = nullptr;
  sqlite3_stmt* select_tasks_ = nullptr;
  sqlite3_stmt* select_task_ = nullptr;
  sqlite3_stmt* select_items_ = nullptr;
  sqlite3_stmt* update_task_ = nullptr;
  sqlite3_stmt* delete_task_ = nullptr;
  sqlite3_stmt* delete_items_ = nullptr;
  // One buffer per bound text parameter, kept between rows so that binding
  // allocates nothing once they have grown.
  std::string buffers_[kTaskColumnCount];
  char key_[36];
  std::vector<SQZGeZhuanItemInfo> scratch_items_;
};

}  // namespace qz::bench
