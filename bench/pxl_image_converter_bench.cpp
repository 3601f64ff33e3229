// RBG32ToRGB24 (the dispatched path, each row variant, and row by row as the crop
// path does it) against libyuv's ARGBToRGB24 and a memcpy of the input, at three
// frame sizes, warm (the same frame again and again, in the cache) and cold
// (source and destination flushed from the cache before each frame, outside the
// timing, as a card's DMA leaves them). Throughput counts input bytes
// (width x height x 4) for all of them.
// After the runs, prints each one's speed relative to libyuv and to memcpy,
// measured in this same run (best time of its repetitions). By default every
// benchmark runs 10 times, interleaved in random order, so that the load of a
// shared machine hits all of them alike; flags on the command line override that.
//
//   build/native-release/bench/pxl_image_converter_bench
//   build/native-release/bench/pxl_image_converter_bench --benchmark_filter=cold
#include <benchmark/benchmark.h>
#include <libyuv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "acquisition/copy_row.h"
#include "acquisition/cpu_features.h"
#include "acquisition/pxl_image_converter.h"
#include "cache_flush.h"
#include "repeated_runs.h"

namespace zelto {
namespace {

struct Size {
  int width;
  int height;
  std::string Name() const { return std::to_string(width) + "x" + std::to_string(height); }
};
const Size kSizes[] = {{640, 480}, {1024, 768}, {1920, 1080}};

struct Frame {
  explicit Frame(Size s)
      : size(s),
        src(static_cast<size_t>(s.width) * s.height * 4),
        dst(static_cast<size_t>(s.width) * s.height * 4) {
    std::mt19937 rng(s.width);
    for (auto& b : src) b = static_cast<uint8_t>(rng());
  }
  size_t pixels() const { return static_cast<size_t>(size.width) * size.height; }
  Size size;
  std::vector<uint8_t> src;
  std::vector<uint8_t> dst;  // room for the memcpy of the input
};

using Work = std::function<void(Frame&)>;

void RegisterOne(const std::string& name, const Size& size, Work work, bool cold) {
  benchmark::RegisterBenchmark(name.c_str(),
                               [size, work, cold](benchmark::State& state) {
                                 Frame frame(size);
                                 for (auto _ : state) {
                                   if (cold) {
                                     state.PauseTiming();
                                     FlushFromCache(frame.src.data(), frame.src.size());
                                     FlushFromCache(frame.dst.data(), frame.dst.size());
                                     state.ResumeTiming();
                                   }
                                   work(frame);
                                   benchmark::DoNotOptimize(frame.dst.data());
                                   benchmark::ClobberMemory();
                                 }
                                 state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                                                         static_cast<int64_t>(frame.pixels()) * 4);
                               })
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime()
      ->ComputeStatistics("min", [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
      });
}

std::string Name(const std::string& what, const Size& size, bool cold) {
  return (cold ? "cold/" : "") + what + "/" + size.Name();
}

void Register(const std::string& what, const Size& size, Work work) {
  for (bool cold : {false, true}) {
    RegisterOne(Name(what, size, cold), size, work, cold);
  }
}

void RegisterAll() {
  struct Variant {
    const char* name;
    RBG32ToRGB24RowFunction row;
    int flag;
  };
  const Variant variants[] = {{"C", RBG32ToRGB24Row_C, 0},
                              {"SSSE3", RBG32ToRGB24Row_Any_SSSE3, kCpuHasSSSE3},
                              {"AVX2", RBG32ToRGB24Row_Any_AVX2, kCpuHasAVX2},
                              {"NT_SSSE3", RBG32ToRGB24Row_Any_NT_SSSE3, kCpuHasSSSE3},
                              {"NT_AVX2", RBG32ToRGB24Row_Any_NT_AVX2, kCpuHasAVX2}};
  for (const Size& size : kSizes) {
    Register("RBG32ToRGB24", size, [](Frame& f) {
      CPxlImageConverter converter;
      converter.RBG32ToRGB24(f.size.width, f.size.height, f.src.data(), f.dst.data(), false);
    });
    // Line by line, as the capture thread converts a cropped frame.
    Register("RBG32ToRGB24_rows", size, [](Frame& f) {
      RBG32ToRGB24Plane(f.src.data(), f.size.width * 4, f.dst.data(), f.size.width * 3,
                        f.size.width, f.size.height);
    });
    for (const Variant& v : variants) {
      if (v.flag != 0 && !TestCpuFlag(v.flag)) continue;
      const RBG32ToRGB24RowFunction row = v.row;
      Register(std::string("RBG32ToRGB24_") + v.name, size, [row](Frame& f) {
        row(f.src.data(), f.dst.data(), static_cast<int>(f.pixels()));
        StreamingStoreFence();  // as the frame path does after streaming
      });
    }
    Register("libyuv_ARGBToRGB24", size, [](Frame& f) {
      libyuv::ARGBToRGB24(f.src.data(), f.size.width * 4, f.dst.data(), f.size.width * 3,
                          f.size.width, f.size.height);
    });
    Register("memcpy", size,
             [](Frame& f) { std::memcpy(f.dst.data(), f.src.data(), f.src.size()); });
  }
}

// Same bytes as libyuv, or the comparison means nothing.
bool OutputMatchesLibyuv() {
  for (const Size& size : kSizes) {
    Frame ours(size), theirs(size);
    CPxlImageConverter converter;
    converter.RBG32ToRGB24(size.width, size.height, ours.src.data(), ours.dst.data(), false);
    libyuv::ARGBToRGB24(theirs.src.data(), size.width * 4, theirs.dst.data(), size.width * 3,
                        size.width, size.height);
    if (std::memcmp(ours.dst.data(), theirs.dst.data(), ours.pixels() * 3) != 0) {
      std::fprintf(stderr, "RBG32ToRGB24 differs from libyuv at %s\n", size.Name().c_str());
      return false;
    }
  }
  return true;
}

// Console output as usual, plus the best real time per iteration of each
// benchmark: from its "min" aggregate, or from its repetitions when only those
// are reported.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "min") continue;
      const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
      auto [it, fresh] = best_.emplace(run.run_name.str(), seconds);
      if (!fresh && seconds < it->second) it->second = seconds;
    }
  }

  void PrintRatios() const {
    std::printf(
        "\nThroughput relative to libyuv ARGBToRGB24 and to memcpy of the input, each in\n"
        "the same cache state (> 1 is faster; best of repetitions):\n");
    std::printf("%-6s %-24s %-10s %10s %10s %12s\n", "cache", "run", "size", "GB/s", "x libyuv",
                "x memcpy");
    for (bool cold : {false, true}) {
      for (const Size& size : kSizes) {
        const double yuv = Best("libyuv_ARGBToRGB24", size, cold);
        const double copy = Best("memcpy", size, cold);
        for (const char* what : {"RBG32ToRGB24", "RBG32ToRGB24_rows", "RBG32ToRGB24_C",
                                 "RBG32ToRGB24_SSSE3", "RBG32ToRGB24_AVX2", "RBG32ToRGB24_NT_SSSE3",
                                 "RBG32ToRGB24_NT_AVX2", "libyuv_ARGBToRGB24", "memcpy"}) {
          const double t = Best(what, size, cold);
          if (t <= 0) continue;
          const double bytes = static_cast<double>(size.width) * size.height * 4;
          std::printf("%-6s %-24s %-10s %10.2f %10.2f %12.2f\n", cold ? "cold" : "warm", what,
                      size.Name().c_str(), bytes / t / 1e9, yuv > 0 ? yuv / t : 0.0,
                      copy > 0 ? copy / t : 0.0);
        }
      }
    }
  }

 private:
  double Best(const std::string& what, const Size& size, bool cold) const {
    const auto it = best_.find(Name(what, size, cold) + "/real_time");
    return it == best_.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> best_;
};

}  // namespace
}  // namespace zelto

int main(int argc, char** argv) {
  if (!zelto::InitializeRepeatedRuns(argc, argv, "0.05")) return 1;
  if (!zelto::OutputMatchesLibyuv()) return 1;
  zelto::RegisterAll();
  zelto::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
