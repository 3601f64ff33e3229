// The frame record a host receives from IOrvaneGenericGrabber::GetFrame and a time
// source plug-in receives in ProcessImageData.
#ifndef ZELTORGB_IMAGE_RECORD_H_
#define ZELTORGB_IMAGE_RECORD_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// 20 bytes on 32-bit Windows; on 64-bit builds `Data` is pointer-sized.
typedef struct ImageRecord {
  void* Data;             // pixel buffer; null once the buffer is released
  uint32_t Reserved1;     // 0
  uint32_t Reserved2;     // 0
  int32_t Seconds;        // frame time: whole seconds since 1970-01-01 00:00:00 UTC
  uint16_t Milliseconds;  // 0..999
  uint16_t Microseconds;  // 0..999
} ImageRecord;

// Image format codes reported by IOrvaneImageProp::GetImageFormat.
enum {
  kZeltoImageFormat555 = 905,    // 16-bit 5-5-5
  kZeltoImageFormat565 = 906,    // 16-bit 5-6-5
  kZeltoImageFormat888 = 500,    // 8-8-8 in 32-bit pixels (B, G, R, X in memory)
  kZeltoImageFormatRgb24 = 200,  // 24-bit RGB (B, G, R in memory, no line padding)
};

#ifdef __cplusplus
}  // extern "C"
#endif

#if defined(__cplusplus) && defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ImageRecord) == 20, "ImageRecord is 20 bytes on 32-bit Windows");
static_assert(offsetof(ImageRecord, Reserved1) == 4);
static_assert(offsetof(ImageRecord, Seconds) == 12);
static_assert(offsetof(ImageRecord, Milliseconds) == 16);
static_assert(offsetof(ImageRecord, Microseconds) == 18);
#endif

#endif  // ZELTORGB_IMAGE_RECORD_H_
