#include "acquisition/frame_copy.h"

#include <algorithm>
#include <cstring>

#include "acquisition/copy_row.h"
#include "acquisition/pxl_image_converter.h"

namespace zelto {

bool CopyWholeFrame(const FrameSource& source, const FrameTarget& target, bool convert,
                    CPxlImageConverter& converter) {
  const int64_t source_size = source.data != nullptr ? source.size : 0;
  const int64_t capacity = target.data != nullptr ? target.capacity : 0;
  if (convert) {
    if (target.width <= 0) return true;
    // Whole lines only, as many as both buffers hold.
    const int64_t rows =
        std::min({target.height, source_size / (target.width * 4), capacity / (target.width * 3)});
    if (rows <= 0) return true;
    return converter.RBG32ToRGB24(static_cast<int>(target.width), static_cast<int>(rows),
                                  source.data, target.data, false);
  }
  const int64_t bytes = std::min({target.image_bytes, source_size, capacity});
  if (bytes <= 0) return true;
  const bool streaming = UseStreamingStores(bytes);
  GetCopyRow(streaming)(source.data, target.data, static_cast<size_t>(bytes));
  if (streaming) StreamingStoreFence();
  return true;
}

void CropFrame(const FrameSource& source, const FrameTarget& target, int64_t bytes_per_pixel,
               bool convert, int64_t left, int64_t top) {
  const int64_t in_bpp = convert ? 4 : bytes_per_pixel;
  const int64_t out_bpp = convert ? 3 : bytes_per_pixel;
  const int64_t source_size = source.data != nullptr ? source.size : 0;
  const int64_t capacity = target.data != nullptr ? target.capacity : 0;
  const int64_t limit = std::min(std::max<int64_t>(0, target.image_bytes), capacity);
  const auto zero = [&target, limit](int64_t begin, int64_t end) {
    end = std::min(end, limit);
    if (begin < end) std::memset(target.data + begin, 0, static_cast<size_t>(end - begin));
  };

  left = std::max<int64_t>(0, left);
  top = std::max<int64_t>(0, top);
  const int64_t w = std::min(target.width, source.width - left);
  const int64_t h = std::min(target.height, source.height - top);
  const bool streaming = UseStreamingStores(limit);
  const CopyRowFunction copy_row = GetCopyRow(streaming);
  const RBG32ToRGB24RowFunction convert_row = GetRBG32ToRGB24Row(streaming);
  // Only what the source does not cover is zeroed: the right of each copied
  // line, then everything below the last one.
  int64_t y = 0;
  for (; y < h && w > 0; ++y) {
    const int64_t from = ((top + y) * source.width + left) * in_bpp;
    const int64_t to = y * target.width * out_bpp;
    if (from + w * in_bpp > source_size || to + w * out_bpp > capacity) break;
    if (convert) {
      convert_row(source.data + from, target.data + to, static_cast<int>(w));
    } else {
      copy_row(source.data + from, target.data + to, static_cast<size_t>(w * in_bpp));
    }
    zero(to + w * out_bpp, to + target.width * out_bpp);
  }
  zero(y * target.width * out_bpp, limit);
  if (streaming) StreamingStoreFence();
}

}  // namespace zelto
