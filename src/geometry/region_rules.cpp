#include "geometry/region_rules.h"

#include <algorithm>

namespace zelto {

int32_t AlignUpToFour(int32_t v) {
  if (v % 4 == 0) return v;
  return v / 4 * 4 + 4;
}

int32_t ClampScaledWidth(int32_t v) {
  return std::clamp(AlignUpToFour(v), kMinScaledSize, kMaxScaledSize);
}

int32_t ClampScaledHeight(int32_t v) { return std::clamp(v, kMinScaledSize, kMaxScaledSize); }

namespace {

// One direction of ClampRegion; std::clamp is not used because the steps run in
// a fixed order even when the source is smaller than the minimum.
void ClampSpan(int32_t source, int32_t minimum, int32_t* size, int32_t* offset) {
  if (*offset < 0) *offset = 0;
  if (*offset >= source - minimum) *offset = source - minimum;
  if (*size < minimum) *size = minimum;
  if (*size > source) *size = source;
  if (*size + *offset > source) *size = source - *offset;
}

// The crop of `size` at `offset`, widened to the smallest output when it is
// narrower; `window` is where the region then starts in the crop.
CropSpan WidenedSpan(int32_t size, int32_t offset, int32_t source, int32_t* window) {
  const int32_t active = std::max(size, std::min(kMinScaledSize, source));
  const int32_t lead = std::max(0, std::min(offset, source - active));
  *window = offset - lead;
  return {lead, active, source - active - lead};
}

}  // namespace

Region ClampRegion(const Region& requested, int32_t source_width, int32_t source_height) {
  Region r = requested;
  r.width = AlignUpToFour(r.width);
  r.offset_x = AlignUpToFour(r.offset_x);
  ClampSpan(source_width, 4, &r.width, &r.offset_x);
  ClampSpan(source_height, 1, &r.height, &r.offset_y);
  return r;
}

RegionWindow WindowForRegion(const Region& region, int32_t source_width, int32_t source_height) {
  RegionWindow w{};
  w.horizontal = WidenedSpan(region.width, region.offset_x, source_width, &w.window_x);
  w.vertical = WidenedSpan(region.height, region.offset_y, source_height, &w.window_y);
  w.output_width = ClampScaledWidth(w.horizontal.active);
  w.output_height = ClampScaledHeight(w.vertical.active);
  return w;
}

RegionWindow WindowForFit(int32_t width, int32_t height, int32_t source_width,
                          int32_t source_height, bool source_size_kept) {
  RegionWindow w{};
  if (source_size_kept) {
    w.horizontal = WidenedSpan(width, 0, source_width, &w.window_x);
    w.vertical = WidenedSpan(height, 0, source_height, &w.window_y);
  } else {
    w.horizontal = {0, width, 0};
    w.vertical = {0, height, 0};
  }
  w.output_width = ClampScaledWidth(w.horizontal.active);
  w.output_height = ClampScaledHeight(w.vertical.active);
  return w;
}

int32_t HorOffsetMin(int32_t left_border, int32_t back_porch, int32_t sync_time,
                     int32_t sync_edge) {
  int32_t minimum = -(left_border + back_porch);
  if (sync_edge != 1) minimum -= sync_time;
  return minimum;
}

int32_t VerOffsetMin(int32_t top_border, int32_t back_porch, int32_t sync_time) {
  return 4 - sync_time - back_porch - top_border;
}

}  // namespace zelto
