// The SQLite driver against real files: values in and out, the one-statement
// rule, savepoints, two connections on one file, and the cost of inserts.
#include <QZDatabaseAccess.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <thread>

#include "platform/TextEncoding.h"
#include "support/TempDatabase.h"

namespace {

using qz::testing::TempDatabase;

// Puts the process in the time zone of a POSIX TZ text while it lives
// ("CST-8" is eight hours east of UTC, without daylight saving, and needs no
// zone database).
class TimeZoneScope {
 public:
  explicit TimeZoneScope(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZoneScope() {
    if (old_)
      setenv("TZ", old_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  TimeZoneScope(const TimeZoneScope&) = delete;
  TimeZoneScope& operator=(const TimeZoneScope&) = delete;

 private:
  std::optional<std::string> old_;
};

std::string TimestampText(const SQZTimestamp& t) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02u:%02u:%02u", static_cast<int>(t.year),
                static_cast<unsigned>(t.month), static_cast<unsigned>(t.day), static_cast<unsigned>(t.hour),
                static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second));
  return buffer;
}

class SqliteDriverTest : public ::testing::Test {
 protected:
  SqliteDriverTest() : temp_(false) {}

  void SetUp() override {
    Connect(database_);
    Run(L"create table T (k TEXT PRIMARY KEY, i INTEGER, s TEXT, d TIMESTAMP, r REAL)");
  }

  void Connect(CQZDatabase& database) {
    database.Connect(QZDB_SQLITE, qz::platform::Utf8ToWide(temp_.folder()), L"test.db", L"", L"");
  }

  void Run(const std::wstring& sql, CQZDatabase* database = nullptr) {
    CQZRecordSet set(database ? database : &database_);
    ASSERT_TRUE(set.Open(sql, ROWOPERATION_WRITE));
  }

  // Inserts one row of T through AddNew/SetFieldValue/Update.
  void Insert(const std::wstring& key, const CQZDBVariant& value, const wchar_t* column = L"[s]",
              CQZDatabase* database = nullptr) {
    CQZRecordSet set(database ? database : &database_);
    ASSERT_TRUE(set.Open(L"select * from T", ROWOPERATION_WRITE));
    CQZDBVariant k;
    k = key;
    set.AddNew(L"T");
    set.SetFieldValue(L"[k]", k);
    set.SetFieldValue(column, value);
    set.Update();
  }

  // The value of column in the row of key.
  CQZDBVariant Read(const std::wstring& key, const wchar_t* column, CQZDatabase* database = nullptr) {
    CQZRecordSet set(database ? database : &database_);
    CQZDBVariant value;
    EXPECT_TRUE(set.Open(L"select * from T where k = '" + key + L"'", ROWOPERATION_READONLY));
    EXPECT_FALSE(set.IsBOF());
    set.GetValueInColumn(column, value);
    return value;
  }

  int Count(CQZDatabase* database = nullptr) {
    CQZRecordSet set(database ? database : &database_);
    CQZDBVariant value;
    set.Open(L"select count(*) as n from T", ROWOPERATION_READONLY);
    set.GetValueInColumn(L"n", value);
    return value.GetInt32();
  }

  // Runs f and answers the message of the CQZDBException it throws ("" if none).
  template <typename F>
  static std::string Thrown(F f) {
    try {
      f();
    } catch (CQZDBException* e) {
      std::string message = qz::platform::WideToUtf8(e->GetErrorMessage());
      e->Delete();
      return message.empty() ? "(empty message)" : message;
    }
    return "";
  }

  TempDatabase temp_;
  CQZDatabase database_;
};

TEST_F(SqliteDriverTest, ValuesOfEveryTypeComeBackAsWritten) {
  CQZDBVariant v;
  for (int32_t n : {0, 1, -1, INT32_MIN, INT32_MAX}) {
    v = n;
    Insert(L"i" + std::to_wstring(n), v, L"[i]");
    EXPECT_EQ(Read(L"i" + std::to_wstring(n), L"[i]").GetInt32(), n);
  }

  const std::wstring texts[] = {
      L"",
      L"磁带 转换 任务",                            // CJK
      L"\U0001F600 \U00020000 emoji and rare CJK",  // outside the BMP
      L"it's \"quoted\" \\ back; -- not a comment",
      std::wstring(1 << 20, L'x') + L"尾",  // 1 MB and a tail
      L"\x01\x02\x7f binary-looking",
  };
  int k = 0;
  for (const std::wstring& text : texts) {
    v = text;
    Insert(L"s" + std::to_wstring(k), v);
    EXPECT_EQ(std::wstring(Read(L"s" + std::to_wstring(k), L"[s]").GetText()), text) << "text " << k;
    ++k;
  }

  v = SQZDateTime(2008, 2, 29, 23, 59, 58);
  Insert(L"d", v, L"[d]");
  SQZTimestamp t = Read(L"d", L"d").GetTimestamp();
  EXPECT_EQ(t.year, 2008);
  EXPECT_EQ(t.month, 2);
  EXPECT_EQ(t.day, 29);
  EXPECT_EQ(t.hour, 23);
  EXPECT_EQ(t.minute, 59);
  EXPECT_EQ(t.second, 58);
  EXPECT_STREQ(Read(L"d", L"[d]").GetText(), L"2008-02-29 23:59:58");  // SQLite's own date form
}

TEST_F(SqliteDriverTest, NullAndInvalidDatesReadAsEmptyZeroAndZeroTimestamp) {
  SQZDateTime invalid(2008, 2, 30, 0, 0, 0);
  ASSERT_EQ(invalid.m_status, SQZDateTime::invalid);
  CQZDBVariant v;
  v = invalid;
  Insert(L"n", v, L"[d]");  // written as NULL

  for (const wchar_t* column : {L"[i]", L"[s]", L"[d]", L"[r]"}) {
    CQZDBVariant value = Read(L"n", column);
    EXPECT_TRUE(value.IsNull()) << column;
    EXPECT_EQ(value.GetInt32(), 0);
    EXPECT_STREQ(value.GetText(), L"");
    SQZTimestamp t = value.GetTimestamp();
    EXPECT_EQ(t.year | t.month | t.day | t.hour | t.minute | t.second, 0);
  }
}

TEST_F(SqliteDriverTest, DatesStoredByOtherToolsAreRead) {
  TimeZoneScope utc("UTC0");  // strftime('%s') below takes the text as UTC
  Run(L"insert into T (k, d) values ('frac', '2001-02-03 04:05:06.789')");
  Run(L"insert into T (k, d) values ('iso', '2001-02-03T04:05:06')");
  Run(L"insert into T (k, d) values ('julian', julianday('2001-02-03 04:05:06'))");
  Run(L"insert into T (k, d) values ('unix', strftime('%s', '2001-02-03 04:05:06') + 0)");
  Run(L"insert into T (k, d) values ('bad', '2008-02-30 12:00:00')");
  for (const wchar_t* key : {L"frac", L"iso", L"julian", L"unix"}) {
    SQZTimestamp t = Read(key, L"d").GetTimestamp();
    EXPECT_EQ(t.year, 2001) << qz::platform::WideToUtf8(key);
    EXPECT_EQ(t.month, 2);
    EXPECT_EQ(t.day, 3);
    EXPECT_EQ(t.hour, 4);
    EXPECT_EQ(t.minute, 5);
    EXPECT_EQ(t.second, 6);
  }
  // Impossible parts are handed on as they are; the date conversion judges them.
  SQZTimestamp bad = Read(L"bad", L"d").GetTimestamp();
  EXPECT_EQ(bad.day, 30);
}

// A julian day REAL is the clock time it was made from, its fraction of a
// second dropped as every timestamp's is (SQLite's own millisecond rounding
// first, so that binary fractions do not lose a second). A unix time
// INTEGER is a moment, read as the local time of that moment.
TEST_F(SqliteDriverTest, JulianDaysDropTheirFractionAndUnixTimesReadAsLocalTime) {
  TimeZoneScope zone("CST-8");
  Run(L"insert into T (k, d) values ('almost', julianday('2001-02-03 04:05:06.999'))");
  Run(L"insert into T (k, d) values ('midnight', julianday('2001-02-03 23:59:59.999'))");
  Run(L"insert into T (k, d) values ('whole', julianday('2001-02-03 04:05:06'))");
  Run(L"insert into T (k, d) values ('old', julianday('1800-01-01 06:00:00.600'))");
  Run(L"insert into T (k, d) values ('too old', julianday('0099-12-31 23:59:59'))");
  Run(L"insert into T (k, d) values ('unix', 981173106)");        // 2001-02-03 04:05:06 UTC
  Run(L"insert into T (k, d) values ('unix old', -5364662400)");  // 1800-01-01 00:00:00 UTC

  EXPECT_EQ(TimestampText(Read(L"almost", L"d").GetTimestamp()), "2001-02-03 04:05:06");
  EXPECT_EQ(Read(L"almost", L"d").GetTimestamp().fraction, 999000000u);
  EXPECT_EQ(TimestampText(Read(L"midnight", L"d").GetTimestamp()), "2001-02-03 23:59:59");
  EXPECT_EQ(TimestampText(Read(L"whole", L"d").GetTimestamp()), "2001-02-03 04:05:06");
  EXPECT_EQ(Read(L"whole", L"d").GetTimestamp().fraction, 0u);
  EXPECT_EQ(TimestampText(Read(L"old", L"d").GetTimestamp()), "1800-01-01 06:00:00");
  EXPECT_EQ(TimestampText(Read(L"too old", L"d").GetTimestamp()), "0000-00-00 00:00:00");
  EXPECT_EQ(TimestampText(Read(L"unix", L"d").GetTimestamp()), "2001-02-03 12:05:06");
  EXPECT_EQ(TimestampText(Read(L"unix old", L"d").GetTimestamp()), "1800-01-01 08:00:00");

  TimeZoneScope utc("UTC0");
  EXPECT_EQ(TimestampText(Read(L"unix", L"d").GetTimestamp()), "2001-02-03 04:05:06");
  EXPECT_EQ(TimestampText(Read(L"almost", L"d").GetTimestamp()), "2001-02-03 04:05:06");  // no zone of its own
}

TEST_F(SqliteDriverTest, OnlyOneStatementRuns) {
  Insert(L"a", CQZDBVariant());
  CQZRecordSet set(&database_);
  EXPECT_NE(Thrown([&] { set.Open(L"delete from T; drop table T", ROWOPERATION_WRITE); }), "");
  EXPECT_NE(Thrown([&] { set.Open(L"select * from T where 1=1; delete from T", ROWOPERATION_READONLY); }), "");
  EXPECT_EQ(Count(), 1);  // nothing of either text ran

  // A trailing semicolon or comment is not a second statement.
  EXPECT_TRUE(set.Open(L"select * from T; -- done", ROWOPERATION_READONLY));
  EXPECT_FALSE(set.IsBOF());
  // A statement the database rejects throws with the engine's message.
  EXPECT_NE(Thrown([&] { set.Open(L"select * from NoSuchTable", ROWOPERATION_READONLY); }).find("NoSuchTable"),
            std::string::npos);
}

TEST_F(SqliteDriverTest, TransactionsNestAsSavepoints) {
  CQZDBVariant v;
  database_.BeginTrans();
  Insert(L"outer", v);
  database_.BeginTrans();
  Insert(L"inner", v);
  database_.Rollback();  // the inner level only
  Insert(L"after", v);
  database_.CommitTrans();
  EXPECT_EQ(Count(), 2);

  database_.BeginTrans();
  Insert(L"x", v);
  database_.BeginTrans();
  Insert(L"y", v);
  database_.CommitTrans();  // released into the outer level
  database_.Rollback();     // which takes it along
  EXPECT_EQ(Count(), 2);

  EXPECT_EQ(database_.CommitTrans(), 0);  // nothing open
  EXPECT_EQ(database_.Rollback(), 0);
}

TEST_F(SqliteDriverTest, EditRewritesTheCurrentRowByItsKey) {
  CQZDBVariant v;
  v = L"one";
  Insert(L"a", v);
  v = L"two";
  Insert(L"b", v);
  {
    CQZRecordSet set(&database_);
    ASSERT_TRUE(set.Open(L"select * from T where k = 'b'", ROWOPERATION_WRITE));
    set.Edit(L"T");
    v = L"changed";
    set.SetFieldValue(L"[s]", v);
    set.Update();
  }
  EXPECT_STREQ(Read(L"a", L"s").GetText(), L"one");
  EXPECT_STREQ(Read(L"b", L"s").GetText(), L"changed");

  // The key written back as it was, or changed: the edit holds either way
  // (the driver leaves an unchanged key out of what it sets).
  for (const wchar_t* new_key : {L"b", L"c"}) {
    CQZRecordSet set(&database_);
    ASSERT_TRUE(set.Open(L"select * from T where s = 'changed'", ROWOPERATION_WRITE));
    set.Edit(L"T");
    v = new_key;
    set.SetFieldValue(L"k", v);
    v = std::wstring(L"set with key ") + new_key;
    set.SetFieldValue(L"s", v);
    set.Update();
    set.Close();
    EXPECT_EQ(Read(new_key, L"s").GetText(), std::wstring(L"set with key ") + new_key);
    Run(std::wstring(L"update T set s = 'changed' where k = '") + new_key + L"'");
  }
  EXPECT_EQ(Count(), 2);
  EXPECT_STREQ(Read(L"c", L"s").GetText(), L"changed");

  Run(L"create table NoKey (s TEXT)");
  Run(L"insert into NoKey values ('x')");
  CQZRecordSet set(&database_);
  ASSERT_TRUE(set.Open(L"select * from NoKey", ROWOPERATION_WRITE));
  EXPECT_NE(Thrown([&] { set.Edit(L"NoKey"); }).find("primary key"), std::string::npos);
}

TEST_F(SqliteDriverTest, MisuseAndClosedConnectionsAreRefusedCleanly) {
  CQZRecordSet set(&database_);
  EXPECT_NE(Thrown([&] { set.IsEOF(); }), "");  // not open
  ASSERT_TRUE(set.Open(L"select * from T", ROWOPERATION_WRITE));
  EXPECT_NE(Thrown([&] { set.Update(); }), "");  // no AddNew
  EXPECT_NE(Thrown([&] {
              CQZDBVariant v;
              set.GetValueInColumn(L"[s]", v);
            }),
            "");  // no row

  database_.Close();
  EXPECT_EQ(database_.IsConnectted(), 0);
  EXPECT_TRUE(database_.IsClosed());
  EXPECT_FALSE(set.Open(L"select * from T", ROWOPERATION_READONLY));
  EXPECT_EQ(database_.BeginTrans(), 0);
}

TEST(SqliteConnect, RefusesWhatCannotBeOpened) {
  CQZDatabase database;
  auto thrown = [&](DATABASETYPE type, const wchar_t* folder, const wchar_t* file) {
    try {
      database.Connect(type, folder, file, L"", L"");
    } catch (CQZDBException* e) {
      std::string message = qz::platform::WideToUtf8(e->GetErrorMessage());
      e->Delete();
      return message;
    }
    return std::string();
  };
  EXPECT_NE(thrown(QZDB_SQLITE, L"/no/such/folder", L"x.db").find("/no/such/folder/x.db"), std::string::npos);
  EXPECT_NE(thrown(QZDB_SQLITE, L"/tmp", L""), "");
  EXPECT_NE(thrown(QZDB_RESERVED4, L"a", L"b").find("DATABASETYPE 4"), std::string::npos);
  EXPECT_EQ(database.IsConnectted(), 0);
  EXPECT_EQ(thrown(QZDB_SQLITE, L"", L":memory:"), "");
  EXPECT_EQ(database.IsConnectted(), 1);
}

TEST_F(SqliteDriverTest, TwoConnectionsShareTheFile) {
  CQZDatabase other;
  Connect(other);
  CQZDBVariant v;

  // A reader is not blocked by an open write transaction (WAL) and sees
  // only committed rows.
  database_.BeginTrans();
  Insert(L"pending", v);
  EXPECT_EQ(Count(&other), 0);

  // A second writer waits for the first instead of failing at once.
  std::thread committer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    database_.CommitTrans();
  });
  other.BeginTrans();  // blocks until the commit, within the busy timeout
  Insert(L"second", v, L"[s]", &other);
  other.CommitTrans();
  committer.join();
  EXPECT_EQ(Count(), 2);
}

// A query kept prepared remembers where it found its columns; another
// program, the sqlite3 command-line client, then drops and adds columns
// under it, moving them. Each read finds the columns where they are now.
TEST_F(SqliteDriverTest, AKeptQueryFindsColumnsAnotherProgramMoved) {
#if defined(_WIN32)
  GTEST_SKIP() << "the sqlite3 command-line client is a program of the build machine";
#endif
  Run(L"insert into T (k, i, s) values ('a', 7, 'text')");
  auto alter_elsewhere = [&](const std::string& sql) {
    const std::string command = "sqlite3 '" + temp_.folder() + "/test.db' \"" + sql + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  };
  // "s@<position>=<text> i@<position>=<value>", read by position as row
  // mappings read, the value of i also by name; "<error> ..." when a
  // column is missing.
  auto read = [&] {
    std::string read;
    try {
      CQZRecordSet set(&database_);
      if (!set.Open(L"select * from T where k = 'a'", ROWOPERATION_READONLY) || set.IsEOF()) return read;
      const int s_at = set.GetColumnPosition(L"s");
      std::wstring s;
      set.GetTextAt(s_at, &s);
      read = "s@" + std::to_string(s_at) + "=" + qz::platform::WideToUtf8(s);
      const int i_at = set.GetColumnPosition(L"i");
      CQZDBVariant i;
      set.GetValueInColumn(L"i", i);
      read += " i@" + std::to_string(i_at) + "=" + (i.IsNull() ? "<null>" : std::to_string(set.GetInt32At(i_at)));
    } catch (CQZDBException* e) {
      read += " <error> " + qz::platform::WideToUtf8(e->GetErrorMessage());
      e->Delete();
    }
    return read;
  };

  for (int call = 0; call < 3; ++call) ASSERT_EQ(read(), "s@2=text i@1=7");  // kept from here on
  alter_elsewhere("ALTER TABLE T DROP COLUMN i");
  const std::string dropped = read();
  EXPECT_EQ(dropped.rfind("s@1=text <error>", 0), 0u) << dropped;
  EXPECT_EQ(read(), dropped);
  alter_elsewhere("ALTER TABLE T ADD COLUMN i INTEGER; UPDATE T SET i = 8");
  EXPECT_EQ(read(), "s@1=text i@4=8");
  EXPECT_EQ(read(), "s@1=text i@4=8");
}

// Time per row for count inserts in one transaction.
double SecondsPerInsert(CQZDatabase& database, int first_key, int count) {
  auto start = std::chrono::steady_clock::now();
  database.BeginTrans();
  CQZRecordSet set(&database);
  set.Open(L"select * from T", ROWOPERATION_WRITE);
  CQZDBVariant k, s;
  s = L"some text";
  for (int i = 0; i < count; ++i) {
    k = std::to_wstring(first_key + i);
    set.AddNew(L"T");
    set.SetFieldValue(L"[k]", k);
    set.SetFieldValue(L"[s]", s);
    set.Update();
  }
  set.Close();
  database.CommitTrans();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / count;
}

TEST_F(SqliteDriverTest, InsertCostDoesNotGrowWithTheTable) {
  const double empty = SecondsPerInsert(database_, 0, 20000);
  SecondsPerInsert(database_, 20000, 200000);
  const double full = SecondsPerInsert(database_, 300000, 20000);
  // Generous: the point is "no table scan", which would be 100x.
  EXPECT_LT(full, empty * 3) << "empty " << empty * 1e6 << " us/row, 220k rows " << full * 1e6 << " us/row";
}

}  // namespace

namespace {

// Rows written by two record sets in turn, and rows whose columns change
// order part way, must each land with their own values: the driver binds a
// steady run of rows straight into its cached INSERT and has to notice when
// the run is broken.
TEST_F(SqliteDriverTest, InterleavedAndReorderedRowsKeepTheirValues) {
  CQZRecordSet first(&database_), second(&database_);
  ASSERT_TRUE(first.Open(L"select * from T", ROWOPERATION_WRITE));
  ASSERT_TRUE(second.Open(L"select * from T", ROWOPERATION_WRITE));
  CQZDBVariant k, s, i;
  auto add = [&](CQZRecordSet& set, const std::wstring& key, const std::wstring& text, bool reversed) {
    set.AddNew(L"T");
    k = key;
    s = text;
    if (reversed) {
      set.SetFieldValue(L"[s]", s);
      set.SetFieldValue(L"[k]", k);
    } else {
      set.SetFieldValue(L"[k]", k);
      set.SetFieldValue(L"[s]", s);
    }
    set.Update();
  };
  for (int n = 0; n < 3; ++n) add(first, L"a" + std::to_wstring(n), L"first " + std::to_wstring(n), false);
  // Half a row on the first set, a whole row on the second, then the rest.
  first.AddNew(L"T");
  k = L"a3";
  first.SetFieldValue(L"[k]", k);
  add(second, L"b0", L"second 0", false);
  s = L"first 3 \U0001F600";
  first.SetFieldValue(L"[s]", s);
  i = 7;
  first.SetFieldValue(L"[i]", i);  // a column the run did not have
  first.Update();
  add(first, L"a4", L"first 4", true);   // another order
  add(first, L"a5", L"first 5", false);  // and back
  first.AddNew(L"T");
  k = L"a6";
  first.SetFieldValue(L"[k]", k);  // fewer columns than the run
  first.Update();

  EXPECT_STREQ(Read(L"a2", L"s").GetText(), L"first 2");
  EXPECT_STREQ(Read(L"b0", L"s").GetText(), L"second 0");
  EXPECT_STREQ(Read(L"a3", L"s").GetText(), L"first 3 \U0001F600");
  EXPECT_EQ(Read(L"a3", L"i").GetInt32(), 7);
  EXPECT_STREQ(Read(L"a4", L"s").GetText(), L"first 4");
  EXPECT_STREQ(Read(L"a5", L"s").GetText(), L"first 5");
  EXPECT_TRUE(Read(L"a6", L"s").IsNull());
  EXPECT_EQ(Count(), 8);
}

}  // namespace

namespace {

// A record set left open while its connection goes away (destroyed, or
// connected elsewhere) must neither crash nor reach the freed driver: it
// answers false to Open afterwards. ASan watches the frees.
TEST(RecordSetLifetime, OutlivingItsConnectionIsSafe) {
  TempDatabase temp;
  const DBsSetNode node = temp.Node();
  CQZDBVariant v;
  v = L"x";

  auto database = std::make_unique<CQZDatabase>();
  database->Connect(QZDB_SQLITE, node.strConnect1, node.strConnect2, L"", L"");
  CQZRecordSet reading(database.get()), writing(database.get());
  ASSERT_TRUE(reading.Open(L"select * from VTRTAPEGROUPINFO", ROWOPERATION_READONLY));
  ASSERT_TRUE(writing.Open(L"select * from VTRTAPEGROUPINFO", ROWOPERATION_WRITE));
  writing.AddNew(L"VTRTAPEGROUPINFO");
  writing.SetFieldValue(L"[guidGroupID]", v);

  database->Connect(QZDB_SQLITE, L"", L":memory:", L"", L"");  // elsewhere now
  EXPECT_FALSE(reading.IsOpen());
  EXPECT_FALSE(writing.IsOpen());
  ASSERT_TRUE(reading.Open(L"select 1 as one", ROWOPERATION_READONLY));  // on the new connection

  database.reset();  // gone, with a set still open on it
  EXPECT_FALSE(reading.IsOpen());
  EXPECT_FALSE(reading.Open(L"select 1 as one", ROWOPERATION_READONLY));
  reading.Close();
}

}  // namespace
