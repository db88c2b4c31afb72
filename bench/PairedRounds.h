// Paired rounds: the library's round and the raw round of one operation
// run back to back within one benchmark, so that both see the same
// background load (the machine is shared), and the side that goes first
// alternates from pair to pair, so that neither always finds the caches and
// the server as the other left them. Every pair is kept (PairLog); BenchMain
// reports the median and the range of them, not the best.
//
// Under callgrind (scripts/bench.sh --instructions) each benchmark runs two
// pairs: a warm-up and one counted pair, with instrumentation on only
// around each side of it and the side's counts dumped under
// "<benchmark> library" or "<benchmark> raw".
#pragma once

#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace qz::bench {

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Whether the program runs under callgrind to count instructions.
inline bool CountingInstructions() { return RUNNING_ON_VALGRIND != 0; }

// The pairs a benchmark registers: `timed` normally, two under callgrind.
inline int Rounds(int timed) { return CountingInstructions() ? 2 : timed; }

struct PairTimes {
  double library_seconds;
  double raw_seconds;
};

// Every pair of every benchmark of the run, in the order the benchmarks
// first ran, over all their repetitions.
struct PairLog {
  std::vector<std::string> order;
  std::map<std::string, std::vector<PairTimes>> pairs;

  static PairLog& Get() {
    static PairLog log;
    return log;
  }
  void Add(const std::string& name, PairTimes times) {
    auto [slot, first] = pairs.try_emplace(name);
    if (first) order.push_back(name);
    slot->second.push_back(times);
  }
};

// The name of the benchmark that is running (set by RegisterPaired).
inline std::string& CurrentBenchmark() {
  static std::string name;
  return name;
}

// Registers a benchmark of paired rounds under name, with `rounds` pairs
// per repetition (two under callgrind).
template <typename Function>
benchmark::internal::Benchmark* RegisterPaired(const std::string& name, Function function, int rounds) {
  return benchmark::RegisterBenchmark(name.c_str(),
                                      [name, function](benchmark::State& state) {
                                        CurrentBenchmark() = name;
                                        function(state);
                                      })
      ->Unit(benchmark::kMillisecond)
      ->Iterations(Rounds(rounds));
}

// Runs one side and returns its seconds; when counted, with callgrind's
// instrumentation on around it and its counts dumped under its label.
template <typename Round>
double TimedSide(const char* side, bool counted, Round& round) {
  if (counted) {
    CALLGRIND_ZERO_STATS;
    CALLGRIND_START_INSTRUMENTATION;
  }
  const auto start = std::chrono::steady_clock::now();
  round();
  const double seconds = SecondsSince(start);
  if (counted) {
    CALLGRIND_STOP_INSTRUMENTATION;
    const std::string label = CurrentBenchmark() + " " + side;
    CALLGRIND_DUMP_STATS_AT(label.c_str());
  }
  return seconds;
}

// Pair number `index` of state: library_round() and raw_round(), the raw
// one first in odd pairs, between() after each; only the rounds are timed.
// The pair goes into the log of the running benchmark.
template <typename LibraryRound, typename RawRound, typename Between>
PairTimes RunPair(const benchmark::State& state, benchmark::IterationCount index, LibraryRound library_round,
                  RawRound raw_round, Between between) {
  const bool counted = CountingInstructions() && index + 1 == state.max_iterations;
  PairTimes times{};
  if (index % 2 == 0) {
    times.library_seconds = TimedSide("library", counted, library_round);
    between();
    times.raw_seconds = TimedSide("raw", counted, raw_round);
    between();
  } else {
    times.raw_seconds = TimedSide("raw", counted, raw_round);
    between();
    times.library_seconds = TimedSide("library", counted, library_round);
    between();
  }
  PairLog::Get().Add(CurrentBenchmark(), times);
  return times;
}

// Sets the counters of one repetition: library_ms and raw_ms (the medians
// of its rounds) and ratio (the median of its pairs' ratios).
inline void SetPairCounters(benchmark::State& state, const std::vector<PairTimes>& pairs) {
  std::vector<double> library, raw, ratio;
  for (const PairTimes& p : pairs) {
    library.push_back(p.library_seconds * 1e3);
    raw.push_back(p.raw_seconds * 1e3);
    ratio.push_back(p.library_seconds / p.raw_seconds);
  }
  state.counters["library_ms"] = Median(library);
  state.counters["raw_ms"] = Median(raw);
  state.counters["ratio"] = Median(ratio);
}

// Every iteration of state is one pair (RunPair).
template <typename LibraryRound, typename RawRound, typename Between>
void PairedRounds(benchmark::State& state, LibraryRound library_round, RawRound raw_round, Between between) {
  std::vector<PairTimes> pairs;
  benchmark::IterationCount index = 0;
  for (auto _ : state) pairs.push_back(RunPair(state, index++, library_round, raw_round, between));
  SetPairCounters(state, pairs);
}

template <typename LibraryRound, typename RawRound>
void PairedRounds(benchmark::State& state, LibraryRound library_round, RawRound raw_round) {
  PairedRounds(state, library_round, raw_round, [] {});
}

}  // namespace qz::bench
