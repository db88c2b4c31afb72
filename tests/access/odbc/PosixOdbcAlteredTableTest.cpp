// A query the ODBC connection has run before (and so keeps prepared, where
// the driver keeps queries) while another program, the engine's own
// command-line client, alters the table under it: every read answers the
// table as it is now, never as it was when the query was prepared.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/TextEncoding.h"
#include "support/OdbcEngineDatabase.h"
#include "tasks/StoreFixture.h"

namespace qz::testing {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class OdbcAlteredTableTest : public StoreTest {
 protected:
  // Runs sql in the engine's command-line client, a process of its own.
  void AlterElsewhere(const std::string& sql) {
    std::string command;
    if (GetParam() == "OdbcMariaDB") {
      command = "mariadb --no-defaults -uroot --socket='" + Env("QZ_ODBC_DIR") + "/mariadb/mysqld.sock' qz_test -e \"" +
                sql + "\"";
    } else if (GetParam() == "OdbcPostgreSQL") {
      const std::string host = Env("QZ_PG_HOST");
      command = "psql -X -q -v ON_ERROR_STOP=1 -h " + host.substr(0, host.rfind(':')) + " -p " +
                host.substr(host.rfind(':') + 1) + " -U " + Env("QZ_ODBC_PG_USER") + " -d qz_odbc -c \"" + sql + "\"";
    } else {
      command = "sqlite3 '" + platform::WideToUtf8(db_->Node().strConnect2) + "' \"" + sql + "\"";
    }
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  // strGroupHint of the row named HD, and column added when not empty,
  // "<null>" for NULL; "<error> ..." when the read failed.
  std::string Read(const std::wstring& added = std::wstring()) {
    std::string read = "<no row>";
    try {
      CQZRecordSet set(&database_);
      if (!set.Open(L"select * from VTRTAPEGROUPINFO where strGroupName = 'HD'", ROWOPERATION_READONLY) || set.IsEOF())
        return read;
      CQZDBVariant value;
      set.GetValueInColumn(L"strGroupHint", value);
      read = platform::WideToUtf8(value.GetText());
      if (added.empty()) return read;
      set.GetValueInColumn(added, value);
      read += " " + (value.IsNull() ? std::string("<null>") : platform::WideToUtf8(value.GetText()));
    } catch (CQZDBException* e) {
      read = "<error> " + platform::WideToUtf8(e->GetErrorMessage());
      e->Delete();
    }
    return read;
  }

  void Write(const std::wstring& sql) {
    CQZRecordSet set(&database_);
    ASSERT_TRUE(set.Open(sql, ROWOPERATION_WRITE));
  }

  // Runs the query often enough that the connection keeps it.
  void KeepTheQuery() {
    for (int call = 0; call < 3; ++call) ASSERT_EQ(Read(), "h1");
  }

  CQZDatabase database_;
};

TEST_P(OdbcAlteredTableTest, AKeptQueryReadsTheTableAsAnotherProgramLeftIt) {
  ASSERT_TRUE(
      db_->Execute(L"insert into VTRTAPEGROUPINFO (guidGroupID, strGroupName, strGroupHint) values "
                   L"('0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9', 'HD', 'h1')"));
  db_->ConnectBySetting(&database_);

  // A column added: read at once, and again.
  KeepTheQuery();
  AlterElsewhere(
      "ALTER TABLE VTRTAPEGROUPINFO ADD COLUMN strLater varchar(20); UPDATE VTRTAPEGROUPINFO SET strLater = 'later'");
  EXPECT_EQ(Read(L"strLater"), "h1 later");
  EXPECT_EQ(Read(L"strLater"), "h1 later");

  // The column dropped: no longer there to read.
  AlterElsewhere("ALTER TABLE VTRTAPEGROUPINFO DROP COLUMN strLater");
  EXPECT_EQ(Read(), "h1");
  EXPECT_EQ(Read(L"strLater").rfind("<error>", 0), 0u);

  // Inside a transaction, after a write. PostgreSQL may refuse the kept
  // query there (the change spoils the transaction), but must say so, and
  // the next transaction works; any other answer is the table's.
  KeepTheQuery();
  AlterElsewhere("ALTER TABLE VTRTAPEGROUPINFO ADD COLUMN strAgain varchar(20)");
  database_.BeginTrans();
  Write(L"update VTRTAPEGROUPINFO set strGroupHint = 'h2'");
  const std::string inside = Read(L"strAgain");
  if (inside.rfind("<error>", 0) == 0 && GetParam() == "OdbcPostgreSQL") {
    EXPECT_NE(inside.find("roll it back"), std::string::npos) << inside;
    database_.Rollback();
    database_.BeginTrans();
    Write(L"update VTRTAPEGROUPINFO set strGroupHint = 'h2'");
    EXPECT_EQ(Read(L"strAgain"), "h2 <null>");
  } else {
    EXPECT_EQ(inside, "h2 <null>");
  }
  database_.CommitTrans();
  EXPECT_EQ(Read(L"strAgain"), "h2 <null>");
  EXPECT_EQ(db_->QueryText(L"select strGroupHint as v from VTRTAPEGROUPINFO"), L"h2");
}

INSTANTIATE_TEST_SUITE_P(Engines, OdbcAlteredTableTest, ::testing::ValuesIn(OdbcEngineNames()), EngineName());

}  // namespace
}  // namespace qz::testing
