#include "settings/position_adjustment.h"

#include "geometry/region_rules.h"

namespace zelto {

int32_t HorizontalPositionBase(const CaptureParams& params) {
  const VideoTiming& t = params.Timing;
  return HorOffsetMin(static_cast<int32_t>(t.HorLeftBorder), static_cast<int32_t>(t.HorBackPorch),
                      static_cast<int32_t>(t.HorSyncTime), static_cast<int32_t>(params.SyncEdge));
}

int32_t VerticalPositionBase(const CaptureParams& params) {
  const VideoTiming& t = params.Timing;
  return VerOffsetMin(static_cast<int32_t>(t.VerTopBorder), static_cast<int32_t>(t.VerBackPorch),
                      static_cast<int32_t>(t.VerSyncTime));
}

PositionRange HorizontalPositionRange(const CaptureParams& params, int32_t image_width) {
  const VideoTiming& t = params.Timing;
  int32_t extra = static_cast<int32_t>(t.HorRightBorder + t.HorFrontPorch);
  if (params.SyncEdge == 1) extra += static_cast<int32_t>(t.HorSyncTime);
  const int32_t low = HorizontalPositionBase(params);
  return {0, image_width + extra - low, low};
}

PositionRange VerticalPositionRange(const CaptureParams& params, int32_t image_height) {
  const int32_t low = VerticalPositionBase(params);
  return {0, image_height - low + 4, low};
}

}  // namespace zelto
