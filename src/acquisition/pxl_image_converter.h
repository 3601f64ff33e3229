// Conversion of 32-bit pixels (B, G, R, X in memory) to packed 24-bit pixels
// (B, G, R in memory, 3 bytes a pixel, no padding): the card's "RGB 24" format.
//
// Row functions, libyuv style: RBG32ToRGB24Row_C is the reference; the SIMD
// kernels (_SSSE3, _AVX2) take only whole blocks of pixels; their _Any_ wrappers
// take any width. No row function reads a source byte past width * 4 or writes a
// destination byte past width * 3, and none needs aligned pointers. Source and
// destination must not overlap. A width of 0 or less does nothing.
//
// The capture thread converts a cropped frame line by line with
// RBG32ToRGB24Row (or with the function that GetRBG32ToRGB24Row returns, fetched
// once per frame); a whole contiguous frame goes through
// CPxlImageConverter::RBG32ToRGB24.
#ifndef ZELTO_ACQUISITION_PXL_IMAGE_CONVERTER_H_
#define ZELTO_ACQUISITION_PXL_IMAGE_CONVERTER_H_

#include <cstddef>
#include <cstdint>

namespace zelto {

using RBG32ToRGB24RowFunction = void (*)(const uint8_t* src, uint8_t* dst, int width);

// Pixels per block of the SIMD kernels.
inline constexpr int kRBG32ToRGB24BlockSSSE3 = 16;
inline constexpr int kRBG32ToRGB24BlockAVX2 = 32;

void RBG32ToRGB24Row_C(const uint8_t* src, uint8_t* dst, int width);
// `width` a multiple of kRBG32ToRGB24BlockSSSE3; needs kCpuHasSSSE3.
void RBG32ToRGB24Row_SSSE3(const uint8_t* src, uint8_t* dst, int width);
// `width` a multiple of kRBG32ToRGB24BlockAVX2; needs kCpuHasAVX2.
void RBG32ToRGB24Row_AVX2(const uint8_t* src, uint8_t* dst, int width);
// Any width; same CPU requirements as the kernels they wrap.
void RBG32ToRGB24Row_Any_SSSE3(const uint8_t* src, uint8_t* dst, int width);
void RBG32ToRGB24Row_Any_AVX2(const uint8_t* src, uint8_t* dst, int width);

// Streaming-store kernels (see copy_row.h): whole blocks as above, and `dst`
// aligned to 16 (SSSE3) or 32 (AVX2) bytes. Their _Any_ wrappers take any width
// and alignment; a writer that used one calls StreamingStoreFence() before
// publishing the frame.
void RBG32ToRGB24Row_NT_SSSE3(const uint8_t* src, uint8_t* dst, int width);
void RBG32ToRGB24Row_NT_AVX2(const uint8_t* src, uint8_t* dst, int width);
void RBG32ToRGB24Row_Any_NT_SSSE3(const uint8_t* src, uint8_t* dst, int width);
void RBG32ToRGB24Row_Any_NT_AVX2(const uint8_t* src, uint8_t* dst, int width);

// The fastest any-width row function this CPU supports under the current
// MaskCpuFlags (see cpu_features.h). Chosen on first use and kept until the mask
// changes; thread-safe.
RBG32ToRGB24RowFunction GetRBG32ToRGB24Row();
// The same choice among the streaming rows when `streaming` (the temporal row
// when the CPU has no streaming one).
RBG32ToRGB24RowFunction GetRBG32ToRGB24Row(bool streaming);

// Converts one row with GetRBG32ToRGB24Row().
void RBG32ToRGB24Row(const uint8_t* src, uint8_t* dst, int width);

// Converts `height` rows of `width` pixels whose starts are `src_stride` and
// `dst_stride` bytes apart. False, with nothing written, on a null pointer or a
// negative size.
bool RBG32ToRGB24Plane(const uint8_t* src, ptrdiff_t src_stride, uint8_t* dst, ptrdiff_t dst_stride,
                       int width, int height);

// The card's converter: a contiguous image of width x height 32-bit pixels into
// width x height packed 24-bit pixels. Stateless; any thread may use it.
class CPxlImageConverter {
 public:
  CPxlImageConverter() = default;
  ~CPxlImageConverter() = default;
  CPxlImageConverter(const CPxlImageConverter&) = delete;
  CPxlImageConverter& operator=(const CPxlImageConverter&) = delete;

  // Reads width * height * 4 bytes of `source`, writes width * height * 3 bytes of
  // `destination`, with streaming stores (fenced before it returns) when
  // UseStreamingStores says so for that many bytes. False, with nothing written, on a null pointer,
  // a negative size or an image too large to address; true otherwise (an empty image included).
  // `flag` is accepted for the call's shape and has no effect.
  bool RBG32ToRGB24(int width, int height, const uint8_t* source, uint8_t* destination, bool flag);
};

}  // namespace zelto

#endif  // ZELTO_ACQUISITION_PXL_IMAGE_CONVERTER_H_
