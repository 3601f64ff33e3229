// The arithmetic of the region of interest, the scaled output and the fit to a
// new mode: pure functions of values, no card and no driver.
//
// The card crops through the timing (the active area shrinks, the rest moves
// into the borders) and scales the crop to the driver's output size, which the
// driver keeps within kMinScaledSize..kMaxScaledSize.
#ifndef ZELTO_GEOMETRY_REGION_RULES_H_
#define ZELTO_GEOMETRY_REGION_RULES_H_

#include <cstdint>

namespace zelto {

inline constexpr int32_t kMinScaledSize = 64;
inline constexpr int32_t kMaxScaledSize = 2000;

// v when it is a multiple of 4, else v truncated toward zero to one, plus 4
// (so -3 gives 4 and 639 gives 640).
int32_t AlignUpToFour(int32_t v);
// AlignUpToFour, then clamped to 64..2000.
int32_t ClampScaledWidth(int32_t v);
// Clamped to 64..2000, with no alignment.
int32_t ClampScaledHeight(int32_t v);

struct Region {
  int32_t width;
  int32_t height;
  int32_t offset_x;
  int32_t offset_y;
};

// A requested region aligned and clamped into a source_width x source_height
// source: width and offset X aligned up to 4, then horizontally offset, width,
// overhang in this order (width at least 4), then the same vertically (height
// at least 1). The order matters: (100, 100, 1023, 767) on 1024 x 768 gives
// 4 x 1 at (1020, 767).
Region ClampRegion(const Region& requested, int32_t source_width, int32_t source_height);

// One direction of the crop window written into the timing: the active part
// and the borders before and after it.
struct CropSpan {
  int32_t lead;    // HorLeftBorder / VerTopBorder
  int32_t active;  // HorAddrTime / VerAddrTime
  int32_t trail;   // HorRightBorder / VerBottomBorder
};

// What the driver is asked for to deliver a region, and where the region sits in
// what it delivers. A region at least kMinScaledSize in a direction is cropped
// exactly and delivered at 1:1. A smaller one cannot be: the driver's output is
// never below kMinScaledSize, and scaling the region up would not give its
// pixels. So the crop widens to kMinScaledSize (or the whole source when that is
// smaller), shifted left or up as far as the source edge needs, and the region
// is cut out of the 1:1 output at `window_x`, `window_y`.
struct RegionWindow {
  CropSpan horizontal;
  CropSpan vertical;
  int32_t output_width;   // ClampScaledWidth of the horizontal crop
  int32_t output_height;  // ClampScaledHeight of the vertical crop
  int32_t window_x;       // the region's left column in the output
  int32_t window_y;       // the region's top line in the output
};

// `region` as ClampRegion leaves it.
RegionWindow WindowForRegion(const Region& region, int32_t source_width, int32_t source_height);

// The crop of a fit to a new mode: width x height at the top-left corner, with
// the rest of the source in the right and bottom borders when the source size was
// kept, else zero borders. Neither aligned nor clamped, except that with the
// source size kept a size below kMinScaledSize widens as WindowForRegion does,
// so the output stays 1:1.
RegionWindow WindowForFit(int32_t width, int32_t height, int32_t source_width,
                          int32_t source_height, bool source_size_kept);

// The smallest capture starts the current timing allows: horizontally
// -(left border + back porch), less the sync width too unless the sync edge is 1;
// vertically 4 - sync - back porch - top border.
int32_t HorOffsetMin(int32_t left_border, int32_t back_porch, int32_t sync_time, int32_t sync_edge);
int32_t VerOffsetMin(int32_t top_border, int32_t back_porch, int32_t sync_time);

}  // namespace zelto

#endif  // ZELTO_GEOMETRY_REGION_RULES_H_
