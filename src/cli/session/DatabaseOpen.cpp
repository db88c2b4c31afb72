#include "cli/session/DatabaseOpen.h"

#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <iostream>
#include <utility>

#include "cli/session/DataFolder.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/FilePath.h"
#include "cli/session/HostBridge.h"
#include "cli/terminal/Text.h"
#include "common/KindCode.h"
#include "common/WithDatabase.h"

namespace gezhuan {

namespace fs = std::filesystem;

namespace {

const wchar_t kOwnSetting[] = L"QZNVCENTERDBSetting";

using qz::common::DatabaseTypeOfKind;

// Runs body on a connection of its own to node's database; a failure
// becomes one in the database's words.
template <class Body>
auto WithConnection(const DBsSetNode& node, const std::string& what, Body body) {
  decltype(body(std::declval<CQZDatabase&>())) result{};
  std::wstring error;
  if (!qz::common::WithDatabase(node, &error, [&](CQZDatabase& database, DATABASETYPE) { result = body(database); }))
    Fail(what + ": " + ToUtf8(error));
  return result;
}

}  // namespace

namespace {
fs::path DefaultDatabaseIn(const fs::path& folder) { return folder / "qz" / "gezhuan.db"; }
}  // namespace

fs::path DefaultDatabasePath() { return DefaultDatabaseIn(UserDataFolder()); }

std::string DefaultDatabaseInWords() { return Utf8OfPath(DefaultDatabaseIn(UserDataFolderInWords())); }

DBsSetNode EmbeddedNode(const fs::path& path) {
  const fs::path absolute = fs::absolute(path).lexically_normal();
  DBsSetNode node;
  node.nDBType = 0;
  node.strConnect1 = TextOfPath(absolute.parent_path());
  node.strConnect2 = TextOfPath(absolute.filename());
  return node;
}

bool IsEmbedded(const DBsSetNode& node) { return DatabaseTypeOfKind(node.nDBType) == QZDB_SQLITE; }

fs::path EmbeddedPath(const DBsSetNode& node) {
  const fs::path file = PathFromText(node.strConnect2);
  if (file.is_absolute() || node.strConnect2 == L":memory:") return file;
  return PathFromText(node.strConnect1) / file;
}

std::wstring WithoutPassword(const std::wstring& where) {
  if (where.find(L'=') == std::wstring::npos) return where;
  std::wstring kept;
  size_t i = 0;
  while (i < where.size()) {
    // One attribute: up to a ';' outside braces ("PWD={a;b}}c}").
    size_t end = i;
    bool braced = false;
    for (; end < where.size(); ++end) {
      const wchar_t c = where[end];
      if (braced && c == L'}' && end + 1 < where.size() && where[end + 1] == L'}') {
        ++end;
      } else if (c == L'{' && end > i && where[end - 1] == L'=') {
        braced = true;
      } else if (c == L'}') {
        braced = false;
      } else if (c == L';' && !braced) {
        break;
      }
    }
    const std::wstring attribute = where.substr(i, end - i);
    std::wstring key = attribute.substr(0, attribute.find(L'='));
    for (wchar_t& c : key) c = static_cast<wchar_t>(std::towupper(c));
    key = FromUtf8(TrimAscii(ToUtf8(key)));
    if (key != L"PWD" && key != L"PASSWORD" && !attribute.empty()) kept += (kept.empty() ? L"" : L";") + attribute;
    i = end + 1;
  }
  return kept;
}

bool IsComplete(const DBsSetNode& node) { return !node.strConnect1.empty() && !node.strConnect2.empty(); }

std::string DescribeNode(const DBsSetNode& node) {
  // The texts come from a file anybody may have edited: shown escaped.
  auto shown = [](const std::wstring& text) { return ToUtf8(EscapeControls(text)); };
  switch (DatabaseTypeOfKind(node.nDBType)) {
    case QZDB_SQLITE:
      return "sqlite " + shown(TextOfPath(EmbeddedPath(node)));
    case QZDB_POSTGRESQL: {
      std::string text = "postgresql " + shown(node.strConnect2) + " on " + shown(node.strConnect1);
      if (!node.strConnect3.empty()) text += " as " + shown(node.strConnect3);
      return text;
    }
    case QZDB_ODBC: {
      std::string text = "odbc " + shown(WithoutPassword(node.strConnect1));
      if (!node.strConnect2.empty()) text += " " + shown(node.strConnect2);
      if (!node.strConnect3.empty()) text += " as " + shown(node.strConnect3);
      return text;
    }
    default:
      return "unsupported kind " + std::to_string(node.nDBType);
  }
}

void RequireTrustedSettingsStore() {
  std::string problem;
  if (!host::SettingsStoreIsTrusted(&problem))
    Fail(problem + "; mend the file, or name the database with --database (nothing was done)");
}

std::vector<DBsSetNode> ReadAllSettings() {
  RequireTrustedSettingsStore();
  CQZNVGeZhuanDBControl control;
  std::vector<DBsSetNode> settings;
  control.GetQZNVGeZhuanALLDBSettings(settings, 0, 0);
  return settings;
}

ChosenDatabase ChooseDatabase(const GlobalOptions& options) {
  ChosenDatabase chosen;
  if (!options.database.empty()) {
    chosen.node = EmbeddedNode(PathFromUtf8(options.database));
    chosen.origin = "--database";
    return chosen;
  }
  // A store named on purpose that is not there is a mistake, not an empty
  // store: carrying on would open the default database instead.
  const char* named = std::getenv("QZ_DB_SETTINGS");
  if (named && *named && !host::SettingsFileExists())
    Fail("QZ_DB_SETTINGS names " + std::string(named) +
         ", which does not exist; create it with `gezhuan settings edit`, or name the database with --database");
  const std::wstring wanted = options.setting.empty() ? kOwnSetting : FromUtf8(options.setting);
  for (const DBsSetNode& node : ReadAllSettings()) {
    if (node.strSettingName != wanted) continue;
    if (IsComplete(node)) {
      chosen.node = node;
      chosen.origin = "setting " + ToUtf8(wanted);
      return chosen;
    }
    if (!options.setting.empty())
      Fail("setting " + options.setting + " is incomplete: fill it in with `gezhuan settings edit`");
  }
  if (!options.setting.empty()) UsageError("no setting named " + options.setting + " (see `gezhuan settings`)");
  chosen.node = EmbeddedNode(DefaultDatabasePath());
  chosen.origin = "default";
  return chosen;
}

Session::Session(const GlobalOptions& options, bool create)
    : m_chosen(ChooseDatabase(options)), m_verbose(options.verbose) {
  if (IsEmbedded(m_chosen.node) && !create) {
    const fs::path file = EmbeddedPath(m_chosen.node);
    const std::string path = Utf8OfPath(file);
    if (path != ":memory:" && !fs::exists(file))
      Fail("no database at " + path + " yet: create it with `gezhuan init`" +
           (m_chosen.origin == "--database" ? " --database " + path : std::string()));
  }
  ClearDatabaseMessages();
  if (!m_control.OpenQZNVGeZhuanDB(m_chosen.node))
    FailWithDatabaseMessage("cannot open " + DescribeNode(m_chosen.node));
  if (options.verbose && !IsEmbedded(m_chosen.node)) std::cerr << "gezhuan: server: " << ServerInUse() << '\n';
  // Without this, every command on a database that has no tables yet would
  // fail in the engine's words ("relation ... does not exist").
  if (!create && !HasTables())
    Fail("no tables in " + DescribeNode(m_chosen.node) + " yet: create them with `gezhuan init`" +
         (m_chosen.origin == "--database" ? " --database " + Utf8OfPath(EmbeddedPath(m_chosen.node)) : std::string()));
}

bool Session::HasTables() {
  std::wstring sql;
  switch (DatabaseTypeOfKind(m_chosen.node.nDBType)) {
    case QZDB_SQLITE:
      sql = L"select name as n from sqlite_master where type = 'table' and name = 'GeZhuanTaskInfo' collate nocase";
      break;
    case QZDB_POSTGRESQL:
      // to_regclass follows the search path as the library's statements do.
      sql = L"select cast(to_regclass('GeZhuanTaskInfo') as text) as n";
      break;
    default:
      return true;  // no portable way to ask; the first statement will say
  }
  const std::vector<std::wstring> found = QueryColumn(sql, L"n");
  return !found.empty() && !found.front().empty();
}

Session::~Session() {
  try {
    if (m_reader) m_reader->Close();
    m_control.CloseQZNVGeZhuanDB();
  } catch (CQZDBException* e) {
    e->Delete();
  }
}

std::string Session::ServerInUse() {
  return WithConnection(m_chosen.node, "cannot connect",
                        [](CQZDatabase& database) { return ToUtf8(database.Describe()); });
}

long long Session::CountRows(const std::wstring& table) {
  return WithConnection(m_chosen.node, "cannot count " + ToUtf8(table), [&](CQZDatabase& database) {
    CQZRecordSet set(&database);
    long long count = 0;
    if (set.Open(L"select count(*) as n from " + table, ROWOPERATION_READONLY) && !set.IsEOF()) {
      CQZDBVariant value;
      set.GetValueInColumn(L"n", value);
      count = value.GetInt32();
    }
    set.Close();
    return count;
  });
}

std::vector<std::wstring> Session::QueryColumn(const std::wstring& sql, const std::wstring& column) {
  return WithConnection(m_chosen.node, "query failed", [&](CQZDatabase& database) {
    CQZRecordSet set(&database);
    std::vector<std::wstring> values;
    if (set.Open(sql, ROWOPERATION_READONLY)) {
      while (!set.IsEOF()) {
        CQZDBVariant value;
        set.GetValueInColumn(column, value);
        values.emplace_back(value.GetText());
        set.MoveNext();
      }
    }
    set.Close();
    return values;
  });
}

void Session::InOneTransaction(const std::string& what, const TransactionWork& work) {
  WithConnection(m_chosen.node, what, [&](CQZDatabase& database) {
    database.BeginTrans();
    try {
      work(database, DatabaseTypeOfKind(m_chosen.node.nDBType));
      database.CommitTrans();
    } catch (...) {
      // A rollback that fails leaves nothing to save: the connection ends
      // next, and the transaction with it.
      try {
        database.Rollback();
      } catch (CQZDBException* e) {
        e->Delete();
      }
      throw;
    }
    return 0;
  });
}

void Session::EachValue(const std::wstring& sql, const std::wstring& column,
                        const std::function<bool(std::wstring)>& take) {
  try {
    if (!m_reader) {
      auto reader = std::make_unique<CQZDatabase>();
      reader->Connect(DatabaseTypeOfKind(m_chosen.node.nDBType), m_chosen.node.strConnect1, m_chosen.node.strConnect2,
                      m_chosen.node.strConnect3, m_chosen.node.strConnect4);
      if (!reader->IsConnectted()) Fail("query failed: the database could not be reached");
      m_reader = std::move(reader);
    }
    CQZRecordSet set(m_reader.get());
    if (set.Open(sql, ROWOPERATION_READONLY)) {
      for (; !set.IsEOF(); set.MoveNext()) {
        CQZDBVariant value;
        set.GetValueInColumn(column, value);
        if (!take(value.GetText())) break;
      }
    }
    set.Close();
  } catch (CQZDBException* e) {
    const std::wstring message = e->GetErrorMessage();
    e->Delete();
    if (m_verbose) std::cerr << "gezhuan: the failed query: " << ToUtf8(sql) << '\n';
    Fail("query failed: " + ToUtf8(message));
  }
}

std::wstring SqlQuote(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    out += c;
    if (c == L'\'') out += L'\'';
  }
  return out;
}

}  // namespace gezhuan
