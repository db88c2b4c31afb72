// 100,000 rows of an eight-column table in one transaction: through
// CQZRecordSet (AddNew, eight SetFieldValue, Update per row) against one
// prepared, bound and reused INSERT on the raw SQLite API. Both sides start
// from the same wide-text records and convert them to UTF-8.
#include <QZDatabaseAccess.h>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "BenchSupport.h"
#include "platform/TextEncoding.h"

namespace {

constexpr int kRows = 100000;
const char* kCreate =
    "CREATE TABLE Eight (a TEXT, b TEXT, c TEXT, d INTEGER, e INTEGER, f INTEGER, g INTEGER, h INTEGER)";

struct Record {
  std::wstring a, b, c;
  int32_t d, e, f, g, h;
};

const std::vector<Record>& Records() {
  static const std::vector<Record> records = [] {
    std::vector<Record> out;
    for (int i = 0; i < kRows; ++i)
      out.push_back(Record{L"0A1B2C3D-4E5F-6071-8293-" + std::to_wstring(100000000000LL + i),
                           L"F0E1D2C3-0000-0000-0000-000000000001", L"素材 item " + std::to_wstring(i), i, 2, i * 10,
                           i * 10 + 5, i});
    return out;
  }();
  return records;
}

void Library(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    qz::bench::ScratchFolder folder;
    CQZDatabase database;
    database.Connect(QZDB_SQLITE, qz::platform::Utf8ToWide(folder.path()), L"bench.db", L"", L"");
    {
      CQZRecordSet create(&database);
      create.Open(qz::platform::Utf8ToWide(kCreate), ROWOPERATION_WRITE);
    }
    state.ResumeTiming();

    database.BeginTrans();
    CQZRecordSet set(&database);
    set.Open(L"select * from Eight", ROWOPERATION_WRITE);
    CQZDBVariant v;
    for (const Record& r : Records()) {
      set.AddNew(L"Eight");
      v = r.a;
      set.SetFieldValue(L"[a]", v);
      v = r.b;
      set.SetFieldValue(L"[b]", v);
      v = r.c;
      set.SetFieldValue(L"[c]", v);
      v = r.d;
      set.SetFieldValue(L"[d]", v);
      v = r.e;
      set.SetFieldValue(L"[e]", v);
      v = r.f;
      set.SetFieldValue(L"[f]", v);
      v = r.g;
      set.SetFieldValue(L"[g]", v);
      v = r.h;
      set.SetFieldValue(L"[h]", v);
      set.Update();
    }
    set.Close();
    database.CommitTrans();

    state.PauseTiming();
    database.Close();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void Raw(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    qz::bench::ScratchFolder folder;
    sqlite3* db = qz::bench::OpenRawSqlite(folder.path() + "/bench.db");
    sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr);
    state.ResumeTiming();

    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Eight (a,b,c,d,e,f,g,h) VALUES (?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
    std::string a, b, c;
    for (const Record& r : Records()) {
      qz::platform::WideToUtf8(r.a, &a);
      qz::platform::WideToUtf8(r.b, &b);
      qz::platform::WideToUtf8(r.c, &c);
      sqlite3_bind_text(insert, 1, a.data(), static_cast<int>(a.size()), SQLITE_STATIC);
      sqlite3_bind_text(insert, 2, b.data(), static_cast<int>(b.size()), SQLITE_STATIC);
      sqlite3_bind_text(insert, 3, c.data(), static_cast<int>(c.size()), SQLITE_STATIC);
      sqlite3_bind_int64(insert, 4, r.d);
      sqlite3_bind_int64(insert, 5, r.e);
      sqlite3_bind_int64(insert, 6, r.f);
      sqlite3_bind_int64(insert, 7, r.g);
      sqlite3_bind_int64(insert, 8, r.h);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);

    state.PauseTiming();
    sqlite3_close(db);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(Library)->Name("Insert100kRows8Columns/Library")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(Raw)->Name("Insert100kRows8Columns/Raw")->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
