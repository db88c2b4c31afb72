// What only the ODBC driver has to get right, on each source reached
// through ODBC (support/OdbcEngineDatabase.h): long batches sent as
// parameter arrays, a link killed by the server, long and non-BMP text,
// connection strings with awkward passwords, and a source that does not
// exist.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "access/driver/odbc/OdbcText.h"
#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"
#include "support/OdbcEngineDatabase.h"
#include "support/OdbcSources.h"
#include "tasks/StoreFixture.h"

namespace qz::testing {
namespace {

std::string Utf8(const std::wstring& text) { return platform::WideToUtf8(text); }

SQZGeZhuanItemInfo Item(const GUID& task, int32_t index, std::wstring name) {
  SQZGeZhuanItemInfo item;
  item.guidTask = task;
  item.guidItem = TestGuid(100000 + static_cast<uint32_t>(index));
  item.strItemName = std::move(name);
  item.nIndex = index;
  item.dwLength = static_cast<uint32_t>(index) * 25;
  return item;
}

// A connection of the test's own to the engine's source.
void ConnectTo(const EngineDatabase& db, CQZDatabase* database) {
  const DBsSetNode node = db.Node();
  database->Connect(QZDB_ODBC, node.strConnect1, node.strConnect2, node.strConnect3, node.strConnect4);
}

class OdbcStoreTest : public StoreTest {};

TEST_P(OdbcStoreTest, ARowRefusedInTheMiddleOfALongBatchKeepsNothing) {
  db_->RejectInsert(L"GeZhuanTaskItem", L"strItemName", L"refused");
  std::vector<SQZGeZhuanItemInfo> items;
  for (int32_t i = 0; i < 10000; ++i) items.push_back(Item(TestGuid(1), i, L"item " + std::to_wstring(i)));
  items[5000].strItemName = L"refused";

  EXPECT_EQ(control_.AddGeZhuanItems(&items), 0);
  EXPECT_EQ(debug_.lines(), std::vector<std::wstring>{L"select * from GeZhuanTaskItem"});
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 0);

  // All of them go in once the row is acceptable, in order, and nothing was
  // left open by the failure.
  items[5000].strItemName = L"accepted";
  EXPECT_EQ(control_.AddGeZhuanItems(&items), 1);
  EXPECT_EQ(Count(L"GeZhuanTaskItem"), 10000);
  EXPECT_EQ(db_->QueryInteger(L"select dwLength as v from GeZhuanTaskItem where strItemName = 'item 9999'"), 9999 * 25);
}

TEST_P(OdbcStoreTest, LongAndNonBmpTextsRoundTrip) {
  // 100,000 characters: ASCII, CJK, and characters outside the BMP, which
  // travel as surrogate pairs.
  std::wstring long_text;
  while (long_text.size() < 100000) long_text += L"tape \x78C1\x5E26 \U0001F3AC \U00020BB7 ";
  long_text.resize(100000);
  long_text.back() = L'.';
  SQZGeZhuanTaskInfo task;
  task.guidTaskID = TestGuid(1);
  task.strTaskName = L"\U0001F4FC \U0002A6B2 name";
  task.strTaskHint = long_text;
  for (int32_t i = 0; i < 3; ++i)
    task.arrItems.push_back(Item(task.guidTaskID, i, L"\U0001F39E\U0001F39E " + std::to_wstring(i)));
  std::vector<SQZGeZhuanTaskInfo> tasks = {task};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);

  std::vector<SQZGeZhuanTaskInfo> read;
  ASSERT_EQ(control_.GetGeZhuanTasksByCondition(L"", &read), 1);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].strTaskHint.size(), 100000u);
  EXPECT_TRUE(read[0].strTaskHint == long_text);
  EXPECT_EQ(Utf8(read[0].strTaskName), Utf8(task.strTaskName));
  ASSERT_EQ(read[0].arrItems.size(), 3u);
  EXPECT_EQ(Utf8(read[0].arrItems[2].strItemName), Utf8(L"\U0001F39E\U0001F39E 2"));

  // The database holds characters, not halves of pairs.
  const std::wstring length = GetParam() == "OdbcSQLite" ? L"length" : L"char_length";
  EXPECT_EQ(db_->QueryInteger(L"select " + length + L"(strTaskName) as v from GeZhuanTaskInfo"), 8);
  // Where wchar_t is UTF-16, a character outside the BMP takes two units.
  int32_t characters = 0;
  for (wchar_t c : long_text) characters += !(c >= 0xDC00 && c <= 0xDFFF);
  EXPECT_EQ(db_->QueryInteger(L"select " + length + L"(strTaskHint) as v from GeZhuanTaskInfo"), characters);
}

// Non-ASCII literals written in a statement's text reach the database whole,
// whichever API the driver takes text by (SQLite's ODBC driver has no wide
// one, and the driver manager would cut each UTF-16 unit to a byte).
TEST_P(OdbcStoreTest, LiteralsInTheTextKeepEveryCharacter) {
  const std::wstring name = L"\x665A\x95F4\x65B0\x95FB \U0001F3AC caf\x00E9";
  ASSERT_TRUE(
      db_->Execute(L"insert into VTRTAPEGROUPINFO (guidGroupID, strGroupName) values "
                   L"('0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9', '" +
                   name + L"')"));
  EXPECT_EQ(Utf8(db_->QueryText(L"select strGroupName as v from VTRTAPEGROUPINFO")), Utf8(name));
  for (int call = 0; call < 3; ++call)
    EXPECT_EQ(Count(L"VTRTAPEGROUPINFO", L"strGroupName = '" + name + L"'"), 1) << call;
  EXPECT_EQ(Count(L"VTRTAPEGROUPINFO", L"strGroupName = 'l\x00E9'"), 0);
}

// A row's columns are read when first asked for, in any order, each once:
// the last before the first, a long text (read in pieces) after a later
// column, one column asked twice, a row of which one column is read, and an
// edit whose key is read after another column. The query read by the later
// calls is the one the connection keeps, its literals (an empty one, and
// one outside the BMP) bound as parameters.
TEST_P(OdbcStoreTest, ColumnsAreReadWhenAskedInAnyOrder) {
  std::wstring hint;
  while (hint.size() < 20000) hint += L"hint \x78C1\x5E26 \U0001F3AC ";
  hint += L"end";
  std::vector<SQZGeZhuanTaskInfo> tasks(2);
  for (uint32_t t = 0; t < 2; ++t) {
    tasks[t].guidTaskID = TestGuid(t + 1);
    tasks[t].strTaskName = L"task " + std::to_wstring(t + 1);
    tasks[t].dwDuration = 25 * (t + 1);
    tasks[t].strDSTDeviceName = L"deck \U0001F4FC";
  }
  tasks[0].strTaskHint = hint;
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);
  const std::wstring first = conversions::GuidToText(TestGuid(1)), second = conversions::GuidToText(TestGuid(2));

  CQZDatabase database;
  ConnectTo(*db_, &database);
  const auto text = [&](CQZRecordSet& set, const wchar_t* column) {
    CQZDBVariant value;
    set.GetValueInColumn(column, value);
    return value.IsNull() ? std::string("<null>") : Utf8(value.GetTextRef());
  };
  for (int call = 0; call < 3; ++call) {
    SCOPED_TRACE(call);
    CQZRecordSet set(&database);
    ASSERT_TRUE(set.Open(L"select * from GeZhuanTaskInfo where guidTaskID in ('" + first + L"', '" + second +
                             L"') and strDSTDeviceName = 'deck \U0001F4FC' and strTaskName <> '' order by guidTaskID",
                         ROWOPERATION_READONLY));
    EXPECT_EQ(text(set, L"strDSTDeviceName"), Utf8(L"deck \U0001F4FC"));
    CQZDBVariant duration;
    set.GetValueInColumn(L"dwDuration", duration);
    EXPECT_EQ(duration.GetInt32(), 25);
    EXPECT_TRUE(text(set, L"strTaskHint") == Utf8(hint));
    EXPECT_EQ(text(set, L"guidTaskID"), Utf8(first));
    EXPECT_EQ(text(set, L"strTaskHint").size(), Utf8(hint).size());
    ASSERT_TRUE(set.MoveNext());
    ASSERT_FALSE(set.IsEOF());
    EXPECT_EQ(text(set, L"strTaskName"), "task 2");
    set.MoveNext();
    EXPECT_TRUE(set.IsEOF());
  }

  {
    CQZRecordSet set(&database);
    ASSERT_TRUE(set.Open(L"select * from GeZhuanTaskInfo where guidTaskID = '" + second + L"'", ROWOPERATION_WRITE));
    EXPECT_EQ(text(set, L"strTaskName"), "task 2");
    ASSERT_TRUE(set.Edit(L"GeZhuanTaskInfo"));
    CQZDBVariant renamed;
    renamed = L"renamed";
    set.SetFieldValue(L"strTaskName", renamed);
    ASSERT_TRUE(set.Update());
  }
  EXPECT_EQ(db_->QueryText(L"select strTaskName as v from GeZhuanTaskInfo where guidTaskID = '" + second + L"'"),
            L"renamed");
  EXPECT_EQ(db_->QueryText(L"select strTaskName as v from GeZhuanTaskInfo where guidTaskID = '" + first + L"'"),
            L"task 1");
}

// Text is read as UTF-8 bytes only where the connection sends UTF-8; a
// connection in another character set is read as UTF-16, which its driver
// converts. Here a MariaDB connection in Latin-1: its "é" is one byte that
// is no UTF-8.
TEST_P(OdbcStoreTest, TextIsExactOverAConnectionInAnotherCharacterSet) {
  if (GetParam() != "OdbcMariaDB") GTEST_SKIP() << "a character set of the connection's own is MariaDB's option";
  SQZGeZhuanTaskInfo task;
  task.guidTaskID = TestGuid(7);
  task.strTaskName = L"caf\x00E9 \x00C0 la \x00FC";
  std::vector<SQZGeZhuanTaskInfo> tasks = {task};
  ASSERT_EQ(control_.AddGeZhuanTasks(&tasks), 1);

  const DBsSetNode node = db_->Node();
  CQZDatabase database;
  database.Connect(QZDB_ODBC, L"DSN=" + node.strConnect1 + L";CHARSET=latin1", node.strConnect2, node.strConnect3,
                   node.strConnect4);
  CQZRecordSet set(&database);
  ASSERT_TRUE(set.Open(L"select guidTaskID, strTaskName from GeZhuanTaskInfo", ROWOPERATION_READONLY));
  CQZDBVariant name, id;
  ASSERT_TRUE(set.GetValueInColumn(L"strTaskName", name));
  ASSERT_TRUE(set.GetValueInColumn(L"guidTaskID", id));
  EXPECT_EQ(Utf8(name.GetTextRef()), Utf8(task.strTaskName));
  EXPECT_EQ(Utf8(id.GetTextRef()), "A0000007-B007-C000-0102-030405060708");
  set.Close();

  // A literal of the text finds the row, also as a parameter of the query
  // the connection keeps from the second call on.
  for (int call = 0; call < 3; ++call) {
    CQZRecordSet by_name(&database);
    ASSERT_TRUE(by_name.Open(L"select guidTaskID from GeZhuanTaskInfo where strTaskName = '" + task.strTaskName + L"'",
                             ROWOPERATION_READONLY));
    ASSERT_FALSE(by_name.IsEOF()) << call;
  }
}

TEST_P(OdbcStoreTest, AConnectionTheServerKilledIsMadeAgainByTheNextCall) {
  if (GetParam() == "OdbcSQLite") GTEST_SKIP() << "no server to kill the connection";
  db_->Execute(
      L"insert into VTRTAPEGROUPINFO (guidGroupID, strGroupName, strGroupHint) values "
      L"('0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9', 'HD', '')");
  std::vector<SQZGZVTRTapeTypeGroupInfo> groups;
  ASSERT_EQ(control_.GetAllVTRTapeGRPInfos(&groups), 1);

  // Every other session of the source goes: the control object's among them.
  if (GetParam() == "OdbcPostgreSQL") {
    EXPECT_GE(db_->QueryInteger(L"select count(pg_terminate_backend(pid)) as v from pg_stat_activity where datname = "
                                L"current_database() and pid <> pg_backend_pid()"),
              1);
  } else {
    const int32_t killed = db_->QueryInteger(
        L"select min(id) as v from information_schema.processlist where user = 'qz_test' and id <> connection_id()");
    ASSERT_GT(killed, 0);
    db_->Execute(L"KILL " + std::to_wstring(killed));
  }
  // An idle link is tried before it is used again.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));

  groups.clear();
  EXPECT_EQ(control_.GetAllVTRTapeGRPInfos(&groups), 1);
  EXPECT_EQ(groups.size(), 1u);
  EXPECT_TRUE(debug_.lines().empty());
}

TEST_P(OdbcStoreTest, NestedLevelsAreSavepointsAndHeldRowsGoBeforeThem) {
  CQZDatabase database;
  ConnectTo(*db_, &database);
  auto add_group = [&database](const std::wstring& guid) {
    CQZRecordSet set(&database);
    ASSERT_TRUE(set.Open(L"select * from VTRTAPEGROUPINFO", ROWOPERATION_WRITE));
    CQZDBVariant value;
    set.AddNew(L"VTRTAPEGROUPINFO");
    value = guid;
    set.SetFieldValue(L"[guidGroupID]", value);
    set.Update();
  };
  database.BeginTrans();
  add_group(L"00000000-0000-0000-0000-00000000000A");
  database.BeginTrans();
  add_group(L"00000000-0000-0000-0000-00000000000B");
  database.Rollback();
  database.BeginTrans();
  add_group(L"00000000-0000-0000-0000-00000000000C");
  database.CommitTrans();
  database.CommitTrans();
  database.Close();
  EXPECT_EQ(db_->QueryText(L"select min(guidGroupID) as v from VTRTAPEGROUPINFO"),
            L"00000000-0000-0000-0000-00000000000A");
  EXPECT_EQ(db_->QueryText(L"select max(guidGroupID) as v from VTRTAPEGROUPINFO"),
            L"00000000-0000-0000-0000-00000000000C");
  EXPECT_EQ(Count(L"VTRTAPEGROUPINFO"), 2);
}

// The tokens that settle a commit whose answer was lost: the table is made
// in a server database that lacks it, a transaction that only read stores
// none, and each writing transaction deletes the token of the one before,
// so that a session leaves at most its last behind. An SQLite file has no
// link to lose and gets no table.
TEST_P(OdbcStoreTest, CommitTokensAreMadeWhereMissingAndDoNotPileUp) {
  const bool sqlite = GetParam() == "OdbcSQLite";
  if (!sqlite) db_->Execute(L"DROP TABLE IF EXISTS QZCommitToken");
  CQZDatabase database;
  ConnectTo(*db_, &database);
  database.BeginTrans();
  {
    CQZRecordSet set(&database);
    ASSERT_TRUE(set.Open(L"select * from VTRTAPEGROUPINFO", ROWOPERATION_READONLY));
    EXPECT_TRUE(set.IsEOF());
  }
  database.CommitTrans();
  if (sqlite) {
    EXPECT_EQ(db_->QueryInteger(L"select count(*) as v from sqlite_master where name = 'QZCommitToken'"), 0);
    return;
  }
  EXPECT_EQ(Count(L"QZCommitToken"), 0);

  for (int i = 0; i < 4; ++i) {
    database.BeginTrans();
    CQZRecordSet set(&database);
    ASSERT_TRUE(set.Open(L"select * from VTRTAPEGROUPINFO", ROWOPERATION_WRITE));
    CQZDBVariant value;
    set.AddNew(L"VTRTAPEGROUPINFO");
    value = L"00000000-0000-0000-0000-00000000000" + std::to_wstring(i);
    set.SetFieldValue(L"[guidGroupID]", value);
    set.Update();
    set.Close();
    database.CommitTrans();
    EXPECT_EQ(Count(L"QZCommitToken"), 1) << "after commit " << i;
  }
  database.Close();
  EXPECT_EQ(Count(L"VTRTAPEGROUPINFO"), 4);
  EXPECT_EQ(db_->QueryInteger(L"select count(*) as v from QZCommitToken where NOT Fenced"), 1);
}

TEST_P(OdbcStoreTest, TextAfterTheFirstStatementIsRefused) {
  db_->Execute(
      L"insert into VTRTAPEGROUPINFO (guidGroupID, strGroupName, strGroupHint) values "
      L"('0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9', 'HD', 'a;b')");
  CQZDatabase database;
  ConnectTo(*db_, &database);
  for (const wchar_t* sql : {L"select strGroupHint as v from VTRTAPEGROUPINFO; delete from VTRTAPEGROUPINFO",
                             L"delete from VTRTAPEGROUPINFO where strGroupName = 'x';delete from VTRTAPEGROUPINFO"}) {
    SCOPED_TRACE(Utf8(sql));
    CQZRecordSet set(&database);
    bool refused = false;
    try {
      set.Open(sql, ROWOPERATION_WRITE);
      set.IsBOF();
    } catch (CQZDBException* e) {
      refused = true;
      e->Delete();
    }
    EXPECT_TRUE(refused);
  }
  EXPECT_EQ(Count(L"VTRTAPEGROUPINFO"), 1);
  // A ';' inside a quote or after the statement is no second statement.
  EXPECT_EQ(db_->QueryText(L"select strGroupHint as v from VTRTAPEGROUPINFO where strGroupHint = 'a;b';  "), L"a;b");
}

// Whether a backslash escapes is the session's to say, and the session may
// change it: the text is read as the server reads it now. MariaDB's driver
// refuses a second statement itself unless its data source lets it run
// them, so here it does, and only the reading stands in the way.
TEST_P(OdbcStoreTest, ABackslashIsReadAsTheSessionReadsIt) {
  if (GetParam() == "OdbcSQLite") GTEST_SKIP() << "SQLite reads no backslash escapes";
  db_->Execute(
      L"insert into VTRTAPEGROUPINFO (guidGroupID, strGroupName, strGroupHint) values "
      L"('0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9', 'HD', 'a;b')");
  const DBsSetNode node = db_->Node();
  const std::wstring source =
      GetParam() == "OdbcMariaDB" ? L"DSN=" + node.strConnect1 + L";OPTION=68157440" : node.strConnect1;
  CQZDatabase database;
  database.Connect(QZDB_ODBC, source, node.strConnect2, node.strConnect3, node.strConnect4);
  const auto runs = [&](const std::wstring& sql) {
    CQZRecordSet set(&database);
    try {
      return set.Open(sql, ROWOPERATION_READONLY);
    } catch (CQZDBException* e) {
      e->Delete();
      return false;
    }
  };
  const std::wstring select = L"select count(*) as v from VTRTAPEGROUPINFO where strGroupHint = ";
  // One statement with a plain backslash, two where it escapes; and the
  // other way round.
  const std::wstring plain_one = select + L"'a\\' or strGroupHint = ';delete from VTRTAPEGROUPINFO --'";
  const std::wstring escaped_one = select + L"'x\\'; delete from VTRTAPEGROUPINFO; --'";
  EXPECT_TRUE(runs(plain_one));
  EXPECT_FALSE(runs(escaped_one));
  EXPECT_TRUE(
      runs(GetParam() == "OdbcMariaDB" ? L"SET SESSION sql_mode = ''" : L"SET standard_conforming_strings = off"));
  EXPECT_FALSE(runs(plain_one));
  EXPECT_TRUE(runs(escaped_one));
  EXPECT_EQ(Count(L"VTRTAPEGROUPINFO"), 1);
}

// One ODBC environment serves every connection of the process; connections
// opened on several threads at once all work.
TEST_P(OdbcStoreTest, ConnectionsOpenOnSeveralThreadsAtOnce) {
  const DBsSetNode node = db_->Node();
  std::atomic<int> answered{0};
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < 3; ++round) {
        try {
          CQZDatabase database;
          database.Connect(QZDB_ODBC, node.strConnect1, node.strConnect2, node.strConnect3, node.strConnect4);
          CQZRecordSet set(&database);
          if (set.Open(L"select count(*) as v from VTRTAPEGROUPINFO", ROWOPERATION_READONLY))
            ++answered;
          else
            ++failed;
        } catch (CQZDBException* e) {
          ++failed;
          e->Delete();
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(answered.load(), 18);
}

TEST_P(OdbcStoreTest, APasswordIsNeverShown) {
  const DBsSetNode node = db_->Node();
  CQZDatabase database;
  ConnectTo(*db_, &database);
  EXPECT_FALSE(database.GetDBMSName().empty());
  if (!node.strConnect4.empty()) {
    EXPECT_EQ(database.Describe().find(node.strConnect4), std::wstring::npos);
  }

  // A wrong password is refused with a message that holds neither it nor
  // the right one.
  if (GetParam() != "OdbcMariaDB") return;
  EXPECT_NE(node.strConnect4.find_first_of(L";}"), std::wstring::npos) << "the source's password should be awkward";
  const std::wstring wrong = L"wr;o}ng{pw";
  try {
    database.Connect(QZDB_ODBC, node.strConnect1, node.strConnect2, node.strConnect3, wrong);
    ADD_FAILURE() << "a wrong password was accepted";
  } catch (CQZDBException* e) {
    EXPECT_EQ(e->GetErrorMessage().find(wrong), std::wstring::npos) << Utf8(e->GetErrorMessage());
    EXPECT_EQ(e->GetErrorMessage().find(L"o}ng"), std::wstring::npos);
    EXPECT_EQ(e->GetSQLState().compare(0, 2, "28"), 0) << e->GetSQLState();
    e->Delete();
  }
  // The same source as a connection string holding the password.
  database.Connect(QZDB_ODBC,
                   L"DSN=" + node.strConnect1 + L";PWD=" + access::odbc::ConnectionValue(node.strConnect4) + L";UID=" +
                       node.strConnect3,
                   L"", L"", L"");
  EXPECT_TRUE(database.IsConnectted());
  EXPECT_EQ(database.Describe().find(node.strConnect4), std::wstring::npos) << Utf8(database.Describe());
  EXPECT_NE(database.Describe().find(L"UID=" + node.strConnect3), std::wstring::npos) << Utf8(database.Describe());
}

INSTANTIATE_TEST_SUITE_P(Engines, OdbcStoreTest, ::testing::ValuesIn(OdbcEngineNames()), EngineName());

TEST(OdbcConnectionText, ValuesAreBracedWhenTheyHoldWhatEndsThem) {
  using access::odbc::BuildConnectionString;
  EXPECT_EQ(BuildConnectionString({L"gezhuan", L"", L"", L""}), L"DSN=gezhuan");
  EXPECT_EQ(BuildConnectionString({L"gezhuan", L"tasks", L"operator", L"qz;pass}word{1"}),
            L"DSN=gezhuan;DATABASE=tasks;UID=operator;PWD={qz;pass}}word{1}");
  EXPECT_EQ(BuildConnectionString({L"DRIVER={MariaDB};SERVER=db;", L"", L"", L" x=y"}),
            L"DRIVER={MariaDB};SERVER=db;PWD={ x=y}");
  EXPECT_EQ(BuildConnectionString({L"my source", L"", L"", L""}), L"DSN=my source");

  using access::odbc::DescribeSource;
  const std::wstring described = DescribeSource({L"DRIVER={x};PWD={a;b}}c};Password=zz;SERVER=db", L"d", L"u", L"p"});
  EXPECT_EQ(described, L"odbc DRIVER={x};SERVER=db;DATABASE=d as u");
}

TEST(OdbcConnectionText, NonBmpTextBecomesSurrogatePairsAndBack) {
  const std::wstring text = L"a\x4E2D\U0001F600\U00020BB7z";
  const access::odbc::SqlText units = access::odbc::ToSqlText(text);
  ASSERT_EQ(units.size(), 7u);
  EXPECT_EQ(units[2], 0xD83D);
  EXPECT_EQ(units[3], 0xDE00);
  EXPECT_EQ(access::odbc::FromSqlText(units.data(), units.size()), text);
  // A half of a pair stands for nothing and reads as U+FFFD, except where
  // wchar_t is UTF-16 itself (Windows): there the units pass as they are.
  const SQLWCHAR broken[] = {0x61, 0xD83D, 0x62};
  const std::wstring expected =
      sizeof(wchar_t) == sizeof(SQLWCHAR) ? std::wstring(L"a\xD83D") : std::wstring(L"a\xFFFD");
  EXPECT_EQ(access::odbc::FromSqlText(broken, 3), expected + L"b");
}

TEST(OdbcSourceTest, ADataSourceThatDoesNotExistIsAClearError) {
  OdbcSource source;
  if (!FindOdbcSource("SQLITE", &source)) GTEST_SKIP() << "no ODBC sources in this run";
  CQZDatabase database;
  try {
    database.Connect(QZDB_ODBC, L"qz_no_such_source", L"", L"u", L"secret");
    ADD_FAILURE() << "connected to a source that does not exist";
  } catch (CQZDBException* e) {
    EXPECT_EQ(e->GetSQLState(), "IM002");
    EXPECT_NE(e->GetErrorMessage().find(L"qz_no_such_source"), std::wstring::npos) << Utf8(e->GetErrorMessage());
    EXPECT_EQ(e->GetErrorMessage().find(L"secret"), std::wstring::npos);
    e->Delete();
  }
  DBsSetNode node;
  node.nDBType = 4;
  node.strConnect1 = L"qz_no_such_source";
  DebugCapture debug;
  CQZNVGeZhuanDBControl control;
  EXPECT_EQ(control.OpenQZNVGeZhuanDB(node), 0);
  EXPECT_EQ(debug.lines(), std::vector<std::wstring>{L"Open QZNVMANAGE DBERROR"});
}

}  // namespace
}  // namespace qz::testing
