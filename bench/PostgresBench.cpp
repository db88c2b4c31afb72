// The task store on PostgreSQL, timed against the same work written directly
// on libpq. They run only when QZ_PG_HOST names a server (as the test server
// script exports it, with QZ_PG_DATABASE, QZ_PG_USER and QZ_PG_PASSWORD);
// without one nothing is registered and the rest of qz_bench runs as before.
//   PgAddItems100k/Library vs /Raw     AddGeZhuanItems of 100,000 items in
//                                      one call against one COPY of the same
//                                      rows; items_per_second is rows/s, and
//                                      BenchMain's time ratio is the inverse
//                                      of the rows/s ratio (target: time
//                                      ratio <= 2, aim 1.25)
//   PgListTasks10000x10/Library vs /Raw  GetGeZhuanTasksByCondition(L"") of
//                                      10,000 tasks of 10 items against the
//                                      same n + 1 queries, one after another,
//                                      each result read whole into the same
//                                      records (target ratio <= 1.3)
//   PgRoundTrip                        one "select 1" through PQexec: what a
//                                      single round trip costs on this link
#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"

namespace {

using qz::conversions::DateTimeFromParts;
using qz::conversions::GuidToText;
using qz::conversions::TextToGuid;
using qz::conversions::Trim;
using qz::platform::Utf8ToWide;
using qz::platform::WideToUtf8;

constexpr int kItems = 100000;
constexpr int kTasks = 10000;
constexpr int kItemsPerTask = 10;

// --- The server --------------------------------------------------------------

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

DBsSetNode ServerNode() {
  DBsSetNode node;
  node.nDBType = 2;
  node.strConnect1 = Utf8ToWide(Env("QZ_PG_HOST"));
  node.strConnect2 = Utf8ToWide(Env("QZ_PG_DATABASE"));
  node.strConnect3 = Utf8ToWide(Env("QZ_PG_USER"));
  node.strConnect4 = Utf8ToWide(Env("QZ_PG_PASSWORD"));
  return node;
}

// A raw connection with the settings the driver connects with, so that both
// sides talk to the server in the same encoding and date style.
PGconn* OpenRaw() {
  const std::string where = Env("QZ_PG_HOST");
  const size_t colon = where.rfind(':');
  const std::string host = colon == std::string::npos ? where : where.substr(0, colon);
  const std::string port = colon == std::string::npos ? "" : where.substr(colon + 1);
  const std::string database = Env("QZ_PG_DATABASE"), user = Env("QZ_PG_USER"), password = Env("QZ_PG_PASSWORD");
  const char* keys[] = {"host", "port", "dbname", "user", "password", "client_encoding", "options", nullptr};
  const char* values[] = {host.c_str(),     port.c_str(), database.c_str(),       user.c_str(),
                          password.c_str(), "UTF8",       "-c DateStyle=ISO,YMD", nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 0);
  if (PQstatus(conn) != CONNECTION_OK) {
    const std::string message = PQerrorMessage(conn);
    PQfinish(conn);
    throw std::runtime_error("cannot connect: " + message);
  }
  return conn;
}

void Exec(PGconn* conn, const char* sql) {
  PGresult* result = PQexec(conn, sql);
  const ExecStatusType status = PQresultStatus(result);
  const std::string message = PQresultErrorMessage(result);
  PQclear(result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) throw std::runtime_error(message + " in " + sql);
}

long Count(PGconn* conn, const char* sql) {
  PGresult* result = PQexec(conn, sql);
  const long count = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1
                         ? std::strtol(PQgetvalue(result, 0, 0), nullptr, 10)
                         : -1;
  PQclear(result);
  return count;
}

// The library's tables, made once per run.
void EnsureSchema() {
  static const bool made = [] {
    std::wstring error;
    if (!QZNVGeZhuanCreateTables(ServerNode(), &error))
      throw std::runtime_error("cannot create the tables: " + WideToUtf8(error));
    return true;
  }();
  (void)made;
}

// --- Records -----------------------------------------------------------------

GUID MakeGuid(uint32_t a, uint32_t b) {
  GUID g{};
  g.Data1 = a;
  g.Data2 = static_cast<uint16_t>(b);
  g.Data3 = static_cast<uint16_t>(b >> 16);
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<uint8_t>(a * 31 + b * 7 + i);
  return g;
}

// Item names as the suite's operators write them: programme titles, some in
// Chinese, with reel and segment numbers.
std::wstring ItemName(int i) {
  static const wchar_t* const kTitles[] = {
      L"\x65B0\x95FB\x8054\x64AD",  // 新闻联播
      L"Evening News",
      L"\x4F53\x80B2\x8D5B\x4E8B \x96C6\x9526",  // 体育赛事 集锦
      L"Documentary: The Yellow River",
      L"\x7EFC\x827A\x665A\x4F1A",          // 综艺晚会
      L"Weather \x5929\x6C14\x9884\x62A5",  // 天气预报
      L"Archive reel",
  };
  const int n = static_cast<int>(sizeof kTitles / sizeof kTitles[0]);
  return std::wstring(kTitles[i % n]) + L" \x7B2C" + std::to_wstring(i / n % 100 + 1) + L"\x96C6 seg " +
         std::to_wstring(i % 1000);
}

std::vector<SQZGeZhuanItemInfo> MakeItems(uint32_t batch, int tasks) {
  std::vector<SQZGeZhuanItemInfo> items;
  items.reserve(static_cast<size_t>(tasks) * kItemsPerTask);
  for (int t = 0; t < tasks; ++t) {
    for (int i = 0; i < kItemsPerTask; ++i) {
      const int n = t * kItemsPerTask + i;
      SQZGeZhuanItemInfo item;
      item.guidTask = MakeGuid(batch, static_cast<uint32_t>(t));
      item.guidItem = MakeGuid(batch + 1000, static_cast<uint32_t>(n));
      item.strItemName = ItemName(n);
      item.nItemType = n % 3;
      item.dwTrimIn = static_cast<uint32_t>(i * 1500);
      item.dwTrimOut = static_cast<uint32_t>(i * 1500 + 1499);
      item.dwLength = 1500;
      item.nIndex = kItemsPerTask - i;
      items.push_back(std::move(item));
    }
  }
  return items;
}

std::vector<SQZGeZhuanTaskInfo> MakeTasks(uint32_t batch, int count) {
  const std::vector<SQZGeZhuanItemInfo> items = MakeItems(batch, count);
  std::vector<SQZGeZhuanTaskInfo> tasks(static_cast<size_t>(count));
  for (int t = 0; t < count; ++t) {
    SQZGeZhuanTaskInfo& task = tasks[static_cast<size_t>(t)];
    task.guidTaskID = MakeGuid(batch, static_cast<uint32_t>(t));
    task.strTaskName = L"\x683C\x5F0F\x8F6C\x6362 " + std::to_wstring(t);  // 格式转换
    task.strTaskHint = L"Betacam SP to XDCAM HD";
    task.strPreferUserName = L"\x5F20\x4F1F";  // 张伟
    task.guidPreferUser = MakeGuid(5, static_cast<uint32_t>(t % 20));
    task.strFirstAuditorName = L"Li Na";
    task.strOrgTapeTypeName = L"Betacam SP";
    task.guidOrgTapeType = MakeGuid(7, 1);
    task.strDSTTapeTypeName = L"XDCAM HD";
    task.guidDSTTapeType = MakeGuid(7, 2);
    task.strORGDeviceName = L"VTR-1";
    task.strDSTDeviceName = L"VTR-2";
    task.dwDuration = 3600;
    task.enumTaskType = 1;
    task.arrItems.assign(items.begin() + t * kItemsPerTask, items.begin() + (t + 1) * kItemsPerTask);
  }
  return tasks;
}

// --- Adding items ------------------------------------------------------------

// One field of a COPY text-format row: backslash, newline, carriage return
// and tab escaped.
void AppendCopyText(std::string* row, const std::string& text) {
  for (char c : text) {
    switch (c) {
      case '\\':
        row->append("\\\\");
        break;
      case '\n':
        row->append("\\n");
        break;
      case '\r':
        row->append("\\r");
        break;
      case '\t':
        row->append("\\t");
        break;
      default:
        row->push_back(c);
        break;
    }
  }
}

void AppendNumber(std::string* row, int64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  row->append(digits, end);
}

void PutCopyData(PGconn* conn, std::string* buffer) {
  if (PQputCopyData(conn, buffer->data(), static_cast<int>(buffer->size())) != 1)
    throw std::runtime_error(PQerrorMessage(conn));
  buffer->clear();
}

// The rows as one COPY, built from the records as AddGeZhuanItems builds
// them: GUID text, trimmed names, the dw columns' bits as signed integers.
void RawCopyItems(PGconn* conn, const std::vector<SQZGeZhuanItemInfo>& items) {
  PGresult* start = PQexec(conn,
                           "COPY GeZhuanTaskItem (guidTask, guidItem, strItemName, nItemType, dwTrimIn, dwTrimOut, "
                           "dwLength, nIndex) FROM STDIN");
  const bool copying = PQresultStatus(start) == PGRES_COPY_IN;
  PQclear(start);
  if (!copying) throw std::runtime_error(PQerrorMessage(conn));
  std::string buffer, text;
  buffer.reserve(300 * 1024);
  for (const SQZGeZhuanItemInfo& item : items) {
    WideToUtf8(GuidToText(item.guidTask), &text);
    AppendCopyText(&buffer, text);
    buffer.push_back('\t');
    WideToUtf8(GuidToText(item.guidItem), &text);
    AppendCopyText(&buffer, text);
    buffer.push_back('\t');
    WideToUtf8(Trim(item.strItemName), &text);
    AppendCopyText(&buffer, text);
    buffer.push_back('\t');
    AppendNumber(&buffer, item.nItemType);
    buffer.push_back('\t');
    AppendNumber(&buffer, static_cast<int32_t>(item.dwTrimIn));
    buffer.push_back('\t');
    AppendNumber(&buffer, static_cast<int32_t>(item.dwTrimOut));
    buffer.push_back('\t');
    AppendNumber(&buffer, static_cast<int32_t>(item.dwLength));
    buffer.push_back('\t');
    AppendNumber(&buffer, item.nIndex);
    buffer.push_back('\n');
    if (buffer.size() >= 256 * 1024) PutCopyData(conn, &buffer);
  }
  if (!buffer.empty()) PutCopyData(conn, &buffer);
  if (PQputCopyEnd(conn, nullptr) != 1) throw std::runtime_error(PQerrorMessage(conn));
  bool ok = true;
  while (PGresult* result = PQgetResult(conn)) {
    if (PQresultStatus(result) != PGRES_COMMAND_OK) ok = false;
    PQclear(result);
  }
  if (!ok) throw std::runtime_error(PQerrorMessage(conn));
}

const std::vector<SQZGeZhuanItemInfo>& AddedItems() {
  static const std::vector<SQZGeZhuanItemInfo> items = MakeItems(20, kItems / kItemsPerTask);
  return items;
}

void AddItemsLibrary(benchmark::State& state) {
  EnsureSchema();
  PGconn* cleaner = OpenRaw();
  Exec(cleaner, "TRUNCATE GeZhuanTaskItem");
  CQZNVGeZhuanDBControl control;
  if (!control.OpenQZNVGeZhuanDB(ServerNode())) state.SkipWithError("cannot open the database");
  for (auto _ : state) {
    if (!control.AddGeZhuanItems(&AddedItems())) state.SkipWithError("AddGeZhuanItems failed");
    state.PauseTiming();
    if (Count(cleaner, "select count(*) from GeZhuanTaskItem") != kItems) state.SkipWithError("rows missing");
    Exec(cleaner, "TRUNCATE GeZhuanTaskItem");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kItems);
  control.CloseQZNVGeZhuanDB();
  PQfinish(cleaner);
}

void AddItemsRaw(benchmark::State& state) {
  EnsureSchema();
  PGconn* conn = OpenRaw();
  Exec(conn, "TRUNCATE GeZhuanTaskItem");
  for (auto _ : state) {
    RawCopyItems(conn, AddedItems());
    state.PauseTiming();
    if (Count(conn, "select count(*) from GeZhuanTaskItem") != kItems) state.SkipWithError("rows missing");
    Exec(conn, "TRUNCATE GeZhuanTaskItem");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kItems);
  PQfinish(conn);
}

// --- Listing tasks -----------------------------------------------------------

// Both tables hold exactly the listing's tasks and items; refilled (through
// the store, untimed) when something else has emptied them in between.
void EnsureListingData() {
  EnsureSchema();
  PGconn* conn = OpenRaw();
  const bool filled = Count(conn, "select count(*) from GeZhuanTaskInfo") == kTasks &&
                      Count(conn, "select count(*) from GeZhuanTaskItem") == kTasks * kItemsPerTask;
  if (!filled) {
    Exec(conn, "TRUNCATE GeZhuanTaskInfo, GeZhuanTaskItem");
    CQZNVGeZhuanDBControl control;
    const std::vector<SQZGeZhuanTaskInfo> tasks = MakeTasks(1, kTasks);
    if (!control.OpenQZNVGeZhuanDB(ServerNode()) || !control.AddGeZhuanTasks(&tasks)) {
      PQfinish(conn);
      throw std::runtime_error("cannot fill the listing tables");
    }
    control.CloseQZNVGeZhuanDB();
    Exec(conn, "ANALYZE GeZhuanTaskInfo");
    Exec(conn, "ANALYZE GeZhuanTaskItem");
  }
  PQfinish(conn);
}

// Column readers with the store's conversions: text from UTF-8 and trimmed,
// GUIDs from their text, numbers from their digits, timestamps by parts.
class Row {
 public:
  Row(const PGresult* result, int row) : result_(result), row_(row) {}
  std::wstring Text(int column) const {
    return Trim(Utf8ToWide(
        std::string_view(PQgetvalue(result_, row_, column), static_cast<size_t>(PQgetlength(result_, row_, column)))));
  }
  GUID Guid(int column) const { return TextToGuid(Text(column)); }
  int32_t Int(int column) const {
    const char* text = PQgetvalue(result_, row_, column);
    int64_t value = 0;
    std::from_chars(text, text + PQgetlength(result_, row_, column), value);
    return static_cast<int32_t>(value);
  }
  SQZDateTime Time(int column) const {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!PQgetisnull(result_, row_, column))
      std::sscanf(PQgetvalue(result_, row_, column), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
    return DateTimeFromParts(y, mo, d, h, mi, s);
  }

 private:
  const PGresult* result_;
  int row_;
};

PGresult* Query(PGconn* conn, const std::string& sql) {
  PGresult* result = PQexec(conn, sql.c_str());
  if (PQresultStatus(result) != PGRES_TUPLES_OK) {
    const std::string message = PQresultErrorMessage(result);
    PQclear(result);
    throw std::runtime_error(message + " in " + sql);
  }
  return result;
}

// GetGeZhuanTasksByCondition(L"") by hand: the task query, then one item
// query per task with the task's GUID in its text, one after another.
std::vector<SQZGeZhuanTaskInfo> RawListTasks(PGconn* conn) {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  PGresult* result = Query(conn, "select * from GeZhuanTaskInfo");
  const int rows = PQntuples(result);
  tasks.reserve(static_cast<size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    const Row row(result, r);
    SQZGeZhuanTaskInfo t;
    int c = 0;
    t.guidTaskID = row.Guid(c++), t.strTaskName = row.Text(c++), t.strTaskHint = row.Text(c++);
    t.strPreferUserName = row.Text(c++), t.guidPreferUser = row.Guid(c++);
    t.strFirstAuditorName = row.Text(c++), t.guidFirstAuditor = row.Guid(c++);
    t.strSecondAuditorname = row.Text(c++), t.guidSecondAuditor = row.Guid(c++);
    t.strFirstAuditInfo = row.Text(c++), t.strSecondAuditInfo = row.Text(c++);
    t.odtTaskPrepareBegin = row.Time(c++), t.odtTaskBeginDateTime = row.Time(c++);
    t.odtTaskEndDateTime = row.Time(c++), t.dwDuration = static_cast<uint32_t>(row.Int(c++));
    t.enumTaskType = row.Int(c++), t.enumTaskEditStatus = row.Int(c++);
    t.enumTaskRunStatus = row.Int(c++), t.strOrgTapeTypeName = row.Text(c++);
    t.guidOrgTapeType = row.Guid(c++), t.strDSTTapeTypeName = row.Text(c++), t.guidDSTTapeType = row.Guid(c++);
    t.ORGDeviceGuid = row.Guid(c++), t.DSTDeviceGuid = row.Guid(c++), t.ORGVAPortGuid = row.Guid(c++);
    t.DSTVAPortGuid = row.Guid(c++), t.ORGCtrlPortGuid = row.Guid(c++), t.DSTCtrlPortGuid = row.Guid(c++);
    t.strORGDeviceName = row.Text(c++), t.strDSTDeviceName = row.Text(c++);
    tasks.push_back(std::move(t));
  }
  PQclear(result);
  for (SQZGeZhuanTaskInfo& t : tasks) {
    const std::string sql =
        "select * from GeZhuanTaskItem where guidTask = '" + WideToUtf8(GuidToText(t.guidTaskID)) + "' order by nIndex";
    PGresult* items = Query(conn, sql);
    const int count = PQntuples(items);
    for (int r = 0; r < count; ++r) {
      const Row row(items, r);
      SQZGeZhuanItemInfo item;
      item.guidTask = row.Guid(1), item.guidItem = row.Guid(2), item.strItemName = row.Text(3);
      item.nItemType = row.Int(4), item.dwTrimIn = static_cast<uint32_t>(row.Int(5));
      item.dwTrimOut = static_cast<uint32_t>(row.Int(6)), item.dwLength = static_cast<uint32_t>(row.Int(7));
      item.nIndex = row.Int(8);
      t.arrItems.push_back(std::move(item));
    }
    PQclear(items);
  }
  return tasks;
}

bool Complete(const std::vector<SQZGeZhuanTaskInfo>& tasks) {
  if (tasks.size() != static_cast<size_t>(kTasks)) return false;
  for (const SQZGeZhuanTaskInfo& task : tasks)
    if (task.arrItems.size() != static_cast<size_t>(kItemsPerTask)) return false;
  return true;
}

void ListTasksLibrary(benchmark::State& state) {
  EnsureListingData();
  CQZNVGeZhuanDBControl control;
  if (!control.OpenQZNVGeZhuanDB(ServerNode())) state.SkipWithError("cannot open the database");
  for (auto _ : state) {
    std::vector<SQZGeZhuanTaskInfo> tasks;
    if (!control.GetGeZhuanTasksByCondition(L"", &tasks) || !Complete(tasks))
      state.SkipWithError("GetGeZhuanTasksByCondition failed");
    benchmark::DoNotOptimize(tasks.data());
  }
  state.SetItemsProcessed(state.iterations() * (kTasks + 1));  // queries
  control.CloseQZNVGeZhuanDB();
}

void ListTasksRaw(benchmark::State& state) {
  EnsureListingData();
  PGconn* conn = OpenRaw();
  for (auto _ : state) {
    std::vector<SQZGeZhuanTaskInfo> tasks = RawListTasks(conn);
    if (!Complete(tasks)) state.SkipWithError("raw listing failed");
    benchmark::DoNotOptimize(tasks.data());
  }
  state.SetItemsProcessed(state.iterations() * (kTasks + 1));  // queries
  PQfinish(conn);
}

// --- Paired rounds -----------------------------------------------------------
// The same two sides again, alternating within one benchmark so that both
// see the same background load. Counters: the fastest round of each side
// and their ratio (library over raw), and the ratio of the summed times.
// after() runs, untimed, after each side.

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <typename LibraryRound, typename RawRound, typename After>
void Paired(benchmark::State& state, LibraryRound library_round, RawRound raw_round, After after) {
  double library_min = 1e9, raw_min = 1e9, library_sum = 0, raw_sum = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    library_round();
    const double library = Seconds(std::chrono::steady_clock::now() - start);
    after();
    start = std::chrono::steady_clock::now();
    raw_round();
    const double raw = Seconds(std::chrono::steady_clock::now() - start);
    after();
    library_min = std::min(library_min, library), raw_min = std::min(raw_min, raw);
    library_sum += library, raw_sum += raw;
  }
  state.counters["library_min_ms"] = library_min * 1e3;
  state.counters["raw_min_ms"] = raw_min * 1e3;
  state.counters["min_ratio"] = library_min / raw_min;
  state.counters["sum_ratio"] = raw_sum > 0 ? library_sum / raw_sum : 0;
}

void AddItemsPaired(benchmark::State& state) {
  EnsureSchema();
  PGconn* conn = OpenRaw();
  Exec(conn, "TRUNCATE GeZhuanTaskItem");
  CQZNVGeZhuanDBControl control;
  if (!control.OpenQZNVGeZhuanDB(ServerNode())) state.SkipWithError("cannot open the database");
  Paired(
      state,
      [&] {
        if (!control.AddGeZhuanItems(&AddedItems())) state.SkipWithError("AddGeZhuanItems failed");
      },
      [&] { RawCopyItems(conn, AddedItems()); },
      [&] {
        if (Count(conn, "select count(*) from GeZhuanTaskItem") != kItems) state.SkipWithError("rows missing");
        Exec(conn, "TRUNCATE GeZhuanTaskItem");
      });
  control.CloseQZNVGeZhuanDB();
  PQfinish(conn);
}

void ListTasksPaired(benchmark::State& state) {
  EnsureListingData();
  CQZNVGeZhuanDBControl control;
  if (!control.OpenQZNVGeZhuanDB(ServerNode())) state.SkipWithError("cannot open the database");
  PGconn* conn = OpenRaw();
  Paired(
      state,
      [&] {
        std::vector<SQZGeZhuanTaskInfo> tasks;
        if (!control.GetGeZhuanTasksByCondition(L"", &tasks) || !Complete(tasks))
          state.SkipWithError("GetGeZhuanTasksByCondition failed");
      },
      [&] {
        if (!Complete(RawListTasks(conn))) state.SkipWithError("raw listing failed");
      },
      [] {});
  PQfinish(conn);
  control.CloseQZNVGeZhuanDB();
}

// --- One round trip ----------------------------------------------------------

void RoundTrip(benchmark::State& state) {
  PGconn* conn = OpenRaw();
  for (auto _ : state) {
    PGresult* result = PQexec(conn, "select 1");
    if (PQresultStatus(result) != PGRES_TUPLES_OK) state.SkipWithError("select 1 failed");
    PQclear(result);
  }
  PQfinish(conn);
}

// Registered only when there is a server to run them against.
const bool registered = [] {
  if (Env("QZ_PG_HOST").empty()) return false;
  benchmark::RegisterBenchmark("PgAddItems100k/Library", AddItemsLibrary)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(5);
  benchmark::RegisterBenchmark("PgAddItems100k/Raw", AddItemsRaw)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(5);
  benchmark::RegisterBenchmark("PgListTasks10000x10/Library", ListTasksLibrary)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(3);
  benchmark::RegisterBenchmark("PgListTasks10000x10/Raw", ListTasksRaw)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(3);
  benchmark::RegisterBenchmark("PgAddItems100kPaired", AddItemsPaired)->Unit(benchmark::kMillisecond)->Iterations(5);
  benchmark::RegisterBenchmark("PgListTasks10000x10Paired", ListTasksPaired)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(5);
  benchmark::RegisterBenchmark("PgRoundTrip", RoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(0.5);
  return true;
}();

}  // namespace
