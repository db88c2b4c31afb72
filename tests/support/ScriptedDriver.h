// A driver for tests: it records every call the access component passes to
// it, answers queries from rows the test queued, and makes the Nth call of a
// kind throw CQZDBException or fail, so that each path of an operation can
// be driven without a database.
//
//   qz::testing::ScriptedDriver driver;          // installed for every kind
//   driver.script().ThrowOn("Update", 3);
//   control.OpenQZNVGeZhuanDB(DBsSetNode());     // connects to the script
//   ... driver.script().CallsOf({"Open", "Update"}) ...
#pragma once

#include <QZDatabaseAccess.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qz::testing {

using Row = std::vector<std::pair<std::wstring, CQZDBVariant>>;

// Builds a row: Row r{{L"guidTask", V(L"...")}, {L"nIndex", V(3)}}.
CQZDBVariant V(const std::wstring& text);
CQZDBVariant V(const wchar_t* text);
CQZDBVariant V(int32_t value);
CQZDBVariant NullValue();

// One row per name, each with the single column "name".
std::vector<Row> MakeRowsOfNames(const std::vector<std::wstring>& names);

class Script {
 public:
  // Every call in order, as "Kind" or "Kind(argument)": Connect(type),
  // IsConnectted, Close, BeginTrans, CommitTrans, Rollback,
  // Open(sql|mode), IsBOF, IsEOF, MoveNext, GetValue(column), AddNew(table),
  // Edit(table), SetFieldValue(column), Update, CloseSet.
  std::vector<std::string> calls;

  // The values of SetFieldValue, in order.
  std::vector<std::pair<std::wstring, CQZDBVariant>> assigned;

  // What IsConnectted answers after Connect.
  bool connected = true;

  // The Nth call (1-based) of kind throws / returns false (Open: a null
  // cursor, so CQZRecordSet::Open answers false).
  void ThrowOn(const std::string& kind, int nth) { throw_on_[kind].insert(nth); }
  void FailOn(const std::string& kind, int nth) { fail_on_[kind].insert(nth); }

  // Rows of the next query opened (one entry per Open of a statement that
  // starts with "select"); a query with nothing queued has no rows.
  void QueueResult(std::vector<Row> rows) { results_.push_back(std::move(rows)); }

  // The calls whose kind is one of kinds, in order.
  std::vector<std::string> CallsOf(const std::set<std::string>& kinds) const;
  int Count(const std::string& kind) const;

  // --- Used by the scripted connection and cursor ------------------------
  // Records the call; throws or answers false as the test asked.
  bool Record(const std::string& kind, const std::string& argument = std::string());
  std::vector<Row> NextResult();

 private:
  std::map<std::string, std::set<int>> throw_on_;
  std::map<std::string, std::set<int>> fail_on_;
  std::map<std::string, int> seen_;
  std::vector<std::vector<Row>> results_;
};

// Installs the scripted driver for every DATABASETYPE while it lives.
class ScriptedDriver {
 public:
  ScriptedDriver();
  ~ScriptedDriver();
  ScriptedDriver(const ScriptedDriver&) = delete;
  ScriptedDriver& operator=(const ScriptedDriver&) = delete;

  Script& script() { return *script_; }

 private:
  std::shared_ptr<Script> script_;
};

// Captures the debug output while it lives.
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  const std::vector<std::wstring>& lines() const { return *lines_; }

 private:
  std::shared_ptr<std::vector<std::wstring>> lines_;
};

}  // namespace qz::testing
