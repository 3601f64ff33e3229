// Several cards in one host: 1, 2 and 4 module card objects in this process,
// each on its own ZeltoSim channel at 1920x1080 60 Hz, paced in real time, with
// 4 buffers each, all armed, and one host thread per card that takes each frame,
// reads its frame number and gives the buffer back at once.
//
// Prints per count: frames delivered and dropped per card (dropped: gaps in the
// frame numbers, so every frame the card or the module lost), and the process's
// CPU time per delivered frame per card, and its growth against one card. The
// CPU time includes ZeltoSim writing each frame into the driver buffer (about a
// memcpy of the frame; a real card does that by DMA), so it is an upper bound of
// the module's.
//
//   build/native-release/bench/many_cards_bench                 # 60 s per count
//   build/native-release/bench/many_cards_bench --seconds=10 --counts=1,4
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "card/zelto_rgb_card.h"
#include "platform/registry.h"
#include "sim_card.h"
#include "zeltosim_pattern.h"

namespace zelto {
namespace {

constexpr int kBuffers = 4;
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class BenchCard : public CZeltoRGBCard {
 public:
  using CZeltoRGBCard::CZeltoRGBCard;
  // 32-bit pixels, copied whole.
  void UseCopy32() {
    Format.CaptureFormat = 2;
    GetCapabilities();
    GetImageBytes();
  }
};

struct CardResult {
  int64_t frames = 0;
  int64_t dropped = 0;  // gaps in the frame numbers
  int64_t unreadable = 0;
};

// One host: arms every buffer, then takes frames until `stop`.
CardResult Host(BenchCard& card, const std::atomic<bool>& stop) {
  CardResult r;
  for (int i = 0; i < kBuffers; ++i) card.ArmBuffer();
  int64_t last = -1;
  while (!stop.load()) {
    bool waited = false;
    ImageRecord* record = card.GetFrame(&waited);
    if (record == nullptr) continue;  // woken to stop
    uint32_t number = 0;
    if (sim::DecodeFrameNumber(static_cast<const uint8_t*>(record->Data), sim::PixelLayout::kBgrx32,
                               &number)) {
      if (last >= 0 && number > last + 1) r.dropped += number - last - 1;
      last = number;
    } else {
      ++r.unreadable;
    }
    ++r.frames;
    card.ReleaseCurrentFrame();
    card.ArmBuffer();
  }
  return r;
}

struct CountResult {
  int count;
  std::vector<CardResult> cards;
  double cpu_seconds;
  double wall_seconds;
};

CountResult RunCount(testing::SimCard& sim, int count, double seconds) {
  sim.Configure(("pacing=realtime;channels=" + std::to_string(std::max(count, 2)) +
                 ";mode=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) + "@60")
                    .c_str());
  std::vector<std::string> keys;
  std::vector<std::unique_ptr<BenchCard>> cards;
  for (int i = 0; i < count; ++i) {
    keys.push_back(testing::UniqueHostKey());
    platform::RegistryKey base;
    base.Create(platform::RegistryRoot::kCurrentUser, keys.back() + "ZELTORGB");
    base.SetDword("InputChannelValue", static_cast<uint32_t>(i));
    cards.push_back(std::make_unique<BenchCard>(keys.back()));
    cards.back()->UseCopy32();
    cards.back()->AllocateBuffers(kBuffers);
  }
  for (auto& card : cards) card->EnableGrab();

  std::atomic<bool> stop{false};
  std::vector<CardResult> results(cards.size());
  const double cpu_start = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> hosts;
  for (size_t i = 0; i < cards.size(); ++i) {
    hosts.emplace_back([&, i] { results[i] = Host(*cards[i], stop); });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));  // the run's length
  stop = true;
  const double cpu = ProcessCpuSeconds() - cpu_start;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Frames keep coming every period, so each host sees `stop` at its next one;
  // the events are signalled too, for a card that stopped delivering.
  for (auto& card : cards) {
    card->SignalReadEvent();
  }
  for (std::thread& t : hosts) t.join();
  for (auto& card : cards) card->DisableGrab();
  cards.clear();
  for (const std::string& key : keys) {
    platform::DeleteRegistryTree(platform::RegistryRoot::kCurrentUser, key);
  }
  return {count, results, cpu, wall};
}

}  // namespace
}  // namespace zelto

int main(int argc, char** argv) {
  double seconds = 60;
  std::vector<int> counts = {1, 2, 4};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--seconds=", 0) == 0) {
      seconds = std::max(1.0, std::atof(arg.c_str() + 10));
    } else if (arg.rfind("--counts=", 0) == 0) {
      counts.clear();
      for (const char* p = arg.c_str() + 9; *p != '\0';) {
        char* end = nullptr;
        const long n = std::strtol(p, &end, 10);
        if (end == p || n < 1 || n > 16) {
          std::fprintf(stderr, "bad --counts\n");
          return 2;
        }
        counts.push_back(static_cast<int>(n));
        p = *end == ',' ? end + 1 : end;
      }
    } else {
      std::fprintf(stderr, "usage: %s [--seconds=S] [--counts=1,2,4]\n", argv[0]);
      return 2;
    }
  }
  zelto::testing::SimCard sim(ZELTOSIM_PATH);  // with a registry of its own
  std::vector<zelto::CountResult> results;
  for (int count : counts) {
    std::printf("%d card(s), %.0f s ...\n", count, seconds);
    std::fflush(stdout);
    results.push_back(zelto::RunCount(sim, count, seconds));
  }
  std::printf(
      "\n%dx%d@60 real time, %d buffers per card; CPU per frame: process CPU time over\n"
      "the frames every card delivered (growth: against the first count)\n",
      zelto::kWidth, zelto::kHeight, zelto::kBuffers);
  std::printf("%-6s %-6s %10s %9s %11s %14s %8s\n", "cards", "card", "frames", "dropped",
              "unreadable", "CPU us/frame", "growth");
  double first = 0;
  for (const zelto::CountResult& r : results) {
    int64_t frames = 0;
    for (const auto& c : r.cards) frames += c.frames;
    const double per_frame = frames > 0 ? r.cpu_seconds / static_cast<double>(frames) * 1e6 : 0;
    if (first == 0) first = per_frame;
    for (size_t i = 0; i < r.cards.size(); ++i) {
      const auto& c = r.cards[i];
      std::printf("%-6d %-6zu %10lld %9lld %11lld", r.count, i, static_cast<long long>(c.frames),
                  static_cast<long long>(c.dropped), static_cast<long long>(c.unreadable));
      if (i + 1 == r.cards.size()) {
        std::printf(" %14.1f %8.3f", per_frame, first > 0 ? per_frame / first : 0.0);
      }
      std::printf("\n");
    }
  }
  return 0;
}
