// Several programs writing one database at once, as the suite's services
// do: 1, 2, 4 and 8 processes, each calling in turn an edit of its own task
// (ModifyGeZhuanTaskOnly) and an add of a new task of 10 items
// (AddGeZhuanTasks). Through the library, and beside it the best raw code
// for the same work (SqliteRawStore, PostgresRawStore: statements prepared
// once, values bound; on SQLite BEGIN IMMEDIATE and the same busy timeout).
//
// Prints, per engine, number of programs and side, the calls per second of
// all programs together (median and range of the repetitions), how many
// calls answered 0 (a raw call that threw counts as one), the mean time of
// one edit and of one add, waits for the other programs included, and the
// process CPU time per call (the engine's too on SQLite, the client's alone
// on PostgreSQL), each the median of the repetitions. Then the library's
// rate over raw's (median and range of the repetitions, each repetition
// one library and one raw round, the side that goes first alternating),
// and raw's CPU per call over the library's: on a loaded machine the rates
// move with the other programs' load, the CPU per call much less. SQLite
// always; PostgreSQL when QZ_PG_HOST names a server
// (scripts/postgres-test-server.sh).
//
//   qz_writers_bench [calls per program, default 600] [repetitions, default 5]
#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchRecords.h"
#include "BenchSupport.h"
#include "SqliteRawStore.h"
#include "support/WriterProcesses.h"
#ifdef QZ_WRITERS_BENCH_POSTGRESQL
#include "PostgresRawStore.h"
#endif

namespace {

using qz::bench::MakeTasks;
using qz::testing::ProcessReport;
using qz::testing::RunInProcesses;
using qz::testing::StartGate;

constexpr int kMostPrograms = 8;
constexpr uint32_t kOwnBatch = 40, kAddBatch = 50;

// One program's two calls, through the library or raw; false for a call
// that answered 0 or threw.
class Writer {
 public:
  virtual ~Writer() = default;
  virtual bool Modify(const SQZGeZhuanTaskInfo& task) = 0;
  virtual bool Add(const std::vector<SQZGeZhuanTaskInfo>& tasks) = 0;
};

class LibraryWriter : public Writer {
 public:
  explicit LibraryWriter(const DBsSetNode& node) {
    if (!control_.OpenQZNVGeZhuanDB(node)) throw std::runtime_error("cannot open the database");
  }
  ~LibraryWriter() override { control_.CloseQZNVGeZhuanDB(); }
  bool Modify(const SQZGeZhuanTaskInfo& task) override { return control_.ModifyGeZhuanTaskOnly(&task) == 1; }
  bool Add(const std::vector<SQZGeZhuanTaskInfo>& tasks) override { return control_.AddGeZhuanTasks(&tasks) == 1; }

 private:
  CQZNVGeZhuanDBControl control_;
};

template <typename Store>
class RawWriter : public Writer {
 public:
  template <typename Where>
  explicit RawWriter(const Where& where) : store_(where) {}
  bool Modify(const SQZGeZhuanTaskInfo& task) override {
    try {
      return store_.ModifyTaskOnly(task);
    } catch (const std::exception&) {
      return false;
    }
  }
  bool Add(const std::vector<SQZGeZhuanTaskInfo>& tasks) override {
    try {
      store_.AddTasks(tasks);
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }

 private:
  Store store_;
};

// An engine: a fresh database for each run, holding the tables and the
// programs' own tasks, and the raw writer on it.
struct Engine {
  std::string name;
  std::function<DBsSetNode()> fresh;  // the library's node for the new database
  std::function<std::unique_ptr<Writer>()> raw;
};

// The programs' own tasks, added through the library before the run.
void AddOwnTasks(const DBsSetNode& node) {
  CQZNVGeZhuanDBControl control;
  std::vector<SQZGeZhuanTaskInfo> own = MakeTasks(kOwnBatch, kMostPrograms);
  if (!control.OpenQZNVGeZhuanDB(node) || !control.AddGeZhuanTasks(&own))
    throw std::runtime_error("cannot add the programs' own tasks");
  control.CloseQZNVGeZhuanDB();
}

// The process's CPU time so far, user and system, in nanoseconds.
long long CpuNanoseconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (static_cast<long long>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000 + usage.ru_utime.tv_usec +
          usage.ru_stime.tv_usec) *
         1000;
}

// What one program does between the gate and its report: "<start> <end>
// <zeros> <edit> <add> <cpu>": start and end in steady-clock nanoseconds,
// which every process of the machine shares, the nanoseconds spent in edits
// and in adds, and the process's CPU nanoseconds, user and system.
std::string Write(Writer& writer, int program, int calls, const StartGate& gate) {
  SQZGeZhuanTaskInfo own = MakeTasks(kOwnBatch, 1, program)[0];
  own.arrItems.clear();
  gate.Wait();
  using Clock = std::chrono::steady_clock;
  const long long cpu_start = CpuNanoseconds();
  const auto start = Clock::now();
  int zeros = 0;
  Clock::duration in_edits{}, in_adds{};
  for (int call = 0; call < calls; ++call) {
    if (call % 2 == 0) {
      own.strTaskHint = L"call " + std::to_wstring(call);
      own.enumTaskRunStatus = call % 3;
      const auto began = Clock::now();
      zeros += writer.Modify(own) ? 0 : 1;
      in_edits += Clock::now() - began;
    } else {
      const std::vector<SQZGeZhuanTaskInfo> tasks = MakeTasks(kAddBatch + static_cast<uint32_t>(program), 1, call);
      const auto began = Clock::now();
      zeros += writer.Add(tasks) ? 0 : 1;
      in_adds += Clock::now() - began;
    }
  }
  const auto end = Clock::now();
  const long long cpu = CpuNanoseconds() - cpu_start;
  return std::to_string(start.time_since_epoch().count()) + " " + std::to_string(end.time_since_epoch().count()) + " " +
         std::to_string(zeros) + " " + std::to_string(std::chrono::nanoseconds(in_edits).count()) + " " +
         std::to_string(std::chrono::nanoseconds(in_adds).count()) + " " + std::to_string(cpu);
}

struct Round {
  double calls_per_second = 0;
  double edit_us = 0, add_us = 0;  // mean time of one call of each kind
  double cpu_us = 0;               // process CPU time per call
  int zeros = 0;
  bool whole = true;  // every program ran to its end
};

Round RunRound(const Engine& engine, bool library, int programs, int calls) {
  const DBsSetNode node = engine.fresh();
  const std::vector<ProcessReport> reports = RunInProcesses(programs, [&](int program, const StartGate& gate) {
    std::unique_ptr<Writer> writer = library ? std::make_unique<LibraryWriter>(node) : engine.raw();
    return Write(*writer, program, calls, gate);
  });
  Round round;
  long long first_start = 0, last_end = 0, edit_ns = 0, add_ns = 0, cpu_ns = 0;
  for (const ProcessReport& report : reports) {
    long long start = 0, end = 0, edits = 0, adds = 0, cpu = 0;
    int zeros = 0;
    std::istringstream in(report.text);
    if (!report.exited_normally || !(in >> start >> end >> zeros >> edits >> adds >> cpu)) {
      round.whole = false;
      continue;
    }
    first_start = first_start == 0 ? start : std::min(first_start, start);
    last_end = std::max(last_end, end);
    round.zeros += zeros;
    edit_ns += edits, add_ns += adds, cpu_ns += cpu;
  }
  const double edit_calls = programs * ((calls + 1) / 2), add_calls = programs * (calls / 2);
  round.edit_us = static_cast<double>(edit_ns) / 1e3 / edit_calls;
  round.add_us = static_cast<double>(add_ns) / 1e3 / add_calls;
  round.cpu_us = static_cast<double>(cpu_ns) / 1e3 / (programs * calls);
  const double seconds = static_cast<double>(last_end - first_start) * std::chrono::steady_clock::period::num /
                         std::chrono::steady_clock::period::den;
  if (seconds > 0) round.calls_per_second = programs * calls / seconds;
  return round;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void Report(const std::string& engine, int programs, const char* side, std::vector<Round> rounds, int calls) {
  std::vector<double> rates, edits, adds, cpus;
  int zeros = 0;
  bool whole = true;
  for (const Round& r : rounds) {
    rates.push_back(r.calls_per_second), edits.push_back(r.edit_us), adds.push_back(r.add_us);
    cpus.push_back(r.cpu_us);
    zeros += r.zeros, whole = whole && r.whole;
  }
  std::printf("%-11s %8d  %-8s %9.0f  [%7.0f - %7.0f]  %6d of %-7d %8.0f %8.0f %8.0f%s\n", engine.c_str(), programs,
              side, Median(rates), *std::min_element(rates.begin(), rates.end()),
              *std::max_element(rates.begin(), rates.end()), zeros, static_cast<int>(rounds.size()) * programs * calls,
              Median(edits), Median(adds), Median(cpus), whole ? "" : "  (a program did not finish)");
}

// The library's rate over raw's in each repetition, median and range; and
// raw's CPU per call over the library's, median and range.
void ReportRatio(const std::vector<Round>& library, const std::vector<Round>& raw) {
  std::vector<double> ratios, cpu_ratios;
  for (size_t r = 0; r < library.size() && r < raw.size(); ++r) {
    if (raw[r].calls_per_second > 0) ratios.push_back(library[r].calls_per_second / raw[r].calls_per_second);
    if (library[r].cpu_us > 0) cpu_ratios.push_back(raw[r].cpu_us / library[r].cpu_us);
  }
  if (ratios.empty() || cpu_ratios.empty()) return;
  std::printf("%-11s %8s  %-8s %9.3f  [%7.3f - %7.3f]   cpu raw/lib %5.3f [%5.3f - %5.3f]\n", "", "", "lib/raw",
              Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()), Median(cpu_ratios),
              *std::min_element(cpu_ratios.begin(), cpu_ratios.end()),
              *std::max_element(cpu_ratios.begin(), cpu_ratios.end()));
}

std::vector<Engine> Engines() {
  std::vector<Engine> engines;
  // SQLite: a new file in a scratch folder of its own for every run.
  auto folder = std::make_shared<std::unique_ptr<qz::bench::ScratchFolder>>();
  engines.push_back(Engine{
      "SQLite",
      [folder] {
        *folder = std::make_unique<qz::bench::ScratchFolder>();
        DBsSetNode node;
        node.strConnect1 = std::wstring((*folder)->path().begin(), (*folder)->path().end());
        node.strConnect2 = L"writers.db";
        if (!QZNVGeZhuanCreateTables(node, nullptr)) throw std::runtime_error("cannot create the tables");
        AddOwnTasks(node);
        return node;
      },
      [folder] { return std::make_unique<RawWriter<qz::bench::SqliteRawStore>>((*folder)->path() + "/writers.db"); }});
#ifdef QZ_WRITERS_BENCH_POSTGRESQL
  // PostgreSQL: the test server's database, emptied for every run.
  const qz::bench::PostgresServer server = qz::bench::PostgresServer::FromEnvironment();
  if (!server.host.empty()) {
    engines.push_back(Engine{"PostgreSQL",
                             [server] {
                               std::wstring error;
                               if (!QZNVGeZhuanCreateTables(server.Node(), &error))
                                 throw std::runtime_error("cannot create the tables");
                               qz::bench::PostgresRawStore(server).Execute("truncate GeZhuanTaskInfo, GeZhuanTaskItem");
                               AddOwnTasks(server.Node());
                               return server.Node();
                             },
                             [server] { return std::make_unique<RawWriter<qz::bench::PostgresRawStore>>(server); }});
  }
#endif
  return engines;
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::atoi(argv[1]) : 600;
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
  if (calls < 2 || repetitions < 1) {
    std::fprintf(stderr, "usage: qz_writers_bench [calls per program >= 2] [repetitions >= 1]\n");
    return 2;
  }
  QZNVGeZhuanSetDebugOutput([](const std::wstring&) {});
  std::printf(
      "several programs writing one database at once: each call in turn edits the program's own task or adds a\n"
      "task of 10 items; %d calls per program, %d repetitions; calls per second of all programs together\n\n",
      calls, repetitions);
  std::printf("%-11s %8s  %-8s %9s  %-19s  %-17s %8s %8s %8s\n", "engine", "programs", "side", "calls/s", "[range]",
              "answered 0", "edit us", "add us", "cpu us");
  try {
    for (const Engine& engine : Engines()) {
      for (int programs : {1, 2, 4, kMostPrograms}) {
        std::vector<Round> library, raw;
        for (int r = 0; r < repetitions; ++r) {
          // Paired and alternated, so that the machine's moods fall on both.
          if (r % 2 == 0) library.push_back(RunRound(engine, true, programs, calls));
          raw.push_back(RunRound(engine, false, programs, calls));
          if (r % 2 == 1) library.push_back(RunRound(engine, true, programs, calls));
        }
        Report(engine.name, programs, "library", library, calls);
        Report(engine.name, programs, "raw", raw, calls);
        ReportRatio(library, raw);
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "writers bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
