// Frame content follows the geometry, pixel for pixel against ZeltoSim's pattern:
// a region is that window of the source at 1:1, scaling is ZeltoSim's nearest
// neighbour, a restart shows the stored geometry from the first frame, and a mode
// change during a grab refits the region.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "capture_fixture.h"
#include "card/zelto_rgb_card.h"
#include "geometry/registry_layout.h"
#include "sim_card.h"
#include "zeltosim_pattern.h"

namespace zelto {
namespace {

using sim::PixelLayout;
using testing::SimCard;

class GeometryFrameCard : public CaptureCard {
 public:
  using CaptureCard::CaptureCard;
  using CZeltoRGBCard::Geometry;
};

// Image pixel (x, y) shows source pixel (source_x(x), source_y(y)) of a
// source_w x source_h source.
struct Expected {
  uint32_t source_w;
  uint32_t source_h;
  std::function<uint32_t(uint32_t)> source_x;
  std::function<uint32_t(uint32_t)> source_y;
  // The frame code sits in the image's first (and last) line.
  bool code_on_first_line = true;
  bool code_on_last_line = true;
};

// Pixels of the w x h top-left corner of an image `stride` pixels wide (w when
// 0) that differ from the expected picture of the frame whose code it carries,
// each quantised to the layout as ZeltoSim stores it; -1 when the frame code does
// not decode.
int Mismatches(const uint8_t* data, int w, int h, PixelLayout layout, const Expected& e,
               int stride = 0) {
  if (stride == 0) stride = w;
  uint32_t frame = 0;
  if (!sim::DecodeFrameNumber(data, layout, &frame)) return -1;
  const int bpp = sim::BytesPerPixel(layout);
  int bad = 0;
  for (int y = 0; y < h; ++y) {
    const bool code_line = (y == 0 && e.code_on_first_line) || (y == h - 1 && e.code_on_last_line);
    for (int x = code_line ? sim::kFrameCodePixels : 0; x < w; ++x) {
      uint8_t want[4] = {};
      sim::StorePixel(
          want, layout,
          sim::PatternColour(e.source_x(x), e.source_y(y), frame, e.source_w, e.source_h));
      if (std::memcmp(want, data + (static_cast<size_t>(y) * stride + x) * bpp, bpp) != 0) ++bad;
    }
  }
  return bad;
}

class GeometryFramesTest : public ::testing::Test {
 protected:
  GeometryFramesTest() { sim_.Configure("pacing=free"); }

  // Grabs with three buffers armed, handing each frame to `take` until it returns
  // false; returns how many frames it saw.
  int GrabEach(CZeltoRGBCard& card, const std::function<bool(const uint8_t*)>& take,
               int limit = 200) {
    card.AllocateBuffers(4);
    card.EnableGrab();
    Watchdog watchdog(card, 30s);
    for (int i = 0; i < 3; ++i) card.ArmBuffer();
    int seen = 0;
    while (seen < limit && !watchdog.fired()) {
      bool waited = false;
      ImageRecord* record = card.GetFrame(&waited);
      if (record == nullptr) break;
      ++seen;
      const bool more = take(static_cast<const uint8_t*>(record->Data));
      card.ReleaseCurrentFrame();
      if (!more) break;
      card.ArmBuffer();
    }
    watchdog.Stop();
    card.DisableGrab();
    EXPECT_FALSE(watchdog.fired()) << "frames stopped flowing";
    return seen;
  }

  std::array<int32_t, 2> ImageSize(CZeltoRGBCard& card) {
    int32_t w = 0, h = 0, x = 0, y = 0;
    card.GetImageGeometry(&w, &h, &x, &y);
    return {w, h};
  }

  SimCard sim_{ZELTOSIM_PATH};
  testing::TraceCapture traces_;
};

Expected RegionOf(int32_t x0, int32_t y0) {
  return {1024, 768, [x0](uint32_t x) { return x0 + x; }, [y0](uint32_t y) { return y0 + y; }};
}

TEST_F(GeometryFramesTest, RegionIsTheSourceWindowInEveryFormat) {
  for (PixelLayout layout : {PixelLayout::kRgb555, PixelLayout::kBgrx32, PixelLayout::kBgr24}) {
    SCOPED_TRACE(static_cast<int>(layout));
    GeometryFrameCard card(sim_.host_key());
    card.UseFormat(layout);
    card.SetROI(639, 301, 2, 97);  // 640 x 301 at (4, 97)
    ASSERT_EQ(ImageSize(card), (std::array<int32_t, 2>{640, 301}));
    int frames = 0;
    GrabEach(card, [&](const uint8_t* data) {
      EXPECT_EQ(Mismatches(data, 640, 301, layout, RegionOf(4, 97)), 0);
      return ++frames < 3;
    });
    EXPECT_EQ(frames, 3);
  }
}

// Below the smallest driver output the region is cut out of a wider 1:1 crop;
// at the source's corner the crop shifts back inside the source.
TEST_F(GeometryFramesTest, NarrowRegionIsStillTheWindowPixelForPixel) {
  GeometryFrameCard card(sim_.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  card.SetROI(32, 16, 112, 100);  // straddles the first bar edge at 128
  int frames = 0;
  Expected e = RegionOf(112, 100);
  e.code_on_last_line = false;  // the output's last line is below the image
  GrabEach(card, [&](const uint8_t* data) {
    EXPECT_EQ(Mismatches(data, 32, 16, PixelLayout::kBgrx32, e), 0);
    return ++frames < 3;
  });
  EXPECT_EQ(frames, 3);

  card.SetROI(8, 4, 1016, 764);  // the bottom-right corner: no frame code in it
  frames = 0;
  GrabEach(card, [&](const uint8_t* data) {
    // Black bar at the right edge, block or not: compare with the bar colour.
    for (int i = 0; i < 8 * 4; ++i) {
      const sim::Rgb c = sim::LoadPixel(data + i * 4, PixelLayout::kBgrx32);
      EXPECT_TRUE(c == sim::BarColour(1016 + i % 8, 1024) || c == sim::kBlockColour) << i;
    }
    return ++frames < 3;
  });
  EXPECT_EQ(frames, 3);
}

TEST_F(GeometryFramesTest, ScaledImageIsNearestNeighbourOfTheWholeSource) {
  GeometryFrameCard card(sim_.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  card.SetScalingMode(1);
  card.SetScaling(500, 300);
  ASSERT_EQ(ImageSize(card), (std::array<int32_t, 2>{500, 300}));
  const Expected e{1024, 768, [](uint32_t x) { return x * 1024 / 500; },
                   [](uint32_t y) { return y * 768 / 300; }};
  int frames = 0;
  GrabEach(card, [&](const uint8_t* data) {
    EXPECT_EQ(Mismatches(data, 500, 300, PixelLayout::kBgrx32, e), 0);
    return ++frames < 3;
  });
  EXPECT_EQ(frames, 3);
}

// A scaling change while grabbing reaches the driver only: the image keeps its
// size and the smaller output fills its top-left corner at the driver's stride.
TEST_F(GeometryFramesTest, ScalingWhileGrabbingIsCutAtTheDriversStride) {
  GeometryFrameCard card(sim_.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  bool changed = false;
  int after = 0;
  const Expected half{1024, 768, [](uint32_t x) { return x * 2; },
                      [](uint32_t y) { return y * 2; }};
  GrabEach(card, [&](const uint8_t* data) {
    if (!changed) {
      card.SetScaling(512, 384);
      changed = true;
      return true;
    }
    // Frames of the old output may still be on their way; one of the new comes.
    if (Mismatches(data, 512, 384, PixelLayout::kBgrx32, half, 1024) != 0) {
      return true;
    }
    // Not a 1024-wide read of 512-wide lines: line 1 holds source line 2 and
    // everything right of and below the output is zero.
    for (int y = 0; y < 768; y += 97) {
      for (int x = 512; x < 1024; x += 13) {
        EXPECT_EQ(data[(static_cast<size_t>(y) * 1024 + x) * 4 + 2], 0) << x << "," << y;
      }
    }
    EXPECT_EQ(data[(static_cast<size_t>(500) * 1024 + 10) * 4 + 1], 0);
    return ++after < 2;
  });
  EXPECT_EQ(after, 2);
  EXPECT_EQ(ImageSize(card), (std::array<int32_t, 2>{1024, 768}));
  EXPECT_EQ(card.Geometry.ScalingX, 1024);
}

// After a mode change to 800 x 600 the capture buffer holds 800 x 600; a scaling
// to 1024 x 768 that then reaches the driver needs a larger one, which the capture
// thread puts in place between fills instead of stalling on a refused fill.
TEST_F(GeometryFramesTest, ScalingBeyondTheCaptureBufferWhileGrabbingKeepsFramesComing) {
  GeometryFrameCard card(sim_.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  const Expected small{800, 600, [](uint32_t x) { return x; }, [](uint32_t y) { return y; }};
  const Expected upscaled{800, 600, [](uint32_t x) { return x * 800 / 1024; },
                          [](uint32_t y) { return y * 600 / 768; }};
  enum { kStart, kSmallMode, kScaled } stage = kStart;
  int scaled_frames = 0;
  GrabEach(card, [&](const uint8_t* data) {
    if (stage == kStart) {
      sim_.SetMode(0, "800x600@60");
      stage = kSmallMode;
    } else if (stage == kSmallMode) {
      if (Mismatches(data, 800, 600, PixelLayout::kBgrx32, small, 1024) == 0) {
        card.SetScaling(1024, 768);
        stage = kScaled;
      }
    } else if (Mismatches(data, 1024, 768, PixelLayout::kBgrx32, upscaled) == 0) {
      return ++scaled_frames < 2;
    }
    return true;
  });
  EXPECT_EQ(scaled_frames, 2);
}

TEST_F(GeometryFramesTest, RestartShowsTheStoredRegionFromTheFirstFrame) {
  {
    GeometryFrameCard card(sim_.host_key());
    card.SetROI(256, 200, 300, 120);
  }
  GeometryFrameCard card(sim_.host_key());
  ASSERT_TRUE(card.Geometry.RoiRestored);
  const PixelLayout layout = PixelLayout::kRgb555;  // the format after a plain start
  int frames = 0;
  GrabEach(card, [&](const uint8_t* data) {
    EXPECT_EQ(Mismatches(data, 256, 200, layout, RegionOf(300, 120)), 0) << "frame " << frames;
    return ++frames < 2;
  });
  EXPECT_EQ(frames, 2);
  EXPECT_FALSE(card.Geometry.RoiRestored);
}

TEST_F(GeometryFramesTest, RestartShowsTheStoredScalingFromTheFirstFrame) {
  {
    GeometryFrameCard card(sim_.host_key());
    card.SetScalingMode(1);
    card.SetScaling(320, 200);
  }
  GeometryFrameCard card(sim_.host_key());
  ASSERT_EQ(ImageSize(card), (std::array<int32_t, 2>{320, 200}));
  const Expected e{1024, 768, [](uint32_t x) { return x * 1024 / 320; },
                   [](uint32_t y) { return y * 768 / 200; }};
  int frames = 0;
  GrabEach(card, [&](const uint8_t* data) {
    EXPECT_EQ(Mismatches(data, 320, 200, PixelLayout::kRgb555, e), 0);
    return ++frames < 2;
  });
  EXPECT_EQ(frames, 2);
}

// A mode of another size: the region is refit to the new mode's top-left corner
// with zero borders (the source size was not kept), cut into the image.
TEST_F(GeometryFramesTest, ModeChangeDuringAGrabRefitsTheRegion) {
  GeometryFrameCard card(sim_.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  card.SetROI(640, 480, 16, 8);
  Expected refit{800, 600, [](uint32_t x) { return x; }, [](uint32_t y) { return y; }};
  refit.code_on_last_line = false;
  bool switched = false;
  int old_frames = 0;
  int new_frames = 0;
  GrabEach(card, [&](const uint8_t* data) {
    if (!switched) {
      sim_.SetMode(0, "800x600@60");
      switched = true;
    }
    // Every frame is one geometry or the other, never a mix.
    if (Mismatches(data, 640, 480, PixelLayout::kBgrx32, RegionOf(16, 8)) == 0) {
      ++old_frames;
      return true;
    }
    EXPECT_EQ(Mismatches(data, 640, 480, PixelLayout::kBgrx32, refit), 0);
    return ++new_frames < 3;
  });
  EXPECT_GE(old_frames, 1);
  EXPECT_EQ(new_frames, 3);
  EXPECT_FALSE(card.Geometry.SourceSizeKept);
  CaptureParams p{};
  p.Size = kCaptureParamsSize;
  p.Flags = kFlagTiming | kFlagScaling;
  card.Channel.Driver().RGBCaptureGetParameters(card.Channel.handle(), &p, kQueryCurrent);
  EXPECT_EQ(p.Timing.HorRightBorder, 0u);
  EXPECT_EQ(p.Timing.VerBottomBorder, 0u);
  EXPECT_EQ(p.Timing.HorAddrTime, 800u);
  EXPECT_EQ(p.ScaledWidth, 800);
}

}  // namespace
}  // namespace zelto
