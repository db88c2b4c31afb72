#include "support/OdbcEngineDatabase.h"

#include <QZNVGeZhuanHost.h>

#include <atomic>

#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"
#include "support/OdbcSources.h"
#include "support/TempDatabase.h"
#ifdef QZ_WITH_POSTGRESQL
#include "support/PostgresTestServer.h"
#endif

namespace qz::testing {
namespace {

std::wstring NextTriggerName() {
  static std::atomic<int> serial{0};
  return L"reject_odbc_" + std::to_wstring(++serial);
}

// What differs between the products behind the sources: how the database
// itself is made to refuse a row or fail a read.
enum class Product { kPostgres, kMariadb, kSqlite };

class OdbcDatabase : public EngineDatabase {
 public:
  // held is what the database needs while it lives (a lock on a shared
  // source, the folder of a file); it goes last.
  OdbcDatabase(std::string engine, Product product, OdbcSource source, std::wstring database,
               std::shared_ptr<void> held)
      : EngineDatabase(std::move(engine)),
        held_(std::move(held)),
        product_(product),
        source_(std::move(source)),
        database_(std::move(database)) {}
  ~OdbcDatabase() override {
    // A view in a table's place would trip up whoever uses the source next.
    if (product_ != Product::kSqlite) DropLibraryTables();
    Disconnect();
  }

  // Drops what an earlier test left and creates the tables afresh (over
  // ODBC, so the schema is the one the source's product reports). False,
  // with a test failure, when the source cannot be used.
  bool Prepare(bool with_tables) {
    if (product_ != Product::kSqlite && !DropLibraryTables()) return false;
    if (!with_tables) return true;
    std::wstring error;
    if (!QZNVGeZhuanCreateTables(Node(), &error)) {
      ADD_FAILURE() << "cannot create the tables: " << platform::WideToUtf8(error);
      return false;
    }
    return true;
  }

  DBsSetNode Node() const override {
    DBsSetNode node;
    node.nDBType = 4;
    node.strConnect1 = source_.dsn;
    node.strConnect2 = database_;
    node.strConnect3 = source_.user;
    node.strConnect4 = source_.password;
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

  // A BEFORE trigger that skips the row: RAISE(IGNORE) on SQLite, NULL
  // from the trigger function on PostgreSQL. A MariaDB trigger can only
  // fail the statement, never skip a row; tests skip that case.
  void SkipUpdate(const std::wstring& table, const std::wstring& column, const std::wstring& marked) const override {
    const std::wstring name = NextTriggerName();
    switch (product_) {
      case Product::kSqlite:
        Execute(L"CREATE TRIGGER " + name + L" BEFORE UPDATE ON " + table + L" WHEN NEW." + column + L" = '" + marked +
                L"' BEGIN SELECT RAISE(IGNORE); END");
        return;
      case Product::kPostgres:
        Execute(
            L"CREATE OR REPLACE FUNCTION qz_test_skip() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RETURN NULL; END "
            L"$$");
        Execute(L"CREATE TRIGGER " + name + L" BEFORE UPDATE ON " + table + L" FOR EACH ROW WHEN (NEW." + column +
                L" = '" + marked + L"') EXECUTE PROCEDURE qz_test_skip()");
        return;
      case Product::kMariadb:
        ADD_FAILURE() << "a MariaDB trigger cannot skip a row";
        return;
    }
  }

  // The item table becomes a view whose dwLength, for that task's rows,
  // fails to compute: an integer overflow on SQLite, a function raising an
  // error on the servers.
  void FailItemReadsOf(const GUID& task) const override {
    const std::wstring text = conversions::GuidToText(task);
    std::wstring failing;
    switch (product_) {
      case Product::kSqlite:
        failing = L"abs(-9223372036854775807 - 1)";
        break;
      case Product::kPostgres:
        Execute(
            L"CREATE OR REPLACE FUNCTION qz_test_unreadable(task text) RETURNS integer VOLATILE LANGUAGE plpgsql "
            L"AS $$ BEGIN RAISE EXCEPTION 'item rows of % cannot be read', task; END $$");
        failing = L"qz_test_unreadable(guidTask)";
        break;
      case Product::kMariadb:
        Execute(
            L"CREATE OR REPLACE FUNCTION qz_test_unreadable(task VARCHAR(36)) RETURNS INTEGER NOT DETERMINISTIC "
            L"BEGIN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'item rows cannot be read'; RETURN 0; END");
        failing = L"qz_test_unreadable(guidTask)";
        break;
    }
    Execute(L"ALTER TABLE GeZhuanTaskItem RENAME TO GeZhuanTaskItemRows");
    Execute(
        L"CREATE VIEW GeZhuanTaskItem AS SELECT ItemRowID, guidTask, guidItem, strItemName, nItemType, "
        L"dwTrimIn, dwTrimOut, CASE WHEN guidTask = '" +
        text + L"' THEN " + failing + L" ELSE dwLength END AS dwLength, nIndex FROM GeZhuanTaskItemRows");
  }

  void AcceptAnyText(const std::wstring& table, const std::wstring& column) const override {
    if (product_ == Product::kPostgres) Execute(L"ALTER TABLE " + table + L" ALTER COLUMN " + column + L" TYPE text");
    // Long enough for any test, short enough to stay a key.
    if (product_ == Product::kMariadb) Execute(L"ALTER TABLE " + table + L" MODIFY " + column + L" VARCHAR(700)");
  }

  std::wstring UnrepresentableDateTime() const override {
    switch (product_) {
      case Product::kPostgres:
        // Not 'infinity': psqlODBC hands that over as 9999-12-31 23:59:59.
        return L"'0050-01-01 00:00:00'";
      case Product::kMariadb:
        return L"'0001-01-01 00:00:00'";  // before year 100
      case Product::kSqlite:
        break;
    }
    return L"'2008-02-30 12:00:00'";
  }

 protected:
  void ConnectTo(CQZDatabase* database) const override {
    database->Connect(QZDB_ODBC, source_.dsn, database_, source_.user, source_.password);
  }

 private:
  bool DropLibraryTables() const {
#ifdef QZ_WITH_POSTGRESQL
    if (product_ == Product::kPostgres) return Execute(platform::Utf8ToWide(kDropLibraryTables));
#endif
    // MariaDB: views first, then tables (dropping a table drops its triggers).
    static const wchar_t* const kViews[] = {L"GeZhuanTaskItem"};
    for (const wchar_t* view : kViews)
      if (QueryInteger(L"select count(*) as v from information_schema.views where table_schema = database() and "
                       L"table_name = '" +
                       std::wstring(view) + L"'") > 0 &&
          !Execute(L"DROP VIEW " + std::wstring(view)))
        return false;
    return Execute(
        L"DROP TABLE IF EXISTS GeZhuanTaskItemRows, GeZhuanTaskItem, GeZhuanTaskInfo, VTRTAPEINFO, VTRTAPEGROUPINFO");
  }

  void AddAbortTrigger(const std::wstring& event, const std::wstring& table, const std::wstring& row,
                       const std::wstring& column, const std::wstring& marked) const {
    const std::wstring name = NextTriggerName();
    switch (product_) {
      case Product::kSqlite:
        Execute(L"CREATE TRIGGER " + name + L" BEFORE " + event + L" ON " + table + L" WHEN " + row + L"." + column +
                L" = '" + marked + L"' BEGIN SELECT RAISE(ABORT, 'rejected " + marked + L"'); END");
        return;
      case Product::kPostgres:
        Execute(
            L"CREATE OR REPLACE FUNCTION qz_test_reject() RETURNS trigger LANGUAGE plpgsql "
            L"AS $$ BEGIN RAISE EXCEPTION 'rejected %', TG_ARGV[0]; END $$");
        Execute(L"CREATE TRIGGER " + name + L" BEFORE " + event + L" ON " + table + L" FOR EACH ROW WHEN (" + row +
                L"." + column + L" = '" + marked + L"') EXECUTE PROCEDURE qz_test_reject('" + marked + L"')");
        return;
      case Product::kMariadb:
        Execute(L"CREATE TRIGGER " + name + L" BEFORE " + event + L" ON " + table + L" FOR EACH ROW BEGIN IF " + row +
                L"." + column + L" = '" + marked + L"' THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'rejected " +
                marked + L"'; END IF; END");
        return;
    }
  }

  std::shared_ptr<void> held_;
  Product product_;
  OdbcSource source_;
  std::wstring database_;
};

const char* PrefixOf(const std::string& engine) {
  if (engine == "OdbcPostgreSQL") return "PG";
  if (engine == "OdbcMariaDB") return "MARIADB";
  if (engine == "OdbcSQLite") return "SQLITE";
  return nullptr;
}

}  // namespace

std::vector<std::string> OdbcEngineNames() {
#if defined(QZ_WITH_ODBC) && defined(QZ_WITH_POSTGRESQL)
  return {"OdbcPostgreSQL", "OdbcMariaDB", "OdbcSQLite"};
#elif defined(QZ_WITH_ODBC)
  return {"OdbcMariaDB", "OdbcSQLite"};
#else
  return {};
#endif
}

std::string OdbcEngineUnavailable(const std::string& engine) {
  const char* prefix = PrefixOf(engine);
  OdbcSource source;
  if (prefix && !FindOdbcSource(prefix, &source))
    return "QZ_ODBC_DIR is not set: run the tests under scripts/odbc-test-sources.sh (scripts/test.sh does)";
  return std::string();
}

std::unique_ptr<EngineDatabase> MakeOdbcEngineDatabase(const std::string& engine, bool with_tables) {
  const char* prefix = PrefixOf(engine);
  OdbcSource source;
  if (!prefix || !FindOdbcSource(prefix, &source)) {
    ADD_FAILURE() << "no ODBC source for engine " << engine;
    return nullptr;
  }
  std::unique_ptr<OdbcDatabase> database;
  if (engine == "OdbcSQLite") {
    // A file of the test's own, named with DATABASE=.
    auto folder = std::make_shared<TempDatabase>(false);
    const std::wstring path = platform::Utf8ToWide(DriverPath(folder->path()));
    database = std::make_unique<OdbcDatabase>(engine, Product::kSqlite, source, path, folder);
  } else if (engine == "OdbcMariaDB") {
    database = std::make_unique<OdbcDatabase>(engine, Product::kMariadb, source, std::wstring(),
                                              std::make_shared<SourceLock>("mariadb"));
  } else {
#ifdef QZ_WITH_POSTGRESQL
    // The PostgreSQL tests restart the server: share their lock.
    database = std::make_unique<OdbcDatabase>(engine, Product::kPostgres, source, std::wstring(),
                                              std::make_shared<ServerLock>());
#endif
  }
  if (!database) {
    ADD_FAILURE() << "engine " << engine << " is not in this build";
    return nullptr;
  }
  if (!database->Prepare(with_tables)) return nullptr;
  return database;
}

}  // namespace qz::testing
