// Paired rounds: the library's round and the raw round of one operation
// alternate within one benchmark, so that both see the same background load
// (the machine is shared). The fastest round of each side is kept, the least
// disturbed one, and their ratio is the figure BenchMain reports.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

namespace qz::bench {

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each iteration of state runs library_round(), then between(), then
// raw_round(), then between(); only the rounds are timed. Counters:
// library_ms and raw_ms (fastest round of each) and ratio (library / raw).
template <typename LibraryRound, typename RawRound, typename Between>
void PairedRounds(benchmark::State& state, LibraryRound library_round, RawRound raw_round, Between between) {
  double library_best = 1e30, raw_best = 1e30;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    library_round();
    library_best = std::min(library_best, SecondsSince(start));
    between();
    start = std::chrono::steady_clock::now();
    raw_round();
    raw_best = std::min(raw_best, SecondsSince(start));
    between();
  }
  state.counters["library_ms"] = library_best * 1e3;
  state.counters["raw_ms"] = raw_best * 1e3;
  state.counters["ratio"] = library_best / raw_best;
}

template <typename LibraryRound, typename RawRound>
void PairedRounds(benchmark::State& state, LibraryRound library_round, RawRound raw_round) {
  PairedRounds(state, library_round, raw_round, [] {});
}

}  // namespace qz::bench
