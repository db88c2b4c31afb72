// The tables of a new database, per engine, and the code that creates them.
#pragma once

#include <QZDatabaseAccess.h>

#include <string>
#include <vector>

namespace qz::control {

// The texts of schema/sqlite.sql, schema/postgresql.sql and
// schema/mariadb.sql, built in.
extern const char* const kSqliteSchema;
extern const char* const kPostgresqlSchema;
extern const char* const kMariadbSchema;

// A schema file cut into its statements: each ends with ';' at the end of a
// line; comment lines ("--") and blank lines are dropped.
std::vector<std::wstring> SplitSchema(const char* text);

// The schema for a connection of type: over ODBC the one for the database
// product the connection reports. Throws CQZDBException for a product
// without a schema.
const char* SchemaFor(const CQZDatabase& database, DATABASETYPE type);

// Creates the tables the engine of type needs on database, in one
// transaction. Throws CQZDBException.
void CreateTables(CQZDatabase& database, DATABASETYPE type);

}  // namespace qz::control
