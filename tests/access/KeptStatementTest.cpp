// A statement a connection keeps prepared, on every engine, when another
// connection changes the table it reads: the columns read are the table's
// columns as they are now, outside a transaction and at the start of one
// the call simply works, and inside a transaction that has already done
// something the call either works or fails once, saying so, after which
// the next call works.
#include <QZDatabaseAccess.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/KindCode.h"
#include "platform/TextEncoding.h"
#include "support/EngineDatabase.h"

namespace qz::testing {
namespace {

std::string Utf8(const std::wstring& text) { return platform::WideToUtf8(text); }

class KeptStatementTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    QZ_SKIP_WITHOUT_ENGINE(GetParam());
    db_ = MakeEngineDatabase(GetParam());
    ASSERT_NE(db_, nullptr);
    const DBsSetNode node = db_->Node();
    database_.Connect(common::DatabaseTypeOfKind(node.nDBType), node.strConnect1, node.strConnect2, node.strConnect3,
                      node.strConnect4);
    Run(L"drop table if exists qz_kept");
    Run(L"drop table if exists qz_kept_other");
    Run(L"create table qz_kept (k varchar(36) primary key, n integer)");
    Run(L"create table qz_kept_other (k varchar(36) primary key, n integer)");
    Run(L"insert into qz_kept_other (k, n) values ('c', 3)");
    Run(L"insert into qz_kept (k, n) values ('a', 1)");
    Run(L"insert into qz_kept (k, n) values ('b', 2)");
  }
  void TearDown() override {
    if (!database_.IsClosed()) database_.Close();
    if (db_) db_->Execute(L"drop table if exists qz_kept");
    if (db_) db_->Execute(L"drop table if exists qz_kept_other");
  }

  void Run(const std::wstring& sql) {
    CQZRecordSet set(&database_);
    ASSERT_TRUE(set.Open(sql, ROWOPERATION_WRITE)) << Utf8(sql);
  }

  // Reads row k through a text the connection keeps once it has seen it
  // twice: n, and column added when it is not empty. "<error> message"
  // when the call threw.
  std::wstring Read(const std::wstring& k, const std::wstring& added = std::wstring()) {
    try {
      CQZRecordSet set(&database_);
      if (!set.Open(L"select * from qz_kept where k = '" + k + L"'", ROWOPERATION_READONLY)) return L"<not open>";
      if (set.IsEOF()) return L"<no row>";
      CQZDBVariant value;
      set.GetValueInColumn(L"n", value);
      std::wstring read = std::to_wstring(value.GetInt32());
      if (!added.empty()) {
        set.GetValueInColumn(added, value);
        read += L" " + std::wstring(value.GetText());
      }
      return read;
    } catch (CQZDBException* e) {
      const std::wstring message = L"<error> " + e->GetErrorMessage();
      e->Delete();
      return message;
    }
  }

  void KeepTheStatement() {
    for (int call = 0; call < 3; ++call) ASSERT_EQ(Read(L"b"), L"2");
  }

  std::unique_ptr<EngineDatabase> db_;
  CQZDatabase database_;
};

TEST_P(KeptStatementTest, TableChangedByAnotherConnection) {
  KeepTheStatement();
  // Outside a transaction: the new column is read at once.
  ASSERT_TRUE(db_->Execute(L"alter table qz_kept add column s1 varchar(10)"));
  ASSERT_TRUE(db_->Execute(L"update qz_kept set s1 = 'one'"));
  EXPECT_EQ(Read(L"a", L"s1"), L"1 one");
  EXPECT_EQ(Read(L"b", L"s1"), L"2 one");

  // At the start of a transaction: as outside one.
  KeepTheStatement();
  ASSERT_TRUE(db_->Execute(L"alter table qz_kept add column s2 varchar(10)"));
  ASSERT_TRUE(db_->Execute(L"update qz_kept set s2 = 'two'"));
  database_.BeginTrans();
  EXPECT_EQ(Read(L"a", L"s2"), L"1 two");
  Run(L"update qz_kept set n = 10 where k = 'a'");
  database_.CommitTrans();
  EXPECT_EQ(Read(L"a"), L"10");

  // After work in the transaction (on another table, which the change
  // does not wait for): the call works, or fails once with an error that
  // says what to do (the server spoiled the transaction).
  KeepTheStatement();
  ASSERT_TRUE(db_->Execute(L"alter table qz_kept drop column s1"));
  database_.BeginTrans();
  Run(L"update qz_kept_other set n = 30 where k = 'c'");
  const std::wstring inside = Read(L"a", L"s2");
  const bool failed = inside.rfind(L"<error>", 0) == 0;
  // The one engine known to spoil the transaction (a named statement whose
  // result columns changed) must say so rather than answer.
  if (GetParam() == "PostgreSQL") {
    EXPECT_TRUE(failed) << Utf8(inside);
  }
  if (failed) {
    EXPECT_NE(inside.find(L"roll it back"), std::wstring::npos) << Utf8(inside);
    database_.Rollback();
  } else {
    EXPECT_EQ(inside, L"10 two");
    database_.CommitTrans();
  }
  EXPECT_EQ(db_->QueryInteger(L"select n as v from qz_kept_other"), failed ? 3 : 30);
  EXPECT_EQ(Read(L"a", L"s2"), L"10 two");
  EXPECT_EQ(Read(L"a", L"s2"), L"10 two");
}

QZ_INSTANTIATE_ON_EVERY_ENGINE(KeptStatementTest);

}  // namespace
}  // namespace qz::testing
