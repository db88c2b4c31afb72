// The task store on SQLite, timed against the same work written directly on
// the SQLite C API: the same SQL texts, the same transaction shape (one
// transaction, a savepoint per task's items), the same n + 1 listing with a
// new item query text per task, and the same conversions of every value.
//   AddTasks1000x10/Library vs /Raw      target ratio <= 1.3 (BenchMain prints it)
//   ListTasks10000x10/Library vs /Raw    target ratio <= 1.3 (BenchMain prints it)
//   ListTasksScaling                     counter x10_over_x1: 10,000 tasks against
//                                        1,000, target <= 11
//   AddItemsIntoMillion                  counters full_over_empty (store) and
//                                        raw_full_over_empty: 1,000 items into a
//                                        table of 1,000,000 against an empty one,
//                                        target about 1 (the raw figure is the
//                                        engine's own cost of deeper indexes)
#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"

namespace {

using qz::conversions::GuidToText;
using qz::conversions::TextToGuid;
using qz::conversions::Trim;
using qz::platform::Utf8ToWide;
using qz::platform::WideToUtf8;

constexpr int kItemsPerTask = 10;

// --- Databases -----------------------------------------------------------------

// A database file with the library's tables in a scratch folder.
class BenchDatabase {
 public:
  BenchDatabase() {
    if (!QZNVGeZhuanCreateTables(Node(), nullptr)) throw std::runtime_error("cannot create the tables");
  }
  DBsSetNode Node() const {
    DBsSetNode node;
    node.strConnect1 = Utf8ToWide(folder_.path());
    node.strConnect2 = L"bench.db";
    return node;
  }
  std::string path() const { return folder_.path() + "/bench.db"; }

 private:
  qz::bench::ScratchFolder folder_;
};

sqlite3* OpenRaw(const std::string& path) { return qz::bench::OpenRawSqlite(path); }

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error(message + " in " + sql);
  }
}

// --- Records -------------------------------------------------------------------

GUID MakeGuid(uint32_t a, uint32_t b) {
  GUID g{};
  g.Data1 = a;
  g.Data2 = static_cast<uint16_t>(b);
  g.Data3 = static_cast<uint16_t>(b >> 16);
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<uint8_t>(a * 31 + b * 7 + i);
  return g;
}

std::vector<SQZGeZhuanTaskInfo> MakeTasks(int count, uint32_t batch) {
  std::vector<SQZGeZhuanTaskInfo> tasks(static_cast<size_t>(count));
  for (int t = 0; t < count; ++t) {
    SQZGeZhuanTaskInfo& task = tasks[static_cast<size_t>(t)];
    task.guidTaskID = MakeGuid(batch, static_cast<uint32_t>(t));
    task.strTaskName = L"\x683C\x5F0F\x8F6C\x6362 " + std::to_wstring(t);
    task.strTaskHint = L"hint";
    task.strPreferUserName = L"user";
    task.strORGDeviceName = L"VTR-1";
    task.strDSTDeviceName = L"VTR-2";
    task.guidOrgTapeType = MakeGuid(7, 7);
    task.dwDuration = 3600;
    for (int i = 0; i < kItemsPerTask; ++i) {
      SQZGeZhuanItemInfo item;
      item.guidTask = task.guidTaskID;
      item.guidItem = MakeGuid(batch + 1000, static_cast<uint32_t>(t * kItemsPerTask + i));
      item.strItemName = L"item " + std::to_wstring(i);
      item.dwTrimIn = static_cast<uint32_t>(i * 100);
      item.dwTrimOut = static_cast<uint32_t>(i * 100 + 99);
      item.dwLength = 100;
      item.nIndex = kItemsPerTask - i;
      task.arrItems.push_back(item);
    }
  }
  return tasks;
}

// --- The raw side: what the store does, on the C API ---------------------------

const char* const kTaskInsert =
    "INSERT INTO \"GeZhuanTaskInfo\" (\"guidTaskID\",\"strTaskName\",\"strTaskHint\",\"strPreferUserName\","
    "\"guidPreferUser\",\"strFirstAuditorName\",\"guidFirstAuditor\",\"strSecondAuditorname\","
    "\"guidSecondAuditor\",\"strFirstAuditInfo\",\"strSecondAuditInfo\",\"odtTaskPrepareBegin\","
    "\"odtTaskBeginDateTime\",\"odtTaskEndDateTime\",\"dwDuration\",\"enumTaskType\",\"enumTaskEditStatus\","
    "\"enumTaskRunStatus\",\"strOrgTapeTypeName\",\"guidOrgTapeType\",\"strDSTTapeTypeName\",\"guidDSTTapeType\","
    "\"ORGDeviceGuid\",\"DSTDeviceGuid\",\"ORGVAPortGuid\",\"DSTVAPortGuid\",\"ORGCtrlPortGuid\","
    "\"DSTCtrlPortGuid\",\"strORGDeviceName\",\"strDSTDeviceName\") VALUES "
    "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
const char* const kItemInsert =
    "INSERT INTO \"GeZhuanTaskItem\" (\"guidTask\",\"guidItem\",\"strItemName\",\"nItemType\",\"dwTrimIn\","
    "\"dwTrimOut\",\"dwLength\",\"nIndex\") VALUES (?,?,?,?,?,?,?,?)";

class Binder {
 public:
  explicit Binder(sqlite3_stmt* statement) : statement_(statement) {}
  void Text(const std::wstring& text) {
    const std::string utf8 = WideToUtf8(Trim(text));
    sqlite3_bind_text(statement_, ++index_, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
  }
  void Guid(const GUID& guid) { Text(GuidToText(guid)); }
  void Int(int32_t value) { sqlite3_bind_int(statement_, ++index_, value); }
  void Time(const SQZDateTime& time) {
    int y, mo, d, h, mi, s;
    if (!time.GetParts(&y, &mo, &d, &h, &mi, &s)) {
      sqlite3_bind_null(statement_, ++index_);
      return;
    }
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    sqlite3_bind_text(statement_, ++index_, text, n, SQLITE_TRANSIENT);
  }
  void Step() {
    if (sqlite3_step(statement_) != SQLITE_DONE) throw std::runtime_error("insert failed");
    sqlite3_reset(statement_);
    index_ = 0;
  }

 private:
  sqlite3_stmt* statement_;
  int index_ = 0;
};

sqlite3_stmt* Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
    throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in " + sql);
  return statement;
}

// AddGeZhuanTasks by hand: one transaction, the task rows, then each task's
// items in a savepoint of their own.
void RawAddTasks(sqlite3* db, const std::vector<SQZGeZhuanTaskInfo>& tasks) {
  Exec(db, "BEGIN IMMEDIATE");
  sqlite3_stmt* query = Prepare(db, "select * from GeZhuanTaskInfo");
  sqlite3_stmt* insert = Prepare(db, kTaskInsert);
  for (const SQZGeZhuanTaskInfo& t : tasks) {
    Binder b(insert);
    b.Guid(t.guidTaskID), b.Text(t.strTaskName), b.Text(t.strTaskHint), b.Text(t.strPreferUserName);
    b.Guid(t.guidPreferUser), b.Text(t.strFirstAuditorName), b.Guid(t.guidFirstAuditor);
    b.Text(t.strSecondAuditorname), b.Guid(t.guidSecondAuditor), b.Text(t.strFirstAuditInfo);
    b.Text(t.strSecondAuditInfo), b.Time(t.odtTaskPrepareBegin), b.Time(t.odtTaskBeginDateTime);
    b.Time(t.odtTaskEndDateTime), b.Int(static_cast<int32_t>(t.dwDuration)), b.Int(t.enumTaskType);
    b.Int(t.enumTaskEditStatus), b.Int(t.enumTaskRunStatus), b.Text(t.strOrgTapeTypeName);
    b.Guid(t.guidOrgTapeType), b.Text(t.strDSTTapeTypeName), b.Guid(t.guidDSTTapeType), b.Guid(t.ORGDeviceGuid);
    b.Guid(t.DSTDeviceGuid), b.Guid(t.ORGVAPortGuid), b.Guid(t.DSTVAPortGuid), b.Guid(t.ORGCtrlPortGuid);
    b.Guid(t.DSTCtrlPortGuid), b.Text(t.strORGDeviceName), b.Text(t.strDSTDeviceName);
    b.Step();
  }
  sqlite3_finalize(insert);
  sqlite3_finalize(query);
  sqlite3_stmt* items_query = Prepare(db, "select * from GeZhuanTaskItem");
  sqlite3_stmt* item_insert = Prepare(db, kItemInsert);
  for (const SQZGeZhuanTaskInfo& t : tasks) {
    if (t.arrItems.empty()) continue;
    Exec(db, "SAVEPOINT qz_level_1");
    for (const SQZGeZhuanItemInfo& item : t.arrItems) {
      Binder b(item_insert);
      b.Guid(item.guidTask), b.Guid(item.guidItem), b.Text(item.strItemName), b.Int(item.nItemType);
      b.Int(static_cast<int32_t>(item.dwTrimIn)), b.Int(static_cast<int32_t>(item.dwTrimOut));
      b.Int(static_cast<int32_t>(item.dwLength)), b.Int(item.nIndex);
      b.Step();
    }
    Exec(db, "RELEASE qz_level_1");
  }
  sqlite3_finalize(item_insert);
  sqlite3_finalize(items_query);
  Exec(db, "COMMIT");
}

// Column readers with the store's conversions.
std::wstring TextAt(sqlite3_stmt* s, int i) {
  const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
  return Trim(Utf8ToWide(std::string_view(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(s, i)))));
}
GUID GuidAt(sqlite3_stmt* s, int i) { return TextToGuid(TextAt(s, i)); }
SQZDateTime TimeAt(sqlite3_stmt* s, int i) {
  const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  if (text) std::sscanf(text, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &sec);
  return SQZDateTime(y, mo, d, h, mi, sec);
}

// GetGeZhuanTasksByCondition(L"") by hand: the task query, then one item
// query per task, each a new text prepared for it.
std::vector<SQZGeZhuanTaskInfo> RawListTasks(sqlite3* db) {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  sqlite3_stmt* s = Prepare(db, "select * from GeZhuanTaskInfo");
  while (sqlite3_step(s) == SQLITE_ROW) {
    SQZGeZhuanTaskInfo t;
    int c = 0;
    t.guidTaskID = GuidAt(s, c++), t.strTaskName = TextAt(s, c++), t.strTaskHint = TextAt(s, c++);
    t.strPreferUserName = TextAt(s, c++), t.guidPreferUser = GuidAt(s, c++);
    t.strFirstAuditorName = TextAt(s, c++), t.guidFirstAuditor = GuidAt(s, c++);
    t.strSecondAuditorname = TextAt(s, c++), t.guidSecondAuditor = GuidAt(s, c++);
    t.strFirstAuditInfo = TextAt(s, c++), t.strSecondAuditInfo = TextAt(s, c++);
    t.odtTaskPrepareBegin = TimeAt(s, c++), t.odtTaskBeginDateTime = TimeAt(s, c++);
    t.odtTaskEndDateTime = TimeAt(s, c++), t.dwDuration = static_cast<uint32_t>(sqlite3_column_int(s, c++));
    t.enumTaskType = sqlite3_column_int(s, c++), t.enumTaskEditStatus = sqlite3_column_int(s, c++);
    t.enumTaskRunStatus = sqlite3_column_int(s, c++), t.strOrgTapeTypeName = TextAt(s, c++);
    t.guidOrgTapeType = GuidAt(s, c++), t.strDSTTapeTypeName = TextAt(s, c++), t.guidDSTTapeType = GuidAt(s, c++);
    t.ORGDeviceGuid = GuidAt(s, c++), t.DSTDeviceGuid = GuidAt(s, c++), t.ORGVAPortGuid = GuidAt(s, c++);
    t.DSTVAPortGuid = GuidAt(s, c++), t.ORGCtrlPortGuid = GuidAt(s, c++), t.DSTCtrlPortGuid = GuidAt(s, c++);
    t.strORGDeviceName = TextAt(s, c++), t.strDSTDeviceName = TextAt(s, c++);
    tasks.push_back(std::move(t));
  }
  sqlite3_finalize(s);
  for (SQZGeZhuanTaskInfo& t : tasks) {
    const std::string sql =
        "select * from GeZhuanTaskItem where guidTask = '" + WideToUtf8(GuidToText(t.guidTaskID)) + "' order by nIndex";
    sqlite3_stmt* q = Prepare(db, sql);
    while (sqlite3_step(q) == SQLITE_ROW) {
      SQZGeZhuanItemInfo item;
      item.guidTask = GuidAt(q, 1), item.guidItem = GuidAt(q, 2), item.strItemName = TextAt(q, 3);
      item.nItemType = sqlite3_column_int(q, 4), item.dwTrimIn = static_cast<uint32_t>(sqlite3_column_int(q, 5));
      item.dwTrimOut = static_cast<uint32_t>(sqlite3_column_int(q, 6));
      item.dwLength = static_cast<uint32_t>(sqlite3_column_int(q, 7)), item.nIndex = sqlite3_column_int(q, 8);
      t.arrItems.push_back(std::move(item));
    }
    sqlite3_finalize(q);
  }
  return tasks;
}

// --- Fixtures ------------------------------------------------------------------

// A database holding count tasks of 10 items each, made once per count.
const BenchDatabase& ListingDatabase(int count) {
  static std::map<int, std::unique_ptr<BenchDatabase>> made;
  std::unique_ptr<BenchDatabase>& slot = made[count];
  if (!slot) {
    slot = std::make_unique<BenchDatabase>();
    sqlite3* db = OpenRaw(slot->path());
    RawAddTasks(db, MakeTasks(count, 1));
    sqlite3_close(db);
  }
  return *slot;
}

// A database whose item table holds `rows` items of other tasks.
const BenchDatabase& ItemDatabase(int rows) {
  static std::map<int, std::unique_ptr<BenchDatabase>> made;
  std::unique_ptr<BenchDatabase>& slot = made[rows];
  if (!slot) {
    slot = std::make_unique<BenchDatabase>();
    sqlite3* db = OpenRaw(slot->path());
    Exec(db, "BEGIN IMMEDIATE");
    sqlite3_stmt* insert = Prepare(db, kItemInsert);
    for (int i = 0; i < rows; ++i) {
      Binder b(insert);
      b.Guid(MakeGuid(9, static_cast<uint32_t>(i / kItemsPerTask))), b.Guid(MakeGuid(10, static_cast<uint32_t>(i)));
      b.Text(L"filler"), b.Int(0), b.Int(i), b.Int(i + 1), b.Int(1), b.Int(i % kItemsPerTask);
      b.Step();
    }
    sqlite3_finalize(insert);
    Exec(db, "COMMIT");
    sqlite3_close(db);
  }
  return *slot;
}

void ClearTasks(sqlite3* db) {
  Exec(db, "DELETE FROM GeZhuanTaskItem");
  Exec(db, "DELETE FROM GeZhuanTaskInfo");
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// --- Benchmarks ----------------------------------------------------------------

void AddTasksLibrary(benchmark::State& state) {
  BenchDatabase database;
  const std::vector<SQZGeZhuanTaskInfo> tasks = MakeTasks(1000, 2);
  sqlite3* cleaner = OpenRaw(database.path());
  CQZNVGeZhuanDBControl control;
  control.OpenQZNVGeZhuanDB(database.Node());
  for (auto _ : state) {
    if (!control.AddGeZhuanTasks(&tasks)) state.SkipWithError("AddGeZhuanTasks failed");
    state.PauseTiming();
    ClearTasks(cleaner);
    state.ResumeTiming();
  }
  control.CloseQZNVGeZhuanDB();
  sqlite3_close(cleaner);
}

void AddTasksRaw(benchmark::State& state) {
  BenchDatabase database;
  const std::vector<SQZGeZhuanTaskInfo> tasks = MakeTasks(1000, 2);
  sqlite3* db = OpenRaw(database.path());
  for (auto _ : state) {
    RawAddTasks(db, tasks);
    state.PauseTiming();
    ClearTasks(db);
    state.ResumeTiming();
  }
  sqlite3_close(db);
}

// One listing of every task of the database of count tasks; false on failure.
bool StoreList(CQZNVGeZhuanDBControl& control, int count) {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  const bool ok = control.GetGeZhuanTasksByCondition(L"", &tasks) && tasks.size() == static_cast<size_t>(count);
  benchmark::DoNotOptimize(tasks.data());
  return ok;
}

void ListTasksLibrary(benchmark::State& state) {
  CQZNVGeZhuanDBControl control;
  control.OpenQZNVGeZhuanDB(ListingDatabase(10000).Node());
  for (auto _ : state)
    if (!StoreList(control, 10000)) state.SkipWithError("GetGeZhuanTasksByCondition failed");
  control.CloseQZNVGeZhuanDB();
}

void ListTasksRaw(benchmark::State& state) {
  sqlite3* db = OpenRaw(ListingDatabase(10000).path());
  for (auto _ : state) {
    std::vector<SQZGeZhuanTaskInfo> tasks = RawListTasks(db);
    if (tasks.size() != 10000u) state.SkipWithError("raw listing failed");
    benchmark::DoNotOptimize(tasks.data());
  }
  sqlite3_close(db);
}

// Listing 10,000 tasks against listing 1,000: the n + 1 item queries are
// index range scans, so the time must grow linearly.
void ListTasksScaling(benchmark::State& state) {
  CQZNVGeZhuanDBControl small, large;
  small.OpenQZNVGeZhuanDB(ListingDatabase(1000).Node());
  large.OpenQZNVGeZhuanDB(ListingDatabase(10000).Node());
  double small_seconds = 0, large_seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (!StoreList(small, 1000)) state.SkipWithError("listing 1,000 failed");
    auto middle = std::chrono::steady_clock::now();
    if (!StoreList(large, 10000)) state.SkipWithError("listing 10,000 failed");
    small_seconds += Seconds(middle - start);
    large_seconds += Seconds(std::chrono::steady_clock::now() - middle);
  }
  state.counters["x10_over_x1"] = small_seconds > 0 ? large_seconds / small_seconds : 0;
  small.CloseQZNVGeZhuanDB();
  large.CloseQZNVGeZhuanDB();
}

// 1,000 items in one transaction by hand, as AddGeZhuanItems writes them.
void RawAddItems(sqlite3* db, const std::vector<SQZGeZhuanItemInfo>& items) {
  Exec(db, "BEGIN IMMEDIATE");
  sqlite3_stmt* query = Prepare(db, "select * from GeZhuanTaskItem");
  sqlite3_stmt* insert = Prepare(db, kItemInsert);
  for (const SQZGeZhuanItemInfo& item : items) {
    Binder b(insert);
    b.Guid(item.guidTask), b.Guid(item.guidItem), b.Text(item.strItemName), b.Int(item.nItemType);
    b.Int(static_cast<int32_t>(item.dwTrimIn)), b.Int(static_cast<int32_t>(item.dwTrimOut));
    b.Int(static_cast<int32_t>(item.dwLength)), b.Int(item.nIndex);
    b.Step();
  }
  sqlite3_finalize(insert);
  sqlite3_finalize(query);
  Exec(db, "COMMIT");
}

// Adding 1,000 items to a table of 1,000,000 against adding them to an empty
// one, through the store and by hand. The added rows are removed, untimed,
// after each round.
void AddItemsIntoMillion(benchmark::State& state) {
  std::vector<SQZGeZhuanItemInfo> items;
  for (const SQZGeZhuanTaskInfo& task : MakeTasks(100, 3))
    items.insert(items.end(), task.arrItems.begin(), task.arrItems.end());
  const BenchDatabase* databases[2] = {&ItemDatabase(0), &ItemDatabase(1000000)};
  CQZNVGeZhuanDBControl controls[2];
  sqlite3* raw[2];
  for (int i = 0; i < 2; ++i) {
    controls[i].OpenQZNVGeZhuanDB(databases[i]->Node());
    raw[i] = OpenRaw(databases[i]->path());
  }
  double store_seconds[2] = {0, 0}, raw_seconds[2] = {0, 0};
  for (auto _ : state) {
    for (int i = 0; i < 2; ++i) {
      auto start = std::chrono::steady_clock::now();
      if (!controls[i].AddGeZhuanItems(&items)) state.SkipWithError("AddGeZhuanItems failed");
      auto middle = std::chrono::steady_clock::now();
      Exec(raw[i], "DELETE FROM GeZhuanTaskItem WHERE strItemName <> 'filler'");
      auto again = std::chrono::steady_clock::now();
      RawAddItems(raw[i], items);
      auto end = std::chrono::steady_clock::now();
      Exec(raw[i], "DELETE FROM GeZhuanTaskItem WHERE strItemName <> 'filler'");
      store_seconds[i] += Seconds(middle - start);
      raw_seconds[i] += Seconds(end - again);
    }
  }
  state.counters["full_over_empty"] = store_seconds[0] > 0 ? store_seconds[1] / store_seconds[0] : 0;
  state.counters["raw_full_over_empty"] = raw_seconds[0] > 0 ? raw_seconds[1] / raw_seconds[0] : 0;
  for (int i = 0; i < 2; ++i) {
    controls[i].CloseQZNVGeZhuanDB();
    sqlite3_close(raw[i]);
  }
}

BENCHMARK(AddTasksLibrary)->Name("AddTasks1000x10/Library")->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(AddTasksRaw)->Name("AddTasks1000x10/Raw")->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(ListTasksLibrary)->Name("ListTasks10000x10/Library")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ListTasksRaw)->Name("ListTasks10000x10/Raw")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ListTasksScaling)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(AddItemsIntoMillion)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
