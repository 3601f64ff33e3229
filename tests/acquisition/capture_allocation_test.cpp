// The capture path allocates nothing per frame: every allocation in the process
// is counted while a thousand frames flow.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "capture_fixture.h"
#include "sim_card.h"

// The replacements below pair malloc with free themselves; GCC cannot see that
// through the inlined gtest factories at -O2.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

}  // namespace

void* operator new(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace zelto {
namespace {

// Stands in for the driver's fill once the card is up: a frame is "in the
// buffer" at once, so the loop measures the module alone (ZeltoSim keeps a call
// log, which allocates as it grows).
uint32_t ZELTO_DRIVER_CALL InstantFrame(HRGBCAPTURE, uint32_t, uint32_t) {
  return kStatusFrameCaptured;
}

TEST(CaptureAllocationTest, AThousandFramesAllocateNothing) {
  testing::SimCard sim(ZELTOSIM_PATH);
  for (sim::PixelLayout layout : {sim::PixelLayout::kRgb555, sim::PixelLayout::kBgr24}) {
    CaptureCard card(sim.host_key());
    card.UseFormat(layout);
    card.AllocateBuffers(4);
    card.Channel.DriverForTesting().RGBCaptureFillBuffer = &InstantFrame;
    card.EnableGrab();
    Watchdog watchdog(card, 60s);
    for (int i = 0; i < 3; ++i) card.ArmBuffer();
    int frames = 0;
    while (frames < 1100 && !watchdog.fired()) {
      if (frames == 100) {
        g_allocations = 0;
        g_counting = true;
      }
      bool waited = false;
      if (card.GetFrame(&waited) == nullptr) break;
      card.ReleaseCurrentFrame();
      card.ArmBuffer();
      ++frames;
    }
    g_counting = false;
    watchdog.Stop();
    card.DisableGrab();
    EXPECT_EQ(frames, 1100);
    EXPECT_EQ(g_allocations.load(), 0) << static_cast<int>(layout);
  }
}

}  // namespace
}  // namespace zelto
