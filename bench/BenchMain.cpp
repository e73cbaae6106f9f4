// The benchmarks' main: Google Benchmark's console output, followed by a table of each library's
// fastest repetition and this library's speed as a multiple of each peer's.
//
// On a shared machine a repetition is slowed by whatever else runs at that time, sometimes several
// times over, and the medians of a few repetitions swing with it. The fastest of several
// interleaved repetitions is the one least disturbed, for every library alike, so the ratios of
// the fastest are the steadiest comparison: run with --benchmark_repetitions=9
// --benchmark_enable_random_interleaving=true.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr char kOurs[] = "kestrelwing";

class BestOfRunsReporter : public benchmark::ConsoleReporter {
 public:
  BestOfRunsReporter() : ConsoleReporter(OO_None) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const auto speed = run.counters.find("bytes_per_second");
      if (speed == run.counters.end()) continue;
      // Names are "<benchmark>/<input>/<library>".
      const std::string name = run.benchmark_name();
      const std::size_t slash = name.rfind('/');
      if (slash == std::string::npos) continue;
      Best& best = inputs_[name.substr(0, slash)][name.substr(slash + 1)];
      best.bytesPerSecond = std::max(best.bytesPerSecond, speed->second.value);
      ++best.repetitions;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    bool headed = false;
    for (const auto& [input, libraries] : inputs_) {
      const auto ours = libraries.find(kOurs);
      if (ours == libraries.end() || libraries.size() < 2) continue;
      if (!headed) {
        std::printf("\nFastest repetition, MB/s (%s's speed as a multiple of each peer's):\n",
                    kOurs);
        headed = true;
      }
      std::printf("%-32s %s %.0f (of %d)", input.c_str(), kOurs, MegaBytes(ours->second),
                  ours->second.repetitions);
      for (const auto& [library, best] : libraries) {
        if (library == kOurs) continue;
        std::printf("   %s %.0f (%.2fx)", library.c_str(), MegaBytes(best),
                    ours->second.bytesPerSecond / best.bytesPerSecond);
      }
      std::printf("\n");
    }
  }

 private:
  struct Best {
    double bytesPerSecond = 0;
    int repetitions = 0;
  };
  static double MegaBytes(const Best& best) { return best.bytesPerSecond / (1 << 20); }

  std::map<std::string, std::map<std::string, Best>> inputs_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BestOfRunsReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
