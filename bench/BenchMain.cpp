// Runs the benchmarks and, after the usual output, one table of the paired
// ones: the fastest library round, the fastest raw round and their ratio,
// how much the library costs over the best raw code for the same work; then
// the other figures the benchmarks count (scaling, peak memory). Run with
// --benchmark_repetitions=N, each figure is the best of N.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // A benchmark run more than once (--benchmark_repetitions) keeps the
  // repetition with the lowest ratio, the one least disturbed by the
  // machine's other work, with that repetition's other counters.
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      std::string name = run.benchmark_name();
      name = name.substr(0, name.find('/'));  // without "/iterations:N", arguments, repetitions
      const auto ratio = run.counters.find("ratio");
      const double this_ratio = ratio != run.counters.end() ? static_cast<double>(ratio->second) : 0;
      auto [kept, first] = kept_.try_emplace(name, Kept{});
      if (!first && this_ratio >= kept->second.ratio) continue;
      if (first) order_.push_back(name);
      kept->second.ratio = this_ratio;
      kept->second.counters.clear();
      for (const auto& [counter, value] : run.counters) kept->second.counters[counter] = value;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-34s %14s %14s %8s\n", "operation (fastest round)", "library ms", "best raw ms", "ratio");
    for (const std::string& name : order_) {
      const std::map<std::string, double>& c = kept_.at(name).counters;
      if (c.count("ratio"))
        std::printf("%-34s %14.3f %14.3f %8.3f\n", name.c_str(), c.at("library_ms"), c.at("raw_ms"), c.at("ratio"));
    }
    std::printf("\n");
    for (const std::string& name : order_) {
      for (const auto& [counter, value] : kept_.at(name).counters) {
        if (counter != "ratio" && counter != "library_ms" && counter != "raw_ms")
          std::printf("%-56s %10.3f\n", (name + " " + counter).c_str(), value);
      }
    }
  }

 private:
  struct Kept {
    double ratio = 0;
    std::map<std::string, double> counters;
  };
  std::map<std::string, Kept> kept_;
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
