// The behaviour-test engines reached through ODBC (support/EngineDatabase.h):
// PostgreSQL through psqlODBC, MariaDB through MariaDB Connector/ODBC, and
// SQLite through the SQLite ODBC driver, each a source that
// scripts/odbc-test-sources.sh set up.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/EngineDatabase.h"

namespace qz::testing {

// "OdbcPostgreSQL" (with the PostgreSQL build), "OdbcMariaDB", "OdbcSQLite".
std::vector<std::string> OdbcEngineNames();

// Why engine cannot be used in this run; empty when it can.
std::string OdbcEngineUnavailable(const std::string& engine);

// A fresh database on engine, or null with a test failure.
std::unique_ptr<EngineDatabase> MakeOdbcEngineDatabase(const std::string& engine, bool with_tables);

}  // namespace qz::testing
