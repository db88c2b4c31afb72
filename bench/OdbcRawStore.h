// The two operations the ODBC benchmarks time, written directly on the ODBC
// API as the baseline: every statement prepared once, values bound as
// parameters, items added as parameter arrays of 1,000 rows in one
// transaction, the listing's items read as the library reads them, 1,024
// tasks per query as the library's largest chunk, with one prepared query
// of 1,024 bound keys (a shorter last chunk repeats its last key). Each
// value is read with SQLGetData, column by column, as the library reads
// them: GUIDs and text as UTF-8 bytes decoded here.
#pragma once

#include <QZNVGeZhuanDBControl.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

namespace qz::bench {

class OdbcRawStore {
 public:
  // Connects with a connection string (ODBC wide API) and prepares the
  // statements; the tables must exist. Throws std::runtime_error, as every
  // operation does on a failure.
  explicit OdbcRawStore(const std::wstring& connection_string);
  ~OdbcRawStore();
  OdbcRawStore(const OdbcRawStore&) = delete;
  OdbcRawStore& operator=(const OdbcRawStore&) = delete;

  // AddGeZhuanItems: one transaction of parameter arrays.
  void AddItems(const std::vector<SQZGeZhuanItemInfo>& items);
  // GetGeZhuanTasksByCondition(L""): the tasks, then each task's items in
  // nIndex order.
  std::vector<SQZGeZhuanTaskInfo> ListTasks();

  // Untimed housekeeping.
  void Execute(const char* sql);

 private:
  SQLHSTMT Prepare(const std::string& sql);
  void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* doing);
  void ReadItemsOf(std::vector<SQZGeZhuanTaskInfo>* tasks, size_t first, size_t end);

  SQLHENV env_ = SQL_NULL_HANDLE;
  SQLHDBC dbc_ = SQL_NULL_HANDLE;
  SQLHSTMT insert_item_ = SQL_NULL_HANDLE;
  SQLHSTMT select_tasks_ = SQL_NULL_HANDLE;
  SQLHSTMT select_items_ = SQL_NULL_HANDLE;
  static constexpr size_t kKeysPerQuery = 1024;
  char keys_[kKeysPerQuery][37] = {};
  SQLLEN key_lengths_[kKeysPerQuery] = {};
  std::vector<SQZGeZhuanItemInfo> chunk_items_;  // one chunk's, reused
};

}  // namespace qz::bench
