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

const char* SchemaFor(const CQZDatabase& database, DATABASETYPE type) {
  if (type == QZDB_POSTGRESQL) return kPostgresqlSchema;
  if (type != QZDB_ODBC) return kSqliteSchema;
  const std::wstring product = database.GetDBMSName();
  std::wstring lower = product;
  for (wchar_t& c : lower)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  if (lower.find(L"postgres") != std::wstring::npos) return kPostgresqlSchema;
  if (lower.find(L"mariadb") != std::wstring::npos || lower.find(L"mysql") != std::wstring::npos) return kMariadbSchema;
  if (lower.find(L"sqlite") != std::wstring::npos) return kSqliteSchema;
  CQZDBException::Raise(L"there is no schema for the database product \"" + product + L"\"", "", 0);
}

void CreateTables(CQZDatabase& database, DATABASETYPE type) {
  const char* schema = SchemaFor(database, type);
  if (!database.BeginTrans()) CQZDBException::Raise(L"the connection is not usable", "", 0);
  try {
    for (const std::wstring& statement : SplitSchema(schema)) {
      CQZRecordSet set(&database);
      if (!set.Open(statement, ROWOPERATION_WRITE)) CQZDBException::Raise(L"the connection is not usable", "", 0);
      set.Close();
    }
    if (!database.CommitTrans()) CQZDBException::Raise(L"the connection is not usable", "", 0);
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
