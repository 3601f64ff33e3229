// ZeltoSim's frame pacing and fill cost, measured (never asserted).
//
//   BM_RealTimePacing/<mode>: delivered rate against the mode's refresh, the
//     largest gap between two frames and the drift from the ideal schedule.
//   BM_FreeRunningFill/<PixelFormat>: rendering cost of one 1024x768 frame.
//   BM_StaticFill: the per-call cost a module benchmark sees in static mode.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "driver/capture_driver.h"
#include "platform/dynamic_library.h"
#include "zeltosim_control.h"

namespace zelto {
namespace {

struct SimApi {
  platform::LibraryHandle library = nullptr;
  PFN_RGBCaptureOpen open = nullptr;
  PFN_RGBCaptureClose close = nullptr;
  PFN_RGBCaptureEnable enable = nullptr;
  PFN_RGBCaptureSetParameters set = nullptr;
  PFN_RGBCaptureAllocateBuffer allocate = nullptr;
  PFN_RGBCaptureFreeBuffer free = nullptr;
  PFN_RGBCaptureFillBuffer fill = nullptr;
  PFN_ZeltoSim_Reset reset = nullptr;
  PFN_ZeltoSim_Configure configure = nullptr;
};

template <typename T>
void Resolve(platform::LibraryHandle library, const char* name, T* out) {
  *out = reinterpret_cast<T>(platform::ResolveSymbol(library, name));
}

SimApi& Api() {
  static SimApi api = [] {
    SimApi a;
    a.library = platform::LoadDynamicLibrary(ZELTOSIM_PATH);
    if (a.library == nullptr) return a;
    Resolve(a.library, "RGBCaptureOpen", &a.open);
    Resolve(a.library, "RGBCaptureClose", &a.close);
    Resolve(a.library, "RGBCaptureEnable", &a.enable);
    Resolve(a.library, "RGBCaptureSetParameters", &a.set);
    Resolve(a.library, "RGBCaptureAllocateBuffer", &a.allocate);
    Resolve(a.library, "RGBCaptureFreeBuffer", &a.free);
    Resolve(a.library, "RGBCaptureFillBuffer", &a.fill);
    Resolve(a.library, "ZeltoSim_Reset", &a.reset);
    Resolve(a.library, "ZeltoSim_Configure", &a.configure);
    return a;
  }();
  return api;
}

// An open, enabled channel 0 with a buffer for 1024x768 32-bit frames.
class Capture {
 public:
  Capture(benchmark::State& state, const std::string& config, uint32_t pixel_format) : api_(Api()) {
    if (api_.library == nullptr || api_.fill == nullptr) {
      state.SkipWithError("ZeltoSim not loadable");
      return;
    }
    api_.reset();
    api_.configure(config.c_str());
    api_.open(0, &handle_);
    CaptureParams p = {};
    p.Size = kCaptureParamsSize;
    p.Flags = kFlagPixelFormat;
    p.PixelFormat = pixel_format;
    api_.set(handle_, &p, kQueryCapture);
    api_.allocate(handle_, &buffer_, 1920 * 1080 * 4);
    api_.enable(handle_, 1);
  }
  ~Capture() {
    if (handle_ != 0) {
      api_.enable(handle_, 0);
      api_.free(handle_, &buffer_);
      api_.close(handle_);
    }
  }
  uint32_t Fill() { return api_.fill(handle_, 0, 0); }

 private:
  SimApi& api_;
  HRGBCAPTURE handle_ = 0;
  void* buffer_ = nullptr;
};

const char* const kPacedModes[] = {"1024x768@60", "1024x768@59.94", "640x480@75"};

void BM_RealTimePacing(benchmark::State& state) {
  const std::string mode = kPacedModes[state.range(0)];
  state.SetLabel(mode);
  Capture capture(state, "pacing=realtime;ch0.mode=" + mode, kPixelFormat32);
  using Clock = std::chrono::steady_clock;
  capture.Fill();  // the schedule starts with the first frame
  const auto start = Clock::now();
  auto previous = start;
  double max_gap_ms = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    if (capture.Fill() != kStatusFrameCaptured) state.SkipWithError("fill failed");
    auto now = Clock::now();
    max_gap_ms =
        std::max(max_gap_ms, std::chrono::duration<double, std::milli>(now - previous).count());
    previous = now;
    ++frames;
  }
  const double seconds = std::chrono::duration<double>(previous - start).count();
  const double nominal_hz = mode.ends_with("59.94") ? 59.94 : mode.ends_with("75") ? 75.0 : 60.0;
  state.counters["rate_hz"] = seconds > 0 ? frames / seconds : 0;
  state.counters["max_gap_ms"] = max_gap_ms;
  state.counters["drift_ms"] = (seconds - frames / nominal_hz) * 1000.0;
}
BENCHMARK(BM_RealTimePacing)
    ->DenseRange(0, 2)
    ->Iterations(300)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_FreeRunningFill(benchmark::State& state) {
  const uint32_t format = static_cast<uint32_t>(state.range(0));
  Capture capture(state, "pacing=free", format);
  for (auto _ : state) benchmark::DoNotOptimize(capture.Fill());
  state.SetBytesProcessed(state.iterations() * 1024 * 768 * (format == kPixelFormat32 ? 4 : 2));
}
BENCHMARK(BM_FreeRunningFill)
    ->Arg(kPixelFormat555)
    ->Arg(kPixelFormat565)
    ->Arg(kPixelFormat32)
    ->Unit(benchmark::kMicrosecond);

void BM_StaticFill(benchmark::State& state) {
  Capture capture(state, "pacing=static", kPixelFormat32);
  for (auto _ : state) benchmark::DoNotOptimize(capture.Fill());
}
BENCHMARK(BM_StaticFill);

}  // namespace
}  // namespace zelto

BENCHMARK_MAIN();
