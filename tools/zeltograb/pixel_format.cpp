#include "pixel_format.h"

#include "zeltorgb/image_record.h"

namespace zelto::grab {
namespace {

inline uint8_t Widen5(unsigned v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
inline uint8_t Widen6(unsigned v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }

}  // namespace

std::optional<PixelFormatInfo> DescribeFormat(int32_t code) {
  switch (code) {
    case kZeltoImageFormat555:
      return PixelFormatInfo{code, 2, "16-bit 5-5-5", sim::PixelLayout::kRgb555};
    case kZeltoImageFormat565:
      return PixelFormatInfo{code, 2, "16-bit 5-6-5", sim::PixelLayout::kRgb565};
    case kZeltoImageFormat888:
      return PixelFormatInfo{code, 4, "32-bit 8-8-8 (B, G, R, X)", sim::PixelLayout::kBgrx32};
    case kZeltoImageFormatRgb24:
      return PixelFormatInfo{code, 3, "RGB 24 (B, G, R)", sim::PixelLayout::kBgr24};
    default: return std::nullopt;
  }
}

void UnpackRowToRgb(const PixelFormatInfo& format, const uint8_t* src, int width, uint8_t* rgb) {
  switch (format.layout) {
    case sim::PixelLayout::kRgb555:
      for (int x = 0; x < width; ++x, src += 2, rgb += 3) {
        const unsigned v = src[0] | (src[1] << 8);
        rgb[0] = Widen5((v >> 10) & 31);
        rgb[1] = Widen5((v >> 5) & 31);
        rgb[2] = Widen5(v & 31);
      }
      return;
    case sim::PixelLayout::kRgb565:
      for (int x = 0; x < width; ++x, src += 2, rgb += 3) {
        const unsigned v = src[0] | (src[1] << 8);
        rgb[0] = Widen5((v >> 11) & 31);
        rgb[1] = Widen6((v >> 5) & 63);
        rgb[2] = Widen5(v & 31);
      }
      return;
    case sim::PixelLayout::kBgrx32:
    case sim::PixelLayout::kBgr24: {
      const int step = format.bytes_per_pixel;
      for (int x = 0; x < width; ++x, src += step, rgb += 3) {
        rgb[0] = src[2];
        rgb[1] = src[1];
        rgb[2] = src[0];
      }
      return;
    }
  }
}

}  // namespace zelto::grab
