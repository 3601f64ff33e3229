// The capture thread against ZeltoSim: frames reach the host's buffers complete,
// in order and stamped, in every pixel format, through crops and mode changes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "capture_fixture.h"
#include "card/zelto_rgb_card.h"
#include "geometry/startup_resolution.h"
#include "platform/registry.h"
#include "sim_card.h"
#include "zeltosim_pattern.h"

namespace zelto {
namespace {

using namespace std::chrono_literals;
using sim::PixelLayout;
using testing::SimCard;
using testing::TraceCapture;

struct Frame {
  uint32_t first_line = 0;
  uint32_t last_line = 0;
  bool first_ok = false;
  bool last_ok = false;
  int32_t seconds = 0;
};

int BytesOf(PixelLayout layout) { return sim::BytesPerPixel(layout); }

class CaptureTest : public ::testing::Test {
 protected:
  CaptureTest() { sim_.Configure("pacing=free"); }

  // Grabs `count` frames with `buffers` buffers, keeping all but one armed.
  std::vector<Frame> Grab(CaptureCard& card, int count, PixelLayout layout, int buffers = 4,
                          int last_line = -1) {
    int32_t w = 0, h = 0, x = 0, y = 0;
    card.GetImageGeometry(&w, &h, &x, &y);
    if (last_line < 0) last_line = h - 1;
    const size_t line_bytes = static_cast<size_t>(w) * BytesOf(layout);
    std::vector<Frame> frames;
    card.AllocateBuffers(buffers);
    card.EnableGrab();
    Watchdog watchdog(card, 20s);
    for (int i = 0; i < buffers - 1; ++i) card.ArmBuffer();
    while (static_cast<int>(frames.size()) < count && !watchdog.fired()) {
      bool waited = false;
      ImageRecord* record = card.GetFrame(&waited);
      if (record == nullptr) break;
      const auto* data = static_cast<const uint8_t*>(record->Data);
      Frame f;
      f.first_ok = sim::DecodeFrameNumber(data, layout, &f.first_line);
      f.last_ok = sim::DecodeFrameNumber(data + line_bytes * last_line, layout, &f.last_line);
      f.seconds = record->Seconds;
      frames.push_back(f);
      card.ReleaseCurrentFrame();
      card.ArmBuffer();
    }
    watchdog.Stop();
    card.DisableGrab();
    EXPECT_FALSE(watchdog.fired()) << "frames stopped flowing";
    return frames;
  }

  // Grabs with the buffers allocated until a frame of an 800x600 mode arrives
  // cropped into the 1024x768 32-bit image (line 599, the small mode's last line,
  // then carries the frame code; in a full frame it is a bar line). The first
  // frames may still be of the old mode. Empty when none came.
  std::vector<uint8_t> GrabSmallModeFrame(CaptureCard& card) {
    card.EnableGrab();
    Watchdog watchdog(card, 20s);
    card.ArmBuffer();
    std::vector<uint8_t> image;
    for (int tries = 0; tries < 50 && image.empty() && !watchdog.fired(); ++tries) {
      bool waited = false;
      ImageRecord* record = card.GetFrame(&waited);
      if (record == nullptr) break;
      const auto* data = static_cast<const uint8_t*>(record->Data);
      uint32_t n = 0;
      if (sim::DecodeFrameNumber(data + 599 * 1024 * 4, PixelLayout::kBgrx32, &n)) {
        image.assign(data, data + 1024 * 768 * 4);
      }
      card.ReleaseCurrentFrame();
      card.ArmBuffer();
    }
    watchdog.Stop();
    card.DisableGrab();
    return image;
  }

  SimCard sim_{ZELTOSIM_PATH};
  TraceCapture traces_;
};

void ExpectCompleteAndInOrder(const std::vector<Frame>& frames, size_t count) {
  ASSERT_EQ(frames.size(), count);
  uint32_t previous = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(frames[i].first_ok);
    ASSERT_TRUE(frames[i].last_ok);
    EXPECT_EQ(frames[i].first_line, frames[i].last_line);  // not torn
    if (i > 0) {
      EXPECT_GT(frames[i].first_line, previous);
    }
    previous = frames[i].first_line;
    EXPECT_GT(frames[i].seconds, 1'500'000'000);
  }
}

TEST_F(CaptureTest, FramesArriveCompleteAndInOrderInEveryFormat) {
  for (PixelLayout layout :
       {PixelLayout::kRgb555, PixelLayout::kRgb565, PixelLayout::kBgrx32, PixelLayout::kBgr24}) {
    SCOPED_TRACE(static_cast<int>(layout));
    CaptureCard card(sim_.host_key());
    card.UseFormat(layout);
    EXPECT_EQ(card.GetImageBytes(), 1024 * 768 * BytesOf(layout));
    ExpectCompleteAndInOrder(Grab(card, 30, layout), 30);
  }
}

TEST_F(CaptureTest, NothingArmedDropsEveryFrame) {
  CaptureCard card(sim_.host_key());
  card.AllocateBuffers(3);
  card.EnableGrab();
  testing::WaitUntil([&] { return sim_.Counters().frames_delivered >= 10; });
  card.DisableGrab();
  EXPECT_GE(sim_.Counters().frames_delivered, 10u);
  EXPECT_EQ(card.GetReadyCount(), 0);
  EXPECT_EQ(card.GetBufferCount(), 3);
}

TEST_F(CaptureTest, DisableGrabCommitsEveryArmedBuffer) {
  CaptureCard card(sim_.host_key());
  sim_.SetSignal(0, false);  // the driver delivers nothing
  card.AllocateBuffers(4);
  card.EnableGrab();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(card.ArmBuffer());
  card.DisableGrab();
  EXPECT_EQ(card.GetReadyCount(), 3);
  for (int i = 0; i < 3; ++i) {
    bool waited = true;
    ImageRecord* record = card.GetFrame(&waited);
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(waited);
    EXPECT_GT(record->Seconds, 1'500'000'000);  // stamped when committed
    card.ReleaseCurrentFrame();
  }
  EXPECT_EQ(card.GetBufferCount(), 4);
}

TEST_F(CaptureTest, SmallerModeIsPaddedWithZerosAndLargerModeIsCut) {
  CaptureCard card(sim_.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  sim_.SetMode(0, "800x600@60");
  card.AllocateBuffers(2);
  const std::vector<uint8_t> image = GrabSmallModeFrame(card);
  ASSERT_FALSE(image.empty()) << "no cropped frame";
  uint32_t first = 0;
  EXPECT_TRUE(sim::DecodeFrameNumber(image.data(), PixelLayout::kBgrx32, &first));
  const auto pixel = [&image](int x, int y) {
    const uint8_t* p = &image[(static_cast<size_t>(y) * 1024 + x) * 4];
    return p[0] | p[1] << 8 | p[2] << 16;
  };
  EXPECT_EQ(pixel(900, 10), 0);   // right of the small mode
  EXPECT_EQ(pixel(10, 700), 0);   // below it
  EXPECT_NE(pixel(100, 300), 0);  // inside: a bar
  EXPECT_TRUE(traces_.HasTrace("Video mode: 800x600 60Hz"));

  // A larger mode is cut to the image: its first line still carries the code.
  sim_.SetMode(0, "1280x1024@60");
  const auto frames = Grab(card, 10, PixelLayout::kBgrx32, 3, 0);
  ASSERT_EQ(frames.size(), 10u);
  EXPECT_TRUE(frames.back().first_ok);
}

// Guards against padding that only relies on the buffers being zero from their
// allocation: here both already held whole frames of bars.
TEST_F(CaptureTest, PaddingClearsWhatTheBuffersHeldBefore) {
  CaptureCard card(sim_.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  ASSERT_EQ(Grab(card, 4, PixelLayout::kBgrx32, 2).size(), 4u);
  sim_.SetMode(0, "800x600@60");
  const std::vector<uint8_t> image = GrabSmallModeFrame(card);
  ASSERT_FALSE(image.empty()) << "no cropped frame";
  size_t dirty_right = 0;
  size_t dirty_below = 0;
  for (size_t y = 0; y < 768; ++y) {
    for (size_t x = y < 600 ? 800 : 0; x < 1024; ++x) {
      const uint8_t* p = &image[(y * 1024 + x) * 4];
      if ((p[0] | p[1] | p[2] | p[3]) != 0) ++(y < 600 ? dirty_right : dirty_below);
    }
  }
  EXPECT_EQ(dirty_right, 0u);
  EXPECT_EQ(dirty_below, 0u);
}

TEST_F(CaptureTest, ModeChangeReplacesTheDriverBufferOnlyWhenTheSizeChanges) {
  CaptureCard card(sim_.host_key());
  sim_.ClearCallLog();
  sim_.SetMode(0, "1024x768@75");
  Grab(card, 5, PixelLayout::kRgb555);
  const auto allocations = [this] {
    int n = 0;
    for (const auto& c : sim_.CallLog()) {
      if (c.entry == static_cast<uint32_t>(DriverEntry::kRGBCaptureAllocateBuffer)) ++n;
    }
    return n;
  };
  // AllocateBuffers asks for one buffer; the same-size mode change asks for none.
  EXPECT_EQ(allocations(), 1);
  EXPECT_TRUE(traces_.HasTrace("RGBCaptureFillBuffer(2) returned: RGBNOTIFY_MODE_CHANGE"));

  sim_.ClearCallLog();
  sim_.SetMode(0, "800x600@60");
  Grab(card, 5, PixelLayout::kRgb555);
  bool replaced = false;
  for (const auto& c : sim_.CallLog()) {
    if (c.entry == static_cast<uint32_t>(DriverEntry::kRGBCaptureAllocateBuffer) &&
        c.arg == 800u * 600u * 2u) {
      replaced = true;
    }
  }
  EXPECT_TRUE(replaced);
  EXPECT_EQ(sim_.Counters().live_buffers, 1u);  // the old one was freed first
}

TEST_F(CaptureTest, CardOpenedWithoutSignalWaitsThenNegotiatesAndDelivers) {
  sim_.SetSignal(0, false);
  {
    platform::RegistryKey key;
    key.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key() + "\\0");
    key.SetDword("LockChannelMode", 1);
  }
  CaptureCard card(sim_.host_key());
  ASSERT_FALSE(card.SignalPresent);
  card.AllocateBuffers(3);
  card.EnableGrab();
  Watchdog watchdog(card, 20s);
  card.ArmBuffer();
  // The capture thread polls the absent signal; a few polls after the arm and
  // still nothing is ready.
  const auto polls = [this] {
    return sim_.Counters().calls[static_cast<int>(DriverEntry::kRGBCaptureGetParameters)];
  };
  const uint32_t armed_at = polls();
  EXPECT_TRUE(testing::WaitUntil([&] { return polls() >= armed_at + 3; }));
  EXPECT_EQ(card.GetReadyCount(), 0);
  sim_.SetSignal(0, true);
  bool waited = false;
  ImageRecord* record = card.GetFrame(&waited);
  watchdog.Stop();
  ASSERT_NE(record, nullptr);
  uint32_t n = 0;
  // The buffers were sized before the mode was known; the first line fits.
  EXPECT_TRUE(
      sim::DecodeFrameNumber(static_cast<uint8_t*>(record->Data), PixelLayout::kRgb555, &n));
  card.DisableGrab();
  EXPECT_TRUE(card.SignalPresent);
  EXPECT_TRUE(traces_.HasTrace("SignalStatus: received"));
  EXPECT_TRUE(traces_.HasTrace("CZeltoRGBCard::GetCapabilities()"));
}

TEST_F(CaptureTest, FixedRateModeDeliversThroughWorkers) {
  CaptureCard card(sim_.host_key());
  card.SetFixedRateMode(1);
  card.SetFramePacing(100);  // clamped to the 60 Hz source
  EXPECT_EQ(card.Pacer.FramePeriod, 16);
  ExpectCompleteAndInOrder(Grab(card, 5, PixelLayout::kRgb555), 5);
  int waits = 0;
  for (const auto& t : traces_.Traces()) {
    if (t == "CZeltoRGBCard::DisableGrab() - Wait end thread") ++waits;
  }
  EXPECT_EQ(waits, 2);
}

TEST_F(CaptureTest, DriverErrorsAreTracedAndCaptureGoesOn) {
  CaptureCard card(sim_.host_key());
  sim_.InjectError("RGBCaptureFillBuffer", 0x1002D, 2);
  ExpectCompleteAndInOrder(Grab(card, 5, PixelLayout::kRgb555), 5);
  EXPECT_TRUE(traces_.HasTrace("RGBCaptureFillBuffer(1) returned: RGBERROR_CAPTURE_DISABLED"));
}

// An unplugged card fails every fill at once: the thread used to retry at once,
// millions of calls a second. It now waits out a frame period (16 ms of the
// 60 Hz mode) after such a fill. The bound is loose on purpose: a slow machine
// only makes the count smaller.
TEST_F(CaptureTest, FillThatFailsAtOnceIsRetriedAboutOnceAFramePeriod) {
  CaptureCard card(sim_.host_key());
  card.AllocateBuffers(2);
  sim_.InjectError("RGBCaptureFillBuffer", 0x10005, 0);  // RGBERROR_INVALID_HRGBCAPTURE
  const auto fills = [this] {
    return sim_.Counters().calls[static_cast<int>(DriverEntry::kRGBCaptureFillBuffer)];
  };
  card.EnableGrab();
  ASSERT_TRUE(testing::WaitUntil([&] { return fills() >= 1; }));
  const uint32_t first = fills();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(testing::WaitUntil([&] { return fills() >= first + 10; }));
  const uint32_t calls = fills() - first;
  const auto periods = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count() /
                       16;
  card.DisableGrab();
  EXPECT_LE(calls, 2 * periods + 4);
}

// Two host threads starting and stopping the grab at once raced on the thread
// handle and ended in std::terminate. Grab control is serialised.
TEST_F(CaptureTest, GrabControlFromTwoThreadsAtOnce) {
  CaptureCard card(sim_.host_key());
  card.AllocateBuffers(3);
  const auto toggle = [&card] {
    for (int i = 0; i < 40; ++i) {
      card.EnableGrab();
      card.DisableGrab();
    }
  };
  std::thread other(toggle);
  toggle();
  other.join();
  ExpectCompleteAndInOrder(Grab(card, 5, PixelLayout::kRgb555), 5);
}

// AllocateBuffers and ReallocateBuffers while grabbing used to replace the driver
// buffer between the fill and the copy: a third of the frames came out all zero.
// Every frame delivered now holds what the driver filled.
TEST_F(CaptureTest, ReallocatingWhileGrabbingNeverDeliversABlankFrame) {
  CaptureCard card(sim_.host_key());
  const size_t bytes = static_cast<size_t>(card.GetImageBytes());
  card.AllocateBuffers(4);
  card.EnableGrab();
  Watchdog watchdog(card, 30s);
  for (int i = 0; i < 3; ++i) card.ArmBuffer();
  uint32_t previous = 0;
  int blank = 0;
  for (int i = 0; i < 60 && !watchdog.fired(); ++i) {
    bool waited = false;
    ImageRecord* record = card.GetFrame(&waited);
    ASSERT_NE(record, nullptr);
    const auto* data = static_cast<const uint8_t*>(record->Data);
    if (std::all_of(data, data + bytes, [](uint8_t b) { return b == 0; })) {
      ++blank;
    } else {
      uint32_t n = 0;
      ASSERT_TRUE(sim::DecodeFrameNumber(data, PixelLayout::kRgb555, &n));
      if (i > 0) {
        EXPECT_GT(n, previous);
      }
      previous = n;
    }
    card.ReleaseCurrentFrame();
    if (i % 10 == 5) {
      card.AllocateBuffers(1);
    } else {
      card.ReallocateBuffers();
    }
    card.ArmBuffer();
  }
  watchdog.Stop();
  card.DisableGrab();
  EXPECT_FALSE(watchdog.fired());
  EXPECT_EQ(blank, 0);
  EXPECT_EQ(sim_.Counters().live_buffers, 1u);
}

// One transient driver fault at start-up or at the grab's start used to leave a
// card that said S_OK and never delivered a frame. The faulty step is redone
// (by AllocateBuffers or the capture thread) until it succeeds.
TEST_F(CaptureTest, OneTransientFaultAtStartUpDoesNotKillTheCard) {
  struct Fault {
    const char* entry_point;
    uint32_t nth;
  };
  for (const Fault fault :
       {Fault{"RGBCaptureGetCapabilities", 1}, Fault{"RGBCaptureDetectVideoMode", 1},
        Fault{"RGBCaptureGetParameters", 2},   // the negotiation's first
        Fault{"RGBCaptureAllocateBuffer", 1},  // the negotiation's
        Fault{"RGBCaptureAllocateBuffer", 2},  // AllocateBuffers'
        Fault{"RGBCaptureEnable", 1}}) {
    SCOPED_TRACE(std::string(fault.entry_point) + " #" + std::to_string(fault.nth));
    sim_.InjectError(fault.entry_point, 0x10019, fault.nth);  // INSUFFICIENT_RESOURCES
    CaptureCard card(sim_.host_key());
    ExpectCompleteAndInOrder(Grab(card, 5, PixelLayout::kRgb555), 5);
    sim_.ClearErrors();
  }
}

// A card opened without a signal used to negotiate before it marked the signal
// present, so it kept the startup size and format: no frame fitted the default
// startup values, and with others frames came in another format than reported.
// The real mode is adopted whole, for every startup resolution and format.
TEST_F(CaptureTest, SignalArrivingLaterIsAdoptedWholeWhateverTheStartupValues) {
  sim_.SetSignal(0, false);
  platform::RegistryKey key;
  key.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key() + "\\0");
  key.SetDword("LockChannelMode", 1);
  for (int32_t resolution = 0; resolution <= 14; ++resolution) {
    for (int32_t format = 0; format <= 3; ++format) {
      SCOPED_TRACE("StartupResolution " + std::to_string(resolution) + ", StartupImageFormat " +
                   std::to_string(format));
      const SourceSize startup = StartupResolutionSize(resolution);
      const bool other = startup.width == 1280 && startup.height == 1024;
      const int32_t width = other ? 800 : 1280;
      const int32_t height = other ? 600 : 1024;
      sim_.SetMode(0, other ? "800x600@60" : "1280x1024@60");
      sim_.SetSignal(0, false);
      key.SetDword("StartupResolution", resolution);
      key.SetDword("StartupImageFormat", format);

      CaptureCard card(sim_.host_key());
      ASSERT_FALSE(card.SignalPresent);
      card.AllocateBuffers(2);
      card.EnableGrab();
      sim_.SetSignal(0, true);
      const auto adopted = [&card, width, height] {
        int32_t w = 0, h = 0, x = 0, y = 0;
        card.GetImageGeometry(&w, &h, &x, &y);
        return w == width && h == height;
      };
      const bool mode_adopted = testing::WaitUntil(adopted, 10s);
      card.DisableGrab();
      ASSERT_TRUE(mode_adopted);
      // Capture format 0 is negotiated: 5-5-5, whatever the startup format said.
      EXPECT_EQ(card.GetImageFormat(), 905);
      EXPECT_EQ(card.GetBitsPerPixel(), 16);
      ASSERT_EQ(card.GetImageBytes(), width * height * 2);
      // Buffers sized for the adopted mode receive whole frames in that format.
      card.FreeAllBuffers();
      ExpectCompleteAndInOrder(Grab(card, 3, PixelLayout::kRgb555), 3);
    }
  }
}

// A stored region was trusted: 2147483647 x 1 gave a negative image size,
// -5 x -5 was reported as the geometry, 64 x 64 gave no frame at all (the driver
// buffer was sized for the region, the driver delivers the whole mode) and one
// larger than the mode gave frames with the wrong line stride. Restored values
// are brought into range, and fitted to the mode once it is known.
TEST_F(CaptureTest, StoredRegionIsBroughtIntoRangeBeforeItSizesAnything) {
  struct Case {
    int32_t width, height, offset_x, offset_y;
    int32_t expect_width, expect_height, expect_x, expect_y;
  };
  platform::RegistryKey key;
  key.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key() + "\\0");
  // A region lower than 64 lines is cut out of a taller crop, so its first line
  // need not be the one carrying the frame code: the offset case keeps 64 lines.
  for (const Case c : {Case{2147483647, 1, 0, 0, 1024, 1, 0, 0}, Case{-5, -5, -5, -5, 1, 1, 0, 0},
                       Case{64, 64, 0, 0, 64, 64, 0, 0}, Case{2000, 2000, 10, 10, 1024, 768, 0, 0},
                       Case{100, 64, 2000, 9000, 100, 64, 924, 704}}) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    key.SetDword("Image Size X", static_cast<uint32_t>(c.width));
    key.SetDword("Image Size Y", static_cast<uint32_t>(c.height));
    key.SetDword("Image Offset X", static_cast<uint32_t>(c.offset_x));
    key.SetDword("Image Offset Y", static_cast<uint32_t>(c.offset_y));
    CaptureCard card(sim_.host_key());
    int32_t w = 0, h = 0, x = -1, y = -1;
    card.GetImageGeometry(&w, &h, &x, &y);
    EXPECT_EQ(w, c.expect_width);
    EXPECT_EQ(h, c.expect_height);
    EXPECT_EQ(x, c.expect_x);
    EXPECT_EQ(y, c.expect_y);
    EXPECT_EQ(card.GetImageBytes(), w * h * 2);
    // The frame code sits in the first four pixels of the first line and, for
    // an image the whole mode's size, of the last.
    if (w >= 4) {
      const int last_line = w == 1024 && h == 768 ? 767 : 0;
      ExpectCompleteAndInOrder(Grab(card, 3, PixelLayout::kRgb555, 4, last_line), 3);
    }
  }
}

}  // namespace
}  // namespace zelto
