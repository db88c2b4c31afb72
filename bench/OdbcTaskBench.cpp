// The task store through ODBC against the best raw ODBC code for the same
// work (OdbcRawStore), in paired rounds, on the sources that
// scripts/odbc-test-sources.sh makes (QZ_ODBC_MARIADB_*, QZ_ODBC_PG_*).
// Figures (BenchMain's table):
//   OdbcMariaListTasks10kx10, OdbcPgListTasks10kx10Fetch1000
//                          GetGeZhuanTasksByCondition(L"") of 10,000 tasks
//                          with 10 items each; PostgreSQL through the
//                          benchmark source, whose cursor fetches 1,000
//                          rows at a time
//   OdbcMariaAddItems100k  AddGeZhuanItems of 100,000 items against
//                          parameter arrays in one transaction; the rows
//                          per second of the two sides are the inverse of
//                          the times, so the ratio of rates is 1 / ratio
//   OdbcMariaRoundTrip     one "select 1" on raw ODBC: what a round trip
//                          costs on this link
#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchRecords.h"
#include "OdbcRawStore.h"
#include "PairedRounds.h"

namespace {

using qz::bench::OdbcRawStore;
using qz::bench::PairedRounds;

std::wstring Env(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  std::string text = value ? value : "";
  return std::wstring(text.begin(), text.end());
}

// One of the test sources: prefix "MARIADB", "PG" or "PG_BENCH".
struct Source {
  std::wstring dsn, user, password;
  static Source Named(const std::string& prefix) {
    return {Env("QZ_ODBC_" + prefix + "_DSN"), Env("QZ_ODBC_" + prefix + "_USER"),
            Env("QZ_ODBC_" + prefix + "_PASSWORD")};
  }
  DBsSetNode Node() const {
    DBsSetNode node;
    node.nDBType = 4;
    node.strConnect1 = dsn;
    node.strConnect3 = user;
    node.strConnect4 = password;
    return node;
  }
  // The same connection string the driver builds (the password braced).
  std::wstring ConnectionString() const {
    std::wstring braced = L"{";
    for (wchar_t c : password) braced += c == L'}' ? std::wstring(L"}}") : std::wstring(1, c);
    return L"DSN=" + dsn + L";UID=" + user + L";PWD=" + braced + L"}";
  }
};

// The source, once its tables exist (the raw side prepares on them).
const Source& WithTables(const Source& source) {
  std::wstring error;
  if (!QZNVGeZhuanCreateTables(source.Node(), &error)) throw std::runtime_error("cannot create the tables");
  return source;
}

struct Connections {
  explicit Connections(const Source& source) : raw(WithTables(source).ConnectionString()) {
    if (!control.OpenQZNVGeZhuanDB(source.Node())) throw std::runtime_error("cannot open the source");
  }
  ~Connections() { control.CloseQZNVGeZhuanDB(); }
  CQZNVGeZhuanDBControl control;
  OdbcRawStore raw;
};

std::vector<SQZGeZhuanTaskInfo> LibraryList(CQZNVGeZhuanDBControl& control) {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  if (!control.GetGeZhuanTasksByCondition(L"", &tasks)) throw std::runtime_error("GetGeZhuanTasksByCondition failed");
  return tasks;
}

template <typename Body>
void Guarded(benchmark::State& state, Body body) {
  try {
    body();
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

void ListTasks10k(benchmark::State& state, const std::string& prefix) {
  Guarded(state, [&] {
    Connections c(Source::Named(prefix));
    c.raw.Execute("delete from GeZhuanTaskItem");
    c.raw.Execute("delete from GeZhuanTaskInfo");
    for (int first = 0; first < 10000; first += 1000) {
      std::vector<SQZGeZhuanTaskInfo> tasks = qz::bench::MakeTasks(1, 1000, first);
      if (!c.control.AddGeZhuanTasks(&tasks)) throw std::runtime_error("AddGeZhuanTasks failed");
    }
    if (!qz::bench::SameTasks(LibraryList(c.control), c.raw.ListTasks()))
      throw std::runtime_error("the raw listing differs from the library's");
    PairedRounds(
        state, [&] { benchmark::DoNotOptimize(LibraryList(c.control).data()); },
        [&] { benchmark::DoNotOptimize(c.raw.ListTasks().data()); });
  });
}

void AddItems100k(benchmark::State& state) {
  Guarded(state, [&] {
    Connections c(Source::Named("MARIADB"));
    c.raw.Execute("delete from GeZhuanTaskItem");
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
        [&] { c.raw.AddItems(items); }, [&] { c.raw.Execute("delete from GeZhuanTaskItem"); });
  });
}

void RoundTrip(benchmark::State& state) {
  Guarded(state, [&] {
    Connections c(Source::Named("MARIADB"));
    for (auto _ : state) c.raw.Execute("select 1");
  });
}

// Registered only when the run has the sources.
const bool registered = [] {
  if (Env("QZ_ODBC_DIR").empty()) return false;
  using qz::bench::RegisterPaired;
  RegisterPaired(
      "OdbcMariaListTasks10kx10", [](benchmark::State& s) { ListTasks10k(s, "MARIADB"); }, 3);
  RegisterPaired(
      "OdbcPgListTasks10kx10Fetch1000", [](benchmark::State& s) { ListTasks10k(s, "PG_BENCH"); }, 3);
  RegisterPaired("OdbcMariaAddItems100k", AddItems100k, 3);
  benchmark::RegisterBenchmark("OdbcMariaRoundTrip", RoundTrip)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime()
      ->MinTime(0.5);
  return true;
}();

}  // namespace
