// The frame copy and the RGB 24 conversion as the capture thread runs them, with
// ordinary and with streaming stores, against the C library's memcpy of the
// same frame, warm (source and destination in the cache) and cold (both
// flushed from every cache level before each frame, as a card's DMA leaves its
// buffer and as host buffers that were not touched for a while are). Builds on
// both targets without Google Benchmark, so the 32-bit Windows build runs it
// under Wine.
//
// Prints what this CPU reports and which rows the module picks per frame size,
// then two tables, all ratios measured in this run (best and median of the
// repetitions; below 1 is faster than memcpy):
//   frames: 640x480, 1024x768, 1920x1080 at 32 bits (copy) and 32 to 24 bits;
//   sweep:  sizes from 64 KiB to 64 MiB, ordinary and streaming copy against
//           memcpy, warm and cold: where streaming starts to pay.
//
//   build/native-release/bench/frame_store_bench [--quick] [--reps=N] [--frames|--sweep]
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/copy_row.h"
#include "acquisition/cpu_features.h"
#include "acquisition/frame_copy.h"
#include "acquisition/pxl_image_converter.h"
#include "cache_flush.h"

namespace zelto {
namespace {

using Clock = std::chrono::steady_clock;

struct Buffer {
  explicit Buffer(size_t n) : bytes(n), storage(new uint8_t[n + 64]) {
    // 64-byte aligned, as the allocator gives large blocks.
    data = storage.get() + ((64 - reinterpret_cast<uintptr_t>(storage.get()) % 64) % 64);
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
  }
  size_t bytes;
  std::unique_ptr<uint8_t[]> storage;
  uint8_t* data;
};

// One measured operation on (source, destination).
struct Case {
  std::string name;
  std::function<void(const uint8_t*, uint8_t*)> run;
  size_t in_bytes;
  size_t out_bytes;
  std::vector<double> seconds;  // per frame, one entry a repetition
};

// Seconds per frame, averaged over enough frames to last about `budget`.
// Cold: both buffers are flushed before each frame, outside the timing.
double TimeOnce(Case& c, Buffer& in, Buffer& out, bool cold, double budget) {
  double total = 0;
  int frames = 0;
  while (total < budget || frames < 2) {
    if (cold) {
      FlushFromCache(in.data, c.in_bytes);
      FlushFromCache(out.data, c.out_bytes);
    }
    const auto start = Clock::now();
    c.run(in.data, out.data);
    total += std::chrono::duration<double>(Clock::now() - start).count();
    ++frames;
  }
  return total / frames;
}

struct Stats {
  double best;
  double median;
};

Stats Summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v.front(), v[v.size() / 2]};
}

// Runs every case `reps` times, the cases interleaved so that load on a shared
// machine hits all alike.
void RunInterleaved(std::vector<Case>& cases, bool cold, int reps, double budget) {
  size_t in_max = 0, out_max = 0;
  for (const Case& c : cases) {
    in_max = std::max(in_max, c.in_bytes);
    out_max = std::max(out_max, c.out_bytes);
  }
  Buffer in(in_max);
  Buffer out(out_max);
  for (Case& c : cases) c.run(in.data, out.data);  // touch everything once
  for (int r = 0; r < reps; ++r) {
    for (Case& c : cases) c.seconds.push_back(TimeOnce(c, in, out, cold, budget));
  }
}

const char* CopyRowName(CopyRowFunction f) {
  if (f == CopyRow_NT_AVX2) return "CopyRow_NT_AVX2";
  if (f == CopyRow_NT_SSE2) return "CopyRow_NT_SSE2";
  return "CopyRow_C (memcpy)";
}

const char* ConvertRowName(RBG32ToRGB24RowFunction f) {
  if (f == RBG32ToRGB24Row_Any_NT_AVX2) return "RBG32ToRGB24Row_Any_NT_AVX2";
  if (f == RBG32ToRGB24Row_Any_NT_SSSE3) return "RBG32ToRGB24Row_Any_NT_SSSE3";
  if (f == RBG32ToRGB24Row_Any_AVX2) return "RBG32ToRGB24Row_Any_AVX2";
  if (f == RBG32ToRGB24Row_Any_SSSE3) return "RBG32ToRGB24Row_Any_SSSE3";
  return "RBG32ToRGB24Row_C";
}

void PrintMachine() {
  const int flags = CpuFlags();
  const CacheLevel llc = LastLevelCache();
  std::printf("CPU: SSE2 %d, SSSE3 %d, AVX2 %d; %d-bit build\n", (flags & kCpuHasSSE2) != 0,
              (flags & kCpuHasSSSE3) != 0, (flags & kCpuHasAVX2) != 0,
              static_cast<int>(sizeof(void*) * 8));
  const CacheLevel below = CacheBelowLastLevel();
  std::printf("caches: L%d %" PRId64 " KiB shared by %d threads; below it L%d %" PRId64
              " KiB shared by %d\n",
              llc.level, llc.bytes / 1024, llc.sharing_threads, below.level, below.bytes / 1024,
              below.sharing_threads);
  const int64_t threshold = StreamingThresholdBytes();
  std::printf("streaming threshold: %" PRId64 " KiB\n", threshold / 1024);
  const int sizes[][2] = {{640, 480}, {1024, 768}, {1920, 1080}};
  for (const auto& s : sizes) {
    const int64_t copy_bytes = int64_t{s[0]} * s[1] * 4;
    const int64_t rgb_bytes = int64_t{s[0]} * s[1] * 3;
    std::printf("rows for %dx%d: copy %s, RGB 24 %s\n", s[0], s[1],
                CopyRowName(GetCopyRow(UseStreamingStores(copy_bytes))),
                ConvertRowName(GetRBG32ToRGB24Row(UseStreamingStores(rgb_bytes))));
  }
}

// The fastest streaming and ordinary rows this CPU has.
CopyRowFunction BestStreamingCopy() { return GetCopyRow(true); }
RBG32ToRGB24RowFunction BestConvert(bool streaming) { return GetRBG32ToRGB24Row(streaming); }

void FrameTable(int reps, double budget) {
  struct Size {
    int w, h;
  };
  const Size sizes[] = {{640, 480}, {1024, 768}, {1920, 1080}};
  std::printf(
      "\nframes: seconds per frame against memcpy of the frame's output bytes "
      "(< 1 is faster)\n");
  std::printf("%-6s %-10s %-26s %10s %8s %10s %8s\n", "cache", "size", "run", "best us", "x memcpy",
              "median us", "x memcpy");
  CPxlImageConverter converter;
  for (bool cold : {false, true}) {
    for (const Size& s : sizes) {
      const size_t pixels = static_cast<size_t>(s.w) * s.h;
      const size_t b32 = pixels * 4, b24 = pixels * 3;
      const int w = s.w, h = s.h;
      std::vector<Case> cases;
      cases.push_back(
          {"memcpy32", [b32](const uint8_t* i, uint8_t* o) { std::memcpy(o, i, b32); }, b32, b32});
      cases.push_back({"copy32 (module)",
                       [=, &converter](const uint8_t* i, uint8_t* o) {
                         const int64_t n = static_cast<int64_t>(b32);
                         CopyWholeFrame({i, n, w, h}, {o, n, w, h, n}, false, converter);
                       },
                       b32, b32});
      cases.push_back({"copy32 streaming",
                       [b32](const uint8_t* i, uint8_t* o) {
                         BestStreamingCopy()(i, o, b32);
                         StreamingStoreFence();
                       },
                       b32, b32});
      cases.push_back(
          {"memcpy24", [b24](const uint8_t* i, uint8_t* o) { std::memcpy(o, i, b24); }, b24, b24});
      cases.push_back({"rgb24 (module)",
                       [=, &converter](const uint8_t* i, uint8_t* o) {
                         converter.RBG32ToRGB24(w, h, i, o, false);
                       },
                       b32, b24});
      cases.push_back({"rgb24 ordinary",
                       [=](const uint8_t* i, uint8_t* o) {
                         BestConvert(false)(i, o, static_cast<int>(pixels));
                       },
                       b32, b24});
      cases.push_back({"rgb24 streaming",
                       [=](const uint8_t* i, uint8_t* o) {
                         BestConvert(true)(i, o, static_cast<int>(pixels));
                         StreamingStoreFence();
                       },
                       b32, b24});
      RunInterleaved(cases, cold, reps, budget);
      const std::string size = std::to_string(w) + "x" + std::to_string(h);
      for (Case& c : cases) {
        const Case& yard = c.out_bytes == b32 ? cases[0] : cases[3];
        const Stats t = Summarise(c.seconds);
        const Stats m = Summarise(yard.seconds);
        std::printf("%-6s %-10s %-26s %10.1f %8.3f %10.1f %8.3f\n", cold ? "cold" : "warm",
                    size.c_str(), c.name.c_str(), t.best * 1e6, t.best / m.best, t.median * 1e6,
                    t.median / m.median);
      }
    }
  }
}

void SweepTable(int reps, double budget, bool quick) {
  std::printf(
      "\nsweep: streaming against ordinary stores by size (median of repetitions, x "
      "memcpy;\n< 1 is faster); the module streams from the threshold above\n");
  std::printf("%-10s %9s %9s %9s %9s %9s %9s\n", "KiB", "warm cp", "warm NT", "cold cp", "cold NT",
              "warm NT24", "cold NT24");
  const size_t last = quick ? (size_t{4} << 20) : (size_t{64} << 20);
  for (size_t bytes = size_t{64} << 10; bytes <= last; bytes *= 2) {
    double ratio[2][3] = {};
    for (bool cold : {false, true}) {
      const int pixels = static_cast<int>(bytes / 3);
      std::vector<Case> cases;
      cases.push_back({"memcpy",
                       [bytes](const uint8_t* i, uint8_t* o) { std::memcpy(o, i, bytes); }, bytes,
                       bytes});
      cases.push_back({"copy", [bytes](const uint8_t* i, uint8_t* o) { CopyRow_C(i, o, bytes); },
                       bytes, bytes});
      cases.push_back({"copy NT",
                       [bytes](const uint8_t* i, uint8_t* o) {
                         BestStreamingCopy()(i, o, bytes);
                         StreamingStoreFence();
                       },
                       bytes, bytes});
      cases.push_back({"rgb24",
                       [pixels](const uint8_t* i, uint8_t* o) { BestConvert(false)(i, o, pixels); },
                       static_cast<size_t>(pixels) * 4, bytes});
      cases.push_back({"rgb24 NT",
                       [pixels](const uint8_t* i, uint8_t* o) {
                         BestConvert(true)(i, o, pixels);
                         StreamingStoreFence();
                       },
                       static_cast<size_t>(pixels) * 4, bytes});
      RunInterleaved(cases, cold, reps, budget);
      const double yard = Summarise(cases[0].seconds).median;
      ratio[cold][0] = Summarise(cases[1].seconds).median / yard;
      ratio[cold][1] = Summarise(cases[2].seconds).median / yard;
      // The conversion's own ordinary row is its yardstick.
      ratio[cold][2] = Summarise(cases[4].seconds).median / Summarise(cases[3].seconds).median;
    }
    std::printf("%-10zu %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f\n", bytes / 1024, ratio[0][0],
                ratio[0][1], ratio[1][0], ratio[1][1], ratio[0][2], ratio[1][2]);
  }
  std::printf("(NT24 columns: streaming RGB 24 row against the ordinary one)\n");
}

}  // namespace
}  // namespace zelto

int main(int argc, char** argv) {
  bool quick = false, frames = true, sweep = true;
  int reps = 10;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quick") {
      quick = true;
    } else if (arg.rfind("--reps=", 0) == 0) {
      reps = std::max(1, std::atoi(arg.c_str() + 7));
    } else if (arg == "--frames") {
      sweep = false;
    } else if (arg == "--sweep") {
      frames = false;
    } else {
      std::fprintf(stderr, "usage: %s [--quick] [--reps=N] [--frames|--sweep]\n", argv[0]);
      return 2;
    }
  }
  if (quick) reps = std::min(reps, 2);
  const double budget = quick ? 0.002 : 0.02;
  zelto::PrintMachine();
  if (frames) zelto::FrameTable(reps, budget);
  if (sweep) zelto::SweepTable(reps, budget, quick);
  return 0;
}
