#include "control/Schema.h"

#include <sstream>

#include "platform/TextEncoding.h"

namespace qz::control {

std::vector<std::wstring> SplitSchema(const char* text) {
  std::vector<std::wstring> statements;
  std::istringstream lines(text);
  std::string line, current;
  while (std::getline(lines, line)) {
    size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line.compare(start, 2, "--") == 0) continue;
    size_t end = line.find_last_not_of(" \t\r");
    current += line.substr(0, end + 1);
    if (line[end] == ';') {
      current.pop_back();
      statements.push_back(platform::Utf8ToWide(current));
      current.clear();
    } else {
      current += '\n';
    }
  }
  return statements;
}

void CreateTables(CQZDatabase& database, DATABASETYPE type) {
  const char* schema = type == QZDB_POSTGRESQL ? kPostgresqlSchema : kSqliteSchema;
  database.BeginTrans();
  try {
    for (const std::wstring& statement : SplitSchema(schema)) {
      CQZRecordSet set(&database);
      if (!set.Open(statement, ROWOPERATION_WRITE)) CQZDBException::Raise(L"the connection is not usable", "", 0);
      set.Close();
    }
    database.CommitTrans();
  } catch (CQZDBException*) {
    try {
      database.Rollback();
    } catch (CQZDBException* e) {
      e->Delete();
    }
    throw;
  }
}

}  // namespace qz::control
