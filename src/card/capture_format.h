// The capture formats, one row each: the index the capture format and startup
// image format settings store, the driver's PixelFormat, the bytes of a
// delivered pixel, whether the capture thread converts 32-bit pixels to RGB 24,
// and the code the host reads from GetImageFormat. Every mapping between these
// columns is a lookup in this one table.
#ifndef ZELTO_CARD_CAPTURE_FORMAT_H_
#define ZELTO_CARD_CAPTURE_FORMAT_H_

#include <atomic>
#include <cstdint>

#include "driver/capture_driver.h"
#include "zeltorgb/image_record.h"

namespace zelto {

struct CaptureFormatInfo {
  int32_t index;
  uint32_t pixel_format;
  int32_t bytes_per_pixel;
  bool convert_to_24;
  int32_t host_format;
};

inline constexpr CaptureFormatInfo kCaptureFormats[] = {
    {0, kPixelFormat555, 2, false, kZeltoImageFormat555},  // "5-5-5"
    {1, kPixelFormat565, 2, false, kZeltoImageFormat565},  // "5-6-5"
    {2, kPixelFormat32, 4, false, kZeltoImageFormat888},   // "8-8-8"
    {3, kPixelFormat32, 3, true, kZeltoImageFormatRgb24},  // "RGB 24"
};

// The card's current format, shared with the capture thread. BytesPerPixel is
// the delivered pixel's size (2, 3 or 4; 0 before the first negotiation);
// ConvertTo24 makes the capture thread convert the driver's 32-bit pixels.
struct CaptureFormatState {
  std::atomic<int32_t> CaptureFormat{0};  // index last set, as stored
  std::atomic<bool> ConvertTo24{false};
  std::atomic<int32_t> BytesPerPixel{0};
};

// Bytes of a pixel in the driver's capture buffer when the capture thread
// converts (the driver delivers kPixelFormat32 then).
inline constexpr int32_t kConvertedSourceBytesPerPixel = 4;

// The row of a stored index; any index outside the table counts as the first row.
constexpr const CaptureFormatInfo& CaptureFormatAt(int32_t index) {
  for (const CaptureFormatInfo& format : kCaptureFormats) {
    if (format.index == index) return format;
  }
  return kCaptureFormats[0];
}

// The row the driver's `pixel_format` stands for: the one that also matches
// `convert_to_24`, else the first with that pixel format; null for a pixel
// format no row has.
constexpr const CaptureFormatInfo* CaptureFormatForPixelFormat(uint32_t pixel_format,
                                                               bool convert_to_24) {
  const CaptureFormatInfo* first = nullptr;
  for (const CaptureFormatInfo& format : kCaptureFormats) {
    if (format.pixel_format != pixel_format) continue;
    if (format.convert_to_24 == convert_to_24) return &format;
    if (first == nullptr) first = &format;
  }
  return first;
}

// The PixelFormat the negotiation asks for. A converted format is negotiated as
// the first row; the stored capture format, applied after start-up, corrects it.
constexpr uint32_t NegotiatedPixelFormat(int32_t index) {
  const CaptureFormatInfo& format = CaptureFormatAt(index);
  return format.convert_to_24 ? kCaptureFormats[0].pixel_format : format.pixel_format;
}

static_assert(NegotiatedPixelFormat(3) == kPixelFormat555);
static_assert(CaptureFormatForPixelFormat(kPixelFormat32, false)->bytes_per_pixel == 4);
static_assert(CaptureFormatForPixelFormat(kPixelFormat555, true)->host_format ==
              kZeltoImageFormat555);

}  // namespace zelto

#endif  // ZELTO_CARD_CAPTURE_FORMAT_H_
