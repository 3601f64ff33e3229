// The capture format table against the mappings written out by hand, so a
// mistyped cell shows here rather than as a wrong format on a user's card.
#include "card/capture_format.h"

#include <gtest/gtest.h>

#include <utility>

namespace zelto {
namespace {

// Index -> the PixelFormat the negotiation asks for: RGB 24 and unknown
// indices are negotiated as 5-5-5.
TEST(CaptureFormatTest, NegotiationAsksForThePixelFormatOfTheIndex) {
  const std::pair<int32_t, uint32_t> cases[] = {{0, 1}, {1, 2}, {2, 3}, {3, 1}, {4, 1}, {-1, 1}};
  for (auto [index, pixel_format] : cases) {
    EXPECT_EQ(NegotiatedPixelFormat(index), pixel_format) << index;
  }
}

// Index -> bytes per pixel, conversion and host code, as the startup image
// format applies them without a signal.
TEST(CaptureFormatTest, StoredIndexGivesPixelSizeConversionAndHostCode) {
  struct Case {
    int32_t index;
    int32_t bytes;
    bool convert;
    int32_t host;
  };
  for (const Case& c : {Case{0, 2, false, 905}, Case{1, 2, false, 906}, Case{2, 4, false, 500},
                        Case{3, 3, true, 200}, Case{4, 2, false, 905}, Case{-7, 2, false, 905}}) {
    const CaptureFormatInfo& format = CaptureFormatAt(c.index);
    EXPECT_EQ(format.bytes_per_pixel, c.bytes) << c.index;
    EXPECT_EQ(format.convert_to_24, c.convert) << c.index;
    EXPECT_EQ(format.host_format, c.host) << c.index;
  }
}

// The driver's PixelFormat (with the card's conversion flag) -> host code and
// negotiated pixel size; a PixelFormat no row has is unknown.
TEST(CaptureFormatTest, DriverPixelFormatNamesItsRow) {
  struct Case {
    uint32_t pixel_format;
    bool convert;
    int32_t host;
    int32_t bytes;
  };
  for (const Case& c : {Case{1, false, 905, 2}, Case{1, true, 905, 2}, Case{2, false, 906, 2},
                        Case{2, true, 906, 2}, Case{3, false, 500, 4}, Case{3, true, 200, 3}}) {
    const CaptureFormatInfo* format = CaptureFormatForPixelFormat(c.pixel_format, c.convert);
    ASSERT_NE(format, nullptr) << c.pixel_format;
    EXPECT_EQ(format->host_format, c.host) << c.pixel_format << c.convert;
    EXPECT_EQ(format->bytes_per_pixel, c.bytes) << c.pixel_format << c.convert;
  }
  EXPECT_EQ(CaptureFormatForPixelFormat(0, false), nullptr);
  EXPECT_EQ(CaptureFormatForPixelFormat(4, true), nullptr);
}

}  // namespace
}  // namespace zelto
