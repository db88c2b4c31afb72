// Runs the benchmarks and, after the usual table, the ratio of each
// "<name>/Library" to its "<name>/Raw": how much the library costs over the
// same work done directly on the engine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const std::string name = run.benchmark_name();
      times_[name] = run.GetAdjustedRealTime();
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-48s %12s %12s %8s\n", "operation", "library", "raw", "ratio");
    for (const auto& [name, library] : times_) {
      const std::string::size_type at = name.find("/Library");
      if (at == std::string::npos) continue;
      std::string raw_name = name;
      raw_name.replace(at, 8, "/Raw");
      auto raw = times_.find(raw_name);
      if (raw == times_.end() || raw->second <= 0) continue;
      std::printf("%-48s %12.3f %12.3f %8.3f\n", name.substr(0, at).c_str(), library, raw->second,
                  library / raw->second);
    }
  }

 private:
  std::map<std::string, double> times_;
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
