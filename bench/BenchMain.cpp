// Runs the benchmarks and, after the usual output, one table of the paired
// ones: per operation the median library round, the median raw round, the
// median of the pairs' ratios (library / raw, how much the library costs
// over the best raw code for the same work) and the lowest and highest
// pair ratio, over every pair of every repetition
// (--benchmark_repetitions=N). When QZ_BENCH_INSTRUCTIONS names the file
// that scripts/bench.sh --instructions wrote, the instructions each side
// took under callgrind, and their ratio, stand beside. Then the other
// figures the benchmarks count (scaling, peak memory), as the median and
// range of the repetitions.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "PairedRounds.h"

namespace {

using qz::bench::Median;

// "<benchmark> <side> <instructions>" lines: the instructions of each side.
std::map<std::string, std::map<std::string, double>> ReadInstructions() {
  std::map<std::string, std::map<std::string, double>> counts;
  const char* path = std::getenv("QZ_BENCH_INSTRUCTIONS");
  if (!path || !*path) return counts;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name, side;
    double count = 0;
    if (fields >> name >> side >> count) counts[name][side] = count;
  }
  return counts;
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Keeps the counters of each repetition, but those of the pairs, which
  // PairLog holds whole.
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      std::string name = run.benchmark_name();
      name = name.substr(0, name.find('/'));  // without "/iterations:N", arguments, repetitions
      auto [kept, first] = counters_.try_emplace(name);
      if (first) order_.push_back(name);
      for (const auto& [counter, value] : run.counters)
        if (counter != "ratio" && counter != "library_ms" && counter != "raw_ms")
          kept->second[counter].push_back(value);
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto instructions = ReadInstructions();
    const qz::bench::PairLog& log = qz::bench::PairLog::Get();
    std::printf("\n%-32s %6s %11s %11s %7s %15s", "operation (median of pairs)", "pairs", "library ms", "raw ms",
                "ratio", "ratio range");
    if (!instructions.empty()) std::printf(" %14s %14s %7s", "library instr", "raw instr", "ratio");
    std::printf("\n");
    for (const std::string& name : log.order) {
      std::vector<double> library, raw, ratio;
      for (const qz::bench::PairTimes& p : log.pairs.at(name)) {
        library.push_back(p.library_seconds * 1e3);
        raw.push_back(p.raw_seconds * 1e3);
        ratio.push_back(p.library_seconds / p.raw_seconds);
      }
      const auto [low, high] = std::minmax_element(ratio.begin(), ratio.end());
      char range[64];
      std::snprintf(range, sizeof range, "%.3f-%.3f", *low, *high);
      std::printf("%-32s %6zu %11.3f %11.3f %7.3f %15s", name.c_str(), ratio.size(), Median(library), Median(raw),
                  Median(ratio), range);
      const auto counted = instructions.find(name);
      if (counted != instructions.end() && counted->second.count("library") && counted->second.count("raw")) {
        const double l = counted->second.at("library"), r = counted->second.at("raw");
        std::printf(" %14.0f %14.0f %7.3f", l, r, r > 0 ? l / r : 0.0);
      }
      std::printf("\n");
    }
    if (!instructions.empty())
      std::printf("instructions: this program's own (the servers' work is not counted), one pair under callgrind\n");
    std::printf("\n");
    for (const std::string& name : order_) {
      for (const auto& [counter, values] : counters_.at(name)) {
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        std::printf("%-56s %10.3f", (name + " " + counter).c_str(), Median(values));
        if (values.size() > 1) std::printf("  (%zu repetitions, %.3f-%.3f)", values.size(), *low, *high);
        std::printf("\n");
      }
    }
  }

 private:
  std::map<std::string, std::map<std::string, std::vector<double>>> counters_;
  std::vector<std::string> order_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
