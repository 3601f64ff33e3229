// The host and the capture thread racing: built and run under ThreadSanitizer
// too (label "concurrency"). Every buffer must end in exactly one list and no
// wait may hang (a watchdog fails the test instead).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "capture_fixture.h"
#include "sim_card.h"

namespace zelto {
namespace {

using testing::SimCard;

constexpr int kBuffers = 6;
constexpr int kMaxOutstanding = 4;  // armed or ready: leaves free ones, so arming never blocks
constexpr int kChaosEvents = 60;    // ten rounds of mode changes and signal loss
constexpr int kMinFrames = 200;     // taken by the host, the last after the chaos ended

class CaptureStressTest : public ::testing::Test {
 protected:
  CaptureStressTest() { sim_.Configure("pacing=free"); }
  SimCard sim_{ZELTOSIM_PATH};
};

TEST_F(CaptureStressTest, HostRacesCaptureThroughModeChangesAndSignalLoss) {
  CaptureCard card(sim_.host_key());
  card.AllocateBuffers(kBuffers);
  card.EnableGrab();
  Watchdog watchdog(card, 60s);

  // Driver calls so far, nearly all from the capture thread: how far it got.
  const auto driver_calls = [this] {
    const ZeltoSimCounters counters = sim_.Counters();
    uint32_t n = 0;
    for (uint32_t calls : counters.calls) n += calls;
    return n;
  };
  std::atomic<bool> chaos_done{false};
  std::thread chaos([&] {
    for (int i = 0; i < kChaosEvents && !watchdog.fired(); ++i) {
      switch (i % 6) {
        case 0: sim_.SetMode(0, "800x600@60"); break;
        case 1: sim_.SetSignal(0, false); break;
        case 2: sim_.SetSignal(0, true); break;
        case 3: sim_.SetMode(0, "1024x768@60"); break;
        case 4: sim_.SetMode(0, "1280x1024@75"); break;
        default: sim_.SetMode(0, "1024x768@60"); break;
      }
      // The next event once the capture thread has met this one: a driver call
      // begun after it.
      const uint32_t seen = driver_calls();
      testing::WaitUntil([&] { return driver_calls() >= seen + 2; });
    }
    sim_.SetSignal(0, true);
    chaos_done = true;
  });

  int outstanding = 0;
  int frames = 0;
  while (!watchdog.fired() && !(chaos_done && frames >= kMinFrames)) {
    while (outstanding < kMaxOutstanding) {
      card.ArmBuffer();
      ++outstanding;
    }
    bool waited = false;
    if (card.GetFrame(&waited) == nullptr) break;
    card.ReleaseCurrentFrame();
    --outstanding;
    ++frames;
  }
  chaos.join();
  watchdog.Stop();
  card.DisableGrab();

  EXPECT_FALSE(watchdog.fired());
  EXPECT_GE(frames, kMinFrames);
  EXPECT_EQ(card.FirstPendingImage(), nullptr);  // DisableGrab committed every armed buffer
  EXPECT_EQ(card.GetBufferCount(), kBuffers);
}

TEST_F(CaptureStressTest, ThousandGrabCyclesKeepEveryBuffer) {
  CaptureCard card(sim_.host_key());
  card.AllocateBuffers(kBuffers);
  for (int i = 0; i < 1000; ++i) {
    card.EnableGrab();
    if (i % 3 == 0) card.ArmBuffer();
    if (i % 7 == 0) card.ArmBuffer();
    card.DisableGrab();
    ASSERT_EQ(card.FirstPendingImage(), nullptr) << i;
    ASSERT_EQ(card.GetBufferCount(), kBuffers) << i;
  }
  // A second EnableGrab without a DisableGrab restarts the grab, not a second thread.
  card.EnableGrab();
  card.EnableGrab();
  card.DisableGrab();
  EXPECT_EQ(card.GetBufferCount(), kBuffers);
}

TEST_F(CaptureStressTest, DestroyingAGrabbingCardStopsItsThread) {
  {
    CaptureCard card(sim_.host_key());
    card.AllocateBuffers(2);
    card.EnableGrab();
    card.ArmBuffer();
  }
  const ZeltoSimCounters counters = sim_.Counters();
  EXPECT_EQ(counters.open_handles, 0u);
  EXPECT_EQ(counters.live_buffers, 0u);
}

}  // namespace
}  // namespace zelto
