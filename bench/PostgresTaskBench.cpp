// The task store on PostgreSQL against the best raw libpq code for the same
// work (PostgresRawStore), in paired rounds. They run only when QZ_PG_HOST
// names a server (as the test server script exports it, with QZ_PG_DATABASE,
// QZ_PG_USER and QZ_PG_PASSWORD); each data set lives in a database of its
// own on that server, made on first use. Figures (BenchMain's table):
//   PgListTasks10kx10, PgListTasks100kx10   as on SQLite, with the same
//                                           per-task and peak-heap counters
//   PgAddTasks1kx10, 10kx10                 AddGeZhuanTasks against one
//                                           transaction of two COPYs
//   PgModifyTaskOnly, PgReadTaskByKey, PgDeleteTask
//                                           1,000 calls per round on 10,000
//                                           tasks
//   PgAddItems100k                          AddGeZhuanItems against one COPY
//   PgRoundTrip                             one "select 1": what a round
//                                           trip costs on this link
#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>
#include <benchmark/benchmark.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchRecords.h"
#include "ListingScale.h"
#include "PairedRounds.h"
#include "PostgresRawStore.h"
#include "RawConversions.h"

namespace {

using qz::bench::MakeTasks;
using qz::bench::PairedRounds;
using qz::bench::PostgresRawStore;
using qz::bench::PostgresServer;

constexpr int kCallsPerRound = 1000;
constexpr uint32_t kListingBatch = 1, kAddBatch = 2, kWorkBatch = 3;

// The database `name` on the test server with the library's tables, made
// (empty) on first use in this run.
PostgresServer Database(const std::string& name) {
  static std::set<std::string> made;
  const PostgresServer server = PostgresServer::FromEnvironment();
  if (made.insert(name).second) {
    PGconn* admin = server.Connect();
    const char* values[] = {name.c_str()};
    PGresult* found =
        PQexecParams(admin, "select 1 from pg_database where datname = $1", 1, nullptr, values, nullptr, nullptr, 0);
    const bool exists = PQntuples(found) == 1;
    PQclear(found);
    if (!exists) PQclear(PQexec(admin, ("create database " + name).c_str()));
    PQfinish(admin);
    std::wstring error;
    if (!QZNVGeZhuanCreateTables(server.WithDatabase(name).Node(), &error))
      throw std::runtime_error("cannot create the tables in " + name);
  }
  return server.WithDatabase(name);
}

// A database holding exactly count tasks of a batch with their items;
// refilled (raw, untimed) when it holds anything else.
PostgresServer FilledDatabase(const std::string& name, uint32_t batch, int count) {
  const PostgresServer server = Database(name);
  PostgresRawStore store(server);
  if (store.Count("select count(*) from GeZhuanTaskInfo") != count ||
      store.Count("select count(*) from GeZhuanTaskItem") != static_cast<long>(count) * qz::bench::kItemsPerTask) {
    store.Execute("truncate GeZhuanTaskInfo, GeZhuanTaskItem");
    for (int first = 0; first < count; first += 10000)
      store.AddTasks(MakeTasks(batch, std::min(10000, count - first), first));
    store.Execute("vacuum analyze GeZhuanTaskInfo");
    store.Execute("vacuum analyze GeZhuanTaskItem");
  }
  return server;
}

PostgresServer ListingDatabase(int count) {
  return FilledDatabase("qz_bench_list" + std::to_string(count), kListingBatch, count);
}
PostgresServer WorkDatabase() { return FilledDatabase("qz_bench_work", kWorkBatch, 10000); }

struct Connections {
  explicit Connections(const PostgresServer& server) : raw(server) {
    if (!control.OpenQZNVGeZhuanDB(server.Node())) throw std::runtime_error("cannot open the database");
  }
  ~Connections() { control.CloseQZNVGeZhuanDB(); }
  CQZNVGeZhuanDBControl control;
  PostgresRawStore raw;
};

std::vector<SQZGeZhuanTaskInfo> LibraryList(CQZNVGeZhuanDBControl& control) {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  if (!control.GetGeZhuanTasksByCondition(L"", &tasks)) throw std::runtime_error("GetGeZhuanTasksByCondition failed");
  return tasks;
}

std::wstring KeyCondition(const GUID& id) {
  char text[36];
  qz::bench::raw::GuidText(id, text);
  return L"guidTaskID = '" + std::wstring(text, text + 36) + L"'";
}

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

void ListTasks100k(benchmark::State& state) {
  Guarded(state, [&] {
    Connections small(ListingDatabase(10000));
    Connections large(ListingDatabase(100000));
    if (!qz::bench::SameTasks(LibraryList(large.control), large.raw.ListTasks()))
      throw std::runtime_error("the raw listing differs from the library's");
    qz::bench::ListingScale(
        state, 2, [&] { return LibraryList(small.control); }, [&] { return LibraryList(large.control); },
        [&] { return large.raw.ListTasks(); });
  });
}

void AddTasks(benchmark::State& state) {
  Guarded(state, [&] {
    Connections c(Database("qz_bench_add"));
    c.raw.Execute("truncate GeZhuanTaskInfo, GeZhuanTaskItem");
    const std::vector<SQZGeZhuanTaskInfo> tasks = MakeTasks(kAddBatch, static_cast<int>(state.range(0)));
    PairedRounds(
        state,
        [&] {
          if (!c.control.AddGeZhuanTasks(&tasks)) throw std::runtime_error("AddGeZhuanTasks failed");
        },
        [&] { c.raw.AddTasks(tasks); },
        [&] {
          if (c.raw.Count("select count(*) from GeZhuanTaskItem") != static_cast<long>(tasks.size()) * 10)
            throw std::runtime_error("items missing");
          c.raw.Execute("truncate GeZhuanTaskInfo, GeZhuanTaskItem");
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

void AddItems100k(benchmark::State& state) {
  Guarded(state, [&] {
    Connections c(Database("qz_bench_add"));
    c.raw.Execute("truncate GeZhuanTaskInfo, GeZhuanTaskItem");
    std::vector<SQZGeZhuanItemInfo> items;
    for (int task = 0; task < 10000; ++task) {
      const std::vector<SQZGeZhuanItemInfo> more = qz::bench::MakeItems(20, task);
      items.insert(items.end(), more.begin(), more.end());
    }
    PairedRounds(
        state,
        [&] {
          if (!c.control.AddGeZhuanItems(&items)) throw std::runtime_error("AddGeZhuanItems failed");
        },
        [&] { c.raw.AddItems(items); },
        [&] {
          if (c.raw.Count("select count(*) from GeZhuanTaskItem") != static_cast<long>(items.size()))
            throw std::runtime_error("rows missing");
          c.raw.Execute("truncate GeZhuanTaskItem");
        });
  });
}

void RoundTrip(benchmark::State& state) {
  Guarded(state, [&] {
    PGconn* conn = PostgresServer::FromEnvironment().Connect();
    for (auto _ : state) PQclear(PQexec(conn, "select 1"));
    PQfinish(conn);
  });
}

// Registered only when there is a server to run them against.
const bool registered = [] {
  if (PostgresServer::FromEnvironment().host.empty()) return false;
  const auto paired = [](const char* name, void (*function)(benchmark::State&), int rounds) {
    return qz::bench::RegisterPaired(name, function, rounds);
  };
  paired("PgListTasks10kx10", ListTasks10k, 3);
  paired("PgListTasks100kx10", ListTasks100k, 1);
  paired("PgAddTasks1kx10", AddTasks, 5)->Arg(1000);
  paired("PgAddTasks10kx10", AddTasks, 2)->Arg(10000);
  paired("PgModifyTaskOnly", ModifyTaskOnly, 6);
  paired("PgReadTaskByKey", ReadTaskByKey, 6);
  paired("PgDeleteTask", DeleteTask, 5);
  paired("PgAddItems100k", AddItems100k, 3);
  benchmark::RegisterBenchmark("PgRoundTrip", RoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(0.5);
  return true;
}();

}  // namespace
