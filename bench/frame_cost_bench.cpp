// The module's own CPU cost per frame, apart from the bytes it moves.
//
// ZeltoSim runs in static-frame mode (it renders once; every later fill returns
// at once) and the driver scales its output to 64x64 32-bit pixels (16 KB), so
// the copy is small and what is left is the module's work. The capture thread's
// CPU time is read from its own thread clock (found through the trace it writes
// when it starts); the host thread's from its own.
//
// Each round measures, one after the other:
//   fill alone:   RGBCaptureFillBuffer on this thread, what ZeltoSim costs a fill;
//   copy alone:   CopyWholeFrame of one frame into rotating buffers, the bytes moved;
//   empty pass:   the capture thread's CPU per fill while nothing is armed (each
//                 frame filled and dropped);
//   frames:       frames flowing, the host waiting in GetFrame as a host does, so
//                 a frame the host slept for costs both threads the hand-off (the
//                 capture thread wakes the host, the host sleeps and wakes up).
// With frames flowing the capture thread also fills and drops frames while the
// host has not armed a buffer again; those passes are taken off at the empty
// pass's cost:
//   module per frame = (capture CPU - (fills - frames) x empty pass) / frames
//                      - copy alone - fill alone
// The host's figure is its thread's CPU per frame: GetFrame, ReleaseCurrentFrame
// and ArmBuffer, with its sleeps and wake-ups.
//
// It prints the median and the best of the rounds.
//
//   build/native-release/bench/frame_cost_bench [--rounds=N] [--frames=N]
#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/frame_copy.h"
#include "acquisition/pxl_image_converter.h"
#include "card/zelto_rgb_card.h"
#include "platform/registry.h"
#include "platform/trace.h"
#include "sim_card.h"
#include "stall_guard.h"

namespace zelto {
namespace {

using namespace std::chrono_literals;

constexpr int kSide = 64;
constexpr int kBuffers = 4;  // all but one kept armed
constexpr int64_t kFrameBytes = int64_t{kSide} * kSide * 4;

int64_t CpuNs(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

int64_t WallNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

class BenchCard : public CZeltoRGBCard {
 public:
  using CZeltoRGBCard::CZeltoRGBCard;

  // 32-bit pixels, scaled by the driver to kSide x kSide, copied whole.
  bool UseSmallFrames() {
    Format.CaptureFormat = 2;
    GetCapabilities();
    SetScalingMode(1);
    SetScaling(kSide, kSide);
    return GetImageBytes() == kFrameBytes;
  }

  // Nanoseconds of this thread's CPU per RGBCaptureFillBuffer, capture enabled
  // for the while.
  double FillAloneNs(int calls) {
    Driver().RGBCaptureEnable(Channel.handle(), 1);
    const uint32_t bytes = static_cast<uint32_t>(GetImageBytes());
    int captured = 0;
    const int64_t start = CpuNs(CLOCK_THREAD_CPUTIME_ID);
    for (int i = 0; i < calls; ++i) {
      captured += Driver().RGBCaptureFillBuffer(Channel.handle(), Channel.BufferSelector, bytes) ==
                  kStatusFrameCaptured;
    }
    const int64_t spent = CpuNs(CLOCK_THREAD_CPUTIME_ID) - start;
    Driver().RGBCaptureEnable(Channel.handle(), 0);
    return captured == calls ? static_cast<double>(spent) / calls : -1;
  }

  // The driver's buffer, for the copy alone to read from.
  std::vector<uint8_t> CaptureBufferCopy() {
    std::vector<uint8_t> copy;
    Channel.ReadFrameBuffer(
        [&](const uint8_t* data, size_t size) { copy.assign(data, data + size); });
    return copy;
  }
};

// Nanoseconds of this thread's CPU per CopyWholeFrame of one small frame, into
// as many rotating buffers as the queue has.
double CopyAloneNs(const std::vector<uint8_t>& source, int copies) {
  const int64_t capacity = CTripleList::RoundUpBufferSize(kFrameBytes);
  std::vector<std::unique_ptr<uint8_t[]>> targets;
  for (int i = 0; i < kBuffers; ++i) {
    targets.push_back(std::make_unique<uint8_t[]>(static_cast<size_t>(capacity)));
    std::memset(targets.back().get(), 0, static_cast<size_t>(capacity));
  }
  CPxlImageConverter converter;
  const FrameSource from{source.data(), static_cast<int64_t>(source.size()), kSide, kSide};
  const int64_t start = CpuNs(CLOCK_THREAD_CPUTIME_ID);
  for (int i = 0; i < copies; ++i) {
    const FrameTarget to{targets[i % kBuffers].get(), capacity, kSide, kSide, kFrameBytes};
    CopyWholeFrame(from, to, false, converter);
  }
  const int64_t spent = CpuNs(CLOCK_THREAD_CPUTIME_ID) - start;
  return static_cast<double>(spent) / copies;
}

struct Round {
  double fill_ns = 0;        // ZeltoSim, per fill
  double copy_ns = 0;        // per frame
  double empty_pass_ns = 0;  // capture thread CPU per fill, nothing armed
  double capture_ns = 0;     // capture thread CPU per frame, frames flowing
  double host_ns = 0;        // host thread CPU per frame
  double fills = 0;          // fills per frame
  double waits = 0;          // frames the host slept for in GetFrame, per frame
  double wall_ns = 0;        // per frame
};

class Bench {
 public:
  Bench(testing::SimCard& sim, BenchCard& card, clockid_t capture_clock)
      : sim_(sim), card_(card), capture_clock_(capture_clock), stall_(card, frames_) {}

  bool ok() const { return !stall_.stalled(); }

  // Capture thread CPU per fill while the host arms nothing.
  double EmptyPassNs() {
    Drain();
    const uint32_t fills = sim_.Counters().frames_delivered;
    const int64_t cpu = CpuNs(capture_clock_);
    std::this_thread::sleep_for(50ms);  // the measuring window
    const int64_t spent = CpuNs(capture_clock_) - cpu;
    const uint32_t filled = sim_.Counters().frames_delivered - fills;
    return filled > 0 ? static_cast<double>(spent) / filled : 0;
  }

  // `frames` frames through the queue; fills the flowing part of `r`.
  bool Run(int frames, Round* r) {
    for (; armed_ < kBuffers - 1; ++armed_) card_.ArmBuffer();
    for (int i = 0; i < 16; ++i) Next();  // settle
    waits_ = 0;
    const uint32_t fills = sim_.Counters().frames_delivered;
    const int64_t capture = CpuNs(capture_clock_);
    const int64_t host = CpuNs(CLOCK_THREAD_CPUTIME_ID);
    const int64_t wall = WallNs();
    int got = 0;
    while (got < frames && Next()) ++got;
    if (got < frames) return false;
    const double n = got;
    r->wall_ns = static_cast<double>(WallNs() - wall) / n;
    r->host_ns = static_cast<double>(CpuNs(CLOCK_THREAD_CPUTIME_ID) - host) / n;
    r->capture_ns = static_cast<double>(CpuNs(capture_clock_) - capture) / n;
    r->fills = (sim_.Counters().frames_delivered - fills) / n;
    r->waits = static_cast<double>(waits_) / n;
    return true;
  }

 private:
  // Takes one frame and gives its buffer back armed, as a host loop does.
  bool Next() {
    bool waited = false;
    ImageRecord* record = card_.GetFrame(&waited);
    if (record == nullptr) return false;
    card_.ReleaseCurrentFrame();
    card_.ArmBuffer();
    if (waited) ++waits_;
    ++frames_;
    return true;
  }

  // Takes every armed frame without arming again.
  void Drain() {
    for (; armed_ > 0 && ok(); --armed_) {
      bool waited = false;
      if (card_.GetFrame(&waited) == nullptr) return;
      card_.ReleaseCurrentFrame();
      ++frames_;
    }
  }

  testing::SimCard& sim_;
  BenchCard& card_;
  clockid_t capture_clock_;
  std::atomic<int64_t> frames_{0};
  StallGuard stall_;
  int armed_ = 0;
  int64_t waits_ = 0;
};

// The capture thread's CPU clock, taken on that thread from the trace it writes
// as it starts.
class CaptureClock {
 public:
  CaptureClock() {
    platform::SetTraceHook([this](platform::TraceKind, const std::string& text) {
      if (text != "Capture thread is running") return;
      clockid_t clock{};
      if (pthread_getcpuclockid(pthread_self(), &clock) != 0) return;
      std::lock_guard<std::mutex> lock(mutex_);
      clock_ = clock;
      found_ = true;
      cv_.notify_all();
    });
  }
  ~CaptureClock() { platform::SetTraceHook({}); }

  bool Wait(clockid_t* clock) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cv_.wait_for(lock, 10s, [this] { return found_; })) return false;
    *clock = clock_;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  clockid_t clock_{};
  bool found_ = false;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}
double Best(const std::vector<double>& v) {
  return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

template <typename Get>
void PrintRow(const char* name, const std::vector<Round>& rounds, Get get, const char* unit) {
  std::vector<double> v;
  for (const Round& r : rounds) v.push_back(get(r));
  std::printf("  %-46s %9.2f %9.2f  %s\n", name, Median(v), Best(v), unit);
}

int RunAll(int round_count, int frames) {
  testing::SimCard sim(ZELTOSIM_PATH);
  sim.Configure("pacing=static;mode=640x480@60");
  const std::string host_key = testing::UniqueHostKey();
  std::vector<Round> rounds;
  bool ok = true;
  {
    BenchCard card(host_key);
    if (!card.UseSmallFrames()) {
      std::fprintf(stderr, "the image is not %dx%d 32-bit\n", kSide, kSide);
      return 1;
    }
    card.AllocateBuffers(kBuffers);
    const std::vector<uint8_t> source = card.CaptureBufferCopy();
    std::vector<double> fills;
    for (int i = 0; i < round_count; ++i) {
      fills.push_back(card.FillAloneNs(frames * 4));
      if (fills.back() < 0) {
        std::fprintf(stderr, "a fill alone did not capture a frame\n");
        return 1;
      }
    }

    clockid_t capture_clock{};
    {
      CaptureClock found;
      card.EnableGrab();
      if (!found.Wait(&capture_clock)) {
        std::fprintf(stderr, "the capture thread did not start\n");
        card.DisableGrab();
        return 1;
      }
    }
    {
      Bench bench(sim, card, capture_clock);
      for (int i = 0; i < round_count && bench.ok(); ++i) {
        Round r;
        r.fill_ns = fills[static_cast<size_t>(i)];
        r.copy_ns = CopyAloneNs(source, frames * 4);
        r.empty_pass_ns = bench.EmptyPassNs();
        if (!bench.Run(frames, &r)) break;
        rounds.push_back(r);
      }
      ok = bench.ok();
    }
    card.DisableGrab();
  }
  platform::DeleteRegistryTree(platform::RegistryRoot::kCurrentUser, host_key);
  if (!ok || rounds.empty()) {
    std::fprintf(stderr, "frames stopped flowing\n");
    return 1;
  }

  // The capture thread's own per frame: the empty passes between two frames off
  // at their own cost, then the copy and the frame's fill.
  const auto module = [](const Round& r) {
    return (r.capture_ns - (r.fills - 1) * r.empty_pass_ns - r.copy_ns - r.fill_ns) / 1000;
  };
  std::printf(
      "\n%dx%d 32-bit frames (%lld bytes), ZeltoSim static frame, %d buffers, %d armed;\n"
      "%d rounds of %d frames; CPU time, median and best of the rounds\n",
      kSide, kSide, static_cast<long long>(kFrameBytes), kBuffers, kBuffers - 1, round_count,
      frames);
  std::printf("  %-46s %9s %9s\n", "", "median", "best");
  PrintRow(
      "ZeltoSim fill alone", rounds, [](const Round& r) { return r.fill_ns / 1000; }, "us");
  PrintRow(
      "copy alone (CopyWholeFrame)", rounds, [](const Round& r) { return r.copy_ns / 1000; }, "us");
  PrintRow(
      "capture thread, empty pass (nothing armed)", rounds,
      [](const Round& r) { return r.empty_pass_ns / 1000; }, "us/fill");
  PrintRow(
      "  the module's part (minus the fill)", rounds,
      [](const Round& r) { return (r.empty_pass_ns - r.fill_ns) / 1000; }, "us/fill");
  PrintRow(
      "capture thread CPU, frames flowing", rounds,
      [](const Round& r) { return r.capture_ns / 1000; }, "us/frame");
  PrintRow(
      "  fills per frame", rounds, [](const Round& r) { return r.fills; }, "");
  PrintRow(
      "  frames the host slept for, per frame", rounds, [](const Round& r) { return r.waits; }, "");
  PrintRow("(a) capture thread, the module's own", rounds, module, "us/frame");
  PrintRow(
      "(b) host thread CPU (GetFrame, Release, Arm)", rounds,
      [](const Round& r) { return r.host_ns / 1000; }, "us/frame");
  PrintRow(
      "(a) + (b): the module's own cost", rounds,
      [&](const Round& r) { return module(r) + r.host_ns / 1000; }, "us/frame");
  PrintRow(
      "wall time", rounds, [](const Round& r) { return r.wall_ns / 1000; }, "us/frame");
  return 0;
}

}  // namespace
}  // namespace zelto

int main(int argc, char** argv) {
  int rounds = 7;
  int frames = 20000;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--rounds=", 0) == 0) {
      rounds = std::max(1, std::atoi(arg.c_str() + 9));
    } else if (arg.rfind("--frames=", 0) == 0) {
      frames = std::max(100, std::atoi(arg.c_str() + 9));
    } else {
      std::fprintf(stderr, "usage: %s [--rounds=N] [--frames=N]\n", argv[0]);
      return 2;
    }
  }
  return zelto::RunAll(rounds, frames);
}
