// Which database a command works on, and opening it through the library.
//
// --database PATH names an embedded file; --setting NAME a named setting of
// the store; with neither, the store's QZNVCENTERDBSetting when it is
// complete, else the default file qz/gezhuan.db in the user's data folder
// ($XDG_DATA_HOME or ~/.local/share; %LOCALAPPDATA% on Windows). Paths are
// kept as the file system's paths (UTF-16 on Windows) from the command
// line to the file calls.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/session/Options.h"

namespace gezhuan {

struct ChosenDatabase {
  DBsSetNode node;
  std::string origin;  // how it was chosen, for people: "--database", "setting X", "default"
};

ChosenDatabase ChooseDatabase(const GlobalOptions& options);

// The default embedded database file.
std::filesystem::path DefaultDatabasePath();

// Where it is, as the help says it: "$XDG_DATA_HOME/qz/gezhuan.db" or
// "%LOCALAPPDATA%\qz\gezhuan.db".
std::string DefaultDatabaseInWords();

// A node for the embedded database at path (made absolute).
DBsSetNode EmbeddedNode(const std::filesystem::path& path);

// Kind codes of a setting: 0 embedded, 2 PostgreSQL, 4 ODBC.
bool IsEmbedded(const DBsSetNode& node);
std::filesystem::path EmbeddedPath(const DBsSetNode& node);  // folder + file as the engine joins them

// "sqlite /path/gezhuan.db", "postgresql gezhuan on db1 as qz".
std::string DescribeNode(const DBsSetNode& node);

// An ODBC connection string without its password attributes (PWD=,
// PASSWORD=), for people to read; any other text as it is.
std::wstring WithoutPassword(const std::wstring& where);

// A complete setting names both where and which database.
bool IsComplete(const DBsSetNode& node);

// The six named settings as the store holds them (no dialog). Fails when the
// store cannot be read as written: the library would read every setting as
// empty, and the tool would quietly fall back to the default database.
std::vector<DBsSetNode> ReadAllSettings();

// Fails when the settings store cannot be read as written.
void RequireTrustedSettingsStore();

// The opened database of one command.
class Session {
 public:
  // Opens the chosen database. An embedded file that does not exist yet is
  // refused (so that a typo does not leave an empty file behind) unless
  // create is true.
  explicit Session(const GlobalOptions& options, bool create = false);
  ~Session();

  CQZNVGeZhuanDBControl& Control() { return m_control; }
  const ChosenDatabase& Chosen() const { return m_chosen; }

  // The server a connection reaches now, as the access component describes
  // it (of a setting's list of servers, the one in use).
  std::string ServerInUse();

  // select count(*) of a table, through a connection of the access component.
  long long CountRows(const std::wstring& table);

  // Whether the database holds the task table, as `gezhuan init` makes it.
  bool HasTables();

  // The texts of one column of a query's rows.
  std::vector<std::wstring> QueryColumn(const std::wstring& sql, const std::wstring& column);

  // Runs work in one transaction on a connection of its own, begun as a
  // writer (on SQLite BEGIN IMMEDIATE: it waits its turn behind other
  // programs' writers, up to the busy timeout), and commits when work
  // returns. Any failure rolls all of it back; the database's refusal fails
  // with "WHAT: <its message>", a CommandError of work goes on as it is.
  using TransactionWork = std::function<void(CQZDatabase& database, DATABASETYPE type)>;
  void InOneTransaction(const std::string& what, const TransactionWork& work);

  // Hands take the text of column in each row of sql as the rows come,
  // until take returns false; fails (exit 1) in the database's words. Runs
  // on a connection the session keeps for such queries, so that a listing
  // asking many small questions connects once.
  void EachValue(const std::wstring& sql, const std::wstring& column, const std::function<bool(std::wstring)>& take);

 private:
  ChosenDatabase m_chosen;
  CQZNVGeZhuanDBControl m_control;
  bool m_verbose = false;                 // --verbose: a failed query's SQL text on stderr
  std::unique_ptr<CQZDatabase> m_reader;  // EachValue's connection, once used
};

// Doubles the single quotes of text for an SQL literal.
std::wstring SqlQuote(const std::wstring& text);

}  // namespace gezhuan
