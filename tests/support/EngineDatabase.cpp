#include "support/EngineDatabase.h"

#include <QZNVGeZhuanHost.h>

#include <atomic>

#include "common/KindCode.h"
#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"
#include "support/OdbcEngineDatabase.h"
#include "support/TempDatabase.h"
#ifdef QZ_WITH_POSTGRESQL
#include "support/PostgresTestServer.h"
#endif

namespace qz::testing {
namespace {

std::string Utf8(const std::wstring& text) { return platform::WideToUtf8(text); }

// Each trigger gets a name of its own.
std::wstring NextTriggerName() {
  static std::atomic<int> serial{0};
  return L"reject_" + std::to_wstring(++serial);
}

// --- SQLite ------------------------------------------------------------------

class SqliteDatabase : public EngineDatabase {
 public:
  explicit SqliteDatabase(bool with_tables) : EngineDatabase("SQLite"), temp_(with_tables) {}
  ~SqliteDatabase() override { Disconnect(); }

  DBsSetNode Node() const override { return temp_.Node(); }

  void RejectInsert(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const override {
    AddAbortTrigger(L"INSERT", table, L"NEW", column, marked);
  }
  void RejectUpdate(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const override {
    AddAbortTrigger(L"UPDATE", table, L"NEW", column, marked);
  }
  void RejectDelete(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const override {
    AddAbortTrigger(L"DELETE", table, L"OLD", column, marked);
  }
  void SkipUpdate(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const override {
    Execute(L"CREATE TRIGGER " + NextTriggerName() + L" BEFORE UPDATE ON " + table + L" WHEN NEW." + column + L" = '" +
            marked + L"' BEGIN SELECT RAISE(IGNORE); END");
  }

  // The item table becomes a view whose dwLength is abs() of the smallest
  // 64-bit integer for that task's rows: an integer overflow when stepped.
  void FailItemReadsOf(const GUID& task) const override {
    const std::wstring text = conversions::GuidToText(task);
    Execute(L"ALTER TABLE GeZhuanTaskItem RENAME TO GeZhuanTaskItemRows");
    Execute(
        L"CREATE VIEW GeZhuanTaskItem AS SELECT ItemRowID, guidTask, guidItem, strItemName, nItemType, "
        L"dwTrimIn, dwTrimOut, abs(CASE WHEN guidTask = '" +
        text + L"' THEN -9223372036854775807 - 1 ELSE dwLength END) AS dwLength, nIndex FROM GeZhuanTaskItemRows");
  }

  void AcceptAnyText(const std::wstring&, const std::wstring&) const override {}

  // Date-times are stored as text here, so a day that does not exist.
  std::wstring UnrepresentableDateTime() const override { return L"'2008-02-30 12:00:00'"; }

 protected:
  void ConnectTo(CQZDatabase* database) const override {
    const DBsSetNode node = Node();
    database->Connect(QZDB_SQLITE, node.strConnect1, node.strConnect2, node.strConnect3, node.strConnect4);
  }

 private:
  void AddAbortTrigger(const std::wstring& event, const std::wstring& table, const std::wstring& row,
                       const std::wstring& column, const std::wstring& marked) const {
    Execute(L"CREATE TRIGGER " + NextTriggerName() + L" BEFORE " + event + L" ON " + table + L" WHEN " + row + L"." +
            column + L" = '" + marked + L"' BEGIN SELECT RAISE(ABORT, 'rejected " + marked + L"'); END");
  }

  TempDatabase temp_;
};

// --- PostgreSQL --------------------------------------------------------------

#ifdef QZ_WITH_POSTGRESQL

// One at a time per process: a second one would wait for the file lock the
// first holds, for ever.
std::atomic<int> postgres_databases{0};

class PostgresDatabase : public EngineDatabase {
 public:
  explicit PostgresDatabase(const PostgresServer& server) : EngineDatabase("PostgreSQL"), server_(server) {}
  ~PostgresDatabase() override {
    // A view in a table's place would trip up whoever uses the server next
    // with plain DROP TABLE.
    if (items_replaced_) Execute(platform::Utf8ToWide(kDropLibraryTables));
    Disconnect();
    --postgres_databases;
  }

  // Drops what an earlier test left (the tables, a view standing in for
  // one) and creates the tables afresh. False, with a test failure, when
  // the server cannot be used.
  bool Prepare(bool with_tables) {
    if (!Execute(platform::Utf8ToWide(kDropLibraryTables))) return false;
    if (!with_tables) return true;
    std::wstring error;
    if (!QZNVGeZhuanCreateTables(Node(), &error)) {
      ADD_FAILURE() << "cannot create the tables: " << Utf8(error);
      return false;
    }
    return true;
  }

  DBsSetNode Node() const override {
    DBsSetNode node;
    node.nDBType = 2;
    node.strConnect1 = server_.connect1;
    node.strConnect2 = server_.connect2;
    node.strConnect3 = server_.connect3;
    node.strConnect4 = server_.connect4;
    return node;
  }

  void RejectInsert(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const override {
    AddAbortTrigger(L"INSERT", table, L"NEW", column, marked);
  }
  void RejectUpdate(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const override {
    AddAbortTrigger(L"UPDATE", table, L"NEW", column, marked);
  }
  void RejectDelete(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const override {
    AddAbortTrigger(L"DELETE", table, L"OLD", column, marked);
  }
  // A BEFORE trigger answering NULL makes the server skip the row.
  void SkipUpdate(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const override {
    Execute(
        L"CREATE OR REPLACE FUNCTION qz_test_skip() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RETURN NULL; END $$");
    Execute(L"CREATE TRIGGER " + NextTriggerName() + L" BEFORE UPDATE ON " + table + L" FOR EACH ROW WHEN (NEW." +
            column + L" = '" + marked + L"') EXECUTE PROCEDURE qz_test_skip()");
  }

  // The item table becomes a view whose dwLength, for that task's rows,
  // comes from a function that raises an error. The function takes the
  // row's own column, so the server cannot evaluate it before a row is read.
  void FailItemReadsOf(const GUID& task) const override {
    const std::wstring text = conversions::GuidToText(task);
    Execute(
        L"CREATE OR REPLACE FUNCTION qz_test_unreadable(task text) RETURNS integer VOLATILE LANGUAGE plpgsql "
        L"AS $$ BEGIN RAISE EXCEPTION 'item rows of % cannot be read', task; END $$");
    items_replaced_ = true;
    Execute(L"ALTER TABLE GeZhuanTaskItem RENAME TO GeZhuanTaskItemRows");
    Execute(
        L"CREATE VIEW GeZhuanTaskItem AS SELECT ItemRowID, guidTask, guidItem, strItemName, nItemType, "
        L"dwTrimIn, dwTrimOut, CASE WHEN guidTask = '" +
        text + L"' THEN qz_test_unreadable(guidTask) ELSE dwLength END AS dwLength, nIndex FROM GeZhuanTaskItemRows");
  }

  void AcceptAnyText(const std::wstring& table, const std::wstring& column) const override {
    Execute(L"ALTER TABLE " + table + L" ALTER COLUMN " + column + L" TYPE text");
  }

  // A timestamp column checks its dates, but takes infinity.
  std::wstring UnrepresentableDateTime() const override { return L"'infinity'"; }

 protected:
  void ConnectTo(CQZDatabase* database) const override {
    database->Connect(QZDB_POSTGRESQL, server_.connect1, server_.connect2, server_.connect3, server_.connect4);
  }

 private:
  // One trigger function serves every refusal: it raises "rejected" and the
  // trigger's argument.
  void AddAbortTrigger(const std::wstring& event, const std::wstring& table, const std::wstring& row,
                       const std::wstring& column, const std::wstring& marked) const {
    if (!has_reject_function_) {
      Execute(
          L"CREATE OR REPLACE FUNCTION qz_test_reject() RETURNS trigger LANGUAGE plpgsql "
          L"AS $$ BEGIN RAISE EXCEPTION 'rejected %', TG_ARGV[0]; END $$");
      has_reject_function_ = true;
    }
    Execute(L"CREATE TRIGGER " + NextTriggerName() + L" BEFORE " + event + L" ON " + table + L" FOR EACH ROW WHEN (" +
            row + L"." + column + L" = '" + marked + L"') EXECUTE PROCEDURE qz_test_reject('" + marked + L"')");
  }

  ServerLock lock_;  // first taken, last released
  PostgresServer server_;
  mutable bool has_reject_function_ = false;
  mutable bool items_replaced_ = false;
};

#endif  // QZ_WITH_POSTGRESQL

}  // namespace

// --- Shared ------------------------------------------------------------------

bool EngineDatabase::Execute(const std::wstring& sql) const {
  try {
    if (connection_.IsClosed()) ConnectTo(&connection_);
    CQZRecordSet set(&connection_);
    if (set.Open(sql, ROWOPERATION_WRITE)) return true;
    ADD_FAILURE() << engine_ << ": refused " << Utf8(sql);
  } catch (CQZDBException* e) {
    ADD_FAILURE() << engine_ << ": " << Utf8(e->GetErrorMessage()) << " in " << Utf8(sql);
    e->Delete();
  }
  return false;
}

CQZDBVariant EngineDatabase::Query(const std::wstring& sql) const {
  CQZDBVariant value;
  try {
    if (connection_.IsClosed()) ConnectTo(&connection_);
    CQZRecordSet set(&connection_);
    if (!set.Open(sql, ROWOPERATION_READONLY) || set.IsBOF()) {
      ADD_FAILURE() << engine_ << ": no row from " << Utf8(sql);
      return value;
    }
    set.GetValueInColumn(L"v", value);
  } catch (CQZDBException* e) {
    ADD_FAILURE() << engine_ << ": " << Utf8(e->GetErrorMessage()) << " in " << Utf8(sql);
    e->Delete();
  }
  return value;
}

void EngineDatabase::ConnectBySetting(CQZDatabase* database) const {
  const DBsSetNode node = Node();
  database->Connect(common::DatabaseTypeOfKind(node.nDBType), node.strConnect1, node.strConnect2, node.strConnect3,
                    node.strConnect4);
}

std::wstring EngineDatabase::QueryText(const std::wstring& sql) const {
  const CQZDBVariant value = Query(sql);
  const wchar_t* text = value.GetText();
  return text ? text : L"";
}

int32_t EngineDatabase::QueryInteger(const std::wstring& sql) const { return Query(sql).GetInt32(); }

bool EngineDatabase::QueryIsNull(const std::wstring& sql) const { return Query(sql).IsNull(); }

std::vector<std::string> EngineNames() {
#ifdef QZ_WITH_POSTGRESQL
  std::vector<std::string> names = {"SQLite", "PostgreSQL"};
#else
  std::vector<std::string> names = {"SQLite"};
#endif
  for (const std::string& name : OdbcEngineNames()) names.push_back(name);
  return names;
}

std::string EngineUnavailable(const std::string& engine) {
  if (engine.compare(0, 4, "Odbc") == 0) return OdbcEngineUnavailable(engine);
#ifdef QZ_WITH_POSTGRESQL
  PostgresServer server;
  if (engine == "PostgreSQL" && !FindPostgresServer(&server))
    return "QZ_PG_HOST is not set: run the tests under scripts/postgres-test-server.sh (scripts/test.sh does)";
#else
  (void)engine;
#endif
  return std::string();
}

std::unique_ptr<EngineDatabase> MakeEngineDatabase(const std::string& engine, bool with_tables) {
  if (engine.compare(0, 4, "Odbc") == 0) return MakeOdbcEngineDatabase(engine, with_tables);
  if (engine == "SQLite") return std::make_unique<SqliteDatabase>(with_tables);
#ifdef QZ_WITH_POSTGRESQL
  if (engine == "PostgreSQL") {
    PostgresServer server;
    if (!FindPostgresServer(&server)) {
      ADD_FAILURE() << "QZ_PG_HOST is not set: no PostgreSQL server for this run";
      return nullptr;
    }
    if (postgres_databases++ > 0) {
      --postgres_databases;
      ADD_FAILURE() << "a second PostgreSQL test database while the first lives: they would share the tables";
      return nullptr;
    }
    auto database = std::make_unique<PostgresDatabase>(server);
    if (!database->Prepare(with_tables)) return nullptr;
    return database;
  }
#endif
  ADD_FAILURE() << "no test database for engine " << engine;
  return nullptr;
}

}  // namespace qz::testing
