// The PostgreSQL driver against a real server (scripts/postgres-test-server.sh
// starts one and exports QZ_PG_*). What the server itself does is checked
// through a second, plain libpq connection.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "control/Schema.h"
#include "platform/TextEncoding.h"
#include "support/PostgresTestServer.h"

namespace {

using qz::testing::CatchError;
using qz::testing::CaughtError;

std::string Utf8(const std::wstring& text) { return qz::platform::WideToUtf8(text); }

class PostgresDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!qz::testing::FindPostgresServer(&server_))
      GTEST_SKIP() << "QZ_PG_HOST is not set: run the tests under scripts/postgres-test-server.sh";
    lock_ = std::make_unique<qz::testing::ServerLock>();
    ASSERT_TRUE(side_.Open(server_));
    side_.Query("DROP TABLE IF EXISTS qz_values, qz_keyed, qz_batch, qz_plain");
    side_.Query("DROP SEQUENCE IF EXISTS qz_seq");
    side_.Query(
        "CREATE TABLE qz_values (id integer PRIMARY KEY, n integer, big bigint, r double precision, t text, "
        "ts timestamp, d date, b boolean, v varchar(36))");
    side_.Query("CREATE TABLE qz_keyed (k1 text, k2 integer, val text, PRIMARY KEY (k2, k1))");
    side_.Query("INSERT INTO qz_keyed VALUES ('a', 1, 'one'), ('a', 2, 'two'), ('b', 1, 'three')");
    side_.Query("CREATE TABLE qz_batch (n integer CONSTRAINT n_is_not_60000 CHECK (n <> 60000), t text)");
    side_.Query("CREATE TABLE qz_plain (x integer)");
    side_.Query("CREATE SEQUENCE qz_seq");
    qz::testing::ConnectTo(server_, &db_);
  }

  // Runs one statement that returns no rows through the driver.
  void Run(const std::wstring& sql) {
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(sql, ROWOPERATION_WRITE)) << Utf8(sql);
  }

  // The first column of the first row sql yields, as text.
  std::wstring ReadOne(const std::wstring& sql) {
    CQZRecordSet set(&db_);
    if (!set.Open(sql, ROWOPERATION_READONLY) || set.IsEOF()) return L"(none)";
    CQZDBVariant value;
    set.GetValueInColumn(L"x", value);
    return value.GetText();
  }

  void AddBatchRow(CQZRecordSet& set, int n) {
    CQZDBVariant value;
    set.AddNew(L"qz_batch");
    value = n;
    set.SetFieldValue(L"n", value);
    value = L"row " + std::to_wstring(n);
    set.SetFieldValue(L"t", value);
    set.Update();
  }

  std::string Count(const char* table) { return side_.Query(std::string("SELECT count(*) FROM ") + table); }

  std::unique_ptr<qz::testing::ServerLock> lock_;  // first made, last gone
  qz::testing::PostgresServer server_;
  qz::testing::SideConnection side_;
  CQZDatabase db_;
};

// --- Values in and out ----------------------------------------------------

const std::wstring kAwkwardText = L"\u4E2D\u6587 \U0001F600 \U00020BB7 \"q\" 'a' \\n \\\\ tab\there\nline\r\\N";

// Writes row 1 with a value of every kind and row 2 with every kind of NULL.
void WriteValueRows(CQZRecordSet& set) {
  CQZDBVariant value;
  set.AddNew(L"qz_values");
  value = 1;
  set.SetFieldValue(L"id", value);
  value = -123;
  set.SetFieldValue(L"[n]", value);
  value.SetInteger(5000000000LL);
  set.SetFieldValue(L"big", value);
  value.SetReal(2.5);
  set.SetFieldValue(L"r", value);
  value = kAwkwardText;
  set.SetFieldValue(L"t", value);
  value = SQZDateTime(2024, 2, 29, 23, 59, 58);
  set.SetFieldValue(L"ts", value);
  SQZTimestamp day;
  day.year = 2001, day.month = 2, day.day = 3;
  value.SetTimestamp(day);
  set.SetFieldValue(L"d", value);
  value = L"42";
  set.SetFieldValue(L"v", value);
  set.Update();

  set.AddNew(L"qz_values");
  value = L"2";  // the text of a number into an integer column
  set.SetFieldValue(L"ID", value);
  value.SetNull();
  set.SetFieldValue(L"n", value);
  set.SetFieldValue(L"t", value);
  SQZDateTime invalid;
  invalid.m_status = SQZDateTime::invalid;
  value = invalid;
  set.SetFieldValue(L"ts", value);
  value.SetTimestamp(SQZTimestamp());
  set.SetFieldValue(L"d", value);
  set.Update();
}

void CheckValueRows(CQZDatabase& db) {
  CQZRecordSet set(&db);
  ASSERT_TRUE(set.Open(L"select * from qz_values order by id", ROWOPERATION_READONLY));
  ASSERT_FALSE(set.IsBOF());
  CQZDBVariant value;
  set.GetValueInColumn(L"N", value);
  EXPECT_EQ(value.GetType(), CQZDBVariant::TYPE_INTEGER);
  EXPECT_EQ(value.GetInt32(), -123);
  set.GetValueInColumn(L"big", value);
  EXPECT_EQ(value.GetInteger64(), 5000000000LL);
  set.GetValueInColumn(L"r", value);
  EXPECT_EQ(value.GetType(), CQZDBVariant::TYPE_REAL);
  EXPECT_EQ(value.GetReal(), 2.5);
  set.GetValueInColumn(L"[t]", value);
  EXPECT_EQ(Utf8(value.GetText()), Utf8(kAwkwardText));
  set.GetValueInColumn(L"ts", value);
  ASSERT_EQ(value.GetType(), CQZDBVariant::TYPE_TIMESTAMP);
  SQZTimestamp ts = value.GetTimestamp();
  EXPECT_EQ(ts.year, 2024);
  EXPECT_EQ(ts.month, 2);
  EXPECT_EQ(ts.day, 29);
  EXPECT_EQ(ts.hour, 23);
  EXPECT_EQ(ts.minute, 59);
  EXPECT_EQ(ts.second, 58);
  set.GetValueInColumn(L"d", value);
  ts = value.GetTimestamp();
  EXPECT_EQ(ts.year, 2001);
  EXPECT_EQ(ts.month, 2);
  EXPECT_EQ(ts.day, 3);
  set.GetValueInColumn(L"v", value);
  EXPECT_EQ(value.GetType(), CQZDBVariant::TYPE_TEXT);
  EXPECT_EQ(value.GetInt32(), 42);

  ASSERT_TRUE(set.MoveNext());
  set.GetValueInColumn(L"id", value);
  EXPECT_EQ(value.GetInt32(), 2);
  for (const wchar_t* column : {L"n", L"big", L"r", L"t", L"ts", L"d", L"b", L"v"}) {
    set.GetValueInColumn(column, value);
    EXPECT_TRUE(value.IsNull()) << Utf8(column);
    EXPECT_EQ(value.GetInt32(), 0);
    EXPECT_STREQ(value.GetText(), L"");
    EXPECT_EQ(value.GetTimestamp().year, 0);
  }
  EXPECT_FALSE(set.MoveNext());
  EXPECT_TRUE(set.IsEOF());
}

TEST_F(PostgresDriverTest, EveryKindOfValueRoundTripsThroughSingleInserts) {
  {
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(L"select * from qz_values", ROWOPERATION_WRITE));
    WriteValueRows(set);
  }
  // Outside a transaction each row is on the server at once.
  EXPECT_EQ(Count("qz_values"), "2");
  CheckValueRows(db_);
}

TEST_F(PostgresDriverTest, EveryKindOfValueRoundTripsThroughGatheredRows) {
  ASSERT_EQ(db_.BeginTrans(), 1);
  {
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(L"select * from qz_values", ROWOPERATION_WRITE));
    WriteValueRows(set);
  }
  CheckValueRows(db_);  // reads inside the transaction see the gathered rows
  ASSERT_EQ(db_.CommitTrans(), 1);
  EXPECT_EQ(Count("qz_values"), "2");
}

// The typed setters write the very text SetFieldValue writes for the same
// value, by every way a row reaches the server: a single INSERT, rows
// gathered into a COPY, an edit of a row read, and a rewrite by key,
// answered at once or held for the commit. Each pair of rows (odd id
// typed, the next by variants) must hold the same; a column assigned twice
// keeps its last value, and a NULL in one pair does not stay for the next.
TEST_F(PostgresDriverTest, TypedValuesAreWrittenAsTheirVariantsEveryWay) {
  const std::wstring wide = L"\u78C1\u5E26 \U0001F600";
  const SQZDateTime date(2024, 2, 29, 23, 59, 58);
  SQZDateTime invalid;
  invalid.m_status = SQZDateTime::invalid;
  auto fill = [&](CQZRecordSet& set, int id, bool typed) {
    const SQZDateTime& when = (id - 1) / 2 % 2 == 0 ? date : invalid;
    if (typed) {
      set.SetIntegerField(L"id", id);
      set.SetTextField(L"n", L"7");
      set.SetTextField(L"t", kAwkwardText);
      set.SetDateTimeField(L"ts", when);
      if (when.IsValid())
        set.SetUtf8Field(L"v", Utf8(wide));
      else
        set.SetDateTimeField(L"v", invalid);  // NULL, as the text in other pairs' rows is not
      set.SetIntegerField(L"big", 5000000000LL);
      set.SetIntegerField(L"[n]", INT32_MIN);
      return;
    }
    CQZDBVariant value;
    value = id;
    set.SetFieldValue(L"id", value);
    value = L"7";
    set.SetFieldValue(L"n", value);
    value = kAwkwardText;
    set.SetFieldValue(L"t", value);
    value = when;
    set.SetFieldValue(L"ts", value);
    if (when.IsValid())
      value = wide;
    else
      value = invalid;
    set.SetFieldValue(L"v", value);
    value.SetInteger(5000000000LL);
    set.SetFieldValue(L"big", value);
    value = INT32_MIN;
    set.SetFieldValue(L"[n]", value);
  };
  int id = 1;
  for (const bool in_transaction : {false, true}) {
    if (in_transaction) {
      ASSERT_EQ(db_.BeginTrans(), 1);
    }
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(L"select * from qz_values", ROWOPERATION_WRITE));
    for (const bool typed : {true, false}) {
      set.AddNew(L"qz_values");
      fill(set, id++, typed);
      set.Update();
    }
    set.Close();
    if (in_transaction) {
      ASSERT_EQ(db_.CommitTrans(), 1);
    }
  }
  side_.Query("INSERT INTO qz_values (id, ts) SELECT n, now() FROM generate_series(101, 106) AS n");
  for (const bool typed : {true, false}) {
    const int edited = typed ? 101 : 102;
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(L"select * from qz_values where id = " + std::to_wstring(edited), ROWOPERATION_WRITE));
    set.Edit(L"qz_values");
    fill(set, edited, typed);
    set.Update();
  }
  auto rewrite = [&](int rewritten, bool typed) {
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.EditByKey(L"qz_values"));
    fill(set, rewritten, typed);
    EXPECT_TRUE(set.Update());
  };
  rewrite(103, true);
  rewrite(104, false);
  ASSERT_EQ(db_.BeginTrans(), 1);
  ASSERT_TRUE(db_.HoldAnswers());
  rewrite(105, true);
  rewrite(106, false);
  ASSERT_EQ(db_.CommitTrans(), 1);

  EXPECT_EQ(side_.Query("SELECT count(*) FROM qz_values a JOIN qz_values b ON b.id = a.id + 1 WHERE a.id % 2 = 1 "
                        "AND (a.n, a.big, a.t, a.ts, a.v) IS NOT DISTINCT FROM (b.n, b.big, b.t, b.ts, b.v)"),
            "5");
  EXPECT_EQ(side_.Query("SELECT count(*) FROM qz_values WHERE n = -2147483648 AND big = 5000000000"), "10");
  EXPECT_EQ(side_.Query("SELECT count(*) FROM qz_values WHERE ts IS NULL AND v IS NULL"), "4");
  EXPECT_EQ(side_.Query("SELECT count(*) FROM qz_values WHERE ts = '2024-02-29 23:59:58'"), "6");
  for (const int typed : {1, 3, 101, 103, 105}) {
    const std::wstring where = L" from qz_values where id = " + std::to_wstring(typed);
    EXPECT_EQ(Utf8(ReadOne(L"select t as x" + where)), Utf8(kAwkwardText)) << typed;
    EXPECT_EQ(Utf8(ReadOne(L"select v as x" + where)), Utf8(typed % 4 == 1 ? wide : L"")) << typed;
  }
}

TEST_F(PostgresDriverTest, ReadsServerTypesAsTheirVariantKinds) {
  side_.Query("INSERT INTO qz_values (id, ts, b) VALUES (7, '2020-01-02 03:04:05.123456', true)");
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select ts, b, ts::timestamptz as tz, 1.5::real as f from qz_values", ROWOPERATION_READONLY));
  CQZDBVariant value;
  set.GetValueInColumn(L"ts", value);
  EXPECT_EQ(value.GetTimestamp().second, 5);
  EXPECT_EQ(value.GetTimestamp().fraction, 123456000u);
  set.GetValueInColumn(L"b", value);
  EXPECT_EQ(value.GetInt32(), 1);
  set.GetValueInColumn(L"tz", value);
  EXPECT_EQ(value.GetType(), CQZDBVariant::TYPE_TIMESTAMP);
  set.GetValueInColumn(L"f", value);
  EXPECT_EQ(value.GetReal(), 1.5);
  CaughtError missing = CatchError([&] { set.GetValueInColumn(L"nothere", value); });
  EXPECT_TRUE(missing.thrown);
}

TEST_F(PostgresDriverTest, AValueTheColumnCannotTakeIsTheServersError) {
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select * from qz_values", ROWOPERATION_WRITE));
  CQZDBVariant value;
  set.AddNew(L"qz_values");
  value = L"not a number";
  set.SetFieldValue(L"id", value);
  CaughtError error = CatchError([&] { set.Update(); });
  EXPECT_TRUE(error.thrown);
  EXPECT_EQ(error.state, "22P02");
  EXPECT_NE(error.message.find(L"not a number"), std::wstring::npos) << Utf8(error.message);
}

// --- Statements -----------------------------------------------------------

TEST_F(PostgresDriverTest, ASecondStatementIsRefusedAndNothingRuns) {
  CQZRecordSet set(&db_);
  for (ROWOPERATION operation : {ROWOPERATION_WRITE, ROWOPERATION_READONLY}) {
    for (const wchar_t* sql : {L"select 1; select 2", L"delete from qz_keyed; drop table qz_keyed",
                               L"select 1 as x; drop table qz_keyed", L"select 1 as x; delete from qz_keyed"}) {
      CaughtError error = CatchError([&] { set.Open(sql, operation); });
      EXPECT_TRUE(error.thrown) << Utf8(sql) << " mode " << operation;
      EXPECT_EQ(error.state, "42601");
      EXPECT_NE(error.message.find(L"more than one statement"), std::wstring::npos) << Utf8(error.message);
    }
  }
  EXPECT_EQ(Count("qz_keyed"), "3");
  // One statement with its closing semicolon is fine.
  EXPECT_EQ(ReadOne(L"select 5 as x;"), L"5");
}

TEST_F(PostgresDriverTest, RejectedStatementsCarryTheServersMessageAndState) {
  CQZRecordSet set(&db_);
  CaughtError error = CatchError([&] { set.Open(L"select * from qz_no_such_table", ROWOPERATION_READONLY); });
  EXPECT_TRUE(error.thrown);
  EXPECT_EQ(error.state, "42P01");
  EXPECT_NE(error.message.find(L"qz_no_such_table"), std::wstring::npos);
  error = CatchError([&] { set.Open(L"delete from qz_no_such_table", ROWOPERATION_WRITE); });
  EXPECT_EQ(error.state, "42P01");
  error = CatchError([&] { set.Open(L"   ", ROWOPERATION_WRITE); });
  EXPECT_TRUE(error.thrown);
  error = CatchError([&] { set.Open(L"copy qz_plain from stdin", ROWOPERATION_WRITE); });
  EXPECT_EQ(error.state, "0A000");
  error = CatchError([&] { set.Open(L"copy qz_keyed to stdout", ROWOPERATION_WRITE); });
  EXPECT_EQ(error.state, "0A000");
  // The connection is still good after refusals.
  EXPECT_EQ(ReadOne(L"select 'ok' as X"), L"ok");
}

TEST_F(PostgresDriverTest, AReadQueryFailingAsItRunsThrowsFromOpen) {
  CQZRecordSet set(&db_);
  // Parsed fine; the server fails it only when it runs.
  CaughtError error = CatchError(
      [&] { set.Open(L"select 1 / (x - x) as x from qz_plain union all select 1 / 0", ROWOPERATION_READONLY); });
  EXPECT_TRUE(error.thrown);
  EXPECT_EQ(error.state, "22012");
  EXPECT_FALSE(set.IsOpen());
  EXPECT_EQ(ReadOne(L"select 'still good' as x"), L"still good");
}

// Rows arrive a chunk at a time: those of the chunks before the failing
// row are read, in order, and the failure is raised where they end.
TEST_F(PostgresDriverTest, AReadQueryFailingPartWayThrowsAfterTheRowsBeforeIt) {
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select 10 / (9000 - g) as x, g from generate_series(1, 10000) g", ROWOPERATION_READONLY));
  CQZDBVariant value;
  int rows = 0;
  CaughtError error = CatchError([&] {
    for (; !set.IsEOF(); set.MoveNext()) {
      set.GetValueInColumn(L"g", value);
      if (value.GetInt32() != ++rows) break;
    }
  });
  EXPECT_TRUE(error.thrown);
  EXPECT_EQ(error.state, "22012");
  EXPECT_GT(rows, 0);
  EXPECT_LT(rows, 9000);
  set.Close();
  EXPECT_EQ(ReadOne(L"select 'after' as x"), L"after");
}

TEST_F(PostgresDriverTest, AnEmptyReadQueryIsAtItsEndFromTheStart) {
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select x from qz_plain", ROWOPERATION_READONLY));
  EXPECT_TRUE(set.IsBOF());
  EXPECT_TRUE(set.IsEOF());
  EXPECT_FALSE(set.MoveNext());
  CQZDBVariant value;
  EXPECT_TRUE(CatchError([&] { set.GetValueInColumn(L"x", value); }).thrown);
  // A read query without a result set still runs, once.
  ASSERT_TRUE(set.Open(L"select 7 as x into temp table qz_tmp_read", ROWOPERATION_READONLY));
  EXPECT_TRUE(set.IsEOF());
  EXPECT_EQ(ReadOne(L"select count(*) as x from qz_tmp_read"), L"1");
}

// A query that is the first statement of the caller's transaction runs in
// that transaction, however the driver reads it: the rows it locks stay
// locked to every other session until the commit.
TEST_F(PostgresDriverTest, AQueryOpeningATransactionRunsInsideIt) {
  const char* free_rows = "SELECT count(*) FROM (SELECT 1 FROM qz_keyed WHERE k2 = 1 FOR UPDATE SKIP LOCKED) s";
  for (int round = 0; round < 3; ++round) {  // first sighting, then kept
    ASSERT_TRUE(db_.BeginTrans());
    {
      CQZRecordSet set(&db_);
      ASSERT_TRUE(set.Open(L"select val from qz_keyed where k2 = 1 order by k1 for update", ROWOPERATION_READONLY));
      int rows = 0;
      for (; !set.IsEOF(); set.MoveNext()) ++rows;
      EXPECT_EQ(rows, 2);
    }
    EXPECT_EQ(side_.Query(free_rows), "0") << "round " << round;
    ASSERT_TRUE(db_.CommitTrans());
    EXPECT_EQ(side_.Query(free_rows), "2") << "round " << round;
  }
}

// A query sent along that fails would spoil a caller's transaction,
// though the caller never ran it: inside one, none is sent along, and the
// transaction goes on. Outside one, its failure is raised when it is opened.
TEST_F(PostgresDriverTest, NoQueryGoesAlongInsideACallersTransaction) {
  const std::wstring tasks = L"select val from qz_keyed where k2 = 1 order by k1";
  const std::wstring failing = L"select 1 / (k2 - k2) as x from qz_keyed";
  const auto read_all = [](CQZRecordSet& set) {
    int rows = 0;
    for (; !set.IsEOF(); set.MoveNext()) ++rows;
    return rows;
  };
  for (int round = 0; round < 3; ++round) {  // first sighting, then kept
    ASSERT_TRUE(db_.BeginTrans());
    {
      CQZRecordSet set(&db_);
      ASSERT_TRUE(set.OpenWithFollowing(tasks, failing));
      EXPECT_EQ(read_all(set), 2);
      EXPECT_FALSE(set.OpenFollowing()) << "round " << round;
    }
    Run(L"insert into qz_plain values (" + std::to_wstring(round) + L")");
    ASSERT_TRUE(db_.CommitTrans());
    EXPECT_EQ(Count("qz_plain"), std::to_string(round + 1));
  }
  for (int round = 0; round < 3; ++round) {
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.OpenWithFollowing(tasks, failing));
    EXPECT_EQ(read_all(set), 2);
    EXPECT_TRUE(CatchError([&] { set.OpenFollowing(); }).thrown) << "round " << round;
  }
  EXPECT_EQ(ReadOne(L"select count(*) as x from qz_plain"), L"3");
}

TEST_F(PostgresDriverTest, StatementsWithoutRowsRunAtOpen) {
  Run(L"delete from qz_keyed where k1 = 'b'");
  EXPECT_EQ(Count("qz_keyed"), "2");
  // SELECT ... INTO and a WITH that only deletes return no rows and must
  // still run at Open.
  Run(L"select 1 as x into temp table qz_tmp");
  EXPECT_EQ(ReadOne(L"select count(*) as x from qz_tmp"), L"1");
  Run(L"WITH gone AS (DELETE FROM qz_keyed WHERE k2 = 1) DELETE FROM qz_plain");
  EXPECT_EQ(Count("qz_keyed"), "1");
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"insert into qz_plain values (9) returning x", ROWOPERATION_WRITE));
  EXPECT_EQ(Count("qz_plain"), "1");
  CQZDBVariant value;
  set.GetValueInColumn(L"X", value);
  EXPECT_EQ(value.GetInt32(), 9);
}

TEST_F(PostgresDriverTest, ConnectingToAMissingDatabaseThrows) {
  CQZDatabase other;
  CaughtError error = CatchError(
      [&] { other.Connect(QZDB_POSTGRESQL, server_.connect1, L"qz_no_such_db", server_.connect3, server_.connect4); });
  EXPECT_TRUE(error.thrown);
  EXPECT_NE(error.message.find(L"qz_no_such_db"), std::wstring::npos) << Utf8(error.message);
  EXPECT_TRUE(other.IsClosed());
}

TEST_F(PostgresDriverTest, ConnectsThroughTheSocketFolder) {
  const char* folder = std::getenv("QZ_PG_DIR");
  if (!folder || !*folder) GTEST_SKIP() << "QZ_PG_DIR is not set";
  // A folder names no port: libpq takes PGPORT, as any client would.
  const std::string host = Utf8(server_.connect1);
  const char* old_port = std::getenv("PGPORT");
  const std::string saved = old_port ? old_port : "";
  setenv("PGPORT", host.substr(host.rfind(':') + 1).c_str(), 1);
  CQZDatabase local;
  CaughtError error = CatchError([&] {
    local.Connect(QZDB_POSTGRESQL, qz::platform::Utf8ToWide(folder), server_.connect2, server_.connect3,
                  server_.connect4);
  });
  if (old_port)
    setenv("PGPORT", saved.c_str(), 1);
  else
    unsetenv("PGPORT");
  ASSERT_FALSE(error.thrown) << Utf8(error.message);
  CQZRecordSet set(&local);
  ASSERT_TRUE(set.Open(L"select inet_server_addr() is null as x", ROWOPERATION_READONLY));
  CQZDBVariant value;
  set.GetValueInColumn(L"x", value);
  EXPECT_EQ(value.GetInt32(), 1);  // no address: a Unix socket
}

// With standard_conforming_strings off a backslash in a literal escapes the
// quote after it: the connection pins it on whatever the server's default,
// and refuses to go on once a statement of the caller's turns it off.
TEST_F(PostgresDriverTest, QuotedTextsMeanWhatTheySayWhateverTheServersDefault) {
  const std::string database = Utf8(server_.connect2);
  side_.Query("ALTER DATABASE " + database + " SET standard_conforming_strings = off");
  CQZDatabase other;
  CaughtError connect = CatchError([&] { qz::testing::ConnectTo(server_, &other); });
  side_.Query("ALTER DATABASE " + database + " RESET standard_conforming_strings");
  ASSERT_FALSE(connect.thrown) << Utf8(connect.message);
  CQZRecordSet set(&other);
  CQZDBVariant value;
  ASSERT_TRUE(set.Open(L"select 'back\\' as x, 'it''s' as y", ROWOPERATION_READONLY));
  set.GetValueInColumn(L"x", value);
  EXPECT_STREQ(value.GetText(), L"back\\");
  set.GetValueInColumn(L"y", value);
  EXPECT_STREQ(value.GetText(), L"it's");

  ASSERT_TRUE(set.Open(L"set standard_conforming_strings = off", ROWOPERATION_WRITE));
  CaughtError refused = CatchError([&] { set.Open(L"select 'back\\' as x", ROWOPERATION_READONLY); });
  EXPECT_NE(refused.message.find(L"standard_conforming_strings"), std::wstring::npos) << Utf8(refused.message);
  EXPECT_FALSE(refused.state.empty());
}

// --- Transactions ---------------------------------------------------------

TEST_F(PostgresDriverTest, NothingToCommitOrRollBackAnswersZero) {
  EXPECT_EQ(db_.CommitTrans(), 0);
  EXPECT_EQ(db_.Rollback(), 0);
  EXPECT_EQ(db_.BeginTrans(), 1);
  EXPECT_EQ(db_.CommitTrans(), 1);
  EXPECT_EQ(db_.CommitTrans(), 0);
}

TEST_F(PostgresDriverTest, InnerRollbackKeepsOuterWork) {
  ASSERT_EQ(db_.BeginTrans(), 1);
  Run(L"insert into qz_plain values (1)");
  ASSERT_EQ(db_.BeginTrans(), 1);
  Run(L"insert into qz_plain values (2)");
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select * from qz_plain", ROWOPERATION_WRITE));
  CQZDBVariant value;
  set.AddNew(L"qz_plain");
  value = 3;
  set.SetFieldValue(L"x", value);
  set.Update();  // gathered, then dropped by the rollback
  ASSERT_EQ(db_.Rollback(), 1);
  ASSERT_EQ(db_.CommitTrans(), 1);
  EXPECT_EQ(side_.Query("SELECT string_agg(x::text, ',' ORDER BY x) FROM qz_plain"), "1");
}

TEST_F(PostgresDriverTest, OuterRollbackUndoesCommittedSavepoints) {
  ASSERT_EQ(db_.BeginTrans(), 1);
  Run(L"insert into qz_plain values (1)");
  ASSERT_EQ(db_.BeginTrans(), 1);
  Run(L"insert into qz_plain values (2)");
  ASSERT_EQ(db_.CommitTrans(), 1);
  ASSERT_EQ(db_.Rollback(), 1);
  EXPECT_EQ(Count("qz_plain"), "0");
  EXPECT_EQ(db_.Rollback(), 0);
}

TEST_F(PostgresDriverTest, AFailedTransactionCannotBeCommitted) {
  ASSERT_EQ(db_.BeginTrans(), 1);
  Run(L"insert into qz_plain values (1)");
  CQZRecordSet set(&db_);
  EXPECT_TRUE(CatchError([&] { set.Open(L"insert into qz_plain values ('x')", ROWOPERATION_WRITE); }).thrown);
  CaughtError commit = CatchError([&] { db_.CommitTrans(); });
  EXPECT_TRUE(commit.thrown);
  EXPECT_EQ(commit.state, "25P02");
  EXPECT_EQ(db_.Rollback(), 1);
  EXPECT_EQ(Count("qz_plain"), "0");
  EXPECT_EQ(ReadOne(L"select 1 as x"), L"1");
}

TEST_F(PostgresDriverTest, ReadsStreamingAcrossSavepointsSeeTheirTransaction) {
  side_.Query("INSERT INTO qz_plain SELECT g FROM generate_series(1, 500) g");
  ASSERT_EQ(db_.BeginTrans(), 1);
  Run(L"delete from qz_plain where x > 100");
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select x from qz_plain order by x", ROWOPERATION_READONLY));
  ASSERT_EQ(db_.BeginTrans(), 1);  // a savepoint while the rows stream
  Run(L"delete from qz_plain");
  EXPECT_EQ(ReadOne(L"select count(*) as x from qz_plain"), L"0");
  ASSERT_EQ(db_.Rollback(), 1);
  // The query ran before the savepoint: it sees the 100 rows the
  // transaction left, all of them, in order.
  CQZDBVariant value;
  int rows = 0;
  for (; !set.IsEOF(); set.MoveNext()) {
    set.GetValueInColumn(L"x", value);
    if (value.GetInt32() != ++rows) break;
  }
  EXPECT_EQ(rows, 100);
  EXPECT_EQ(ReadOne(L"select count(*) as x from qz_plain"), L"100");
  ASSERT_TRUE(set.Open(L"select x from qz_plain order by x", ROWOPERATION_READONLY));
  ASSERT_FALSE(set.IsBOF());
  ASSERT_EQ(db_.CommitTrans(), 1);  // commits with the read still streaming
  EXPECT_EQ(Count("qz_plain"), "100");
  rows = 0;
  for (; !set.IsEOF(); set.MoveNext()) ++rows;
  EXPECT_EQ(rows, 100);
}

TEST_F(PostgresDriverTest, AReadQueryRefusedInATransactionFailsIt) {
  ASSERT_EQ(db_.BeginTrans(), 1);
  Run(L"insert into qz_plain values (1)");
  CQZRecordSet set(&db_);
  EXPECT_TRUE(CatchError([&] { set.Open(L"select 1 / 0 as x", ROWOPERATION_READONLY); }).thrown);
  CaughtError commit = CatchError([&] { db_.CommitTrans(); });
  EXPECT_EQ(commit.state, "25P02");
  EXPECT_EQ(db_.Rollback(), 1);
  EXPECT_EQ(Count("qz_plain"), "0");
}

// --- Edit and Update by primary key ----------------------------------------

TEST_F(PostgresDriverTest, EditRewritesOnlyTheCurrentRowByItsCompositeKey) {
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select val, k2, k1 from qz_keyed order by k1, k2", ROWOPERATION_WRITE));
  ASSERT_TRUE(set.MoveNext());  // ('a', 2)
  CQZDBVariant value;
  set.Edit(L"qz_keyed");
  value = L"changed";
  set.SetFieldValue(L"VAL", value);
  set.Update();
  EXPECT_EQ(side_.Query("SELECT string_agg(val, ',' ORDER BY k1, k2) FROM qz_keyed"), "one,changed,three");
}

TEST_F(PostgresDriverTest, EditingEveryRowWhileTheyStream) {
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select * from qz_keyed order by k1, k2", ROWOPERATION_WRITE));
  int rows = 0;
  CQZDBVariant value;
  for (; !set.IsEOF(); set.MoveNext()) {
    set.GetValueInColumn(L"val", value);
    const std::wstring old = value.GetText();
    set.Edit(L"qz_keyed");
    value = old + L"!";
    set.SetFieldValue(L"val", value);
    set.Update();
    ++rows;
  }
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(side_.Query("SELECT string_agg(val, ',' ORDER BY k1, k2) FROM qz_keyed"), "one!,two!,three!");
}

TEST_F(PostgresDriverTest, EditWithoutAPrimaryKeyIsRefused) {
  side_.Query("INSERT INTO qz_plain VALUES (1)");
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select * from qz_plain", ROWOPERATION_WRITE));
  EXPECT_TRUE(CatchError([&] { set.Edit(L"qz_plain"); }).thrown);
}

TEST_F(PostgresDriverTest, TheSchemaCreatesTablesTheLibrarysNamesReach) {
  side_.Query(qz::testing::kDropLibraryTables);
  qz::control::CreateTables(db_, QZDB_POSTGRESQL);
  qz::control::CreateTables(db_, QZDB_POSTGRESQL);  // again: nothing to do
  EXPECT_EQ(side_.Query("SELECT count(*) FROM pg_indexes WHERE tablename = 'gezhuantaskitem'"), "3");
  ASSERT_EQ(db_.BeginTrans(), 1);
  {
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(L"select * from GeZhuanTaskItem", ROWOPERATION_WRITE));
    CQZDBVariant value;
    for (int i = 0; i < 3; ++i) {
      set.AddNew(L"GeZhuanTaskItem");
      value = L"00000000-0000-0000-0000-00000000000A";
      set.SetFieldValue(L"guidTask", value);
      value = L"item " + std::to_wstring(i);
      set.SetFieldValue(L"strItemName", value);
      value = 2 - i;
      set.SetFieldValue(L"nIndex", value);
      set.Update();
    }
  }
  ASSERT_EQ(db_.CommitTrans(), 1);
  CQZRecordSet set(&db_);
  ASSERT_TRUE(
      set.Open(L"select * from GeZhuanTaskItem where guidTask = '00000000-0000-0000-0000-00000000000A' "
               L"order by nIndex",
               ROWOPERATION_WRITE));
  CQZDBVariant value;
  set.GetValueInColumn(L"[strItemName]", value);
  EXPECT_STREQ(value.GetText(), L"item 2");
  set.Edit(L"GeZhuanTaskItem");  // keyed by the surrogate ItemRowID
  value = 99;
  set.SetFieldValue(L"dwLength", value);
  set.Update();
  EXPECT_EQ(side_.Query("SELECT string_agg(coalesce(dwlength, 0)::text, ',' ORDER BY nindex) FROM gezhuantaskitem"),
            "99,0,0");
}

// --- Streaming ------------------------------------------------------------

TEST_F(PostgresDriverTest, AQueryOpenedToAddRowsReadsNothing) {
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select nextval('qz_seq') as x from generate_series(1, 5)", ROWOPERATION_WRITE));
  CQZDBVariant value;
  set.AddNew(L"qz_plain");
  value = 1;
  set.SetFieldValue(L"x", value);
  set.Update();
  set.Close();
  EXPECT_EQ(Count("qz_plain"), "1");
  EXPECT_EQ(side_.Query("SELECT is_called FROM qz_seq"), "f");
}

TEST_F(PostgresDriverTest, AQueryOpenedForReadingRunsAtOpen) {
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select nextval('qz_seq') as x", ROWOPERATION_READONLY));
  // No row asked for yet, but the server has run the query.
  EXPECT_EQ(side_.Query("SELECT is_called FROM qz_seq"), "t");
  CQZDBVariant value;
  set.GetValueInColumn(L"x", value);
  EXPECT_EQ(value.GetInt32(), 1);
  EXPECT_FALSE(set.MoveNext());
  EXPECT_EQ(side_.Query("SELECT last_value FROM qz_seq"), "1");  // and only once
}

TEST_F(PostgresDriverTest, ABigResultStreamsRowByRow) {
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select g, nextval('qz_seq') as s, repeat('x', 1000) as pad from generate_series(1, 100000) g",
                       ROWOPERATION_READONLY));
  ASSERT_FALSE(set.IsBOF());
  // The server makes rows only as fast as they are read: with one row read,
  // at most a few socket buffers full (about 10 MB here) can have been made.
  const long made = std::atol(side_.Query("SELECT last_value FROM qz_seq").c_str());
  EXPECT_LT(made, 50000);
  CQZDBVariant value;
  int rows = 0;
  for (; !set.IsEOF(); set.MoveNext()) {
    set.GetValueInColumn(L"g", value);
    if (value.GetInt32() != ++rows) break;
  }
  EXPECT_EQ(rows, 100000);
}

TEST_F(PostgresDriverTest, ClosingAStreamEarlyFreesTheConnection) {
  {
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(L"select g from generate_series(1, 1000000) g", ROWOPERATION_READONLY));
    ASSERT_FALSE(set.IsEOF());
  }
  EXPECT_EQ(ReadOne(L"select 'next' as x"), L"next");
  // A short result closed after its first row.
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select 1 as x union all select 2", ROWOPERATION_READONLY));
  ASSERT_FALSE(set.IsBOF());
  set.Close();
  EXPECT_EQ(ReadOne(L"select 'again' as x"), L"again");
}

TEST_F(PostgresDriverTest, ClosingAReadQueryBeforeReadingFreesTheConnection) {
  for (const wchar_t* sql : {L"select g as x from generate_series(1, 1000000) g", L"select 1 as x"}) {
    {
      CQZRecordSet set(&db_);
      ASSERT_TRUE(set.Open(sql, ROWOPERATION_READONLY));
    }
    EXPECT_EQ(ReadOne(L"select 'next' as x"), L"next") << Utf8(sql);
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(sql, ROWOPERATION_READONLY));
    set.Close();
    EXPECT_EQ(ReadOne(L"select 'again' as x"), L"again") << Utf8(sql);
  }
  // Rows written after an abandoned read land once.
  {
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(L"select g as x from generate_series(1, 1000000) g", ROWOPERATION_READONLY));
  }
  Run(L"insert into qz_plain values (1)");
  EXPECT_EQ(Count("qz_plain"), "1");
}

// A read outside a transaction runs in one of its own, which ends as soon
// as the last chunk is in, the read is abandoned, or it fails: nothing
// holds the table's lock afterwards (a change to the table does not wait),
// and what the query's functions did stays done.
TEST_F(PostgresDriverTest, AReadLeavesNoTransactionOpenAndKeepsWhatItsFunctionsDid) {
  side_.Query("INSERT INTO qz_plain VALUES (1)");
  side_.Query(
      "CREATE OR REPLACE FUNCTION qz_note(n integer) RETURNS integer LANGUAGE sql "
      "AS $$ INSERT INTO qz_keyed VALUES ('noted', n, 'by a read') RETURNING k2 $$");
  side_.Query("SET lock_timeout = '5s'");
  const std::wstring long_read = L"select x, g from qz_plain, generate_series(1, 5000) g";
  int column = 0;
  const auto alter = [&] {
    const std::string name = "c" + std::to_string(++column);
    side_.Query("ALTER TABLE qz_plain ADD COLUMN " + name + " integer");
    return side_.Query(
        "SELECT count(*) FROM information_schema.columns WHERE table_name = 'qz_plain' AND column_name = '" + name +
        "'");
  };
  {  // read whole
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(long_read, ROWOPERATION_READONLY));
    int rows = 0;
    for (; !set.IsEOF(); set.MoveNext()) ++rows;
    EXPECT_EQ(rows, 5000);
    EXPECT_EQ(alter(), "1");
  }
  {  // abandoned after its first row
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(long_read, ROWOPERATION_READONLY));
    ASSERT_FALSE(set.IsEOF());
    set.Close();
    EXPECT_EQ(alter(), "1");
  }
  {  // failed
    CQZRecordSet set(&db_);
    EXPECT_TRUE(CatchError([&] { set.Open(L"select 1 / (x - x) as x from qz_plain", ROWOPERATION_READONLY); }).thrown);
    EXPECT_EQ(alter(), "1");
  }
  EXPECT_EQ(ReadOne(L"select qz_note(7) as x"), L"7");
  EXPECT_EQ(alter(), "1");
  EXPECT_EQ(side_.Query("SELECT val FROM qz_keyed WHERE k1 = 'noted'"), "by a read");
}

// Inside the caller's transaction a read neither commits nor ends it,
// whether the caller began it through BeginTrans or with its own BEGIN.
TEST_F(PostgresDriverTest, AReadInsideATransactionLeavesItToTheCaller) {
  const std::wstring long_read = L"select x, g from qz_plain, generate_series(1, 5000) g";
  for (bool own_begin : {false, true}) {
    SCOPED_TRACE(own_begin ? "BEGIN" : "BeginTrans");
    if (own_begin)
      Run(L"begin");
    else
      ASSERT_EQ(db_.BeginTrans(), 1);
    Run(L"insert into qz_plain values (1)");
    {
      CQZRecordSet set(&db_);
      ASSERT_TRUE(set.Open(long_read, ROWOPERATION_READONLY));
      int rows = 0;
      for (; !set.IsEOF(); set.MoveNext()) ++rows;
      EXPECT_EQ(rows, 5000);  // the transaction's own row is seen
    }
    {
      CQZRecordSet set(&db_);
      ASSERT_TRUE(set.Open(long_read, ROWOPERATION_READONLY));
      ASSERT_FALSE(set.IsEOF());  // abandoned
    }
    EXPECT_EQ(Count("qz_plain"), "0");  // not committed by the reads
    if (own_begin)
      Run(L"rollback");
    else
      ASSERT_EQ(db_.Rollback(), 1);
    EXPECT_EQ(ReadOne(L"select count(*) as x from qz_plain"), L"0");
  }
}

TEST_F(PostgresDriverTest, AnotherStatementBeforeTheFirstRowIsRead) {
  CQZRecordSet outer(&db_);
  ASSERT_TRUE(outer.Open(L"select g as x from generate_series(1, 1000) g", ROWOPERATION_READONLY));
  // The second query needs the connection while the first has its rows
  // still coming: nothing of the first may be lost, its first row included.
  EXPECT_EQ(ReadOne(L"select 'inner' as x"), L"inner");
  Run(L"insert into qz_plain values (5)");
  CQZDBVariant value;
  int rows = 0;
  for (; !outer.IsEOF(); outer.MoveNext()) {
    outer.GetValueInColumn(L"x", value);
    if (value.GetInt32() != ++rows) break;
  }
  EXPECT_EQ(rows, 1000);
  EXPECT_EQ(Count("qz_plain"), "1");
}

TEST_F(PostgresDriverTest, ASecondQueryWhileTheFirstStreams) {
  CQZRecordSet outer(&db_);
  ASSERT_TRUE(outer.Open(L"select g as x from generate_series(1, 1000) g", ROWOPERATION_READONLY));
  CQZDBVariant value;
  int rows = 0;
  for (; !outer.IsEOF(); outer.MoveNext()) {
    outer.GetValueInColumn(L"x", value);
    EXPECT_EQ(value.GetInt32(), ++rows);
    if (rows % 250 == 0) {
      EXPECT_EQ(ReadOne(L"select " + std::to_wstring(rows) + L" as x"), std::to_wstring(rows));
    }
  }
  EXPECT_EQ(rows, 1000);
}

// --- Gathered inserts -----------------------------------------------------

TEST_F(PostgresDriverTest, ARejectedRowInABigBatchSurfacesAndLeavesNothing) {
  ASSERT_EQ(db_.BeginTrans(), 1);
  CaughtError error = CatchError([&] {
    CQZRecordSet set(&db_);
    set.Open(L"select * from qz_batch", ROWOPERATION_WRITE);
    for (int n = 1; n <= 100000; ++n) AddBatchRow(set, n);
    db_.CommitTrans();
  });
  ASSERT_TRUE(error.thrown);
  EXPECT_EQ(error.state, "23514");
  EXPECT_NE(error.message.find(L"n_is_not_60000"), std::wstring::npos) << Utf8(error.message);
  EXPECT_EQ(db_.Rollback(), 1);
  EXPECT_EQ(Count("qz_batch"), "0");
  EXPECT_EQ(ReadOne(L"select count(*) as x from qz_batch"), L"0");
}

// The refusal of a held-back row belongs to the statement that added it:
// closing that statement sends the rows and throws, so a caller that closes
// before its next step learns which step failed. Destroying the set without
// Close leaves the rows to the connection's next statement.
TEST_F(PostgresDriverTest, ClosingTheSetThatAddedGatheredRowsSurfacesTheirRefusal) {
  ASSERT_EQ(db_.BeginTrans(), 1);
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select * from qz_batch", ROWOPERATION_WRITE));
  AddBatchRow(set, 1);
  AddBatchRow(set, 60000);  // held back: no answer yet
  CaughtError error = CatchError([&] { set.Close(); });
  ASSERT_TRUE(error.thrown);
  EXPECT_EQ(error.state, "23514");
  EXPECT_FALSE(set.IsOpen());
  EXPECT_EQ(db_.Rollback(), 1);
  EXPECT_EQ(Count("qz_batch"), "0");

  ASSERT_EQ(db_.BeginTrans(), 1);
  {
    CQZRecordSet dropped(&db_);
    ASSERT_TRUE(dropped.Open(L"select * from qz_batch", ROWOPERATION_WRITE));
    AddBatchRow(dropped, 60000);
  }
  error = CatchError([&] { db_.CommitTrans(); });
  EXPECT_EQ(error.state, "23514");
  EXPECT_EQ(db_.Rollback(), 1);

  ASSERT_EQ(db_.BeginTrans(), 1);
  ASSERT_TRUE(set.Open(L"select * from qz_batch", ROWOPERATION_WRITE));
  AddBatchRow(set, 2);
  set.Close();
  EXPECT_EQ(db_.CommitTrans(), 1);
  EXPECT_EQ(Count("qz_batch"), "1");
}

TEST_F(PostgresDriverTest, ABigBatchCommitsEveryRow) {
  ASSERT_EQ(db_.BeginTrans(), 1);
  {
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(L"select * from qz_batch", ROWOPERATION_WRITE));
    for (int n = 1; n <= 100000; ++n) {
      if (n == 60000) continue;
      AddBatchRow(set, n);
    }
  }
  ASSERT_EQ(db_.CommitTrans(), 1);
  EXPECT_EQ(Count("qz_batch"), "99999");
  EXPECT_EQ(side_.Query("SELECT t FROM qz_batch WHERE n = 99999"), "row 99999");
}

TEST_F(PostgresDriverTest, GatheredRowsForSeveralTablesKeepTheirOrder) {
  ASSERT_EQ(db_.BeginTrans(), 1);
  {
    CQZRecordSet set(&db_);
    ASSERT_TRUE(set.Open(L"select * from qz_batch", ROWOPERATION_WRITE));
    CQZDBVariant value;
    for (int i = 1; i <= 4; ++i) {
      AddBatchRow(set, i);
      set.AddNew(L"qz_plain");
      value = i * 10;
      set.SetFieldValue(L"x", value);
      set.Update();
      set.AddNew(L"qz_batch");  // another column set for the same table
      value = -i;
      set.SetFieldValue(L"n", value);
      set.Update();
    }
  }
  ASSERT_EQ(db_.CommitTrans(), 1);
  EXPECT_EQ(side_.Query("SELECT string_agg(n::text || ':' || coalesce(t, '-'), ',' ORDER BY ctid) FROM qz_batch"),
            "1:row 1,-1:-,2:row 2,-2:-,3:row 3,-3:-,4:row 4,-4:-");
  EXPECT_EQ(side_.Query("SELECT string_agg(x::text, ',' ORDER BY ctid) FROM qz_plain"), "10,20,30,40");
}

// --- A lost connection ------------------------------------------------------

TEST_F(PostgresDriverTest, ATerminatedBackendIsReplacedOnTheNextCall) {
  const std::wstring pid = ReadOne(L"select pg_backend_pid() as x");
  side_.Query("SELECT pg_terminate_backend(" + Utf8(pid) + ", 10000)");
  EXPECT_EQ(db_.IsConnectted(), 1);
  Run(L"insert into qz_plain values (1)");
  EXPECT_NE(ReadOne(L"select pg_backend_pid() as x"), pid);
  EXPECT_EQ(Count("qz_plain"), "1");  // sent once, not twice
}

TEST_F(PostgresDriverTest, ABackendTerminatedWhileAReadStreamsFailsTheReadOnly) {
  const std::wstring pid = ReadOne(L"select pg_backend_pid() as x");
  CaughtError error;
  int rows = 0;
  {
    CQZRecordSet set(&db_);
    ASSERT_TRUE(
        set.Open(L"select g as x, repeat('x', 1000) as pad from generate_series(1, 1000000) g", ROWOPERATION_READONLY));
    ASSERT_FALSE(set.IsBOF());
    side_.Query("SELECT pg_terminate_backend(" + Utf8(pid) + ", 10000)");
    error = CatchError([&] {
      for (; !set.IsEOF() && rows < 1000000; set.MoveNext()) ++rows;
    });
  }
  EXPECT_TRUE(error.thrown);
  EXPECT_LT(rows, 1000000);
  // Outside a transaction the next call connects again; the query that was
  // cut off is not sent again.
  EXPECT_EQ(db_.IsConnectted(), 1);
  EXPECT_NE(ReadOne(L"select pg_backend_pid() as x"), pid);
  Run(L"insert into qz_plain values (1)");
  EXPECT_EQ(Count("qz_plain"), "1");
}

TEST_F(PostgresDriverTest, ABackendTerminatedWhileAReadStreamsInATransactionLosesIt) {
  const std::wstring pid = ReadOne(L"select pg_backend_pid() as x");
  ASSERT_EQ(db_.BeginTrans(), 1);
  Run(L"insert into qz_plain values (1)");
  CQZRecordSet set(&db_);
  ASSERT_TRUE(
      set.Open(L"select g as x, repeat('x', 1000) as pad from generate_series(1, 1000000) g", ROWOPERATION_READONLY));
  ASSERT_FALSE(set.IsBOF());
  side_.Query("SELECT pg_terminate_backend(" + Utf8(pid) + ", 10000)");
  CaughtError error = CatchError([&] {
    for (int rows = 0; !set.IsEOF() && rows < 1000000; set.MoveNext()) ++rows;
  });
  EXPECT_TRUE(error.thrown);
  set.Close();
  // The transaction is gone: its next statement cannot run and its commit
  // fails.
  CQZRecordSet other(&db_);
  bool opened = true;
  CatchError([&] { opened = other.Open(L"insert into qz_plain values (2)", ROWOPERATION_WRITE); });
  EXPECT_FALSE(opened);
  EXPECT_TRUE(CatchError([&] { db_.CommitTrans(); }).thrown);
  EXPECT_EQ(db_.Rollback(), 1);
  EXPECT_EQ(Count("qz_plain"), "0");
  EXPECT_EQ(db_.IsConnectted(), 1);
  EXPECT_EQ(ReadOne(L"select 'back' as x"), L"back");
}

TEST_F(PostgresDriverTest, AServerRestartBetweenTwoOperations) {
  if (server_.restart_command.empty()) GTEST_SKIP() << "QZ_PG_RESTART is not set";
  Run(L"insert into qz_plain values (1)");
  ASSERT_EQ(std::system(server_.restart_command.c_str()), 0);
  ASSERT_TRUE(side_.Open(server_));
  EXPECT_EQ(db_.IsConnectted(), 1);
  EXPECT_EQ(ReadOne(L"select count(*) as x from qz_plain"), L"1");
  Run(L"insert into qz_plain values (2)");
  EXPECT_EQ(Count("qz_plain"), "2");
}

TEST_F(PostgresDriverTest, ABackendKilledInsideATransactionLosesItWhole) {
  const std::wstring pid = ReadOne(L"select pg_backend_pid() as x");
  ASSERT_EQ(db_.BeginTrans(), 1);
  CQZRecordSet set(&db_);
  ASSERT_TRUE(set.Open(L"select * from qz_batch", ROWOPERATION_WRITE));
  for (int n = 1; n <= 1000; ++n) AddBatchRow(set, n);
  EXPECT_EQ(ReadOne(L"select count(*) as x from qz_batch"), L"1000");  // on the server, uncommitted
  side_.Query("SELECT pg_terminate_backend(" + Utf8(pid) + ", 10000)");
  CaughtError error = CatchError([&] {
    for (int n = 1001; n <= 2000; ++n) AddBatchRow(set, n);
    db_.CommitTrans();
  });
  EXPECT_TRUE(error.thrown);
  EXPECT_EQ(error.state.substr(0, 2), "08") << error.state;
  EXPECT_EQ(db_.Rollback(), 1);
  EXPECT_EQ(Count("qz_batch"), "0");
  // The next call connects again and works.
  EXPECT_EQ(db_.IsConnectted(), 1);
  ASSERT_EQ(db_.BeginTrans(), 1);
  AddBatchRow(set, 1);
  ASSERT_EQ(db_.CommitTrans(), 1);
  EXPECT_EQ(Count("qz_batch"), "1");
}

}  // namespace
