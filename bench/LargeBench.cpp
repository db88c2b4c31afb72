// A million tasks: adding, listing and filtering QZ_BENCH_LARGE tasks (of
// 10 items each) through the library on SQLite and, when QZ_PG_HOST names
// a server, on PostgreSQL. Registered only when QZ_BENCH_LARGE is set
// (scripts/bench.sh --large), since a million tasks take long and several
// GB. What each shows is how the cost grows with the table, not a ratio to
// raw code: the per-task time at the full size over the per-task time at
// 10,000 tasks, measured on the same database as it grows.
//   Large<Engine>  add_last_over_first    the last 10,000 tasks added over
//                                         the first 10,000 (one call each)
//                  add_cpu_last_over_first the same in the process's CPU
//                                         time (the whole engine on SQLite,
//                                         the client alone on PostgreSQL),
//                                         which the machine's load moves
//                                         less
//                  add_one_over_10k       per task, 200 tasks added one per
//                                         call at the full size over the
//                                         same at 10,000 tasks (each after
//                                         that size's listing and filter)
//                  list_over_10k          per task, listing all of them
//                                         over listing the first 10,000
//                  filter_over_10k        per task found, a condition that
//                                         selects one day in 28 over the
//                                         same at 10,000
//                  heap_over_result       the listing's peak C++ heap over
//                                         the result's own size
//                  rss_over_result        the same for the process's peak
//                                         resident memory (the engine's own
//                                         buffers too, and the malloc and
//                                         heap counter headers of each of
//                                         the result's many small blocks)
//                  rss_peak_over_held     the listing's peak resident memory
//                                         over what the finished result
//                                         holds resident: what the listing
//                                         needs beyond its result, counted
//                                         alike on both
// with each per-task time (microseconds) at 10,000 and at the full size,
// the full listing's and filter's seconds and the result's size (MB)
// beside. A line on standard error every 100,000 tasks shows the adds'
// progress.
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

// Adds kSingles tasks one per call, [first, first + kSingles) of their
// batch; the seconds per task.
double AddSingles(CQZNVGeZhuanDBControl& control, int first) {
  const std::vector<SQZGeZhuanTaskInfo> tasks = qz::bench::MakeTasks(kSingleBatch, kSingles, first);
  const auto start = Clock::now();
  for (const SQZGeZhuanTaskInfo& task : tasks) {
    const std::vector<SQZGeZhuanTaskInfo> one(1, task);
    if (!control.AddGeZhuanTasks(&one)) throw std::runtime_error("AddGeZhuanTasks failed");
  }
  return SecondsSince(start) / kSingles;
}

// Lists with condition; the seconds it took.
double List(CQZNVGeZhuanDBControl& control, const std::wstring& condition, std::vector<SQZGeZhuanTaskInfo>* tasks) {
  tasks->clear();
  const auto start = Clock::now();
  if (!control.GetGeZhuanTasksByCondition(condition, tasks))
    throw std::runtime_error("GetGeZhuanTasksByCondition failed");
  return SecondsSince(start);
}

// Adds the tasks 10,000 per call into the empty database node names, and
// lists and filters at 10,000 and at the full count.
void Large(benchmark::State& state, const DBsSetNode& node, const char* name) {
  const int count = LargeCount();
  try {
    CQZNVGeZhuanDBControl control;
    if (!control.OpenQZNVGeZhuanDB(node)) throw std::runtime_error("cannot open the database");
    for (auto _ : state) {
      double first_add = 0, last_add = 0, first_cpu = 0, last_cpu = 0;
      double small_list = 0, small_filter = 0, small_single = 0;
      size_t small_found = 0;
      std::vector<SQZGeZhuanTaskInfo> listed;
      const auto began = Clock::now();
      for (int first = 0; first < count; first += kBatch) {
        const std::vector<SQZGeZhuanTaskInfo> tasks =
            qz::bench::MakeTasks(kLargeBatch, std::min(kBatch, count - first), first);
        const double cpu = CpuSeconds();
        const auto start = Clock::now();
        if (!control.AddGeZhuanTasks(&tasks)) throw std::runtime_error("AddGeZhuanTasks failed");
        last_add = SecondsSince(start) / static_cast<double>(tasks.size());
        last_cpu = (CpuSeconds() - cpu) / static_cast<double>(tasks.size());
        if (first == 0) {
          first_add = last_add, first_cpu = last_cpu;
          // The median of three: one listing of 10,000 tasks is short
          // enough for a moment's load on the machine to double it.
          std::vector<double> lists, filters;
          for (int again = 0; again < 3; ++again) {
            lists.push_back(List(control, L"", &listed) / static_cast<double>(listed.size()));
            filters.push_back(List(control, kOneDay, &listed));
          }
          small_list = qz::bench::Median(lists);
          small_filter = qz::bench::Median(filters);
          small_found = listed.size();
          small_single = AddSingles(control, 0);
        }
        const int added = first + static_cast<int>(tasks.size());
        if (added % 100000 == 0 || added == count)
          std::fprintf(stderr, "%s: %d tasks, %.0f us per task in the last call, %.0f s so far\n", name, added,
                       last_add * 1e6, SecondsSince(began));
      }
      std::vector<SQZGeZhuanTaskInfo>().swap(listed);
      malloc_trim(0);  // so that memory freed before does not hide the listing's
      const size_t heap_before = qz::bench::HeapBytesInUse();
      qz::bench::ResetHeapPeak();
      ResetPeakRss();
      const size_t rss_before = ResidentBytes("VmRSS:");
      const double list = List(control, L"", &listed);
      const double heap = static_cast<double>(qz::bench::HeapPeak() - heap_before);
      const double rss = static_cast<double>(ResidentBytes("VmHWM:") - rss_before);
      const double held = static_cast<double>(ResidentBytes("VmRSS:") - rss_before);
      const double result = static_cast<double>(qz::bench::ResultOwnBytes(listed));
      const size_t total = static_cast<size_t>(count) + kSingles;
      if (listed.size() != total) throw std::runtime_error("the listing missed tasks");
      std::vector<SQZGeZhuanTaskInfo>().swap(listed);
      const double filter = List(control, kOneDay, &listed);
      // After the listing and the filter, as at 10,000: the engine has
      // settled from the last call's writes alike at both sizes.
      const double single = AddSingles(control, kSingles);
      const double per_list = list / static_cast<double>(total);
      const double per_found = filter / static_cast<double>(listed.size());
      const double small_per_found = small_filter / static_cast<double>(small_found);
      state.counters["add_last_over_first"] = last_add / first_add;
      state.counters["add_cpu_last_over_first"] = last_cpu / first_cpu;
      state.counters["add_one_over_10k"] = single / small_single;
      state.counters["list_over_10k"] = per_list / small_list;
      state.counters["filter_over_10k"] = per_found / small_per_found;
      state.counters["heap_over_result"] = heap / result;
      state.counters["rss_over_result"] = rss / result;
      state.counters["rss_peak_over_held"] = rss / held;
      state.counters["add_us_10k"] = first_add * 1e6;
      state.counters["add_us_full"] = last_add * 1e6;
      state.counters["add_one_us_10k"] = small_single * 1e6;
      state.counters["add_one_us_full"] = single * 1e6;
      state.counters["list_us_10k"] = small_list * 1e6;
      state.counters["list_us_full"] = per_list * 1e6;
      state.counters["filter_us_10k"] = small_per_found * 1e6;
      state.counters["filter_us_full"] = per_found * 1e6;
      state.counters["list_s"] = list;
      state.counters["filter_s"] = filter;
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
  Large(state, node, "LargeSqlite");
}

#ifdef QZ_LARGE_BENCH_POSTGRESQL
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
    Large(state, node, "LargePostgres");
    admin = server.Connect();
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
