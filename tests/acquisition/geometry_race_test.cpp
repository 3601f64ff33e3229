// Host geometry calls against the capture thread's mode changes: while the host
// changes the scaling (and is refused a region) in a loop and ZeltoSim switches
// modes under the capture thread, every delivered frame shows one geometry, never
// bytes of one layout read as another. Run under TSan for the races.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <thread>

#include "base/text_exception.h"
#include "capture_fixture.h"
#include "sim_card.h"
#include "test_support.h"
#include "zeltosim_pattern.h"

namespace zelto {
namespace {

using sim::PixelLayout;
using testing::SimCard;
using testing::WaitUntil;

struct Size {
  uint32_t w;
  uint32_t h;
};

constexpr Size kModes[] = {{1024, 768}, {800, 600}};
constexpr const char* kModeNames[] = {"1024x768@60", "800x600@60"};
constexpr Size kOutputs[] = {{1024, 768}, {800, 600}, {512, 384}, {640, 480}};

// True when the 1024 x 768 32-bit image is the whole `source` scaled to `output`
// in its top-left corner with zeros around it (sampled; frame code skipped).
bool ShowsGeometry(const uint8_t* data, Size source, Size output, uint32_t frame) {
  for (uint32_t y = 1; y < 768; y += 7) {
    for (uint32_t x = 0; x < 1024; x += 5) {
      const uint8_t* p = data + (static_cast<size_t>(y) * 1024 + x) * 4;
      uint8_t want[4] = {};
      if (x < output.w && y < output.h) {
        if (y == output.h - 1 && x < sim::kFrameCodePixels) continue;
        sim::StorePixel(want, PixelLayout::kBgrx32,
                        sim::PatternColour(x * source.w / output.w, y * source.h / output.h, frame,
                                           source.w, source.h));
      }
      if (std::memcmp(want, p, 4) != 0) return false;
    }
  }
  return true;
}

bool ShowsOneGeometry(const uint8_t* data) {
  uint32_t frame = 0;
  if (!sim::DecodeFrameNumber(data, PixelLayout::kBgrx32, &frame)) return false;
  for (Size source : kModes) {
    for (Size output : kOutputs) {
      if (ShowsGeometry(data, source, output, frame)) return true;
    }
  }
  return false;
}

TEST(GeometryRaceTest, HostGeometryAgainstModeChangesKeepsEveryFrameWhole) {
  SimCard sim(ZELTOSIM_PATH);
  sim.Configure("pacing=free");
  CaptureCard card(sim.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  card.AllocateBuffers(4);
  card.EnableGrab();
  Watchdog watchdog(card, 60s);
  for (int i = 0; i < 3; ++i) card.ArmBuffer();

  // Frames the host has checked: each change waits for one more, so the checks
  // cover every step of both loops.
  std::atomic<int> checked{0};
  std::atomic<bool> done{false};
  std::atomic<int> refused{0};
  std::thread host([&] {
    for (int i = 0; i < 40 && !watchdog.fired(); ++i) {
      const Size s = kOutputs[i % 4];
      card.SetScaling(static_cast<int32_t>(s.w), static_cast<int32_t>(s.h));
      try {
        card.SetROI(320, 240, 8, 8);
      } catch (const TextException&) {
        ++refused;
      }
      int32_t w = 0, h = 0, x = 0, y = 0;
      card.GetRoi(&w, &h, &x, &y);
      card.GetScaling(&w, &h);
      const int seen = checked.load();
      EXPECT_TRUE(WaitUntil([&] { return checked.load() > seen || watchdog.fired(); }));
    }
  });
  std::thread modes([&] {
    for (int i = 1; i <= 12 && !watchdog.fired(); ++i) {
      sim.SetMode(0, kModeNames[i % 2]);
      const int seen = checked.load();
      EXPECT_TRUE(WaitUntil([&] { return checked.load() > seen + 2 || watchdog.fired(); }));
    }
  });
  std::thread stop([&] {
    host.join();
    modes.join();
    done = true;
  });

  int frames = 0;
  int torn = 0;
  while (!watchdog.fired()) {
    bool waited = false;
    ImageRecord* record = card.GetFrame(&waited);
    if (record == nullptr) break;
    ++frames;
    if (!ShowsOneGeometry(static_cast<const uint8_t*>(record->Data))) ++torn;
    ++checked;
    card.ReleaseCurrentFrame();
    if (done) break;
    card.ArmBuffer();
  }
  stop.join();
  watchdog.Stop();
  card.DisableGrab();
  EXPECT_FALSE(watchdog.fired());
  EXPECT_EQ(torn, 0) << "of " << frames << " frames";
  EXPECT_GE(frames, 40);
  EXPECT_EQ(refused, 40);
}

// A host thread that changes the geometry (which re-creates the buffers while no
// grab runs) against another that starts and stops grabs: both take grab control
// and the driver lock, always in the same order, so neither waits on the other
// for ever. ThreadSanitizer reports an inverted order even when no run hangs.
TEST(GeometryRaceTest, GeometryAgainstGrabStartAndStopNeverDeadlocks) {
  SimCard sim(ZELTOSIM_PATH);
  sim.Configure("pacing=free");
  CaptureCard card(sim.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  card.AllocateBuffers(3);
  card.SetScalingMode(1);

  std::atomic<int> grabs{0};
  std::thread grabber([&] {
    for (int i = 0; i < 20; ++i) {
      card.EnableGrab();
      card.DisableGrab();
      ++grabs;
    }
  });
  int changes = 0;
  do {
    const Size s = kOutputs[changes++ % 4];
    card.SetScaling(static_cast<int32_t>(s.w), static_cast<int32_t>(s.h));
    try {
      card.SetROI(320, 240, 8, 8);  // refused while a grab runs
      card.SetScalingMode(1);
    } catch (const TextException&) {
    }
  } while (grabs.load() < 20);
  grabber.join();
  // Every re-creation kept the host's buffer count.
  EXPECT_EQ(card.GetBufferCount(), 3);
}

}  // namespace
}  // namespace zelto
