#include "pixel_format.h"

#include <gtest/gtest.h>

#include <vector>

#include "zeltosim_pattern.h"

namespace zelto::grab {
namespace {

constexpr int32_t kCodes[] = {905, 906, 500, 200};

// Packs `colours` the way the card delivers them, in ZeltoSim's reference layout.
std::vector<uint8_t> Pack(const PixelFormatInfo& f, const std::vector<sim::Rgb>& colours) {
  std::vector<uint8_t> row(colours.size() * static_cast<size_t>(f.bytes_per_pixel) + 1, 0xEE);
  for (size_t i = 0; i < colours.size(); ++i) {
    sim::StorePixel(row.data() + i * static_cast<size_t>(f.bytes_per_pixel), f.layout, colours[i]);
  }
  return row;
}

TEST(PixelFormatTest, DescribesTheFourModuleFormats) {
  EXPECT_EQ(DescribeFormat(905)->bytes_per_pixel, 2);
  EXPECT_EQ(DescribeFormat(906)->bytes_per_pixel, 2);
  EXPECT_EQ(DescribeFormat(500)->bytes_per_pixel, 4);
  EXPECT_EQ(DescribeFormat(200)->bytes_per_pixel, 3);
  EXPECT_FALSE(DescribeFormat(0));  // the card could not tell
  EXPECT_FALSE(DescribeFormat(24));
}

// Red and blue swapped, or 5-5-5 read as 5-6-5, shows up as a wrong bar colour.
TEST(PixelFormatTest, BarColoursComeOutRightInEveryFormat) {
  std::vector<sim::Rgb> bars(std::begin(sim::kBarColours), std::end(sim::kBarColours));
  for (int32_t code : kCodes) {
    const PixelFormatInfo f = *DescribeFormat(code);
    std::vector<uint8_t> row = Pack(f, bars);
    std::vector<uint8_t> rgb(bars.size() * 3);
    UnpackRowToRgb(f, row.data(), static_cast<int>(bars.size()), rgb.data());
    for (size_t i = 0; i < bars.size(); ++i) {
      EXPECT_EQ(rgb[3 * i], bars[i].r) << code << " bar " << i;
      EXPECT_EQ(rgb[3 * i + 1], bars[i].g) << code << " bar " << i;
      EXPECT_EQ(rgb[3 * i + 2], bars[i].b) << code << " bar " << i;
    }
  }
}

// Every 16-bit value unpacks to the widening ZeltoSim's decoder uses, so a frame
// code survives the tool's conversion.
TEST(PixelFormatTest, SixteenBitChannelsWidenLikeTheReference) {
  for (int32_t code : {905, 906}) {
    const PixelFormatInfo f = *DescribeFormat(code);
    for (unsigned v = 0; v < 65536; v += 7) {
      // Four bytes: the compiler cannot tell that only two are read.
      const uint8_t px[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), 0, 0};
      uint8_t rgb[3];
      UnpackRowToRgb(f, px, 1, rgb);
      const sim::Rgb want = sim::LoadPixel(px, f.layout);
      ASSERT_EQ(rgb[0], want.r) << code << " " << v;
      ASSERT_EQ(rgb[1], want.g) << code << " " << v;
      ASSERT_EQ(rgb[2], want.b) << code << " " << v;
    }
  }
}

TEST(PixelFormatTest, ThirtyTwoBitIgnoresThePaddingByte) {
  const PixelFormatInfo f = *DescribeFormat(500);
  const uint8_t px[8] = {10, 20, 30, 0xFF, 40, 50, 60, 0x7F};
  uint8_t rgb[6];
  UnpackRowToRgb(f, px, 2, rgb);
  const uint8_t want[6] = {30, 20, 10, 60, 50, 40};
  EXPECT_EQ(0, memcmp(rgb, want, 6));
}

// Odd widths: nothing beyond `width` pixels is read or written.
TEST(PixelFormatTest, ConvertsExactlyWidthPixels) {
  for (int32_t code : kCodes) {
    const PixelFormatInfo f = *DescribeFormat(code);
    std::vector<sim::Rgb> colours(7, sim::Rgb{255, 128, 0});
    std::vector<uint8_t> row = Pack(f, colours);
    std::vector<uint8_t> rgb(7 * 3 + 4, 0xAB);
    UnpackRowToRgb(f, row.data(), 7, rgb.data());
    for (size_t i = 21; i < rgb.size(); ++i) EXPECT_EQ(rgb[i], 0xAB) << code;
  }
}

}  // namespace
}  // namespace zelto::grab
