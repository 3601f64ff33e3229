// The pattern header on its own: the codes that tests and tools decode.
#include "zeltosim_pattern.h"

#include <gtest/gtest.h>

#include <vector>

namespace zelto::sim {
namespace {

const PixelLayout kLayouts[] = {PixelLayout::kRgb555, PixelLayout::kRgb565, PixelLayout::kBgrx32,
                                PixelLayout::kBgr24};

TEST(ZeltoSimPatternTest, FrameCodeRoundTripsInEveryLayout) {
  for (PixelLayout layout : kLayouts) {
    for (uint32_t frame : {0u, 1u, 15u, 16u, 0x12345678u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
      std::vector<uint8_t> line(kFrameCodePixels * BytesPerPixel(layout), 0);
      EncodeFrameNumber(line.data(), layout, frame);
      uint32_t decoded = 0;
      ASSERT_TRUE(DecodeFrameNumber(line.data(), layout, &decoded));
      EXPECT_EQ(decoded, frame);
    }
  }
}

// Bars, blocks and a time code must not pass for a frame code.
TEST(ZeltoSimPatternTest, NonCodesAreRejected) {
  for (PixelLayout layout : kLayouts) {
    const int bpp = BytesPerPixel(layout);
    std::vector<uint8_t> line(kFrameCodePixels * bpp);
    for (const Rgb& colour : kBarColours) {
      for (int p = 0; p < kFrameCodePixels; ++p) StorePixel(&line[p * bpp], layout, colour);
      uint32_t frame = 0;
      EXPECT_FALSE(DecodeFrameNumber(line.data(), layout, &frame));
    }
    EncodeFrameNumber(line.data(), layout, 1234);
    EncodeTimeCode(line.data(), {10, 20, 30, 12});
    uint32_t frame = 0;
    EXPECT_FALSE(DecodeFrameNumber(line.data(), layout, &frame));
  }
}

TEST(ZeltoSimPatternTest, PixelPackingMatchesTheFormats) {
  uint8_t px[4];
  StorePixel(px, PixelLayout::kRgb555, {255, 0, 0});
  EXPECT_EQ(px[0] | px[1] << 8, 0x7C00);
  StorePixel(px, PixelLayout::kRgb565, {0, 255, 0});
  EXPECT_EQ(px[0] | px[1] << 8, 0x07E0);
  StorePixel(px, PixelLayout::kBgrx32, {1, 2, 3});
  EXPECT_EQ(std::vector<uint8_t>(px, px + 4), (std::vector<uint8_t>{3, 2, 1, 0}));
  EXPECT_EQ(LoadPixel(px, PixelLayout::kBgrx32), (Rgb{1, 2, 3}));
  StorePixel(px, PixelLayout::kRgb565, {255, 255, 255});
  EXPECT_EQ(LoadPixel(px, PixelLayout::kRgb565), (Rgb{255, 255, 255}));
}

TEST(ZeltoSimPatternTest, TimeCodeAdvancesAndWrapsAtMidnight) {
  TimeCode t = AdvanceTimeCode({23, 59, 59, 29}, 1, 30);
  EXPECT_EQ(t.hours + t.minutes + t.seconds + t.frames, 0u);
  t = AdvanceTimeCode({1, 2, 3, 4}, 24 * 60 + 3, 24);
  EXPECT_EQ(t.hours, 1u);
  EXPECT_EQ(t.minutes, 3u);
  EXPECT_EQ(t.seconds, 3u);
  EXPECT_EQ(t.frames, 7u);
  uint8_t bytes[4];
  EncodeTimeCode(bytes, {12, 34, 56, 29});
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), (std::vector<uint8_t>{0x29, 0x56, 0x34, 0x12}));
  TimeCode back = DecodeTimeCode(bytes);
  EXPECT_EQ(back.hours, 12u);
  EXPECT_EQ(back.frames, 29u);
}

TEST(ZeltoSimPatternTest, MovingBlockStaysInsideAndMoves) {
  for (uint32_t frame : {0u, 1u, 255u, 100000u, 0xFFFFFFFFu}) {
    BlockRect b = MovingBlock(frame, 640, 480);
    EXPECT_LE(b.x + b.size, 640u);
    EXPECT_LE(b.y + b.size, 480u);
  }
  EXPECT_NE(MovingBlock(0, 640, 480).x, MovingBlock(1, 640, 480).x);
}

}  // namespace
}  // namespace zelto::sim
