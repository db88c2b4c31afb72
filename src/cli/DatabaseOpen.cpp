#include "DatabaseOpen.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <utility>

#include "DataFolder.h"
#include "Diagnostics.h"
#include "Text.h"
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

std::string DefaultDatabasePath() { return (UserDataFolder() / "qz" / "gezhuan.db").string(); }

DBsSetNode EmbeddedNode(const std::string& path) {
  const fs::path absolute = fs::absolute(fs::path(path)).lexically_normal();
  DBsSetNode node;
  node.nDBType = 0;
  node.strConnect1 = FromUtf8(absolute.parent_path().string());
  node.strConnect2 = FromUtf8(absolute.filename().string());
  return node;
}

bool IsEmbedded(const DBsSetNode& node) { return DatabaseTypeOfKind(node.nDBType) == QZDB_SQLITE; }

std::string EmbeddedPath(const DBsSetNode& node) {
  const fs::path file = ToUtf8(node.strConnect2);
  if (file.is_absolute() || node.strConnect2 == L":memory:") return file.string();
  return (fs::path(ToUtf8(node.strConnect1)) / file).string();
}

bool IsComplete(const DBsSetNode& node) { return !node.strConnect1.empty() && !node.strConnect2.empty(); }

std::string DescribeNode(const DBsSetNode& node) {
  switch (DatabaseTypeOfKind(node.nDBType)) {
    case QZDB_SQLITE:
      return "sqlite " + EmbeddedPath(node);
    case QZDB_POSTGRESQL: {
      std::string text = "postgresql " + ToUtf8(node.strConnect2) + " on " + ToUtf8(node.strConnect1);
      if (!node.strConnect3.empty()) text += " as " + ToUtf8(node.strConnect3);
      return text;
    }
    case QZDB_ODBC:
      return "odbc " + ToUtf8(node.strConnect1) + " " + ToUtf8(node.strConnect2);
    default:
      return "unsupported kind " + std::to_string(node.nDBType);
  }
}

std::vector<DBsSetNode> ReadAllSettings() {
  CQZNVGeZhuanDBControl control;
  std::vector<DBsSetNode> settings;
  control.GetQZNVGeZhuanALLDBSettings(settings, 0, 0);
  return settings;
}

ChosenDatabase ChooseDatabase(const GlobalOptions& options) {
  ChosenDatabase chosen;
  if (!options.database.empty()) {
    chosen.node = EmbeddedNode(options.database);
    chosen.origin = "--database";
    return chosen;
  }
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

Session::Session(const GlobalOptions& options, bool create) : m_chosen(ChooseDatabase(options)) {
  if (IsEmbedded(m_chosen.node) && !create) {
    const std::string path = EmbeddedPath(m_chosen.node);
    if (path != ":memory:" && !fs::exists(path))
      Fail("no database at " + path + " yet: create it with `gezhuan init`" +
           (m_chosen.origin == "--database" ? " --database " + path : std::string()));
  }
  ClearDatabaseMessages();
  if (!m_control.OpenQZNVGeZhuanDB(m_chosen.node))
    FailWithDatabaseMessage("cannot open " + DescribeNode(m_chosen.node));
  if (options.verbose && !IsEmbedded(m_chosen.node)) std::cerr << "gezhuan: server: " << ServerInUse() << '\n';
}

Session::~Session() {
  try {
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

std::wstring SqlQuote(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    out += c;
    if (c == L'\'') out += L'\'';
  }
  return out;
}

}  // namespace gezhuan
