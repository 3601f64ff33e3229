// Benchmark programs run each case ten times, in random interleaved order, and
// report aggregates only: the machine is shared and noisy, and the ratio tables
// are built from the best and median runs. Options given on the command line
// come later and win.
#ifndef ZELTO_BENCH_REPEATED_RUNS_H_
#define ZELTO_BENCH_REPEATED_RUNS_H_

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace zelto {

// benchmark::Initialize with those defaults; false on an unknown argument.
inline bool InitializeRepeatedRuns(int argc, char** argv, const char* min_time_seconds) {
  static std::vector<std::string> defaults;
  static std::vector<char*> args;
  defaults = {"--benchmark_repetitions=10", "--benchmark_enable_random_interleaving=true",
              std::string("--benchmark_min_time=") + min_time_seconds,
              "--benchmark_report_aggregates_only=true"};
  args.assign(argv, argv + argc);
  for (size_t i = 0; i < defaults.size(); ++i)
    args.insert(args.begin() + 1 + i, defaults[i].data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

}  // namespace zelto

#endif  // ZELTO_BENCH_REPEATED_RUNS_H_
