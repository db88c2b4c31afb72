// A fresh, empty database holding the four tables on one engine, for the
// behaviour tests that must hold on every engine the library supports. The
// few things those tests need that each engine spells its own way (making
// the database itself refuse a row or fail a read, reading a stored value
// back) live here, so that a test is written once and runs on each engine
// named by EngineNames().
//
// SQLite is always there: a file in a temporary folder. PostgreSQL is there
// when QZ_PG_HOST names the test server (scripts/postgres-test-server.sh);
// its tables are dropped and created again for each database, and the
// server is held (ServerLock) while the object lives, so at most one such
// object may exist at a time in a process. The ODBC engines are there when
// QZ_ODBC_DIR names the sources (scripts/odbc-test-sources.sh); the server
// ones are held the same way.
#pragma once

#include <QZNVGeZhuanDBControl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qz::testing {

class EngineDatabase {
 public:
  virtual ~EngineDatabase() = default;
  EngineDatabase(const EngineDatabase&) = delete;
  EngineDatabase& operator=(const EngineDatabase&) = delete;

  // "SQLite", "PostgreSQL", or one reached through ODBC ("OdbcPostgreSQL",
  // "OdbcMariaDB", "OdbcSQLite"; support/OdbcEngineDatabase.h).
  const std::string& Engine() const { return engine_; }

  // A setting that opens the database (its kind code and connection texts).
  virtual DBsSetNode Node() const = 0;

  // Runs one statement on a connection of the engine's own kind; fails the
  // test on error and returns false.
  bool Execute(const std::wstring& sql) const;

  // The database aborts any insert (update) into table whose new row holds
  // marked in column, and any delete of a row that holds it, with an error
  // whose message contains "rejected " followed by marked.
  virtual void RejectInsert(const std::wstring& table, const std::wstring& column,
                            const std::wstring& marked) const = 0;
  virtual void RejectUpdate(const std::wstring& table, const std::wstring& column,
                            const std::wstring& marked) const = 0;
  virtual void RejectDelete(const std::wstring& table, const std::wstring& column,
                            const std::wstring& marked) const = 0;

  // The database silently skips any update of table whose new row holds
  // marked in column: the statement succeeds and changes no row, as when
  // the row was deleted after it was read.
  virtual void SkipUpdate(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const = 0;

  // From now on the database fails every read of the item rows of task
  // (the statement is accepted; reaching such a row fails). Items can no
  // longer be added afterwards.
  virtual void FailItemReadsOf(const GUID& task) const = 0;

  // Lets column of table hold any text, however long. (SQLite columns do
  // already; a typed engine widens the column.)
  virtual void AcceptAnyText(const std::wstring& table, const std::wstring& column) const = 0;

  // A literal that a date-time column of this engine takes but that is no
  // date-time the library can hold.
  virtual std::wstring UnrepresentableDateTime() const = 0;

  // Connects database to this database as the library opens a setting:
  // by Node()'s kind code and connection texts. Throws CQZDBException.
  void ConnectBySetting(CQZDatabase* database) const;

  // Column v of the first row of sql, on a connection of its own.
  std::wstring QueryText(const std::wstring& sql) const;
  int32_t QueryInteger(const std::wstring& sql) const;
  bool QueryIsNull(const std::wstring& sql) const;

 protected:
  explicit EngineDatabase(std::string engine) : engine_(std::move(engine)) {}

  // Connects database to this database, with the engine's own kind and
  // connection texts. Throws CQZDBException.
  virtual void ConnectTo(CQZDatabase* database) const = 0;
  // Ends the kept connection; a derived destructor calls it before the
  // database goes away.
  void Disconnect() const { connection_.Close(); }

 private:
  CQZDBVariant Query(const std::wstring& sql) const;

  std::string engine_;
  // Kept open between statements (connecting is what costs on a server).
  mutable CQZDatabase connection_;
};

// The engines the behaviour tests run on: "SQLite"; "PostgreSQL" when the
// library is built with it; and, when it is built with ODBC, those reached
// through ODBC: "OdbcMariaDB", "OdbcSQLite", and "OdbcPostgreSQL" when the
// PostgreSQL driver is built too. The list does not depend on the
// environment, so that CTest lists the same tests however the program was
// built; a test on an engine that cannot be reached in this run skips
// (EngineUnavailable).
std::vector<std::string> EngineNames();

// Why engine cannot be used in this run (PostgreSQL without QZ_PG_HOST, an
// ODBC engine without QZ_ODBC_DIR); empty when it can.
std::string EngineUnavailable(const std::string& engine);

// Skips the current test when its engine cannot be reached in this run.
#define QZ_SKIP_WITHOUT_ENGINE(engine)                                           \
  do {                                                                           \
    const std::string qz_unavailable = ::qz::testing::EngineUnavailable(engine); \
    if (!qz_unavailable.empty()) GTEST_SKIP() << qz_unavailable;                 \
  } while (false)

// A fresh database on engine (one of EngineNames()); with_tables false
// leaves it without the four tables. Null, with a test failure, when the
// engine is unknown or cannot be reached.
std::unique_ptr<EngineDatabase> MakeEngineDatabase(const std::string& engine, bool with_tables = true);

// Names a parameterised test instance after its engine.
struct EngineName {
  std::string operator()(const ::testing::TestParamInfo<std::string>& info) const { return info.param; }
};

// Runs the TEST_Ps of suite (a TestWithParam<std::string> that takes the
// engine's name) once per engine, as Engines/suite.Test/Engine.
#define QZ_INSTANTIATE_ON_EVERY_ENGINE(suite)                                                 \
  INSTANTIATE_TEST_SUITE_P(Engines, suite, ::testing::ValuesIn(::qz::testing::EngineNames()), \
                           ::qz::testing::EngineName())

}  // namespace qz::testing
