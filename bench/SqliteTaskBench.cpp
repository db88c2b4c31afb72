// The task store on SQLite against the best raw SQLite code for the same
// work (SqliteRawStore), in paired rounds. Each benchmark first checks that
// both sides read back the same records. Figures (BenchMain's table):
//   SqliteListTasks10kx10          GetGeZhuanTasksByCondition(L"") of 10,000
//                                  tasks of 10 items
//   SqliteListTasks100kx10         the same of 100,000 tasks; also the
//                                  library's time per task against the 10k
//                                  listing's (per_task_100k_over_10k) and
//                                  the peak C++ heap of the library's listing
//                                  against the result's own size
//   SqliteAddTasks1kx10, 10kx10    AddGeZhuanTasks
//   SqliteModifyTaskOnly, ReadTaskByKey, DeleteTask
//                                  1,000 calls per round on 10,000 tasks
//   AddItemsIntoMillion            1,000 items into a table of 1,000,000
//                                  against an empty one (about 1 for both)
#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchRecords.h"
#include "BenchSupport.h"
#include "ListingScale.h"
#include "PairedRounds.h"
#include "RawConversions.h"
#include "SqliteRawStore.h"

namespace {

using qz::bench::MakeTasks;
using qz::bench::PairedRounds;
using qz::bench::SqliteRawStore;

constexpr int kCallsPerRound = 1000;
constexpr uint32_t kListingBatch = 1, kAddBatch = 2, kWorkBatch = 3;

// A database file with the library's tables in a scratch folder.
class BenchDatabase {
 public:
  BenchDatabase() {
    if (!QZNVGeZhuanCreateTables(Node(), nullptr)) throw std::runtime_error("cannot create the tables");
  }
  DBsSetNode Node() const {
    DBsSetNode node;
    node.strConnect1 = std::wstring(folder_.path().begin(), folder_.path().end());
    node.strConnect2 = L"bench.db";
    return node;
  }
  std::string path() const { return folder_.path() + "/bench.db"; }

 private:
  qz::bench::ScratchFolder folder_;
};

// count tasks of a batch, stored 10,000 at a time (untimed set-up).
void Fill(SqliteRawStore& store, uint32_t batch, int count) {
  for (int first = 0; first < count; first += 10000)
    store.AddTasks(MakeTasks(batch, std::min(10000, count - first), first));
}

// The database of the listing benchmarks, made once per count.
const BenchDatabase& ListingDatabase(int count) {
  static std::map<int, std::unique_ptr<BenchDatabase>> made;
  std::unique_ptr<BenchDatabase>& slot = made[count];
  if (!slot) {
    slot = std::make_unique<BenchDatabase>();
    SqliteRawStore store(slot->path());
    Fill(store, kListingBatch, count);
  }
  return *slot;
}

// 10,000 tasks for the calls by key.
const BenchDatabase& WorkDatabase() {
  static const std::unique_ptr<BenchDatabase> made = [] {
    auto database = std::make_unique<BenchDatabase>();
    SqliteRawStore store(database->path());
    Fill(store, kWorkBatch, 10000);
    return database;
  }();
  return *made;
}

struct Connections {
  explicit Connections(const BenchDatabase& database) : raw(database.path()) {
    if (!control.OpenQZNVGeZhuanDB(database.Node())) throw std::runtime_error("cannot open the database");
  }
  ~Connections() { control.CloseQZNVGeZhuanDB(); }
  CQZNVGeZhuanDBControl control;
  SqliteRawStore raw;
};

std::vector<SQZGeZhuanTaskInfo> LibraryList(CQZNVGeZhuanDBControl& control) {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  if (!control.GetGeZhuanTasksByCondition(L"", &tasks)) throw std::runtime_error("GetGeZhuanTasksByCondition failed");
  return tasks;
}

// The condition that selects one task by key, as a caller writes it.
std::wstring KeyCondition(const GUID& id) {
  char text[36];
  qz::bench::raw::GuidText(id, text);
  return L"guidTaskID = '" + std::wstring(text, text + 36) + L"'";
}

// Runs body; a failure ends the benchmark with its message.
template <typename Body>
void Guarded(benchmark::State& state, Body body) {
  try {
    body();
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

void ListTasks10k(benchmark::State& state) {
  Guarded(state, [&] {
    Connections c(ListingDatabase(10000));
    if (!qz::bench::SameTasks(LibraryList(c.control), c.raw.ListTasks()))
      throw std::runtime_error("the raw listing differs from the library's");
    PairedRounds(
        state, [&] { benchmark::DoNotOptimize(LibraryList(c.control).data()); },
        [&] { benchmark::DoNotOptimize(c.raw.ListTasks().data()); });
  });
}

// Paired rounds of the 100,000-task listing, each pair also listing the
// 10,000 tasks through the library for the time per task, and measuring the
// peak heap of both 100k listings. Each result is freed untimed.
void ListTasks100k(benchmark::State& state) {
  Guarded(state, [&] {
    Connections small(ListingDatabase(10000));
    Connections large(ListingDatabase(100000));
    qz::bench::ListingScale(
        state, 3, [&] { return LibraryList(small.control); }, [&] { return LibraryList(large.control); },
        [&] { return large.raw.ListTasks(); });
  });
}

void AddTasks(benchmark::State& state) {
  Guarded(state, [&] {
    BenchDatabase database;
    Connections c(database);
    const std::vector<SQZGeZhuanTaskInfo> tasks = MakeTasks(kAddBatch, static_cast<int>(state.range(0)));
    PairedRounds(
        state,
        [&] {
          if (!c.control.AddGeZhuanTasks(&tasks)) throw std::runtime_error("AddGeZhuanTasks failed");
        },
        [&] { c.raw.AddTasks(tasks); },
        [&] {
          c.raw.Execute("delete from GeZhuanTaskItem");
          c.raw.Execute("delete from GeZhuanTaskInfo");
        });
  });
}

void ModifyTaskOnly(benchmark::State& state) {
  Guarded(state, [&] {
    Connections c(WorkDatabase());
    std::vector<SQZGeZhuanTaskInfo> tasks = MakeTasks(kWorkBatch, kCallsPerRound);
    for (SQZGeZhuanTaskInfo& task : tasks) task.strTaskName += L" (edited)", task.enumTaskEditStatus = 2;
    PairedRounds(
        state,
        [&] {
          for (const SQZGeZhuanTaskInfo& task : tasks)
            if (!c.control.ModifyGeZhuanTaskOnly(&task)) throw std::runtime_error("ModifyGeZhuanTaskOnly failed");
        },
        [&] {
          for (const SQZGeZhuanTaskInfo& task : tasks)
            if (!c.raw.ModifyTaskOnly(task)) throw std::runtime_error("raw modify found no row");
        });
  });
}

void ReadTaskByKey(benchmark::State& state) {
  Guarded(state, [&] {
    Connections c(WorkDatabase());
    const std::vector<SQZGeZhuanTaskInfo> keys = MakeTasks(kWorkBatch, kCallsPerRound, 5000);
    std::vector<std::wstring> conditions;
    for (const SQZGeZhuanTaskInfo& task : keys) conditions.push_back(KeyCondition(task.guidTaskID));
    {
      std::vector<SQZGeZhuanTaskInfo> library(1), raw(1);
      if (!c.control.GetGeZhuanTasksByCondition(conditions[0], &library) ||
          !c.raw.ReadTask(keys[0].guidTaskID, &raw[0]) || !qz::bench::SameTasks(library, raw))
        throw std::runtime_error("the raw read differs from the library's");
    }
    PairedRounds(
        state,
        [&] {
          for (const std::wstring& condition : conditions) {
            std::vector<SQZGeZhuanTaskInfo> found;
            if (!c.control.GetGeZhuanTasksByCondition(condition, &found)) throw std::runtime_error("read failed");
          }
        },
        [&] {
          for (const SQZGeZhuanTaskInfo& key : keys) {
            SQZGeZhuanTaskInfo found;
            if (!c.raw.ReadTask(key.guidTaskID, &found)) throw std::runtime_error("raw read found no row");
          }
        });
  });
}

void DeleteTask(benchmark::State& state) {
  Guarded(state, [&] {
    Connections c(WorkDatabase());
    const std::vector<SQZGeZhuanTaskInfo> tasks = MakeTasks(kWorkBatch, kCallsPerRound, 2000);
    PairedRounds(
        state,
        [&] {
          for (const SQZGeZhuanTaskInfo& task : tasks)
            if (!c.control.DeleteGeZhuanTask(task.guidTaskID)) throw std::runtime_error("DeleteGeZhuanTask failed");
        },
        [&] {
          for (const SQZGeZhuanTaskInfo& task : tasks) c.raw.DeleteTask(task.guidTaskID);
        },
        [&] { c.raw.AddTasks(tasks); });
  });
}

// A database whose item table holds `rows` items of other tasks.
const BenchDatabase& ItemDatabase(int rows) {
  static std::map<int, std::unique_ptr<BenchDatabase>> made;
  std::unique_ptr<BenchDatabase>& slot = made[rows];
  if (!slot) {
    slot = std::make_unique<BenchDatabase>();
    SqliteRawStore store(slot->path());
    for (int task = 0; task * 1000 < rows; ++task) store.AddItems(qz::bench::MakeItems(9, task, 1000));
  }
  return *slot;
}

// Adding 1,000 items to a table of 1,000,000 against adding them to an
// empty one, through the library and raw. The added rows are removed,
// untimed, after each round.
void AddItemsIntoMillion(benchmark::State& state) {
  Guarded(state, [&] {
    std::vector<SQZGeZhuanItemInfo> items;
    for (int task = 0; task < 100; ++task) {
      const std::vector<SQZGeZhuanItemInfo> more = qz::bench::MakeItems(30, task);
      items.insert(items.end(), more.begin(), more.end());
    }
    Connections empty(ItemDatabase(0)), full(ItemDatabase(1000000));
    Connections* sides[2] = {&empty, &full};
    double library_seconds[2] = {0, 0}, raw_seconds[2] = {0, 0};
    const char* const kRemoveAdded = "delete from GeZhuanTaskItem where ItemRowID > 1000000";
    for (auto _ : state) {
      for (int i = 0; i < 2; ++i) {
        auto start = std::chrono::steady_clock::now();
        if (!sides[i]->control.AddGeZhuanItems(&items)) throw std::runtime_error("AddGeZhuanItems failed");
        library_seconds[i] += qz::bench::SecondsSince(start);
        sides[i]->raw.Execute(i == 0 ? "delete from GeZhuanTaskItem" : kRemoveAdded);
        start = std::chrono::steady_clock::now();
        sides[i]->raw.AddItems(items);
        raw_seconds[i] += qz::bench::SecondsSince(start);
        sides[i]->raw.Execute(i == 0 ? "delete from GeZhuanTaskItem" : kRemoveAdded);
      }
    }
    state.counters["full_over_empty"] = library_seconds[1] / library_seconds[0];
    state.counters["raw_full_over_empty"] = raw_seconds[1] / raw_seconds[0];
  });
}

const bool registered = [] {
  using qz::bench::RegisterPaired;
  RegisterPaired("SqliteListTasks10kx10", ListTasks10k, 5);
  RegisterPaired("SqliteListTasks100kx10", ListTasks100k, 2);
  RegisterPaired("SqliteAddTasks1kx10", AddTasks, 8)->Arg(1000);
  RegisterPaired("SqliteAddTasks10kx10", AddTasks, 3)->Arg(10000);
  RegisterPaired("SqliteModifyTaskOnly", ModifyTaskOnly, 12);
  RegisterPaired("SqliteReadTaskByKey", ReadTaskByKey, 10);
  RegisterPaired("SqliteDeleteTask", DeleteTask, 8);
  benchmark::RegisterBenchmark("AddItemsIntoMillion", AddItemsIntoMillion)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(qz::bench::Rounds(10));
  return true;
}();

}  // namespace
