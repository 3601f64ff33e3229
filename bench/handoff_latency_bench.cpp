// Hand-off latency of the frame queue: from just before CommitFrame to the
// return of the GetFrame that was waiting for it, against a bare mutex and
// condition variable ping-pong between two threads.
//
// The queue has one buffer, so it is a ping-pong too: the producer arms it
// (waiting until the consumer released the last frame), pauses so that the
// consumer is asleep in GetFrame, writes the time into the frame and commits;
// the consumer returns from GetFrame, takes the time and releases the frame.
// The bare ping-pong does the same with one flag each way. Only hand-offs where
// the consumer really waited count.
//
// Rounds alternate between the two so that the load of a shared machine hits
// both alike; it prints p50 and p99 of each round, then the medians and the
// best over the rounds and the ratios queue / ping-pong.
//
//   build/native-release/bench/handoff_latency_bench [--rounds=N] [--samples=N] [--gap_us=N]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/triple_list.h"

namespace zelto {
namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// Busy for `ns`: long enough for the other thread to be asleep in its wait.
void Pause(int64_t ns) {
  const int64_t end = NowNs() + ns;
  while (NowNs() < end) {
  }
}

// The queue alone, buffers of a fixed size.
class BenchQueue : public CTripleList {
 public:
  explicit BenchQueue(int32_t image_bytes) { ImageBytes = image_bytes; }
  void AllocateBuffers(int32_t count) override { AddFreeBuffers(count, ImageBytes); }
  void ReallocateBuffers() override {}
  bool ArmBuffer() override {
    bool waited = false;
    return TakeFreeBuffer(&waited) != nullptr && waited;
  }
};

struct Options {
  int rounds = 7;
  int samples = 20000;
  int64_t gap_ns = 30'000;
};

struct Result {
  std::vector<int64_t> latencies;  // ns, hand-offs where the consumer waited
  int total = 0;
};

Result QueueRound(const Options& o) {
  BenchQueue queue(64);
  queue.AllocateBuffers(1);
  queue.EnableGrab();
  Result result;
  result.latencies.reserve(static_cast<size_t>(o.samples));
  std::thread producer([&] {
    for (int i = 0; i < o.samples; ++i) {
      queue.ArmBuffer();
      CZeltoRGBImage* image = queue.FirstPendingImage();
      Pause(o.gap_ns);
      const int64_t stamp = NowNs();
      std::memcpy(image->data(), &stamp, sizeof stamp);
      queue.CommitFrame();
    }
  });
  for (int i = 0; i < o.samples; ++i) {
    bool waited = false;
    ImageRecord* record = queue.GetFrame(&waited);
    const int64_t now = NowNs();
    int64_t stamp = 0;
    std::memcpy(&stamp, record->Data, sizeof stamp);
    if (waited) result.latencies.push_back(now - stamp);
    queue.ReleaseCurrentFrame();
  }
  producer.join();
  queue.DisableGrab();
  result.total = o.samples;
  return result;
}

Result PingPongRound(const Options& o) {
  std::mutex mutex;
  std::condition_variable ping_cv;
  std::condition_variable pong_cv;
  bool ping = false;
  bool pong = true;
  int64_t stamp = 0;
  Result result;
  result.latencies.reserve(static_cast<size_t>(o.samples));
  std::thread producer([&] {
    for (int i = 0; i < o.samples; ++i) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        pong_cv.wait(lock, [&] { return pong; });
        pong = false;
      }
      Pause(o.gap_ns);
      const int64_t now = NowNs();
      {
        std::lock_guard<std::mutex> lock(mutex);
        stamp = now;
        ping = true;
      }
      ping_cv.notify_one();
    }
  });
  for (int i = 0; i < o.samples; ++i) {
    bool waited;
    int64_t sent;
    {
      std::unique_lock<std::mutex> lock(mutex);
      waited = !ping;
      ping_cv.wait(lock, [&] { return ping; });
      ping = false;
      sent = stamp;
    }
    const int64_t now = NowNs();
    if (waited) result.latencies.push_back(now - sent);
    {
      std::lock_guard<std::mutex> lock(mutex);
      pong = true;
    }
    pong_cv.notify_one();
  }
  producer.join();
  result.total = o.samples;
  return result;
}

struct Percentiles {
  double p50 = 0;
  double p99 = 0;
};

Percentiles Summarise(std::vector<int64_t> v) {
  if (v.empty()) return {};
  const auto at = [&v](double q) {
    const size_t k = std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
    return static_cast<double>(v[k]);
  };
  return {at(0.50), at(0.99)};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double Min(const std::vector<double>& v) {
  return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

bool ParseFlag(const char* arg, const char* name, int64_t* value) {
  const size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0 || arg[n] != '=') return false;
  *value = std::strtoll(arg + n + 1, nullptr, 10);
  return true;
}

}  // namespace
}  // namespace zelto

int main(int argc, char** argv) {
  using namespace zelto;
  Options o;
  for (int i = 1; i < argc; ++i) {
    int64_t v = 0;
    if (ParseFlag(argv[i], "--rounds", &v) && v > 0) {
      o.rounds = static_cast<int>(v);
    } else if (ParseFlag(argv[i], "--samples", &v) && v > 0) {
      o.samples = static_cast<int>(v);
    } else if (ParseFlag(argv[i], "--gap_us", &v) && v >= 0) {
      o.gap_ns = v * 1000;
    } else {
      std::fprintf(stderr, "usage: %s [--rounds=N] [--samples=N] [--gap_us=N]\n", argv[0]);
      return 1;
    }
  }
  std::printf("%d rounds of %d hand-offs, %lld us pause before each; latencies in ns\n", o.rounds,
              o.samples, static_cast<long long>(o.gap_ns / 1000));
  std::printf("%-6s %-10s %10s %10s %8s\n", "round", "what", "p50", "p99", "waited");
  std::vector<double> q50, q99, b50, b99, r50, r99;
  for (int round = 0; round < o.rounds; ++round) {
    // Alternate which goes first, so neither always meets the other's leftovers.
    const bool queue_first = round % 2 == 0;
    Result a = queue_first ? QueueRound(o) : PingPongRound(o);
    Result b = queue_first ? PingPongRound(o) : QueueRound(o);
    const Result& queue = queue_first ? a : b;
    const Result& bare = queue_first ? b : a;
    const Percentiles pq = Summarise(queue.latencies);
    const Percentiles pb = Summarise(bare.latencies);
    std::printf("%-6d %-10s %10.0f %10.0f %7.1f%%\n", round, "queue", pq.p50, pq.p99,
                100.0 * static_cast<double>(queue.latencies.size()) / queue.total);
    std::printf("%-6d %-10s %10.0f %10.0f %7.1f%%\n", round, "ping-pong", pb.p50, pb.p99,
                100.0 * static_cast<double>(bare.latencies.size()) / bare.total);
    std::fflush(stdout);
    q50.push_back(pq.p50);
    q99.push_back(pq.p99);
    b50.push_back(pb.p50);
    b99.push_back(pb.p99);
    if (pb.p50 > 0) r50.push_back(pq.p50 / pb.p50);
    if (pb.p99 > 0) r99.push_back(pq.p99 / pb.p99);
  }
  std::printf(
      "\nHand-off latency, CommitFrame -> waiting GetFrame returns, against a bare\n"
      "mutex + condition variable ping-pong (ns; x > 1 is slower):\n");
  std::printf("%-8s %12s %12s %10s %16s\n", "", "queue", "ping-pong", "x", "x (per round)");
  std::printf("%-8s %12.0f %12.0f %10.3f %16.3f   median of rounds\n", "p50", Median(q50),
              Median(b50), Median(q50) / Median(b50), Median(r50));
  std::printf("%-8s %12.0f %12.0f %10.3f %16.3f   median of rounds\n", "p99", Median(q99),
              Median(b99), Median(q99) / Median(b99), Median(r99));
  std::printf("%-8s %12.0f %12.0f %10.3f %16s   best round\n", "p50", Min(q50), Min(b50),
              Min(q50) / Min(b50), "");
  std::printf("%-8s %12.0f %12.0f %10.3f %16s   best round\n", "p99", Min(q99), Min(b99),
              Min(q99) / Min(b99), "");
  return 0;
}
