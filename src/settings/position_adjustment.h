// The arithmetic of the two position adjustments, from the driver's timing.
// A host position is the driver's capture start less a base, the smallest start
// the timing allows (HorOffsetMin, VerOffsetMin), so the host's 0 is the earliest
// start. Vertically the host scale is offset by 4 lines: the host's 4 is the base.
#ifndef ZELTO_SETTINGS_POSITION_ADJUSTMENT_H_
#define ZELTO_SETTINGS_POSITION_ADJUSTMENT_H_

#include <cstdint>

#include "driver/capture_driver.h"

namespace zelto {

struct PositionRange {
  int32_t min;
  int32_t max;
  int32_t base;  // the driver position of the host's 0 (vertically, of its 4)
};

// 0 .. image width + right border + front porch - base, and the sync width on
// the side SyncEdge puts it.
PositionRange HorizontalPositionRange(const CaptureParams& params, int32_t image_width);
// 0 .. image height - base + 4.
PositionRange VerticalPositionRange(const CaptureParams& params, int32_t image_height);

// The bases alone (the same as the ranges give).
int32_t HorizontalPositionBase(const CaptureParams& params);
int32_t VerticalPositionBase(const CaptureParams& params);

inline int32_t HorizontalPositionToDriver(int32_t host, int32_t base) { return host + base; }
inline int32_t HorizontalPositionToHost(int32_t driver, int32_t base) { return driver - base; }
inline int32_t VerticalPositionToDriver(int32_t host, int32_t base) { return host + base - 4; }
inline int32_t VerticalPositionToHost(int32_t driver, int32_t base) { return driver - base + 4; }

}  // namespace zelto

#endif  // ZELTO_SETTINGS_POSITION_ADJUSTMENT_H_
