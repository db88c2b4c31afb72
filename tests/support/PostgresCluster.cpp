#include "support/PostgresCluster.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/TextEncoding.h"

namespace qz::testing {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// text in single quotes for the shell.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

bool PostgresCluster::Find() {
  const std::string hosts = Environment("QZ_PG_CLUSTER_HOSTS");
  if (hosts.empty()) return false;
  hosts_ = platform::Utf8ToWide(hosts);
  database_ = platform::Utf8ToWide(Environment("QZ_PG_CLUSTER_DATABASE"));
  user_ = platform::Utf8ToWide(Environment("QZ_PG_CLUSTER_USER"));
  folder_ = Environment("QZ_PG_CLUSTER_DIR");
  script_ = Environment("QZ_PG_CLUSTER_SCRIPT");
  const std::string lock_path = folder_ + "/tests.lock";
  lock_ = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lock_ < 0 || flock(lock_, LOCK_EX) != 0) ADD_FAILURE() << "cannot lock " << lock_path;
  Run("ready");
  return true;
}

PostgresCluster::~PostgresCluster() {
  if (lock_ >= 0) close(lock_);  // closing releases the lock
}

DBsSetNode PostgresCluster::Node() const {
  DBsSetNode node;
  node.nDBType = 2;  // PostgreSQL
  node.strConnect1 = hosts_;
  node.strConnect2 = database_;
  node.strConnect3 = user_;
  return node;
}

bool PostgresCluster::Execute(const std::wstring& sql) const {
  try {
    CQZDatabase database;
    database.Connect(QZDB_POSTGRESQL, hosts_, database_, user_, L"");
    CQZRecordSet set(&database);
    if (set.Open(sql, ROWOPERATION_WRITE)) return true;
    ADD_FAILURE() << "refused: " << platform::WideToUtf8(sql);
  } catch (CQZDBException* e) {
    ADD_FAILURE() << platform::WideToUtf8(e->GetErrorMessage()) << " in " << platform::WideToUtf8(sql);
    e->Delete();
  }
  return false;
}

std::wstring PostgresCluster::QueryText(const std::wstring& sql) const {
  CQZDBVariant value;
  try {
    CQZDatabase database;
    database.Connect(QZDB_POSTGRESQL, hosts_, database_, user_, L"");
    CQZRecordSet set(&database);
    if (set.Open(sql, ROWOPERATION_READONLY) && !set.IsEOF()) set.GetValueInColumn(L"v", value);
  } catch (CQZDBException* e) {
    e->Delete();
  }
  return value.GetTextRef();
}

bool PostgresCluster::Run(const std::string& command) const {
  const std::string line = ShellQuoted(script_) + " " + command + " " + ShellQuoted(folder_);
  const int status = std::system(line.c_str());
  if (status != 0) ADD_FAILURE() << "the cluster command failed (" << status << "): " << line;
  return status == 0;
}

}  // namespace qz::testing
