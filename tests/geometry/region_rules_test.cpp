// The region, scaling and fit arithmetic with the worked examples: alignment
// before clamping, the clamp order, and the 1:1 window of a narrow region.
#include "geometry/region_rules.h"

#include <gtest/gtest.h>

namespace zelto {
namespace {

constexpr int32_t kW = 1024;
constexpr int32_t kH = 768;

void ExpectRegion(const Region& r, int32_t width, int32_t height, int32_t x, int32_t y) {
  EXPECT_EQ(r.width, width);
  EXPECT_EQ(r.height, height);
  EXPECT_EQ(r.offset_x, x);
  EXPECT_EQ(r.offset_y, y);
}

TEST(ClampRegionTest, WidthAndOffsetXAlignUpBeforeTheClamp) {
  ExpectRegion(ClampRegion({639, 480, 2, 0}, kW, kH), 640, 480, 4, 0);
  ExpectRegion(ClampRegion({640, 480, 4, 0}, kW, kH), 640, 480, 4, 0);
}

TEST(ClampRegionTest, OversizeBecomesTheSource) {
  ExpectRegion(ClampRegion({2000, 2000, 0, 0}, kW, kH), kW, kH, 0, 0);
}

// The offset is clamped before the width, so a region at the far corner shrinks
// to the minimum instead of moving back into the source.
TEST(ClampRegionTest, OffsetClampsFirstThenTheSizeShrinks) {
  ExpectRegion(ClampRegion({100, 100, 1023, 767}, kW, kH), 4, 1, 1020, 767);
  ExpectRegion(ClampRegion({800, 600, 400, 300}, kW, kH), 624, 468, 400, 300);
}

TEST(ClampRegionTest, NegativesBecomeTheMinimum) {
  // -3 truncates to 0, plus 4.
  ExpectRegion(ClampRegion({-3, -5, -7, -1}, kW, kH), 4, 1, 0, 0);
  ExpectRegion(ClampRegion({-8, 0, -4, 0}, kW, kH), 4, 1, 0, 0);
}

TEST(ClampScaledTest, WidthAlignsUpThenClampsHeightOnlyClamps) {
  EXPECT_EQ(ClampScaledWidth(61), 64);
  EXPECT_EQ(ClampScaledHeight(3000), 2000);
  EXPECT_EQ(ClampScaledWidth(1999), 2000);
  EXPECT_EQ(ClampScaledHeight(1999), 1999);
  EXPECT_EQ(ClampScaledWidth(2001), 2000);
  EXPECT_EQ(ClampScaledWidth(-100), 64);
  EXPECT_EQ(ClampScaledHeight(63), 64);
}

TEST(WindowForRegionTest, RegionIsTheCropAtOneToOne) {
  const RegionWindow w = WindowForRegion(ClampRegion({639, 480, 2, 0}, kW, kH), kW, kH);
  EXPECT_EQ(w.horizontal.lead, 4);
  EXPECT_EQ(w.horizontal.active, 640);
  EXPECT_EQ(w.horizontal.trail, 1024 - 640 - 4);
  EXPECT_EQ(w.vertical.lead, 0);
  EXPECT_EQ(w.vertical.active, 480);
  EXPECT_EQ(w.vertical.trail, 288);
  EXPECT_EQ(w.output_width, 640);
  EXPECT_EQ(w.output_height, 480);
  EXPECT_EQ(w.window_x, 0);
  EXPECT_EQ(w.window_y, 0);
}

// A region below the smallest output cannot be scaled to itself: the crop
// widens to 64 and the region is cut out of it, shifted back from the edges.
TEST(WindowForRegionTest, NarrowRegionWidensWithinTheSource) {
  RegionWindow w = WindowForRegion({32, 16, 100, 200}, kW, kH);
  EXPECT_EQ(w.horizontal.lead, 100);
  EXPECT_EQ(w.horizontal.active, 64);
  EXPECT_EQ(w.horizontal.trail, kW - 164);
  EXPECT_EQ(w.window_x, 0);
  EXPECT_EQ(w.vertical.active, 64);
  EXPECT_EQ(w.output_width, 64);
  EXPECT_EQ(w.output_height, 64);

  w = WindowForRegion(ClampRegion({100, 100, 1023, 767}, kW, kH), kW, kH);
  EXPECT_EQ(w.horizontal.lead, kW - 64);
  EXPECT_EQ(w.horizontal.trail, 0);
  EXPECT_EQ(w.window_x, 1020 - (kW - 64));
  EXPECT_EQ(w.vertical.lead, kH - 64);
  EXPECT_EQ(w.vertical.trail, 0);
  EXPECT_EQ(w.window_y, 767 - (kH - 64));
  // Every border stays inside the source.
  EXPECT_EQ(w.horizontal.lead + w.horizontal.active + w.horizontal.trail, kW);
  EXPECT_EQ(w.vertical.lead + w.vertical.active + w.vertical.trail, kH);
}

TEST(WindowForRegionTest, SourceBelowTheMinimumIsCroppedWhole) {
  const RegionWindow w = WindowForRegion({8, 8, 8, 8}, 40, 30);
  EXPECT_EQ(w.horizontal.lead, 0);
  EXPECT_EQ(w.horizontal.active, 40);
  EXPECT_EQ(w.window_x, 8);
  EXPECT_EQ(w.vertical.active, 30);
  EXPECT_EQ(w.window_y, 8);
}

TEST(WindowForFitTest, KeptSourceKeepsBordersOtherwiseZero) {
  RegionWindow w = WindowForFit(640, 480, kW, kH, true);
  EXPECT_EQ(w.horizontal.lead, 0);
  EXPECT_EQ(w.horizontal.active, 640);
  EXPECT_EQ(w.horizontal.trail, kW - 640);
  EXPECT_EQ(w.vertical.trail, kH - 480);
  EXPECT_EQ(w.output_width, 640);

  w = WindowForFit(800, 600, kW, kH, false);
  EXPECT_EQ(w.horizontal.trail, 0);
  EXPECT_EQ(w.vertical.trail, 0);
  EXPECT_EQ(w.horizontal.active, 800);
  EXPECT_EQ(w.output_height, 600);

  // Not aligned: the fit takes the size as given.
  EXPECT_EQ(WindowForFit(642, 480, kW, kH, true).horizontal.active, 642);
  EXPECT_EQ(WindowForFit(642, 480, kW, kH, true).output_width, 644);
}

TEST(OffsetMinTest, SyncCountsUnlessTheEdgeIsOne) {
  EXPECT_EQ(HorOffsetMin(0, 160, 136, 0), -296);
  EXPECT_EQ(HorOffsetMin(8, 160, 136, 1), -168);
  EXPECT_EQ(HorOffsetMin(8, 160, 136, 2), -304);
  EXPECT_EQ(VerOffsetMin(0, 29, 6), -31);
  EXPECT_EQ(VerOffsetMin(3, 29, 6), -34);
}

}  // namespace
}  // namespace zelto
