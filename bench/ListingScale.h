// The large listing's paired rounds, shared by the engines: the 100,000-task
// listing through the library and raw, in alternating pairs, each pair also
// listing the 10,000 tasks through the library `small_times` times for the
// time per task, and the peak heap of both large listings against the
// result's own size. Each result is freed after its round, untimed.
#pragma once

#include <QZNVGeZhuanDBControl.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "HeapCounter.h"
#include "PairedRounds.h"

namespace qz::bench {

template <typename SmallList, typename LibraryList, typename RawList>
void ListingScale(benchmark::State& state, int small_times, SmallList small_list, LibraryList library_list,
                  RawList raw_list) {
  std::vector<double> small_seconds;
  std::vector<PairTimes> pairs;
  std::vector<double> library_peaks, raw_peaks;
  size_t result = 0;
  std::vector<SQZGeZhuanTaskInfo> listed;  // the round's result, freed by between()
  bool library_listed = false;
  size_t before = 0;
  const auto start_heap = [&] {
    before = HeapBytesInUse();
    ResetHeapPeak();
  };
  benchmark::IterationCount index = 0;
  for (auto _ : state) {
    for (int again = 0; again < small_times; ++again) {
      const auto start = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(small_list().data());
      small_seconds.push_back(SecondsSince(start));
    }
    start_heap();  // for whichever side goes first
    pairs.push_back(RunPair(
        state, index++,
        [&] {
          listed = library_list();
          library_peaks.push_back(static_cast<double>(HeapPeak() - before));
          library_listed = true;
        },
        [&] {
          listed = raw_list();
          raw_peaks.push_back(static_cast<double>(HeapPeak() - before));
        },
        [&] {
          if (library_listed) result = ResultOwnBytes(listed), library_listed = false;
          std::vector<SQZGeZhuanTaskInfo>().swap(listed);
          start_heap();
        }));
  }
  SetPairCounters(state, pairs);
  std::vector<double> large_seconds;
  for (const PairTimes& p : pairs) large_seconds.push_back(p.library_seconds);
  const double library_peak = Median(library_peaks);
  state.counters["per_task_100k_over_10k"] = (Median(large_seconds) / 100000) / (Median(small_seconds) / 10000);
  state.counters["library_peak_MB"] = library_peak / 1e6;
  state.counters["raw_peak_MB"] = Median(raw_peaks) / 1e6;
  state.counters["result_MB"] = static_cast<double>(result) / 1e6;
  state.counters["peak_over_result"] = library_peak / static_cast<double>(result);
}

}  // namespace qz::bench
