// Bringing stored geometry into range before it sizes anything. The registry is
// not trusted: a stored region may be negative, zero or absurdly large. At
// start-up (mode unknown) sizes and offsets are brought within sane limits; once
// the mode is detected the region is fitted inside the source.
#ifndef ZELTO_GEOMETRY_RESTORED_GEOMETRY_H_
#define ZELTO_GEOMETRY_RESTORED_GEOMETRY_H_

#include <algorithm>
#include <cstdint>

namespace zelto {

// No source is wider or taller than this; 16384 x 16384 x 4 bytes still fits
// ImageBytes (an int32).
inline constexpr int32_t kMaxStoredDimension = 16384;

struct StoredRegion {
  int32_t width;
  int32_t height;
  int32_t offset_x;
  int32_t offset_y;
};

// A stored size (region or scaled) within 1..kMaxStoredDimension.
constexpr int32_t ClampStoredDimension(int32_t value) {
  return std::clamp(value, 1, kMaxStoredDimension);
}

// Sizes within 1..kMaxStoredDimension, offsets within 0..kMaxStoredDimension.
constexpr StoredRegion ClampStoredRegion(StoredRegion region) {
  return {ClampStoredDimension(region.width), ClampStoredDimension(region.height),
          std::clamp(region.offset_x, 0, kMaxStoredDimension),
          std::clamp(region.offset_y, 0, kMaxStoredDimension)};
}

// The region inside a source of `source_width` x `source_height` (below 1 counts
// as 1): each size at most the source's, each offset at most what the size
// leaves over.
constexpr StoredRegion FitStoredRegion(StoredRegion region, int32_t source_width,
                                       int32_t source_height) {
  const int32_t w = std::max(1, source_width);
  const int32_t h = std::max(1, source_height);
  const StoredRegion clamped = ClampStoredRegion(region);
  const int32_t width = std::min(clamped.width, w);
  const int32_t height = std::min(clamped.height, h);
  return {width, height, std::min(clamped.offset_x, w - width),
          std::min(clamped.offset_y, h - height)};
}

}  // namespace zelto

#endif  // ZELTO_GEOMETRY_RESTORED_GEOMETRY_H_
