// ZeltoSim driven through its exports, as the module and the tools see it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "driver/capture_driver.h"
#include "platform/dynamic_library.h"
#include "test_support.h"
#include "zeltosim_control.h"
#include "zeltosim_pattern.h"

namespace zelto {
namespace {

using sim::DecodeFrameNumber;
using sim::PixelLayout;

struct Sim {
#define ZELTOSIM_TEST_MEMBER(name) PFN_##name name = nullptr;
  ZELTO_DRIVER_ENTRY_POINTS(ZELTOSIM_TEST_MEMBER)
#undef ZELTOSIM_TEST_MEMBER
  PFN_ZeltoSim_Reset Reset = nullptr;
  PFN_ZeltoSim_Configure Configure = nullptr;
  PFN_ZeltoSim_SetSignal SetSignal = nullptr;
  PFN_ZeltoSim_SetMode SetMode = nullptr;
  PFN_ZeltoSim_InjectError InjectError = nullptr;
  PFN_ZeltoSim_ClearErrors ClearErrors = nullptr;
  PFN_ZeltoSim_GetCounters GetCounters = nullptr;
  PFN_ZeltoSim_GetLastCall GetLastCall = nullptr;
  PFN_ZeltoSim_GetCallLog GetCallLog = nullptr;
  PFN_ZeltoSim_GetFrameNumber GetFrameNumber = nullptr;
};

template <typename T>
void Resolve(platform::LibraryHandle library, const char* name, T* out) {
  *out = reinterpret_cast<T>(platform::ResolveSymbol(library, name));
  ASSERT_NE(*out, nullptr) << name;
}

constexpr uint32_t kWidth = 1024, kHeight = 768;

class ZeltoSimTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    library_ = platform::LoadDynamicLibrary(testing::ArtifactPath(ZELTOSIM_PATH).c_str());
    ASSERT_NE(library_, nullptr);
#define ZELTOSIM_TEST_RESOLVE(name) Resolve(library_, #name, &sim_.name);
    ZELTO_DRIVER_ENTRY_POINTS(ZELTOSIM_TEST_RESOLVE)
#undef ZELTOSIM_TEST_RESOLVE
    Resolve(library_, "ZeltoSim_Reset", &sim_.Reset);
    Resolve(library_, "ZeltoSim_Configure", &sim_.Configure);
    Resolve(library_, "ZeltoSim_SetSignal", &sim_.SetSignal);
    Resolve(library_, "ZeltoSim_SetMode", &sim_.SetMode);
    Resolve(library_, "ZeltoSim_InjectError", &sim_.InjectError);
    Resolve(library_, "ZeltoSim_ClearErrors", &sim_.ClearErrors);
    Resolve(library_, "ZeltoSim_GetCounters", &sim_.GetCounters);
    Resolve(library_, "ZeltoSim_GetLastCall", &sim_.GetLastCall);
    Resolve(library_, "ZeltoSim_GetCallLog", &sim_.GetCallLog);
    Resolve(library_, "ZeltoSim_GetFrameNumber", &sim_.GetFrameNumber);
  }
  static void TearDownTestSuite() { platform::UnloadDynamicLibrary(library_); }

  void SetUp() override {
    ASSERT_NE(library_, nullptr);
    sim_.Reset();
    ASSERT_EQ(sim_.Configure("pacing=free"), 0u);
  }
  void TearDown() override { sim_.Reset(); }

  HRGBCAPTURE Open(uint32_t channel = 0) {
    HRGBCAPTURE handle = 0;
    EXPECT_EQ(sim_.RGBCaptureOpen(channel, &handle), 0u);
    return handle;
  }

  uint32_t Get(HRGBCAPTURE h, CaptureParams* p, uint32_t flags, uint32_t query = 0) {
    p->Size = kCaptureParamsSize;
    p->Flags = flags;
    return sim_.RGBCaptureGetParameters(h, p, query);
  }

  uint32_t Set(HRGBCAPTURE h, CaptureParams* p, uint32_t flags) {
    p->Size = kCaptureParamsSize;
    p->Flags = flags;
    return sim_.RGBCaptureSetParameters(h, p, kQueryCapture);
  }

  uint32_t SetPixelFormat(HRGBCAPTURE h, uint32_t format) {
    CaptureParams p = {};
    p.PixelFormat = format;
    return Set(h, &p, kFlagPixelFormat);
  }

  uint32_t SetScaled(HRGBCAPTURE h, int32_t w, int32_t height) {
    CaptureParams p = {};
    p.ScaledWidth = w;
    p.ScaledHeight = height;
    return Set(h, &p, kFlagScaling);
  }

  // Allocates `size` bytes and enables capture.
  uint8_t* Start(HRGBCAPTURE h, uint32_t size) {
    void* buffer = nullptr;
    EXPECT_EQ(sim_.RGBCaptureAllocateBuffer(h, &buffer, size), 0u);
    EXPECT_EQ(sim_.RGBCaptureEnable(h, 1), 0u);
    return static_cast<uint8_t*>(buffer);
  }

  uint32_t Fill(HRGBCAPTURE h) { return sim_.RGBCaptureFillBuffer(h, 0, 0); }

  // Fills one frame and returns its number read from the first line.
  uint32_t FillAndDecode(HRGBCAPTURE h, const uint8_t* buffer, PixelLayout layout) {
    EXPECT_EQ(Fill(h), kStatusFrameCaptured);
    uint32_t frame = ~0u;
    EXPECT_TRUE(DecodeFrameNumber(buffer, layout, &frame));
    return frame;
  }

  ZeltoSimCounters Counters() {
    ZeltoSimCounters c;
    sim_.GetCounters(&c);
    return c;
  }

  static platform::LibraryHandle library_;
  static Sim sim_;
};

platform::LibraryHandle ZeltoSimTest::library_ = nullptr;
Sim ZeltoSimTest::sim_;

// --- What a newcomer's demo runs on ----------------------------------------------

TEST_F(ZeltoSimTest, DefaultsAreTwoChannelsOf1024x768At60Hz) {
  uint32_t devices = 0;
  ASSERT_EQ(sim_.RGBCaptureInitialise(&devices), 0u);
  EXPECT_EQ(devices, 2u);
  for (uint32_t channel = 0; channel < 2; ++channel) {
    HRGBCAPTURE h = Open(channel);
    CaptureParams p = {};
    EXPECT_EQ(Get(h, &p, kFlagsNegotiateFormat, kQueryAfterOpen), 0u);
    VideoTiming t = {};
    ASSERT_EQ(sim_.RGBCaptureDetectVideoMode(h, 0, 0, &t, 0), 0u);
    EXPECT_EQ(t.HorAddrTime, kWidth);
    EXPECT_EQ(t.VerAddrTime, kHeight);
    EXPECT_EQ(t.VerFrequency / 1000, 60u);
    EXPECT_NE(t.PixelClock, 0u);
    EXPECT_STREQ(t.Description, "1024x768 60Hz");
  }
  HRGBCAPTURE h = 0;
  EXPECT_EQ(sim_.RGBCaptureOpen(2, &h), kRgbErrorInvalidIndex);
}

// Each mode's refresh follows from its pixel clock and totals, its description
// names it, and the 59.94 Hz variants report 59940 exactly.
TEST_F(ZeltoSimTest, ModeTableHasRealTimings) {
  struct Expect {
    const char* name;
    uint32_t w, h, hz;
  };
  const Expect modes[] = {{"640x480", 640, 480, 0},     {"800x600", 800, 600, 0},
                          {"1024x768", 1024, 768, 0},   {"1280x1024", 1280, 1024, 0},
                          {"1600x1200", 1600, 1200, 0}, {"1920x1080", 1920, 1080, 0}};
  HRGBCAPTURE h = Open(0);
  for (const Expect& m : modes) {
    for (const char* rate : {"60", "59.94", "75"}) {
      std::string name = std::string(m.name) + "@" + rate;
      ASSERT_EQ(sim_.SetMode(0, name.c_str()), 0u) << name;
      VideoTiming t = {};
      ASSERT_EQ(sim_.RGBCaptureDetectVideoMode(h, 0, 0, &t, 0), 0u);
      EXPECT_EQ(t.HorAddrTime, m.w) << name;
      EXPECT_EQ(t.VerAddrTime, m.h) << name;
      EXPECT_EQ(std::string(t.Description), std::string(m.name) + " " + rate + "Hz");
      EXPECT_GT(t.HorFrontPorch * t.HorSyncTime * t.HorBackPorch, 0u) << name;
      EXPECT_GT(t.VerFrontPorch * t.VerSyncTime * t.VerBackPorch, 0u) << name;
      uint64_t total = uint64_t{t.HorAddrTime + t.HorFrontPorch + t.HorSyncTime + t.HorBackPorch} *
                       (t.VerAddrTime + t.VerFrontPorch + t.VerSyncTime + t.VerBackPorch);
      double refresh_mhz = double(t.PixelClock) * 1000.0 / double(total);
      EXPECT_NEAR(refresh_mhz, t.VerFrequency, 1.0) << name;
      if (std::string(rate) == "59.94") {
        EXPECT_EQ(t.VerFrequency, 59940u) << name;
      } else {
        EXPECT_EQ(t.VerFrequency / 1000, static_cast<uint32_t>(std::atoi(rate))) << name;
      }
    }
  }
  EXPECT_EQ(sim_.SetMode(0, "1024x768@50"), kRgbErrorInvalidFlags);
}

// --- Parameters ------------------------------------------------------------------

TEST_F(ZeltoSimTest, QuerySelectorsGiveMinimumMaximumAndCurrent) {
  HRGBCAPTURE h = Open(0);
  CaptureParams lo = {}, hi = {}, cur = {};
  const uint32_t analogue = kFlagPhase | kFlagBrightness | kFlagContrast | kFlagBlackLevel |
                            kFlagSampleRate | kFlagPosition | kFlagScaling | kFlagPixelFormat;
  ASSERT_EQ(Get(h, &lo, analogue, kQueryMinimum), 0u);
  ASSERT_EQ(Get(h, &hi, analogue, kQueryMaximum), 0u);
  ASSERT_EQ(Get(h, &cur, analogue, kQueryCurrent), 0u);
  auto between = [](int32_t a, int32_t v, int32_t b) { return a <= v && v <= b && a < b; };
  EXPECT_TRUE(between(lo.Phase, cur.Phase, hi.Phase));
  EXPECT_TRUE(between(lo.Brightness, cur.Brightness, hi.Brightness));
  EXPECT_TRUE(between(lo.Contrast, cur.Contrast, hi.Contrast));
  EXPECT_TRUE(between(lo.BlackLevel, cur.BlackLevel, hi.BlackLevel));
  EXPECT_TRUE(between(lo.SampleRate, cur.SampleRate, hi.SampleRate));
  EXPECT_TRUE(between(lo.HorPosition, cur.HorPosition, hi.HorPosition));
  EXPECT_TRUE(between(lo.VerPosition, cur.VerPosition, hi.VerPosition));
  EXPECT_EQ(lo.ScaledWidth, 64);
  EXPECT_EQ(hi.ScaledHeight, 2000);
  EXPECT_EQ(cur.ScaledWidth, static_cast<int32_t>(kWidth));
  EXPECT_EQ(lo.PixelFormat, kPixelFormat555);
  EXPECT_EQ(hi.PixelFormat, kPixelFormat32);
  // The analogue ranges differ from each other, so a mixed-up field shows.
  EXPECT_NE(lo.Brightness, lo.BlackLevel);
  EXPECT_NE(hi.Contrast, hi.Phase);
}

// A get fills exactly the covered fields; everything else keeps its bytes.
TEST_F(ZeltoSimTest, GetTouchesOnlyCoveredFields) {
  HRGBCAPTURE h = Open(0);
  for (uint32_t flags : {kFlagPhase, kFlagBrightness, kFlagContrast, kFlagBlackLevel,
                         kFlagSampleRate, kFlagPixelFormat, kFlagScaling, kFlagTiming}) {
    CaptureParams p;
    std::memset(&p, 0xA5, sizeof(p));
    CaptureParams before = p;
    ASSERT_EQ(Get(h, &p, flags), 0u);
    auto* a = reinterpret_cast<const uint8_t*>(&p);
    auto* b = reinterpret_cast<const uint8_t*>(&before);
    size_t changed_first = sizeof(p), changed_last = 0;
    for (size_t i = 8; i < sizeof(p); ++i) {
      if (a[i] != b[i]) {
        changed_first = std::min(changed_first, i);
        changed_last = i;
      }
    }
    size_t lo = 0, hi = 0;
    switch (flags) {
      case kFlagPhase:
        lo = 208;
        hi = 211;
        break;
      case kFlagBrightness:
        lo = 212;
        hi = 215;
        break;
      case kFlagContrast:
        lo = 216;
        hi = 219;
        break;
      case kFlagBlackLevel:
        lo = 220;
        hi = 223;
        break;
      case kFlagSampleRate:
        lo = 224;
        hi = 227;
        break;
      case kFlagPixelFormat:
        lo = 228;
        hi = 231;
        break;
      case kFlagScaling:
        lo = 252;
        hi = 259;
        break;
      default:
        lo = 16;
        hi = 207;
        break;
    }
    EXPECT_GE(changed_first, lo) << std::hex << flags;
    EXPECT_LE(changed_last, hi) << std::hex << flags;
  }
}

// A set applies the covered fields only, and all of them or none.
TEST_F(ZeltoSimTest, SetAppliesCoveredFieldsAtomically) {
  HRGBCAPTURE h = Open(0);
  CaptureParams before = {};
  ASSERT_EQ(Get(h, &before, kFlagsTimingAndPositions | kFlagPixelFormat), 0u);

  CaptureParams p;
  std::memset(&p, 0x11, sizeof(p));
  p.Contrast = 200;
  ASSERT_EQ(Set(h, &p, kFlagContrast), 0u);
  CaptureParams after = {};
  ASSERT_EQ(Get(h, &after, kFlagsTimingAndPositions | kFlagPixelFormat), 0u);
  EXPECT_EQ(after.Contrast, 200);
  after.Contrast = before.Contrast;
  EXPECT_EQ(std::memcmp(&after, &before, sizeof(after)), 0);

  p.Contrast = 100;
  p.Brightness = 1000;  // out of range
  EXPECT_EQ(Set(h, &p, kFlagContrast | kFlagBrightness), kRgbErrorInvalidBrightness);
  ASSERT_EQ(Get(h, &after, kFlagContrast), 0u);
  EXPECT_EQ(after.Contrast, 200);

  p.PixelFormat = 4;
  EXPECT_EQ(Set(h, &p, kFlagPixelFormat), kRgbErrorInvalidPixelFormat);
  p.Phase = -1;
  EXPECT_EQ(Set(h, &p, kFlagPhase), kRgbErrorInvalidPhase);
}

TEST_F(ZeltoSimTest, WrongRecordSizeAndHandleAreRefused) {
  HRGBCAPTURE h = Open(0);
  CaptureParams p = {};
  p.Size = 270;
  p.Flags = kFlagContrast;
  EXPECT_EQ(sim_.RGBCaptureGetParameters(h, &p, 0), kRgbErrorInvalidSize);
  EXPECT_EQ(Get(0, &p, kFlagContrast), kRgbErrorInvalidHrgbcapture);
  EXPECT_EQ(Get(h + 1, &p, kFlagContrast), kRgbErrorInvalidHrgbcapture);
  EXPECT_EQ(sim_.RGBCaptureGetParameters(h, nullptr, 0), kRgbErrorInvalidPointer);
}

// --- Frames ------------------------------------------------------------------------

// Bytes of known pixels: yellow in bar 1, blue in bar 6, the orange block of frame
// 0 near the top-left corner.
TEST_F(ZeltoSimTest, KnownPixelsInEveryPixelFormat) {
  struct Case {
    uint32_t format;
    int bpp;
    std::vector<uint8_t> yellow, blue, orange;
  };
  const Case cases[] = {
      {kPixelFormat555, 2, {0xE0, 0x7F}, {0x1F, 0x00}, {0x00, 0x7E}},
      {kPixelFormat565, 2, {0xE0, 0xFF}, {0x1F, 0x00}, {0x00, 0xFC}},
      {kPixelFormat32,
       4,
       {0x00, 0xFF, 0xFF, 0x00},
       {0xFF, 0x00, 0x00, 0x00},
       {0x00, 0x80, 0xFF, 0x00}},
  };
  for (const Case& c : cases) {
    sim_.Reset();
    sim_.Configure("pacing=free");
    HRGBCAPTURE h = Open(0);
    ASSERT_EQ(SetPixelFormat(h, c.format), 0u);
    uint8_t* buffer = Start(h, kWidth * kHeight * 4);
    ASSERT_EQ(Fill(h), kStatusFrameCaptured);
    auto at = [&](uint32_t x, uint32_t y) {
      const uint8_t* p = buffer + (size_t{y} * kWidth + x) * c.bpp;
      return std::vector<uint8_t>(p, p + c.bpp);
    };
    EXPECT_EQ(at(kWidth / 8 + 10, 300), c.yellow) << c.format;
    EXPECT_EQ(at(kWidth * 6 / 8 + 10, 700), c.blue) << c.format;
    EXPECT_EQ(at(10, 50), c.orange) << c.format;
  }
}

// 32-bit to "RGB 24" as the module converts it: B, G, R of each pixel.
std::vector<uint8_t> To24(const uint8_t* bgrx, uint32_t width, uint32_t height) {
  std::vector<uint8_t> out(size_t{width} * height * 3);
  for (size_t i = 0; i < size_t{width} * height; ++i) std::memcpy(&out[i * 3], &bgrx[i * 4], 3);
  return out;
}

// The frame number reads back from the first and the last line in every format,
// after conversion to 24 bits, and after a crop that keeps the top-left corner.
TEST_F(ZeltoSimTest, FrameNumberSurvivesEveryFormat) {
  for (uint32_t format : {kPixelFormat555, kPixelFormat565, kPixelFormat32}) {
    sim_.Reset();
    sim_.Configure("pacing=free");
    HRGBCAPTURE h = Open(0);
    ASSERT_EQ(SetPixelFormat(h, format), 0u);
    const auto layout = static_cast<PixelLayout>(format);
    const size_t row = size_t{kWidth} * sim::BytesPerPixel(layout);
    uint8_t* buffer = Start(h, kWidth * kHeight * 4);
    for (uint32_t expected = 0; expected < 3; ++expected) {
      EXPECT_EQ(FillAndDecode(h, buffer, layout), expected);
      uint32_t last = ~0u;
      EXPECT_TRUE(DecodeFrameNumber(buffer + (kHeight - 1) * row, layout, &last));
      EXPECT_EQ(last, expected);

      std::vector<uint8_t> crop(100 * 4 * 50);
      for (int y = 0; y < 50; ++y) std::memcpy(&crop[y * 400], buffer + y * row, 400);
      uint32_t cropped = ~0u;
      EXPECT_TRUE(DecodeFrameNumber(crop.data(), layout, &cropped));
      EXPECT_EQ(cropped, expected);

      if (format == kPixelFormat32) {
        std::vector<uint8_t> rgb24 = To24(buffer, kWidth, kHeight);
        uint32_t converted = ~0u;
        EXPECT_TRUE(DecodeFrameNumber(rgb24.data(), PixelLayout::kBgr24, &converted));
        EXPECT_TRUE(
            DecodeFrameNumber(&rgb24[(kHeight - 1) * kWidth * 3], PixelLayout::kBgr24, &converted));
        EXPECT_EQ(converted, expected);
      }
    }
  }
}

TEST_F(ZeltoSimTest, CropWindowThroughTheTiming) {
  HRGBCAPTURE h = Open(0);
  CaptureParams p = {};
  ASSERT_EQ(Get(h, &p, kFlagTiming), 0u);
  p.Timing.HorLeftBorder = 100;
  p.Timing.HorAddrTime = 640;
  p.Timing.HorRightBorder = kWidth - 740;
  p.Timing.VerTopBorder = 50;
  p.Timing.VerAddrTime = 480;
  p.Timing.VerBottomBorder = kHeight - 530;
  ASSERT_EQ(Set(h, &p, kFlagTiming), 0u);
  ASSERT_EQ(SetScaled(h, 640, 480), 0u);

  CaptureParams back = {};
  ASSERT_EQ(Get(h, &back, kFlagTiming), 0u);
  EXPECT_EQ(back.Timing.HorLeftBorder, 100u);
  EXPECT_EQ(back.Timing.HorAddrTime, 640u);
  EXPECT_EQ(back.Timing.VerBottomBorder, kHeight - 530);
  // Detection still reports the whole input.
  VideoTiming detected = {};
  ASSERT_EQ(sim_.RGBCaptureDetectVideoMode(h, 0, 0, &detected, 0), 0u);
  EXPECT_EQ(detected.HorAddrTime, kWidth);
  EXPECT_EQ(detected.HorLeftBorder, 0u);

  // Output column x shows source column x + 100; bar 1 starts at source 128.
  uint8_t* buffer = Start(h, 640 * 480 * 4);
  ASSERT_EQ(Fill(h), kStatusFrameCaptured);
  const uint8_t* line = buffer + 200 * 640 * 4;
  EXPECT_EQ(sim::LoadPixel(line + 27 * 4, PixelLayout::kBgrx32), sim::kBarColours[0]);
  EXPECT_EQ(sim::LoadPixel(line + 28 * 4, PixelLayout::kBgrx32), sim::kBarColours[1]);

  // Borders and active size that do not add up to the source are refused.
  p.Timing.HorRightBorder += 4;
  EXPECT_EQ(Set(h, &p, kFlagTiming), kRgbErrorInvalidSize);
  p.Timing.HorRightBorder -= 4;
  p.Timing.VerTopBorder = 0;
  EXPECT_EQ(Set(h, &p, kFlagTiming), kRgbErrorInvalidSize);
  ASSERT_EQ(Get(h, &back, kFlagTiming), 0u);
  EXPECT_EQ(back.Timing.VerTopBorder, 50u);
}

TEST_F(ZeltoSimTest, ScaledSizeBoundsAndScaledOutput) {
  HRGBCAPTURE h = Open(0);
  EXPECT_EQ(SetScaled(h, 63, 480), kRgbErrorHScaledOutOfRange);
  EXPECT_EQ(SetScaled(h, 2001, 480), kRgbErrorHScaledOutOfRange);
  EXPECT_EQ(SetScaled(h, 640, 63), kRgbErrorVScaledOutOfRange);
  EXPECT_EQ(SetScaled(h, 640, 2001), kRgbErrorVScaledOutOfRange);
  EXPECT_EQ(SetScaled(h, 64, 2000), 0u);
  EXPECT_EQ(SetScaled(h, 2000, 64), 0u);

  // The whole source at half size: output column x shows source column 2x.
  ASSERT_EQ(SetScaled(h, kWidth / 2, kHeight / 2), 0u);
  uint8_t* buffer = Start(h, kWidth / 2 * kHeight / 2 * 4);
  ASSERT_EQ(Fill(h), kStatusFrameCaptured);
  const uint8_t* line = buffer + 300 * (kWidth / 2) * 4;
  EXPECT_EQ(sim::LoadPixel(line + 63 * 4, PixelLayout::kBgrx32), sim::kBarColours[0]);
  EXPECT_EQ(sim::LoadPixel(line + 64 * 4, PixelLayout::kBgrx32), sim::kBarColours[1]);
  uint32_t frame = ~0u;
  EXPECT_TRUE(DecodeFrameNumber(buffer + (kHeight / 2 - 1) * (kWidth / 2) * 4, PixelLayout::kBgrx32,
                                &frame));
}

// --- The front end and the capture start in the picture ---------------------------

// At the adjustments a channel opens with, frames are the bare pattern (what
// frame-decoding tests elsewhere rely on).
TEST_F(ZeltoSimTest, OpeningAdjustmentsRenderTheBarePattern) {
  HRGBCAPTURE h = Open(0);
  uint8_t* buffer = Start(h, kWidth * kHeight * 4);
  ASSERT_EQ(Fill(h), kStatusFrameCaptured);
  size_t differing = 0;
  for (uint32_t y = 1; y + 1 < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      const sim::Rgb want = sim::PatternColour(x, y, 0, kWidth, kHeight);
      differing +=
          sim::LoadPixel(buffer + (size_t{y} * kWidth + x) * 4, PixelLayout::kBgrx32) != want;
    }
  }
  EXPECT_EQ(differing, 0u);
}

struct FrontEndCase {
  uint32_t flag;
  int32_t value;
  uint8_t black, block_green, white;  // levels of a black bar, the block, a white bar
};

// Brightness, contrast and black level through the documented transfer; the
// frame code is left alone.
TEST_F(ZeltoSimTest, FrontEndAdjustmentsChangeTheLevels) {
  const FrontEndCase cases[] = {
      {kFlagBrightness, 10, 10, 138, 255}, {kFlagBrightness, -128, 0, 0, 127},
      {kFlagContrast, 64, 0, 64, 127},     {kFlagContrast, 255, 0, 255, 255},
      {kFlagBlackLevel, 74, 0, 118, 245},  {kFlagBlackLevel, 8, 56, 184, 255},
  };
  for (const FrontEndCase& c : cases) {
    sim_.Reset();
    sim_.Configure("pacing=free");
    HRGBCAPTURE h = Open(0);
    CaptureParams p = {};
    p.Brightness = p.Contrast = p.BlackLevel = c.value;
    ASSERT_EQ(Set(h, &p, c.flag), 0u);
    uint8_t* buffer = Start(h, kWidth * kHeight * 4);
    ASSERT_EQ(FillAndDecode(h, buffer, PixelLayout::kBgrx32), 0u);
    auto at = [&](uint32_t x, uint32_t y) {
      return sim::LoadPixel(buffer + (size_t{y} * kWidth + x) * 4, PixelLayout::kBgrx32);
    };
    EXPECT_EQ(at(kWidth - 10, 400).g, c.black) << c.flag << " " << c.value;
    EXPECT_EQ(at(10, 50).g, c.block_green) << c.flag << " " << c.value;  // orange: 255, 128, 0
    EXPECT_EQ(at(10, 400).r, c.white) << c.flag << " " << c.value;
  }
}

// Bar 1 (yellow, no blue) starts at column 128 after white: the phase blends the
// neighbour it leans to, by |phase - 16| / 32.
TEST_F(ZeltoSimTest, PhaseSoftensTheEdgeOnTheSideItLeansTo) {
  HRGBCAPTURE h = Open(0);
  uint8_t* buffer = Start(h, kWidth * kHeight * 4);
  const uint8_t* line = buffer + size_t{400} * kWidth * 4;
  auto blue = [&](uint32_t x) { return sim::LoadPixel(line + x * 4, PixelLayout::kBgrx32).b; };
  ASSERT_EQ(Fill(h), kStatusFrameCaptured);
  EXPECT_EQ(blue(127), 255);
  EXPECT_EQ(blue(128), 0);

  CaptureParams p = {};
  p.Phase = 0;  // half a pixel to the left
  ASSERT_EQ(Set(h, &p, kFlagPhase), 0u);
  ASSERT_EQ(Fill(h), kStatusFrameCaptured);
  EXPECT_EQ(blue(127), 255);
  EXPECT_EQ(blue(128), 128);
  EXPECT_EQ(blue(129), 0);

  p.Phase = 24;  // a quarter to the right
  ASSERT_EQ(Set(h, &p, kFlagPhase), 0u);
  ASSERT_EQ(Fill(h), kStatusFrameCaptured);
  EXPECT_EQ(blue(126), 255);
  EXPECT_EQ(blue(127), 191);
  EXPECT_EQ(blue(128), 0);
}

// Output column x shows source column x + HorPosition, line y source line y +
// VerPosition; what comes from outside the source is black. The frame code stays.
TEST_F(ZeltoSimTest, PositionsMoveThePictureAndUncoverBlack) {
  HRGBCAPTURE h = Open(0);
  CaptureParams p = {};
  p.HorPosition = -10;
  p.VerPosition = -12;
  ASSERT_EQ(Set(h, &p, kFlagPosition), 0u);
  uint8_t* buffer = Start(h, kWidth * kHeight * 4);
  ASSERT_EQ(FillAndDecode(h, buffer, PixelLayout::kBgrx32), 0u);
  auto at = [&](uint32_t x, uint32_t y) {
    return sim::LoadPixel(buffer + (size_t{y} * kWidth + x) * 4, PixelLayout::kBgrx32);
  };
  const sim::Rgb black = {0, 0, 0};
  EXPECT_EQ(at(9, 400), black);
  EXPECT_EQ(at(10, 400), sim::kBarColours[0]);
  EXPECT_EQ(at(137, 400), sim::kBarColours[0]);
  EXPECT_EQ(at(138, 400), sim::kBarColours[1]);
  // Lines above the source, then the block (source lines 0..95) 12 lines lower.
  EXPECT_EQ(at(20, 11), black);
  EXPECT_EQ(at(20, 12), sim::kBlockColour);
  EXPECT_EQ(at(20, 107), sim::kBlockColour);
  EXPECT_EQ(at(20, 108), sim::kBarColours[0]);
  uint32_t last = ~0u;
  EXPECT_TRUE(DecodeFrameNumber(buffer + (kHeight - 1) * kWidth * 4, PixelLayout::kBgrx32, &last));

  // Clamped to what the timing allows: 1024x768@60 has a front porch of 24.
  p.HorPosition = 1000;
  ASSERT_EQ(Set(h, &p, kFlagPosition), 0u);
  CaptureParams back = {};
  ASSERT_EQ(Get(h, &back, kFlagPosition), 0u);
  EXPECT_EQ(back.HorPosition, 24);
  ASSERT_EQ(Fill(h), kStatusFrameCaptured);
  EXPECT_EQ(at(kWidth - 25, 400), sim::kBarColours[7]);
  EXPECT_EQ(at(kWidth - 24, 400), black);
  EXPECT_EQ(at(103, 400), sim::kBarColours[0]);
  EXPECT_EQ(at(104, 400), sim::kBarColours[1]);
}

// The blanking key replaces the mode's porches and syncs in the timing and in the
// position limits.
TEST_F(ZeltoSimTest, BlankingKeyReplacesPorchesAndSyncs) {
  ASSERT_EQ(sim_.Configure("mode=640x480@60;blanking=8,32,48,10,2,33"), 0u);
  HRGBCAPTURE h = Open(0);
  CaptureParams p = {};
  ASSERT_EQ(Get(h, &p, kFlagsTimingAndPositions), 0u);
  EXPECT_EQ(p.Timing.HorFrontPorch, 8u);
  EXPECT_EQ(p.Timing.HorSyncTime, 32u);
  EXPECT_EQ(p.Timing.HorBackPorch, 48u);
  EXPECT_EQ(p.Timing.VerSyncTime, 2u);
  EXPECT_EQ(p.Timing.VerBackPorch, 33u);
  EXPECT_EQ(p.Timing.VerFrequency, 60000u);  // the mode's own refresh
  CaptureParams lo = {}, hi = {};
  ASSERT_EQ(Get(h, &lo, kFlagPosition, kQueryMinimum), 0u);
  ASSERT_EQ(Get(h, &hi, kFlagPosition, kQueryMaximum), 0u);
  EXPECT_EQ(lo.HorPosition, -80);
  EXPECT_EQ(hi.HorPosition, 8);
  EXPECT_EQ(lo.VerPosition, -35);
  EXPECT_EQ(hi.VerPosition, 10);
  VideoTiming detected = {};
  ASSERT_EQ(sim_.RGBCaptureDetectVideoMode(h, 0, 0, &detected, 0), 0u);
  EXPECT_EQ(detected.HorSyncTime, 32u);

  EXPECT_EQ(sim_.Configure("blanking=1,2,3"), kRgbErrorInvalidFlags);
  EXPECT_EQ(sim_.Configure("blanking=1,2,3,4,5,6,7"), kRgbErrorInvalidFlags);
  ASSERT_EQ(sim_.Configure("blanking=none"), 0u);
  ASSERT_EQ(Get(h, &p, kFlagsTimingAndPositions), 0u);
  EXPECT_EQ(p.Timing.HorSyncTime, 96u);
}

// The buffer allocated for the handle decides, not the size the caller passes.
TEST_F(ZeltoSimTest, BufferTooSmallIsRefusedUntouched) {
  HRGBCAPTURE h = Open(0);
  const uint32_t size = kWidth * kHeight * 4 - 1;
  uint8_t* buffer = Start(h, size);
  EXPECT_EQ(sim_.RGBCaptureFillBuffer(h, 0, kWidth * kHeight * 4), kRgbErrorBufferTooSmall);
  std::vector<uint8_t> zero(size, 0);
  EXPECT_EQ(std::memcmp(buffer, zero.data(), size), 0);
  // 16-bit pixels fit, whatever size the caller believes in.
  ASSERT_EQ(SetPixelFormat(h, kPixelFormat565), 0u);
  EXPECT_EQ(sim_.RGBCaptureFillBuffer(h, 0, 1), kStatusFrameCaptured);
}

TEST_F(ZeltoSimTest, SampleRateSkipsSourceFrames) {
  HRGBCAPTURE h = Open(0);
  CaptureParams p = {};
  p.SampleRate = 2;
  ASSERT_EQ(Set(h, &p, kFlagSampleRate), 0u);
  uint8_t* buffer = Start(h, kWidth * kHeight * 4);
  EXPECT_EQ(FillAndDecode(h, buffer, PixelLayout::kBgrx32), 0u);
  EXPECT_EQ(FillAndDecode(h, buffer, PixelLayout::kBgrx32), 3u);
  EXPECT_EQ(FillAndDecode(h, buffer, PixelLayout::kBgrx32), 6u);
}

TEST_F(ZeltoSimTest, DroppedFramesLeaveGapsInTheNumbers) {
  ASSERT_EQ(sim_.Configure("ch0.drop_every=3"), 0u);
  HRGBCAPTURE h = Open(0);
  uint8_t* buffer = Start(h, kWidth * kHeight * 4);
  std::vector<uint32_t> frames;
  for (int i = 0; i < 5; ++i) frames.push_back(FillAndDecode(h, buffer, PixelLayout::kBgrx32));
  EXPECT_EQ(frames, (std::vector<uint32_t>{0, 1, 3, 4, 6}));
  EXPECT_EQ(Counters().frames_dropped, 2u);
}

TEST_F(ZeltoSimTest, DisabledCaptureDeliversNothing) {
  HRGBCAPTURE h = Open(0);
  uint8_t* buffer = Start(h, kWidth * kHeight * 4);
  ASSERT_EQ(sim_.RGBCaptureEnable(h, 0), 0u);
  EXPECT_EQ(Fill(h), kRgbErrorCaptureDisabled);
  EXPECT_EQ(buffer[0], 0u);
  ASSERT_EQ(sim_.RGBCaptureEnable(h, 1), 0u);
  EXPECT_EQ(Fill(h), kStatusFrameCaptured);
}

TEST_F(ZeltoSimTest, StaticPacingRendersOnce) {
  ASSERT_EQ(sim_.Configure("pacing=static"), 0u);
  HRGBCAPTURE h = Open(0);
  uint8_t* buffer = Start(h, kWidth * kHeight * 4);
  ASSERT_EQ(Fill(h), kStatusFrameCaptured);
  buffer[5000] = 0x42;
  ASSERT_EQ(Fill(h), kStatusFrameCaptured);
  EXPECT_EQ(buffer[5000], 0x42);
  EXPECT_EQ(Counters().frames_delivered, 2u);
}

TEST_F(ZeltoSimTest, TimeCodeReplacesTheFirstFourBytes) {
  ASSERT_EQ(sim_.Configure("timecode=1;timecode_fps=30;timecode_start=01:02:03:04"), 0u);
  HRGBCAPTURE h = Open(0);
  uint8_t* buffer = Start(h, kWidth * kHeight * 4);
  ASSERT_EQ(Fill(h), kStatusFrameCaptured);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4),
            (std::vector<uint8_t>{0x04, 0x03, 0x02, 0x01}));
  for (int i = 0; i < 27; ++i) ASSERT_EQ(Fill(h), kStatusFrameCaptured);
  // Frame 27: 4 + 27 frames = one second and one frame later.
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4),
            (std::vector<uint8_t>{0x01, 0x04, 0x02, 0x01}));
  uint32_t frame = 0;
  EXPECT_TRUE(
      DecodeFrameNumber(buffer + size_t{kHeight - 1} * kWidth * 4, PixelLayout::kBgrx32, &frame));
  EXPECT_EQ(frame, 27u);
}

// --- Scripts -----------------------------------------------------------------------

TEST_F(ZeltoSimTest, SignalLostAndFoundByScript) {
  ASSERT_EQ(sim_.Configure("ch0.lose_signal_after=2"), 0u);
  HRGBCAPTURE h = Open(0);
  HRGBCAPTURE other = Open(1);
  uint8_t* buffer = Start(h, kWidth * kHeight * 4);
  EXPECT_EQ(Fill(h), kStatusFrameCaptured);
  EXPECT_EQ(Fill(h), kStatusFrameCaptured);
  EXPECT_EQ(Fill(h), kRgbErrorSignalNotDetected);  // no-signal answer 1
  CaptureParams p = {};
  EXPECT_EQ(Get(h, &p, kFlagTiming, kQueryAfterOpen), kRgbErrorSignalNotDetected);  // 2
  EXPECT_EQ(Get(other, &p, kFlagTiming, kQueryAfterOpen), 0u);
  VideoTiming t = {};
  ASSERT_EQ(sim_.RGBCaptureDetectVideoMode(h, 0, 0, &t, 0), 0u);
  EXPECT_EQ(t.Flags, kTimingNoSignal);

  // Found after two more no-signal answers; the first fill then reports a change.
  ASSERT_EQ(sim_.Configure("ch0.find_signal_after=2"), 0u);
  EXPECT_EQ(Get(h, &p, kFlagTiming), kRgbErrorSignalNotDetected);
  EXPECT_EQ(Fill(h), kRgbErrorSignalNotDetected);
  EXPECT_EQ(Get(h, &p, kFlagTiming), 0u);
  EXPECT_EQ(Fill(h), kStatusModeChange);
  EXPECT_EQ(FillAndDecode(h, buffer, PixelLayout::kBgrx32), 2u);
}

TEST_F(ZeltoSimTest, SignalByControlCall) {
  HRGBCAPTURE h = Open(1);
  ASSERT_EQ(sim_.SetSignal(1, 0), 0u);
  CaptureParams p = {};
  EXPECT_EQ(Get(h, &p, 0, kQueryAfterOpen), kRgbErrorSignalNotDetected);
  EXPECT_EQ(SetScaled(h, 640, 480), 0u);  // analogue and scaling still apply
  p.Timing.HorAddrTime = kWidth;
  p.Timing.VerAddrTime = kHeight;
  EXPECT_EQ(Set(h, &p, kFlagTiming), kRgbErrorSignalNotDetected);
  ASSERT_EQ(sim_.SetSignal(1, 1), 0u);
  EXPECT_EQ(Get(h, &p, 0, kQueryAfterOpen), 0u);
  EXPECT_EQ(sim_.SetSignal(2, 1), kRgbErrorInvalidIndex);
}

TEST_F(ZeltoSimTest, ModeChangeAfterFrames) {
  ASSERT_EQ(sim_.Configure("ch0.mode_change_after=2;ch0.mode_change_to=800x600@75"), 0u);
  HRGBCAPTURE h = Open(0);
  uint8_t* buffer = Start(h, kWidth * kHeight * 4);
  EXPECT_EQ(Fill(h), kStatusFrameCaptured);
  EXPECT_EQ(Fill(h), kStatusFrameCaptured);
  uint32_t status = Fill(h);
  EXPECT_EQ(status, kStatusModeChange);
  EXPECT_NE(status & kStatusModeChangeMask, 0u);
  VideoTiming t = {};
  ASSERT_EQ(sim_.RGBCaptureDetectVideoMode(h, 0, 0, &t, 0), 0u);
  EXPECT_EQ(t.HorAddrTime, 800u);
  EXPECT_STREQ(t.Description, "800x600 75Hz");
  // The crop window and the scaled size follow the new source.
  CaptureParams p = {};
  ASSERT_EQ(Get(h, &p, kFlagTiming | kFlagScaling), 0u);
  EXPECT_EQ(p.Timing.HorAddrTime + p.Timing.HorLeftBorder + p.Timing.HorRightBorder, 800u);
  EXPECT_EQ(p.ScaledWidth, 800);
  EXPECT_EQ(p.ScaledHeight, 600);
  EXPECT_EQ(FillAndDecode(h, buffer, PixelLayout::kBgrx32), 2u);
  uint32_t last = 0;
  EXPECT_TRUE(DecodeFrameNumber(buffer + 599 * 800 * 4, PixelLayout::kBgrx32, &last));
  EXPECT_EQ(last, 2u);
}

// A caller that scales keeps its scaled size across a change to a mode of the
// same size.
TEST_F(ZeltoSimTest, SameSizeModeChangeKeepsTheScaledSize) {
  HRGBCAPTURE h = Open(0);
  ASSERT_EQ(SetScaled(h, 640, 480), 0u);
  ASSERT_EQ(sim_.SetMode(0, "1024x768@75"), 0u);
  CaptureParams p = {};
  ASSERT_EQ(Get(h, &p, kFlagScaling), 0u);
  EXPECT_EQ(p.ScaledWidth, 640);
  ASSERT_EQ(sim_.SetMode(0, "1280x1024@60"), 0u);
  ASSERT_EQ(Get(h, &p, kFlagScaling), 0u);
  EXPECT_EQ(p.ScaledWidth, 1280);
}

TEST_F(ZeltoSimTest, InjectedErrorsOnTheNthOrEveryCall) {
  HRGBCAPTURE h = Open(0);
  CaptureParams p = {};
  ASSERT_EQ(sim_.InjectError("RGBCaptureGetParameters", kRgbErrorInvalidBrightness, 2), 0u);
  EXPECT_EQ(Get(h, &p, kFlagContrast), 0u);
  EXPECT_EQ(Get(h, &p, kFlagContrast), kRgbErrorInvalidBrightness);
  EXPECT_EQ(Get(h, &p, kFlagContrast), 0u);

  ASSERT_EQ(sim_.InjectError("RGBCaptureEnable", kRgbErrorIllegalCall, 0), 0u);
  EXPECT_EQ(sim_.RGBCaptureEnable(h, 1), kRgbErrorIllegalCall);
  EXPECT_EQ(sim_.RGBCaptureEnable(h, 1), kRgbErrorIllegalCall);
  sim_.ClearErrors();
  EXPECT_EQ(sim_.RGBCaptureEnable(h, 1), 0u);

  // An injected result is all the call does.
  ASSERT_EQ(sim_.Configure("inject=RGBCaptureOpen:0x10004:1"), 0u);
  const uint32_t open_before = Counters().open_handles;
  HRGBCAPTURE other = 0;
  EXPECT_EQ(sim_.RGBCaptureOpen(1, &other), kRgbErrorDeviceInUse);
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(Counters().open_handles, open_before);

  EXPECT_EQ(sim_.InjectError("RGBCaptureNoSuchThing", 1, 1), kRgbErrorInvalidFlags);
}

// --- Counters, log and configuration ------------------------------------------------

TEST_F(ZeltoSimTest, CountersAndCallLogShowOrderArgumentsAndLeaks) {
  uint32_t devices = 0;
  sim_.RGBCaptureInitialise(&devices);
  HRGBCAPTURE h = Open(0);
  void* a = nullptr;
  void* b = nullptr;
  ASSERT_EQ(sim_.RGBCaptureAllocateBuffer(h, &a, 1000), 0u);
  ASSERT_EQ(sim_.RGBCaptureAllocateBuffer(h, &b, 2000), 0u);
  ASSERT_EQ(sim_.RGBCaptureFreeBuffer(h, &a), 0u);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(sim_.RGBCaptureFreeBuffer(h, &a), kRgbErrorInvalidPointer);  // null address
  void* stray = &devices;
  EXPECT_EQ(sim_.RGBCaptureFreeBuffer(h, &stray), kRgbErrorBufferNotValid);
  ZeltoSimCounters c = Counters();
  EXPECT_EQ(c.open_handles, 1u);
  EXPECT_EQ(c.live_buffers, 1u);
  ASSERT_EQ(sim_.RGBCaptureClose(h), 0u);
  c = Counters();
  EXPECT_EQ(c.open_handles, 0u);
  EXPECT_EQ(c.live_buffers, 0u);
  EXPECT_EQ(c.buffers_closed, 1u);  // b leaked until the close
  EXPECT_EQ(c.calls[static_cast<int>(DriverEntry::kRGBCaptureAllocateBuffer)], 2u);

  ZeltoSimCall log[16];
  ASSERT_EQ(sim_.GetCallLog(log, 16), 8u);
  const DriverEntry order[] = {
      DriverEntry::kRGBCaptureInitialise,     DriverEntry::kRGBCaptureOpen,
      DriverEntry::kRGBCaptureAllocateBuffer, DriverEntry::kRGBCaptureAllocateBuffer,
      DriverEntry::kRGBCaptureFreeBuffer,     DriverEntry::kRGBCaptureFreeBuffer,
      DriverEntry::kRGBCaptureFreeBuffer,     DriverEntry::kRGBCaptureClose};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(log[i].entry, static_cast<uint32_t>(order[i])) << i;
  EXPECT_EQ(log[3].arg, 2000u);
  EXPECT_EQ(log[3].handle, h);
  EXPECT_EQ(log[5].result, kRgbErrorInvalidPointer);
  EXPECT_EQ(log[6].result, kRgbErrorBufferNotValid);

  ZeltoSimCall last = {};
  ASSERT_TRUE(
      sim_.GetLastCall(static_cast<uint32_t>(DriverEntry::kRGBCaptureAllocateBuffer), &last));
  EXPECT_EQ(last.arg, 2000u);
  EXPECT_FALSE(sim_.GetLastCall(static_cast<uint32_t>(DriverEntry::kRGBCaptureFillBuffer), &last));

  // Get/Set log their flags and query selector.
  h = Open(0);
  CaptureParams p = {};
  Get(h, &p, kFlagsNegotiateAnalogue, kQueryNegotiatedAnalogue);
  ASSERT_TRUE(
      sim_.GetLastCall(static_cast<uint32_t>(DriverEntry::kRGBCaptureGetParameters), &last));
  EXPECT_EQ(last.arg, kFlagsNegotiateAnalogue);
  EXPECT_EQ(last.query, kQueryNegotiatedAnalogue);
}

TEST_F(ZeltoSimTest, ConfigurationKeysAndErrors) {
  EXPECT_EQ(sim_.Configure("channels=3; ch2.signal=0 ;"), 0u);
  uint32_t devices = 0;
  ASSERT_EQ(sim_.RGBCaptureInitialise(&devices), 0u);
  EXPECT_EQ(devices, 3u);
  HRGBCAPTURE h = Open(2);
  CaptureParams p = {};
  EXPECT_EQ(Get(h, &p, 0), kRgbErrorSignalNotDetected);
  EXPECT_EQ(sim_.Configure("ch3.signal=0"), kRgbErrorInvalidIndex);
  EXPECT_EQ(sim_.Configure("colour=blue"), kRgbErrorInvalidFlags);
  EXPECT_EQ(sim_.Configure("pacing=sometimes"), kRgbErrorInvalidFlags);
  EXPECT_EQ(sim_.Configure("signal"), kRgbErrorInvalidFlags);
  // Unprefixed channel keys apply to every channel.
  EXPECT_EQ(sim_.Configure("mode=640x480@59.94;sync_edge=1;timing_flags=0x30"), 0u);
  HRGBCAPTURE h0 = Open(0);
  VideoTiming t = {};
  ASSERT_EQ(sim_.RGBCaptureDetectVideoMode(h0, 0, 0, &t, 0), 0u);
  EXPECT_EQ(t.VerFrequency, 59940u);
  EXPECT_EQ(t.Flags, 0x30u);
  ASSERT_EQ(Get(h0, &p, kFlagsTimingAndPositions), 0u);
  EXPECT_EQ(p.SyncEdge, 1u);
  EXPECT_EQ(sim_.Configure("ch1.signal=out_of_range"), 0u);
  ASSERT_EQ(sim_.RGBCaptureDetectVideoMode(Open(1), 0, 0, &t, 0), 0u);
  EXPECT_EQ(t.Flags, kTimingOutOfRange);
}

void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  if (*value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

// ZELTOSIM is read at the first driver call after a load or a reset.
TEST_F(ZeltoSimTest, EnvironmentIsReadAtTheFirstCall) {
  SetEnvironment("ZELTOSIM", "channels=4;pacing=free");
  sim_.Reset();
  uint32_t devices = 0;
  ASSERT_EQ(sim_.RGBCaptureInitialise(&devices), 0u);
  EXPECT_EQ(devices, 4u);
  ASSERT_EQ(sim_.Configure("channels=1"), 0u);
  ASSERT_EQ(sim_.RGBCaptureInitialise(&devices), 0u);
  EXPECT_EQ(devices, 1u);  // not read again

  // A driver reloaded by a channel scan is opened without RGBCaptureInitialise.
  SetEnvironment("ZELTOSIM", "signal=0");
  sim_.Reset();
  HRGBCAPTURE handle = 0;
  ASSERT_EQ(sim_.RGBCaptureOpen(0, &handle), 0u);
  CaptureParams params{};
  params.Size = sizeof(params);
  EXPECT_EQ(sim_.RGBCaptureGetParameters(handle, &params, kQueryAfterOpen),
            kRgbErrorSignalNotDetected);
  sim_.RGBCaptureClose(handle);
  SetEnvironment("ZELTOSIM", "");
}

// The module fills on its capture thread while the host thread adjusts.
TEST_F(ZeltoSimTest, FillWhileAnotherThreadAdjusts) {
  HRGBCAPTURE h = Open(0);
  uint8_t* buffer = Start(h, kWidth * kHeight * 4);
  std::thread host([&] {
    for (int i = 0; i < 200; ++i) {
      CaptureParams p = {};
      p.Brightness = i % 100;
      EXPECT_EQ(Set(h, &p, kFlagBrightness), 0u);
      EXPECT_EQ(Get(h, &p, kFlagsTimingAndPositions), 0u);
    }
  });
  uint32_t previous = 0;
  for (int i = 0; i < 50; ++i) {
    uint32_t frame = FillAndDecode(h, buffer, PixelLayout::kBgrx32);
    if (i > 0) {
      EXPECT_EQ(frame, previous + 1);
    }
    previous = frame;
  }
  host.join();
}

}  // namespace
}  // namespace zelto
