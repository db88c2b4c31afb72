// A million tasks: adding, listing and filtering QZ_BENCH_LARGE tasks (of
// 10 items each) through the library on SQLite and, when QZ_PG_HOST names
// a server, on PostgreSQL. Registered only when QZ_BENCH_LARGE is set
// (scripts/bench.sh --large), since a million tasks take long and several
// GB. What each shows is how the cost grows with the table, not a ratio to
// raw code: the per-task time at the full size over the per-task time at
// 10,000 tasks, measured on the same database as it grows.
//   Large<Engine>  add_over_10k           the last 10,000 tasks added over
//                                         the first 10,000 (one call each)
//                  add_one_over_10k       per task, 200 tasks added one per
//                                         call at the full size over the
//                                         same at 10,000 tasks (each after
//                                         that size's listing and filter)
//                  list_over_10k          per task, listing all of them
//                                         over listing the first 10,000
//                  filter_over_10k        per task found, a condition that
//                                         selects one day in 28 over the
//                                         same at 10,000
//                  *_cpu_*                each of these four in CPU time:
//                                         this process's, and on PostgreSQL
//                                         also the server process serving
//                                         the connection. The machine's
//                                         load moves it far less than the
//                                         time; it leaves out waits for the
//                                         disk and the server's background
//                                         writers
//                  heap_over_result       the listing's peak C++ heap over
//                                         the result's own size
//                  rss_over_result        the same for the process's peak
//                                         resident memory: the engine's own
//                                         buffers too, and each of the
//                                         result's blocks (result_blocks_M,
//                                         millions) carries malloc's header
//                                         and rounding and the heap
//                                         counter's 16 bytes
// with each per-task time and CPU time (microseconds) at 10,000 and at the
// full size, the full listing's and filter's seconds and the result's size
// (MB) beside. A line on standard error every 100,000 tasks shows the
// adds' progress.
//
// A call of 10,000 tasks into a small table touches each index page many
// times; into a large one, about one page per key, since the keys (GUIDs)
// fall all over each index: each commit writes about as many pages as the
// call adds keys, where at 10,000 it wrote a few per hundred. That growth
// is the B-tree's, on any engine and in raw code alike; adding one task
// per call (add_one_over_10k) touches the same few pages at any size.
#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchRecords.h"
#include "BenchSupport.h"
#include "HeapCounter.h"
#include "PairedRounds.h"
#ifdef QZ_LARGE_BENCH_POSTGRESQL
#include "PostgresRawStore.h"
#endif

namespace {

using qz::bench::SecondsSince;
using Clock = std::chrono::steady_clock;

constexpr int kBatch = 10000;
constexpr uint32_t kLargeBatch = 40;
// The tasks added one per call, at 10,000 and at the full size.
constexpr uint32_t kSingleBatch = 41;
constexpr int kSingles = 200;
// One day of the 28 the tasks begin on.
const wchar_t kOneDay[] =
    L"odtTaskBeginDateTime >= '2024-03-05 00:00:00' and odtTaskBeginDateTime < '2024-03-06 00:00:00'";

int LargeCount() {
  const char* value = std::getenv("QZ_BENCH_LARGE");
  return value ? std::atoi(value) : 0;
}

// The process's resident memory now, or at its peak since ResetPeakRss,
// in bytes (/proc/self/status); 0 where that cannot be read.
size_t ResidentBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, std::char_traits<char>::length(field), field) == 0)
      return std::strtoull(line.c_str() + std::char_traits<char>::length(field), nullptr, 10) * 1024;
  return 0;
}

void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The process's CPU seconds so far, user and system.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The CPU seconds so far of the engine's server processes that serve this
// program; none for an engine that runs inside it.
using ServerCpu = std::function<double()>;

// Seconds of one piece of work: on the clock and on the CPUs.
struct Cost {
  double wall = 0, cpu = 0;
  Cost Per(double count) const { return Cost{wall / count, cpu / count}; }
};

template <typename Work>
Cost Measure(const ServerCpu& server_cpu, Work work) {
  const double cpu = CpuSeconds() + server_cpu();
  const auto start = Clock::now();
  work();
  return Cost{SecondsSince(start), CpuSeconds() + server_cpu() - cpu};
}

// Adds kSingles tasks one per call, [first, first + kSingles) of their
// batch; the cost per task.
Cost AddSingles(CQZNVGeZhuanDBControl& control, const ServerCpu& server_cpu, int first) {
  const std::vector<SQZGeZhuanTaskInfo> tasks = qz::bench::MakeTasks(kSingleBatch, kSingles, first);
  return Measure(server_cpu,
                 [&] {
                   for (const SQZGeZhuanTaskInfo& task : tasks) {
                     const std::vector<SQZGeZhuanTaskInfo> one(1, task);
                     if (!control.AddGeZhuanTasks(&one)) throw std::runtime_error("AddGeZhuanTasks failed");
                   }
                 })
      .Per(kSingles);
}

// Lists with condition; its whole cost.
Cost List(CQZNVGeZhuanDBControl& control, const ServerCpu& server_cpu, const std::wstring& condition,
          std::vector<SQZGeZhuanTaskInfo>* tasks) {
  tasks->clear();
  return Measure(server_cpu, [&] {
    if (!control.GetGeZhuanTasksByCondition(condition, tasks))
      throw std::runtime_error("GetGeZhuanTasksByCondition failed");
  });
}

// The heap blocks a listing's result holds: its arrays and every string too
// long to be held in the string object.
size_t HeapBlocks(const std::vector<SQZGeZhuanTaskInfo>& tasks) {
  size_t blocks = tasks.empty() ? 0 : 1;
  for (const SQZGeZhuanTaskInfo& t : tasks) {
    for (const std::wstring* text :
         {&t.strTaskName, &t.strTaskHint, &t.strPreferUserName, &t.strFirstAuditorName, &t.strSecondAuditorname,
          &t.strFirstAuditInfo, &t.strSecondAuditInfo, &t.strOrgTapeTypeName, &t.strDSTTapeTypeName,
          &t.strORGDeviceName, &t.strDSTDeviceName})
      blocks += qz::bench::OwnBytes(*text) > 0;
    blocks += !t.arrItems.empty();
    for (const SQZGeZhuanItemInfo& item : t.arrItems) blocks += qz::bench::OwnBytes(item.strItemName) > 0;
  }
  return blocks;
}

// The median of three costs, each of wall and CPU on its own: one listing
// of 10,000 tasks is short enough for a moment's load on the machine to
// double it.
Cost MedianOf(const std::vector<Cost>& costs) {
  std::vector<double> walls, cpus;
  for (const Cost& c : costs) walls.push_back(c.wall), cpus.push_back(c.cpu);
  return Cost{qz::bench::Median(walls), qz::bench::Median(cpus)};
}

// Adds the tasks 10,000 per call into the empty database node names, and
// lists and filters at 10,000 and at the full count.
void Large(benchmark::State& state, const DBsSetNode& node, const char* name, const ServerCpu& server_cpu) {
  const int count = LargeCount();
  try {
    CQZNVGeZhuanDBControl control;
    if (!control.OpenQZNVGeZhuanDB(node)) throw std::runtime_error("cannot open the database");
    for (auto _ : state) {
      Cost first_add, last_add, small_list, small_filter, small_single;
      size_t small_found = 0;
      std::vector<SQZGeZhuanTaskInfo> listed;
      const auto began = Clock::now();
      for (int first = 0; first < count; first += kBatch) {
        const std::vector<SQZGeZhuanTaskInfo> tasks =
            qz::bench::MakeTasks(kLargeBatch, std::min(kBatch, count - first), first);
        last_add = Measure(server_cpu, [&] {
                     if (!control.AddGeZhuanTasks(&tasks)) throw std::runtime_error("AddGeZhuanTasks failed");
                   }).Per(static_cast<double>(tasks.size()));
        if (first == 0) {
          first_add = last_add;
          std::vector<Cost> lists, filters;
          for (int again = 0; again < 3; ++again) {
            lists.push_back(List(control, server_cpu, L"", &listed).Per(static_cast<double>(listed.size())));
            filters.push_back(List(control, server_cpu, kOneDay, &listed));
          }
          small_list = MedianOf(lists);
          small_filter = MedianOf(filters);
          small_found = listed.size();
          small_single = AddSingles(control, server_cpu, 0);
        }
        const int added = first + static_cast<int>(tasks.size());
        if (added % 100000 == 0 || added == count)
          std::fprintf(stderr, "%s: %d tasks, %.0f us per task in the last call, %.0f s so far\n", name, added,
                       last_add.wall * 1e6, SecondsSince(began));
      }
      std::vector<SQZGeZhuanTaskInfo>().swap(listed);
      malloc_trim(0);  // so that memory freed before does not hide the listing's
      const size_t heap_before = qz::bench::HeapBytesInUse();
      qz::bench::ResetHeapPeak();
      ResetPeakRss();
      const size_t rss_before = ResidentBytes("VmRSS:");
      const Cost list = List(control, server_cpu, L"", &listed);
      const double heap = static_cast<double>(qz::bench::HeapPeak() - heap_before);
      const double rss = static_cast<double>(ResidentBytes("VmHWM:") - rss_before);
      const double result = static_cast<double>(qz::bench::ResultOwnBytes(listed));
      const size_t blocks = HeapBlocks(listed);
      const size_t total = static_cast<size_t>(count) + kSingles;
      if (listed.size() != total) throw std::runtime_error("the listing missed tasks");
      std::vector<SQZGeZhuanTaskInfo>().swap(listed);
      const Cost filter = List(control, server_cpu, kOneDay, &listed);
      // After the listing and the filter, as at 10,000: the engine has
      // settled from the last call's writes alike at both sizes.
      const Cost single = AddSingles(control, server_cpu, kSingles);
      const Cost per_list = list.Per(static_cast<double>(total));
      const Cost per_found = filter.Per(static_cast<double>(listed.size()));
      const Cost small_per_found = small_filter.Per(static_cast<double>(small_found));
      const auto ratios = [&](const char* what, const Cost& full, const Cost& small) {
        state.counters[std::string(what) + "_over_10k"] = full.wall / small.wall;
        state.counters[std::string(what) + "_cpu_over_10k"] = full.cpu / small.cpu;
        state.counters[std::string(what) + "_us_10k"] = small.wall * 1e6;
        state.counters[std::string(what) + "_us_full"] = full.wall * 1e6;
        state.counters[std::string(what) + "_cpu_us_10k"] = small.cpu * 1e6;
        state.counters[std::string(what) + "_cpu_us_full"] = full.cpu * 1e6;
      };
      ratios("add", last_add, first_add);
      ratios("add_one", single, small_single);
      ratios("list", per_list, small_list);
      ratios("filter", per_found, small_per_found);
      state.counters["heap_over_result"] = heap / result;
      state.counters["rss_over_result"] = rss / result;
      state.counters["result_blocks_M"] = static_cast<double>(blocks) / 1e6;
      state.counters["list_s"] = list.wall;
      state.counters["filter_s"] = filter.wall;
      state.counters["result_MB"] = result / 1e6;
    }
    control.CloseQZNVGeZhuanDB();
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

void LargeSqlite(benchmark::State& state) {
  const qz::bench::ScratchFolder folder;
  DBsSetNode node;
  node.strConnect1 = std::wstring(folder.path().begin(), folder.path().end());
  node.strConnect2 = L"large.db";
  if (!QZNVGeZhuanCreateTables(node, nullptr)) return state.SkipWithError("cannot create the tables");
  Large(state, node, "LargeSqlite", [] { return 0.0; });
}

#ifdef QZ_LARGE_BENCH_POSTGRESQL
// The CPU seconds so far of the server processes serving other connections
// to database, from their /proc/<pid>/schedstat (the server runs on this
// machine); admin is a connection to another database.
double BackendCpuSeconds(PGconn* admin, const std::string& database) {
  const char* values[] = {database.c_str()};
  PGresult* backends =
      PQexecParams(admin, "select pid from pg_stat_activity where datname = $1 and backend_type = 'client backend'", 1,
                   nullptr, values, nullptr, nullptr, 0);
  double seconds = 0;
  for (int row = 0; PQresultStatus(backends) == PGRES_TUPLES_OK && row < PQntuples(backends); ++row) {
    std::ifstream schedstat(std::string("/proc/") + PQgetvalue(backends, row, 0) + "/schedstat");
    unsigned long long nanoseconds = 0;
    if (schedstat >> nanoseconds) seconds += static_cast<double>(nanoseconds) / 1e9;
  }
  PQclear(backends);
  return seconds;
}

void LargePostgres(benchmark::State& state) {
  try {
    const qz::bench::PostgresServer server = qz::bench::PostgresServer::FromEnvironment();
    PGconn* admin = server.Connect();
    PQclear(PQexec(admin, "drop database if exists qz_bench_large"));
    PQclear(PQexec(admin, "create database qz_bench_large"));
    PQfinish(admin);
    const DBsSetNode node = server.WithDatabase("qz_bench_large").Node();
    std::wstring error;
    if (!QZNVGeZhuanCreateTables(node, &error)) throw std::runtime_error("cannot create the tables");
    admin = server.Connect();
    Large(state, node, "LargePostgres", [admin] { return BackendCpuSeconds(admin, "qz_bench_large"); });
    PQclear(PQexec(admin, "drop database if exists qz_bench_large"));
    PQfinish(admin);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}
#endif

const bool registered = [] {
  if (LargeCount() <= 0) return false;
  benchmark::RegisterBenchmark("LargeSqlite", LargeSqlite)->Unit(benchmark::kSecond)->Iterations(1);
#ifdef QZ_LARGE_BENCH_POSTGRESQL
  if (!qz::bench::PostgresServer::FromEnvironment().host.empty())
    benchmark::RegisterBenchmark("LargePostgres", LargePostgres)->Unit(benchmark::kSecond)->Iterations(1);
#endif
  return true;
}();

}  // namespace
