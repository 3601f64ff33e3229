// The whole frame path per frame, as the host sees it, against a bare memcpy of
// the same frame.
//
// ZeltoSim runs in static-frame mode (it renders once; every later fill returns
// at once), so a frame costs what the module does with it: the capture thread
// fills, copies (or crops, or converts) into the first armed buffer and commits;
// the host loop waits in GetFrame, releases the frame and arms a buffer again,
// keeping all buffers but one armed. One benchmark iteration is one frame the
// host received.
//
//   frame_path/<path>/<size>: copy32 (32-bit whole frame), copy16 (5-6-5),
//     rgb24 (32-bit converted to "RGB 24"), crop_cut (a 1280x1024 source cut
//     to the 1024x768 image) and crop_pad (an 800x600 source padded into it).
//     Counters: fills_per_frame (above 1: the capture thread found nothing
//     armed) and waits_per_frame (frames the host slept for in GetFrame).
//   memcpy/<bytes>: memcpy of one image's bytes from one source into the same
//     number of rotating destination buffers.
//   convert/<size>: RBG32ToRGB24 of one frame alone, the same rotation.
//   cold/...: the same with the frame where a card's DMA leaves it: before each
//     frame, outside the timing, the driver's capture buffer and the host buffer
//     about to be filled are flushed from every cache. The host then keeps one
//     buffer, arms it only once it is flushed and spins on the ready count
//     instead of sleeping in GetFrame, so that a thread's wake-up (scheduler
//     latency, milliseconds on a loaded machine) stays out of the figure.
//
// After the runs it prints ns/frame and the ratio of each path to the memcpy of
// its image bytes (and rgb24 to the bare conversion), from the best and from the
// median of the repetitions of this same run, warm and cold; "extra us" is what
// the module adds to the bytes it moves (median frame minus median memcpy). By default every
// benchmark runs 10 times, interleaved in random order so that the load of a shared machine hits
// all alike; flags on the command line override that.
//
//   build/native-release/bench/frame_path_bench
//   build/native-release/bench/frame_path_bench --benchmark_filter=copy32
//   build/native-release/bench/frame_path_bench --benchmark_filter=cold/
#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/pxl_image_converter.h"
#include "cache_flush.h"
#include "card/zelto_rgb_card.h"
#include "driver/capture_driver.h"
#include "platform/registry.h"
#include "repeated_runs.h"
#include "sim_card.h"
#include "stall_guard.h"

namespace zelto {
namespace {

using namespace std::chrono_literals;

constexpr int kBuffers = 4;  // all but one kept armed
constexpr int kWarmUpFrames = 8;

enum class Path { kCopy32, kCopy16, kRgb24, kCropCut, kCropPad };

struct PathInfo {
  Path path;
  const char* name;
  int out_bytes_per_pixel;
  const char* source_mode;  // the mode the source switches to after start-up, or null
};

const PathInfo kPaths[] = {
    {Path::kCopy32, "copy32", 4, nullptr},         {Path::kCopy16, "copy16", 2, nullptr},
    {Path::kRgb24, "rgb24", 3, nullptr},           {Path::kCropCut, "crop_cut", 4, "1280x1024@60"},
    {Path::kCropPad, "crop_pad", 4, "800x600@60"},
};

struct Size {
  int width;
  int height;
  std::string Name() const { return std::to_string(width) + "x" + std::to_string(height); }
  std::string Mode() const { return Name() + "@60"; }
};
const Size kSizes[] = {{640, 480}, {1024, 768}, {1920, 1080}};
const Size kCropImage = {1024, 768};

size_t ImageBytes(const PathInfo& p, const Size& s) {
  return static_cast<size_t>(s.width) * s.height * p.out_bytes_per_pixel;
}

testing::SimCard& Sim() {
  static testing::SimCard sim(ZELTOSIM_PATH);
  return sim;
}

class BenchCard : public CZeltoRGBCard {
 public:
  using CZeltoRGBCard::CZeltoRGBCard;

  // What the capture format setting does: renegotiate the driver's pixel format
  // and, for "RGB 24", convert its 32-bit pixels.
  void UseFormat(Path path) {
    Format.CaptureFormat = path == Path::kCopy16 ? 1 : 2;
    GetCapabilities();
    Format.ConvertTo24 = path == Path::kRgb24;
    if (Format.ConvertTo24) Format.BytesPerPixel = 3;
    GetImageBytes();
  }

  // Leaves the driver's capture buffer in memory only, as the card's DMA would.
  // Outside the buffer lock: a capture thread put to sleep on it would wake up
  // only after the timing resumed. The buffer stays put while the bench runs.
  void FlushCaptureBuffer() {
    const uint8_t* buffer = nullptr;
    size_t bytes = 0;
    Channel.ReadFrameBuffer([&](const uint8_t* data, size_t size) {
      buffer = data;
      bytes = size;
    });
    if (buffer != nullptr) FlushFromCache(buffer, bytes);
  }
};

void BM_FramePath(benchmark::State& state, PathInfo info, Size size, bool cold) {
  testing::SimCard& sim = Sim();
  sim.Configure(("pacing=static;mode=" + size.Mode()).c_str());
  const std::string host_key = testing::UniqueHostKey();
  {
    BenchCard card(host_key);
    card.UseFormat(info.path);
    if (info.source_mode != nullptr) sim.SetMode(0, info.source_mode);
    if (card.GetImageBytes() != static_cast<int32_t>(ImageBytes(info, size))) {
      state.SkipWithError("unexpected image size");
      return;
    }
    card.AllocateBuffers(cold ? 1 : kBuffers);
    card.EnableGrab();
    std::atomic<int64_t> frames{0};
    std::optional<StallGuard> stall;
    stall.emplace(card, frames);
    if (!cold) {
      for (int i = 0; i < kBuffers - 1; ++i) card.ArmBuffer();
    }

    bool ok = true;
    int64_t waits = 0;
    void* last_data = nullptr;
    const auto next_frame = [&](bool timed) {
      if (cold) {
        // The one buffer is free here; nothing is armed, so the capture thread
        // drops what it fills and reads neither buffer.
        if (timed) state.PauseTiming();
        card.FlushCaptureBuffer();
        if (last_data != nullptr) FlushFromCache(last_data, ImageBytes(info, size));
        if (timed) state.ResumeTiming();
        card.ArmBuffer();
      }
      if (cold) {
        while (card.GetReadyCount() == 0 && !stall->stalled()) _mm_pause();
      }
      bool waited = false;
      ImageRecord* record = card.GetFrame(&waited);
      if (record == nullptr) return false;
      last_data = record->Data;
      if (waited) ++waits;
      card.ReleaseCurrentFrame();
      if (!cold) card.ArmBuffer();
      ++frames;
      return true;
    };
    for (int i = 0; i < kWarmUpFrames && ok; ++i) ok = next_frame(false);
    const uint32_t fills_before = sim.Counters().frames_delivered;
    const int64_t frames_before = frames;
    const int64_t waits_before = waits;
    for (auto _ : state) {
      if (!ok || !next_frame(true)) {
        ok = false;
        break;
      }
    }
    const uint32_t fills = sim.Counters().frames_delivered - fills_before;
    const int64_t got = frames - frames_before;
    const bool stalled = stall->stalled();
    stall.reset();
    card.DisableGrab();
    if (!ok) state.SkipWithError(stalled ? "frames stopped flowing" : "GetFrame returned no frame");
    // More than one fill a frame: the capture thread found nothing armed. (Cold
    // runs drop frames on purpose while the host flushes.)
    if (got > 0 && !cold) {
      state.counters["fills_per_frame"] = static_cast<double>(fills) / static_cast<double>(got);
      // The share of frames the host slept for in GetFrame: each costs the
      // capture thread a wake-up.
      state.counters["waits_per_frame"] =
          static_cast<double>(waits - waits_before) / static_cast<double>(got);
    }
  }
  platform::DeleteRegistryTree(platform::RegistryRoot::kCurrentUser, host_key);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(ImageBytes(info, size)));
}

// One source, kBuffers destinations of the capacity the queue gives, touched
// before the run as the queue's allocation does.
struct Buffers {
  Buffers(size_t source_bytes, size_t image_bytes) : source(source_bytes) {
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7 + 1);
    const size_t capacity =
        static_cast<size_t>(CTripleList::RoundUpBufferSize(static_cast<int64_t>(image_bytes)));
    for (auto& d : destinations) {
      d = std::make_unique<uint8_t[]>(capacity);
      std::memset(d.get(), 0, capacity);
    }
  }
  uint8_t* Next() { return destinations[next++ % kBuffers].get(); }
  std::vector<uint8_t> source;
  std::unique_ptr<uint8_t[]> destinations[kBuffers];
  size_t next = 0;
};

// Cold: the source and the next destination are flushed first, untimed.
void FlushBoth(benchmark::State& state, Buffers& b, uint8_t* destination, size_t written) {
  state.PauseTiming();
  FlushFromCache(b.source.data(), b.source.size());
  FlushFromCache(destination, written);
  state.ResumeTiming();
}

void BM_Memcpy(benchmark::State& state, size_t bytes, bool cold) {
  Buffers b(bytes, bytes);
  for (auto _ : state) {
    uint8_t* d = b.Next();
    if (cold) FlushBoth(state, b, d, bytes);
    std::memcpy(d, b.source.data(), bytes);
    benchmark::DoNotOptimize(d);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void BM_Convert(benchmark::State& state, Size size, bool cold) {
  const size_t pixels = static_cast<size_t>(size.width) * size.height;
  Buffers b(pixels * 4, pixels * 3);
  CPxlImageConverter converter;
  for (auto _ : state) {
    uint8_t* d = b.Next();
    if (cold) FlushBoth(state, b, d, pixels * 3);
    converter.RBG32ToRGB24(size.width, size.height, b.source.data(), d, false);
    benchmark::DoNotOptimize(d);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(pixels * 3));
}

const char* Prefix(bool cold) { return cold ? "cold/" : ""; }
std::string FrameName(const PathInfo& p, const Size& s, bool cold) {
  return std::string(Prefix(cold)) + "frame_path/" + p.name + "/" + s.Name();
}
std::string MemcpyName(size_t bytes, bool cold) {
  return Prefix(cold) + std::string("memcpy/") + std::to_string(bytes);
}
std::string ConvertName(const Size& s, bool cold) {
  return Prefix(cold) + std::string("convert/") + s.Name();
}

// The paths and sizes measured: every format at every size, crops at one.
std::vector<std::pair<PathInfo, Size>> Cases() {
  std::vector<std::pair<PathInfo, Size>> cases;
  for (const PathInfo& p : kPaths) {
    if (p.source_mode != nullptr) {
      cases.emplace_back(p, kCropImage);
    } else {
      for (const Size& s : kSizes) cases.emplace_back(p, s);
    }
  }
  return cases;
}

template <typename Fn>
void Register(const std::string& name, Fn fn) {
  benchmark::RegisterBenchmark(name.c_str(), fn)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime()
      ->ComputeStatistics("min", [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
      });
}

void RegisterAll() {
  for (bool cold : {false, true}) {
    std::map<size_t, bool> copies;
    for (const auto& [p, s] : Cases()) {
      Register(FrameName(p, s, cold),
               [p = p, s = s, cold](benchmark::State& st) { BM_FramePath(st, p, s, cold); });
      const size_t bytes = ImageBytes(p, s);
      if (!copies[bytes]) {
        copies[bytes] = true;
        Register(MemcpyName(bytes, cold),
                 [bytes, cold](benchmark::State& st) { BM_Memcpy(st, bytes, cold); });
      }
      if (p.path == Path::kRgb24) {
        Register(ConvertName(s, cold),
                 [s = s, cold](benchmark::State& st) { BM_Convert(st, s, cold); });
      }
    }
  }
}

// Console output as usual, plus the best and the median real time per iteration
// of each benchmark, from its "min" and "median" aggregates, or from its runs
// when only those are reported.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0) continue;
      const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "min") best_[name] = seconds;
        if (run.aggregate_name == "median") median_[name] = seconds;
      } else {
        singles_[name].push_back(seconds);
      }
    }
  }

  void PrintRatios() {
    // Runs without aggregates (one repetition, or aggregates not reported).
    for (auto& [name, times] : singles_) {
      std::sort(times.begin(), times.end());
      best_.emplace(name, times.front());
      median_.emplace(name, times[times.size() / 2]);
    }
    for (bool cold : {false, true}) PrintTable(cold);
  }

 private:
  void PrintTable(bool cold) {
    std::printf(
        "\n%s: frame path per frame against memcpy of the image bytes (and rgb24 against\n"
        "the bare conversion), both %s; best and median of the repetitions of this run,\n"
        "x > 1 is slower; extra us: median frame minus median memcpy\n",
        cold ? "Cold" : "Warm",
        cold ? "from and into buffers flushed from the cache" : "with the buffers in the cache");
    std::printf("%-10s %-10s %10s %10s %9s %10s %10s %9s %9s %10s\n", "path", "size", "best ns",
                "memcpy ns", "x memcpy", "median ns", "memcpy ns", "x memcpy", "extra us",
                "x convert");
    for (const auto& [p, s] : Cases()) {
      const std::string frame = FrameName(p, s, cold) + "/real_time";
      const std::string copy = MemcpyName(ImageBytes(p, s), cold) + "/real_time";
      if (!best_.count(frame) || !best_.count(copy)) continue;
      std::printf("%-10s %-10s %10.0f %10.0f %9.3f %10.0f %10.0f %9.3f %9.1f", p.name,
                  s.Name().c_str(), best_[frame] * 1e9, best_[copy] * 1e9,
                  best_[frame] / best_[copy], median_[frame] * 1e9, median_[copy] * 1e9,
                  median_[frame] / median_[copy], (median_[frame] - median_[copy]) * 1e6);
      const std::string convert = ConvertName(s, cold) + "/real_time";
      if (p.path == Path::kRgb24 && best_.count(convert)) {
        std::printf(" %10.3f", best_[frame] / best_[convert]);
      }
      std::printf("\n");
    }
  }

 private:
  std::map<std::string, double> best_;
  std::map<std::string, double> median_;
  std::map<std::string, std::vector<double>> singles_;
};

}  // namespace
}  // namespace zelto

int main(int argc, char** argv) {
  if (!zelto::InitializeRepeatedRuns(argc, argv, "0.1")) return 1;
  zelto::RegisterAll();
  zelto::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
