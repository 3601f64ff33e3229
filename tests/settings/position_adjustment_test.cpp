// The position arithmetic on recorded timings: the ranges, bases and the two
// directions of the conversion.
#include "settings/position_adjustment.h"

#include <gtest/gtest.h>

namespace zelto {
namespace {

CaptureParams Timing(uint32_t left, uint32_t hbp, uint32_t hs, uint32_t hfp, uint32_t right,
                     uint32_t top, uint32_t vbp, uint32_t vs, uint32_t sync_edge) {
  CaptureParams p{};
  p.Timing.HorLeftBorder = left;
  p.Timing.HorBackPorch = hbp;
  p.Timing.HorSyncTime = hs;
  p.Timing.HorFrontPorch = hfp;
  p.Timing.HorRightBorder = right;
  p.Timing.VerTopBorder = top;
  p.Timing.VerBackPorch = vbp;
  p.Timing.VerSyncTime = vs;
  p.SyncEdge = sync_edge;
  return p;
}

TEST(PositionAdjustmentTest, WorkedExample) {
  const CaptureParams p = Timing(0, 48, 32, 8, 0, 0, 33, 2, 0);
  const PositionRange hor = HorizontalPositionRange(p, 640);
  EXPECT_EQ(hor.min, 0);
  EXPECT_EQ(hor.max, 728);
  EXPECT_EQ(hor.base, -80);
  EXPECT_EQ(HorizontalPositionToDriver(80, hor.base), 0);
  EXPECT_EQ(HorizontalPositionToHost(0, hor.base), 80);

  const PositionRange ver = VerticalPositionRange(p, 480);
  EXPECT_EQ(ver.min, 0);
  EXPECT_EQ(ver.max, 515);
  EXPECT_EQ(ver.base, -31);
  EXPECT_EQ(VerticalPositionToDriver(27, ver.base), -8);
  EXPECT_EQ(VerticalPositionToHost(-8, ver.base), 27);
}

// The sync width counts on the side the sync edge puts it; borders widen the
// range on their side.
TEST(PositionAdjustmentTest, SyncEdgeAndBordersMoveTheRange) {
  const PositionRange after = HorizontalPositionRange(Timing(0, 48, 32, 8, 0, 0, 0, 0, 1), 640);
  EXPECT_EQ(after.base, -48);
  EXPECT_EQ(after.max, 640 + 8 + 32 + 48);
  const PositionRange bordered =
      HorizontalPositionRange(Timing(100, 48, 32, 8, 60, 0, 0, 0, 0), 480);
  EXPECT_EQ(bordered.base, -180);
  EXPECT_EQ(bordered.max, 480 + 68 + 180);
  EXPECT_EQ(VerticalPositionBase(Timing(0, 0, 0, 0, 0, 50, 33, 2, 0)), 4 - 85);
}

}  // namespace
}  // namespace zelto
