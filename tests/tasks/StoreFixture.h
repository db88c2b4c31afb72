// The task-store behaviour tests run once per engine of EngineNames(), on a
// fresh database each (support/EngineDatabase.h).
#pragma once

#include <QZNVGeZhuanDBControl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "support/EngineDatabase.h"
#include "support/ScriptedDriver.h"

namespace qz::testing {

// A control object connected to a fresh database of the test's engine, with
// the debug output captured.
class StoreTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    QZ_SKIP_WITHOUT_ENGINE(GetParam());
    db_ = MakeEngineDatabase(GetParam());
    ASSERT_NE(db_, nullptr);
    ASSERT_EQ(control_.OpenQZNVGeZhuanDB(db_->Node()), 1);
  }
  void TearDown() override { control_.CloseQZNVGeZhuanDB(); }

  // Closes the control object, puts a fresh database in place of the old
  // one (which goes first: on a server they share the tables) and opens
  // the control object on it.
  void StartAfresh() {
    control_.CloseQZNVGeZhuanDB();
    db_.reset();
    db_ = MakeEngineDatabase(GetParam());
    ASSERT_NE(db_, nullptr);
    ASSERT_EQ(control_.OpenQZNVGeZhuanDB(db_->Node()), 1);
  }

  int32_t Count(const std::wstring& table, const std::wstring& condition = std::wstring()) const {
    return db_->QueryInteger(L"select count(*) as v from " + table +
                             (condition.empty() ? L"" : L" where " + condition));
  }

  std::unique_ptr<EngineDatabase> db_;
  CQZNVGeZhuanDBControl control_;
  DebugCapture debug_;
};

// A distinct, non-null GUID for each seed, with letters in its text.
GUID TestGuid(uint32_t seed);

}  // namespace qz::testing
