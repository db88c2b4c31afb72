// Round trips on PostgreSQL: a single-row operation costs one, counted as
// the requests a proxy between the library and the server sees, and the
// answers held back for the commit (CQZDatabase::HoldAnswers) each stay
// their own statement's: its rows, its failure, its debug line.
#include <QZNVGeZhuanDBControl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "conversions/Conversions.h"
#include "support/CuttingProxy.h"
#include "support/EngineDatabase.h"
#include "support/NumberedTask.h"
#include "support/PostgresTestServer.h"
#include "support/ScriptedDriver.h"

namespace qz::testing {
namespace {

using conversions::GuidToText;

// The requests fn makes, counted by proxy.
template <typename Fn>
uint64_t RequestsOf(CuttingProxy& proxy, Fn&& fn) {
  proxy.CutAt(0, CuttingProxy::Loss::kRequest);
  fn();
  const uint64_t requests = proxy.requests();
  proxy.Disarm();
  return requests;
}

std::string HostOf(const std::wstring& connect1) {
  const std::string text(connect1.begin(), connect1.end());
  return text.substr(0, text.rfind(':'));
}

int PortOf(const std::wstring& connect1) { return std::stoi(connect1.substr(connect1.rfind(L':') + 1)); }

class PostgresFlightTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FindPostgresServer(&server_))
      GTEST_SKIP() << "QZ_PG_HOST is not set: run the tests under scripts/postgres-test-server.sh";
    proxy_ = std::make_unique<CuttingProxy>(HostOf(server_.connect1), PortOf(server_.connect1));
    ASSERT_NE(proxy_->port(), 0);
    ASSERT_TRUE(side_.Open(server_));
    // A server's first transaction makes the commit-token table; here it is
    // made before any request is counted, as on a server already in use.
    CQZDatabase first;
    ConnectTo(server_, &first);
    ASSERT_EQ(first.BeginTrans(), 1);
    first.Rollback();
  }

  PostgresServer ThroughProxy() const {
    PostgresServer proxied = server_;
    proxied.connect1 = L"127.0.0.1:" + std::to_wstring(proxy_->port());
    return proxied;
  }

  PostgresServer server_;
  std::unique_ptr<CuttingProxy> proxy_;
  SideConnection side_;
};

// Runs statements as one transaction whose answers are held back for the
// commit; the answers, or the failure CommitTrans threw ("none" when none).
struct Flight {
  std::vector<SQZHeldAnswer> answers;
  CaughtError error;
};

Flight RunHeld(CQZDatabase& db, const std::vector<std::wstring>& statements) {
  Flight flight;
  EXPECT_EQ(db.BeginTrans(), 1);
  EXPECT_TRUE(db.HoldAnswers());
  for (const std::wstring& sql : statements) {
    CQZRecordSet set(&db);
    EXPECT_TRUE(set.Open(sql, ROWOPERATION_WRITE));
  }
  flight.error = CatchError([&] { db.CommitTrans(); });
  if (flight.error.thrown) db.Rollback();
  flight.answers = db.HeldAnswers();
  return flight;
}

// The driver's side: BEGIN, the held statements and COMMIT go in one round
// trip, the first sighting of a shape, its preparing and its kept runs
// alike; each answer gives its own rows; a refusal is the refused
// statement's, with nothing committed; a kept statement the server no
// longer holds is run afresh as text in the same call; a rollback sends
// nothing to commit; a query among held statements reads their answers
// first.
TEST_F(PostgresFlightTest, HeldAnswersComeBackWithTheCommitInOneRoundTrip) {
  ServerLock lock;
  side_.Query("DROP TABLE IF EXISTS qz_flight");
  side_.Query("CREATE TABLE qz_flight (id integer PRIMARY KEY, val text)");
  CQZDatabase db;
  ConnectTo(ThroughProxy(), &db);
  auto insert = [](int id) { return L"insert into qz_flight values (" + std::to_wstring(id) + L", 'v')"; };

  // The session's first transaction looks for the commit-token table first.
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    Flight flight;
    EXPECT_EQ(RequestsOf(*proxy_,
                         [&] {
                           flight = RunHeld(db, {insert(10 * round + 1), insert(10 * round + 2),
                                                 L"update qz_flight set val = 'w' where id > 0",
                                                 L"delete from qz_flight where id = 999"});
                         }),
              round == 0 ? 2u : 1u);
    ASSERT_FALSE(flight.error.thrown) << std::string(flight.error.message.begin(), flight.error.message.end());
    ASSERT_EQ(flight.answers.size(), 4u);
    const long long rows[] = {1, 1, 2 * (round + 1), 0};
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(flight.answers[i].m_state, SQZHeldAnswer::done) << i;
      EXPECT_EQ(flight.answers[i].m_rows, rows[i]) << i;
    }
  }
  EXPECT_EQ(side_.Query("SELECT count(*) FROM qz_flight WHERE val = 'w'"), "6");

  // The second insert collides: it failed, the one before it is undone, the
  // one after never ran.
  Flight refused;
  EXPECT_EQ(RequestsOf(*proxy_,
                       [&] {
                         refused = RunHeld(db, {insert(50), insert(1), insert(51)});
                       }),
            2u)
      << "the flight, then ROLLBACK";
  EXPECT_EQ(refused.error.state, "23505");
  ASSERT_EQ(refused.answers.size(), 3u);
  EXPECT_EQ(refused.answers[0].m_state, SQZHeldAnswer::done);
  EXPECT_EQ(refused.answers[1].m_state, SQZHeldAnswer::failed);
  EXPECT_EQ(refused.answers[2].m_state, SQZHeldAnswer::pending);
  EXPECT_EQ(side_.Query("SELECT count(*) FROM qz_flight"), "6");

  // Every statement the session kept is dropped behind the driver's back.
  {
    CQZRecordSet set(&db);
    ASSERT_TRUE(set.Open(L"deallocate all", ROWOPERATION_WRITE));
  }
  Flight afresh = RunHeld(db, {insert(60), L"update qz_flight set val = 'x' where id > 0"});
  EXPECT_FALSE(afresh.error.thrown) << std::string(afresh.error.message.begin(), afresh.error.message.end());
  ASSERT_EQ(afresh.answers.size(), 2u);
  EXPECT_EQ(afresh.answers[1].m_rows, 7);
  EXPECT_EQ(side_.Query("SELECT count(*) FROM qz_flight WHERE val = 'x'"), "7");

  EXPECT_EQ(RequestsOf(*proxy_,
                       [&] {
                         ASSERT_EQ(db.BeginTrans(), 1);
                         ASSERT_TRUE(db.HoldAnswers());
                         CQZRecordSet set(&db);
                         ASSERT_TRUE(set.Open(L"delete from qz_flight", ROWOPERATION_WRITE));
                         set.Close();
                         EXPECT_EQ(db.Rollback(), 1);
                       }),
            1u);
  EXPECT_EQ(side_.Query("SELECT count(*) FROM qz_flight"), "7");

  ASSERT_EQ(db.BeginTrans(), 1);
  ASSERT_TRUE(db.HoldAnswers());
  {
    CQZRecordSet set(&db);
    ASSERT_TRUE(set.Open(insert(70), ROWOPERATION_WRITE));
    ASSERT_TRUE(set.Open(L"select count(*) as n from qz_flight", ROWOPERATION_READONLY));
    CQZDBVariant n;
    set.GetValueInColumn(L"n", n);
    EXPECT_EQ(n.GetInt32(), 8);
  }
  EXPECT_EQ(db.CommitTrans(), 1);
  EXPECT_EQ(side_.Query("SELECT count(*) FROM qz_flight"), "8");
  // A transaction that held nothing back commits nothing; what follows it
  // is answered at once.
  ASSERT_EQ(db.BeginTrans(), 1);
  ASSERT_TRUE(db.HoldAnswers());
  EXPECT_EQ(db.CommitTrans(), 1);
  {
    CQZRecordSet set(&db);
    ASSERT_TRUE(set.Open(L"delete from qz_flight where id = 70", ROWOPERATION_WRITE));
  }
  EXPECT_EQ(side_.Query("SELECT count(*) FROM qz_flight"), "7");
  EXPECT_FALSE(CQZDatabase().HoldAnswers()) << "not connected";
  EXPECT_FALSE(db.HoldAnswers()) << "outside a transaction";
  side_.Query("DROP TABLE qz_flight");
}

// Rewrites by key held in one flight each keep their own values until the
// commit's answer is in: sent by the kept statement, and again as text when
// that statement turns out stale; the rows written between them (another
// layout, another order) take nothing from the held ones.
TEST_F(PostgresFlightTest, HeldRewritesByKeyKeepTheirOwnValuesWhenSentAgain) {
  ServerLock lock;
  side_.Query("DROP TABLE IF EXISTS qz_flight");
  side_.Query("CREATE TABLE qz_flight (id integer PRIMARY KEY, val text, n integer)");
  side_.Query("INSERT INTO qz_flight SELECT g, 'old', 0 FROM generate_series(1, 8) AS g");
  CQZDatabase db;
  ConnectTo(server_, &db);
  auto rewrite = [&](int id, const std::wstring& val, bool reordered) {
    CQZRecordSet set(&db);
    ASSERT_TRUE(set.EditByKey(L"qz_flight"));
    if (reordered) set.SetTextField(L"val", val);
    set.SetIntegerField(L"id", id);
    set.SetIntegerField(L"n", id * 10);
    if (!reordered) set.SetTextField(L"val", val);
    EXPECT_TRUE(set.Update());
  };
  for (const bool stale : {false, true}) {
    SCOPED_TRACE(stale);
    const int first = stale ? 5 : 1;
    // The rewrite's statement is kept from its second sighting on.
    for (int i = 0; i < 2; ++i) rewrite(first, L"warm", false);
    if (stale) {
      CQZRecordSet set(&db);
      ASSERT_TRUE(set.Open(L"deallocate all", ROWOPERATION_WRITE));
    }
    ASSERT_EQ(db.BeginTrans(), 1);
    ASSERT_TRUE(db.HoldAnswers());
    rewrite(first, L"a" + std::to_wstring(first), false);
    rewrite(first + 1, L"b" + std::to_wstring(first), true);
    rewrite(first + 2, L"c" + std::to_wstring(first), false);
    const CaughtError error = CatchError([&] { db.CommitTrans(); });
    EXPECT_FALSE(error.thrown) << std::string(error.message.begin(), error.message.end());
    const std::vector<SQZHeldAnswer> answers = db.HeldAnswers();
    ASSERT_EQ(answers.size(), 3u);
    for (const SQZHeldAnswer& answer : answers) EXPECT_EQ(answer.m_rows, 1);
  }
  EXPECT_EQ(side_.Query("SELECT string_agg(id || ':' || val || ':' || n, ' ' ORDER BY id) FROM qz_flight"),
            "1:a1:10 2:b1:20 3:c1:30 4:old:0 5:a5:50 6:b5:60 7:c5:70 8:old:0");
  side_.Query("DROP TABLE qz_flight");
}

// A level begun inside a transaction that holds answers back (a caller's
// own nesting) sends what was held so far, and what it runs is answered at
// once: its savepoint and its release work, and both levels commit.
TEST_F(PostgresFlightTest, ALevelBegunWhileAnswersAreHeldIsAnsweredAtOnce) {
  ServerLock lock;
  side_.Query("DROP TABLE IF EXISTS qz_flight");
  side_.Query("CREATE TABLE qz_flight (id integer PRIMARY KEY)");
  side_.Query("INSERT INTO qz_flight SELECT generate_series(1, 4)");
  CQZDatabase db;
  ConnectTo(server_, &db);
  auto run = [&](const std::wstring& sql) {
    CQZRecordSet set(&db);
    ASSERT_TRUE(set.Open(sql, ROWOPERATION_WRITE));
  };
  for (const bool held_before : {false, true}) {
    SCOPED_TRACE(held_before);
    ASSERT_EQ(db.BeginTrans(), 1);
    ASSERT_TRUE(db.HoldAnswers());
    if (held_before) run(L"delete from qz_flight where id = 1");
    ASSERT_EQ(db.BeginTrans(), 1);
    run(L"delete from qz_flight where id = " + std::wstring(held_before ? L"2" : L"3"));
    for (int level = 0; level < 2; ++level) {
      const CaughtError error = CatchError([&] { EXPECT_EQ(db.CommitTrans(), 1); });
      EXPECT_FALSE(error.thrown) << level << ": " << std::string(error.message.begin(), error.message.end());
    }
  }
  EXPECT_EQ(side_.Query("SELECT string_agg(id::text, ',' ORDER BY id) FROM qz_flight"), "4");
  side_.Query("DROP TABLE qz_flight");
}

// The operations' side: rewriting a task's row, deleting a task with its
// items, and deleting items each cost one round trip once their shapes are
// kept, the first call included where noted. A refused statement logs its
// own line and changes nothing; a rewrite of a key no row holds answers 0
// in silence.
TEST_F(PostgresFlightTest, EachSingleRowOperationIsOneRoundTrip) {
  std::unique_ptr<EngineDatabase> database = MakeEngineDatabase("PostgreSQL");
  ASSERT_NE(database, nullptr);
  DBsSetNode node = database->Node();
  node.strConnect1 = L"127.0.0.1:" + std::to_wstring(proxy_->port());
  CQZNVGeZhuanDBControl control;
  ASSERT_EQ(control.OpenQZNVGeZhuanDB(node), 1);
  std::vector<SQZGeZhuanTaskInfo> tasks;
  for (uint32_t n = 1; n <= 8; ++n) tasks.push_back(NumberedTask(n, 7, L"task ", 3));
  ASSERT_EQ(control.AddGeZhuanTasks(&tasks), 1);

  for (int call = 0; call < 4; ++call) {
    SCOPED_TRACE(call);
    SQZGeZhuanTaskInfo changed = tasks[0];
    changed.strTaskName = L"renamed " + std::to_wstring(call);
    const uint64_t modify = RequestsOf(*proxy_, [&] { EXPECT_EQ(control.ModifyGeZhuanTaskOnly(&changed), 1); });
    const uint64_t remove =
        RequestsOf(*proxy_, [&] { EXPECT_EQ(control.DeleteGeZhuanTask(tasks[1 + call].guidTaskID), 1); });
    const uint64_t items =
        RequestsOf(*proxy_, [&] { EXPECT_EQ(control.DeleteGeZhuanItem(tasks[5].guidTaskID, GUID{}), 1); });
    std::vector<SQZGeZhuanTaskInfo> read;
    const uint64_t by_key = RequestsOf(*proxy_, [&] {
      EXPECT_EQ(control.GetGeZhuanTasksByCondition(L"guidTaskID = '" + GuidToText(tasks[0].guidTaskID) + L"'", &read),
                1);
    });
    if (call >= 2) {
      EXPECT_EQ(modify, 1u);
      EXPECT_EQ(remove, 1u);
      EXPECT_EQ(items, 1u);
      EXPECT_EQ(by_key, 1u);  // the task and its items
    }
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].strTaskName, changed.strTaskName);
    ASSERT_EQ(read[0].arrItems.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(read[0].arrItems[i].guidItem == tasks[0].arrItems[i].guidItem) << i;
  }
  EXPECT_EQ(database->QueryInteger(L"select count(*) as v from GeZhuanTaskInfo"), 4);
  EXPECT_EQ(database->QueryInteger(L"select count(*) as v from GeZhuanTaskItem"), 9);

  // Refusals, with every shape kept by now.
  database->RejectUpdate(L"GeZhuanTaskInfo", L"strTaskName", L"refused");
  database->RejectDelete(L"GeZhuanTaskItem", L"guidItem", GuidToText(tasks[6].arrItems[1].guidItem));
  const std::wstring row_query = L"select * from GeZhuanTaskInfo where guidTaskID = '";
  const std::wstring item_delete = L"delete from GeZhuanTaskItem where guidTask = '";
  {
    DebugCapture debug;
    SQZGeZhuanTaskInfo changed = tasks[0];
    changed.strTaskName = L"refused";
    EXPECT_EQ(control.ModifyGeZhuanTaskOnly(&changed), 0);
    EXPECT_EQ(debug.lines(), std::vector<std::wstring>{row_query + GuidToText(tasks[0].guidTaskID) + L"'"});
  }
  {
    DebugCapture debug;
    EXPECT_EQ(control.DeleteGeZhuanTask(tasks[6].guidTaskID), 0);
    EXPECT_EQ(debug.lines(), std::vector<std::wstring>{item_delete + GuidToText(tasks[6].guidTaskID) + L"'"});
  }
  {
    DebugCapture debug;
    SQZGeZhuanTaskInfo nobody = NumberedTask(99, 7, L"task ", 0);
    EXPECT_EQ(RequestsOf(*proxy_, [&] { EXPECT_EQ(control.ModifyGeZhuanTaskOnly(&nobody), 0); }), 1u);
    EXPECT_TRUE(debug.lines().empty());
  }
  EXPECT_EQ(database->QueryInteger(L"select count(*) as v from GeZhuanTaskInfo"), 4);
  EXPECT_EQ(database->QueryInteger(L"select count(*) as v from GeZhuanTaskItem"), 9);
  EXPECT_EQ(database->QueryInteger(L"select count(*) as v from GeZhuanTaskInfo where strTaskName = 'renamed 3'"), 1);
  // The next calls work.
  EXPECT_EQ(control.DeleteGeZhuanTask(tasks[7].guidTaskID), 1);
  EXPECT_EQ(database->QueryInteger(L"select count(*) as v from GeZhuanTaskInfo"), 3);

  // Read by key, the items' query kept and sent with the task's: another
  // connection altering the item table makes it stale, and it runs afresh
  // in the same call; its shapes are kept again from the third call on.
  const std::wstring key = L"guidTaskID = '" + GuidToText(tasks[0].guidTaskID) + L"'";
  side_.Query("ALTER TABLE GeZhuanTaskItem ADD COLUMN qz_extra integer");
  for (int call = 0; call < 4; ++call) {
    SCOPED_TRACE(call);
    DebugCapture debug;
    std::vector<SQZGeZhuanTaskInfo> read;
    const uint64_t by_key = RequestsOf(*proxy_, [&] { EXPECT_EQ(control.GetGeZhuanTasksByCondition(key, &read), 1); });
    if (call == 3) {
      EXPECT_EQ(by_key, 1u);
    }
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].arrItems.size(), 3u);
    EXPECT_TRUE(debug.lines().empty());
  }
  // The link goes with the flight's answer: the read answers 0 (its query
  // logged), and the next one connects again and reads the task whole.
  for (const CuttingProxy::Loss loss : {CuttingProxy::Loss::kRequest, CuttingProxy::Loss::kAnswer}) {
    DebugCapture debug;
    std::vector<SQZGeZhuanTaskInfo> read;
    proxy_->CutAt(1, loss);
    EXPECT_EQ(control.GetGeZhuanTasksByCondition(key, &read), 0);
    proxy_->Disarm();
    EXPECT_EQ(debug.lines(), std::vector<std::wstring>{L"select * from GeZhuanTaskInfo where " + key});
    EXPECT_EQ(control.GetGeZhuanTasksByCondition(key, &read), 1);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].arrItems.size(), 3u);
  }
  // The items' query fails, and so do the chunks asked after it: the
  // answer is 0, the task is listed without items, and the one line logged
  // is the chunk's, naming the task.
  database->FailItemReadsOf(tasks[0].guidTaskID);
  {
    DebugCapture debug;
    std::vector<SQZGeZhuanTaskInfo> read;
    EXPECT_EQ(control.GetGeZhuanTasksByCondition(key, &read), 0);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_TRUE(read[0].arrItems.empty());
    ASSERT_EQ(debug.lines().size(), 1u);
    const std::wstring chunk = L"select * from GeZhuanTaskItem where guidTask in ('";
    EXPECT_EQ(debug.lines()[0].substr(0, chunk.size()), chunk);
    EXPECT_NE(debug.lines()[0].find(GuidToText(tasks[0].guidTaskID)), std::wstring::npos);
  }
  // Nothing is left open: the next read of another task works.
  std::vector<SQZGeZhuanTaskInfo> other;
  EXPECT_EQ(control.GetGeZhuanTasksByCondition(L"guidTaskID = '" + GuidToText(tasks[5].guidTaskID) + L"'", &other), 1);
  ASSERT_EQ(other.size(), 1u);
  EXPECT_TRUE(other[0].arrItems.empty());  // its items were deleted above
}

}  // namespace
}  // namespace qz::testing
