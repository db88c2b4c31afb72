// The primary and synchronous standby a failover test run uses, as
// scripts/postgres-failover-cluster.sh describes them in QZ_PG_CLUSTER_HOSTS,
// QZ_PG_CLUSTER_DATABASE, QZ_PG_CLUSTER_USER, QZ_PG_CLUSTER_DIR and
// QZ_PG_CLUSTER_SCRIPT, and the script's commands that switch them over.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <string>

namespace qz::testing {

class PostgresCluster {
 public:
  PostgresCluster() = default;
  ~PostgresCluster();
  PostgresCluster(const PostgresCluster&) = delete;
  PostgresCluster& operator=(const PostgresCluster&) = delete;

  // False when QZ_PG_CLUSTER_HOSTS is unset: no cluster for this run.
  // Otherwise holds the cluster for this test until destroyed (tests that
  // switch it over run one at a time, whatever CTest runs in parallel) and
  // makes sure it has a primary and a synchronous standby.
  bool Find();

  // A setting naming both servers, for the library to choose between.
  DBsSetNode Node() const;

  // Runs one statement on the primary through the access component; false,
  // with a test failure, when it fails.
  bool Execute(const std::wstring& sql) const;

  // The text of column v of the first row of sql on the primary; empty when
  // there is no row or the query fails.
  std::wstring QueryText(const std::wstring& sql) const;

  // Runs one command of the script ("failover", "stop-primary", "promote",
  // "fence", "rejoin", "ready", "hold-replication", "release-replication"); false, with a test failure, when it fails.
  bool Run(const std::string& command) const;

 private:
  std::wstring hosts_;
  std::wstring database_;
  std::wstring user_;
  std::string folder_;
  std::string script_;
  int lock_ = -1;
};

// Skips the current test when there is no cluster for this run.
#define QZ_SKIP_WITHOUT_CLUSTER(cluster)                                                                      \
  do {                                                                                                        \
    if (!(cluster).Find())                                                                                    \
      GTEST_SKIP() << "QZ_PG_CLUSTER_HOSTS is not set: run under scripts/postgres-failover-cluster.sh start " \
                      "(scripts/test.sh does)";                                                               \
  } while (false)

}  // namespace qz::testing
