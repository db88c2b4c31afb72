// The database the task-store behaviour tests run on, and the few things
// they need that each engine spells its own way (making the database itself
// refuse a row, reading back a stored value). Only SQLite fills it in now;
// another engine adds its spelling here and the tests stay as they are.
#pragma once

#include <QZNVGeZhuanDBControl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "support/ScriptedDriver.h"
#include "support/TempDatabase.h"

namespace qz::testing {

class StoreDatabase {
 public:
  StoreDatabase() = default;

  // A setting that opens the (fresh, tables created) database.
  DBsSetNode Node() const { return temp_.Node(); }

  // Runs one statement on a connection of its own.
  void Execute(const std::wstring& sql) const { temp_.Execute(sql); }

  // The database aborts any insert (update) into table whose new row holds
  // marked in column, and any delete of a row that holds it.
  void RejectInsert(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const;
  void RejectUpdate(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const;
  void RejectDelete(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const;

  // From now on the database fails every read of the item rows of task
  // (the statement is accepted; stepping onto such a row fails). Items can
  // no longer be added afterwards.
  void FailItemReadsOf(const GUID& task) const;

  // Column v of the first row of sql, on a connection of its own.
  std::wstring QueryText(const std::wstring& sql) const;
  int32_t QueryInteger(const std::wstring& sql) const;
  bool QueryIsNull(const std::wstring& sql) const;

 private:
  void AddAbortTrigger(const std::wstring& event, const std::wstring& table, const std::wstring& row,
                       const std::wstring& column, const std::wstring& marked) const;
  CQZDBVariant Query(const std::wstring& sql) const;

  TempDatabase temp_;
};

// A control object connected to a fresh database, with the debug output
// captured.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(control_.OpenQZNVGeZhuanDB(db_.Node()), 1); }
  void TearDown() override { control_.CloseQZNVGeZhuanDB(); }

  int32_t Count(const std::wstring& table, const std::wstring& condition = std::wstring()) const {
    return db_.QueryInteger(L"select count(*) as v from " + table + (condition.empty() ? L"" : L" where " + condition));
  }

  StoreDatabase db_;
  CQZNVGeZhuanDBControl control_;
  DebugCapture debug_;
};

// A distinct, non-null GUID for each seed, with letters in its text.
GUID TestGuid(uint32_t seed);

}  // namespace qz::testing
