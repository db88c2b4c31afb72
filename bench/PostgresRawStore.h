// The task store's operations written directly on libpq, as the baseline
// the library is measured against: every statement prepared once per
// connection and run with bound parameters, additions as one transaction
// with one COPY per table, the listing read through two cursors in one
// snapshot (the tasks, then all their items in task order) a chunk per
// FETCH with one FETCH ahead, one round trip for each call by key.
#pragma once

#include <QZNVGeZhuanDBControl.h>
#include <libpq-fe.h>

#include <string>
#include <vector>

namespace qz::bench {

// The test server's address from the environment (QZ_PG_HOST, QZ_PG_USER,
// QZ_PG_PASSWORD) with another database; empty host when none is set.
struct PostgresServer {
  std::string host, port, database, user, password;
  static PostgresServer FromEnvironment();
  PostgresServer WithDatabase(const std::string& name) const;
  // The node the library opens for this database.
  DBsSetNode Node() const;
  // A connection with the driver's settings (UTF-8, ISO dates); throws.
  PGconn* Connect() const;
};

class PostgresRawStore {
 public:
  // Connects and prepares every statement; the tables must exist. Throws
  // std::runtime_error, as every operation does on a failure.
  explicit PostgresRawStore(const PostgresServer& server);
  ~PostgresRawStore();
  PostgresRawStore(const PostgresRawStore&) = delete;
  PostgresRawStore& operator=(const PostgresRawStore&) = delete;

  // AddGeZhuanTasks: one transaction, one COPY of the task rows and one of
  // all their items.
  void AddTasks(const std::vector<SQZGeZhuanTaskInfo>& tasks);
  // AddGeZhuanItems: one COPY.
  void AddItems(const std::vector<SQZGeZhuanItemInfo>& items);
  // GetGeZhuanTasksByCondition(L""): the tasks, then their items by one
  // query, each task's in nIndex order, read in whole chunks through
  // cursors in one REPEATABLE READ transaction, pipelined.
  std::vector<SQZGeZhuanTaskInfo> ListTasks();
  // One task by key with its items: both queries in one pipeline, one
  // round trip. False when no row holds the key.
  bool ReadTask(const GUID& id, SQZGeZhuanTaskInfo* task);
  // ModifyGeZhuanTaskOnly: one UPDATE; false when no row holds the key.
  bool ModifyTaskOnly(const SQZGeZhuanTaskInfo& task);
  // DeleteGeZhuanTask: the row and its items in one statement.
  void DeleteTask(const GUID& id);

  // Untimed housekeeping.
  void Execute(const char* sql);
  long Count(const char* sql);

 private:
  void Prepare(const char* name, const std::string& sql);
  PGresult* RunPrepared(const char* name, int count, const char* const* values, ExecStatusType expected);
  // One COPY FROM STDIN: begun, rows appended to rows_ and sent piece by
  // piece, ended.
  void BeginCopy(const std::string& copy);
  void SendRows(bool last);
  void EndCopy();
  void CopyItems(const std::vector<SQZGeZhuanItemInfo>& items);

  PGconn* conn_ = nullptr;
  std::string rows_, field_;
  char key_[37];
};

}  // namespace qz::bench
