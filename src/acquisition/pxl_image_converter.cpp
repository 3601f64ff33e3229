#include "acquisition/pxl_image_converter.h"

#include <atomic>
#include <cstring>

#include "acquisition/copy_row.h"
#include "acquisition/cpu_features.h"

namespace zelto {
namespace {

// A kernel that takes whole blocks, extended to any width. Rows of a block or
// more end with one more block flush with the row's end, overlapping pixels
// already converted (they get the same bytes again); shorter rows go through a
// block-sized copy. Either way nothing outside the row is touched.
template <RBG32ToRGB24RowFunction kKernel, int kBlock>
void AnyWidth(const uint8_t* src, uint8_t* dst, int width) {
  if (width <= 0) return;
  if (width >= kBlock) {
    const int whole = width - width % kBlock;
    kKernel(src, dst, whole);
    if (whole != width) {
      const ptrdiff_t last = width - kBlock;
      kKernel(src + last * 4, dst + last * 3, kBlock);
    }
    return;
  }
  uint8_t in[kBlock * 4] = {};
  uint8_t out[kBlock * 3];
  std::memcpy(in, src, static_cast<size_t>(width) * 4);
  kKernel(in, out, kBlock);
  std::memcpy(dst, out, static_cast<size_t>(width) * 3);
}

// The streaming kernels also need dst aligned: the first pixels, up to the
// first aligned output byte, go through the reference row; what is left after
// the last whole block through the temporal wrapper. Pixel i starts at byte 3i,
// and 11 is 3's inverse modulo 16 and 32, so -11 * dst pixels reach alignment.
template <RBG32ToRGB24RowFunction kKernel, RBG32ToRGB24RowFunction kAny, int kBlock, int kAlign>
void AnyWidthAligned(const uint8_t* src, uint8_t* dst, int width) {
  if (width <= 0) return;
  const int head = static_cast<int>(
      ((kAlign - (reinterpret_cast<uintptr_t>(dst) & (kAlign - 1))) * 11) & (kAlign - 1));
  if (width - head < kBlock) {
    kAny(src, dst, width);
    return;
  }
  RBG32ToRGB24Row_C(src, dst, head);
  src += static_cast<ptrdiff_t>(head) * 4;
  dst += static_cast<ptrdiff_t>(head) * 3;
  width -= head;
  const int whole = width - width % kBlock;
  kKernel(src, dst, whole);
  if (whole != width) {
    kAny(src + static_cast<ptrdiff_t>(whole) * 4, dst + static_cast<ptrdiff_t>(whole) * 3,
         width - whole);
  }
}

RBG32ToRGB24RowFunction ChooseRow(int flags) {
  if (flags & kCpuHasAVX2) return RBG32ToRGB24Row_Any_AVX2;
  if (flags & kCpuHasSSSE3) return RBG32ToRGB24Row_Any_SSSE3;
  return RBG32ToRGB24Row_C;
}

std::atomic<RBG32ToRGB24RowFunction> g_row{nullptr};
std::atomic<int> g_row_flags{0};

// Pixels converted per row call when a contiguous image is treated as one row.
constexpr int kChunkPixels = 1 << 24;

}  // namespace

void RBG32ToRGB24Row_C(const uint8_t* src, uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
    src += 4;
    dst += 3;
  }
}

void RBG32ToRGB24Row_Any_SSSE3(const uint8_t* src, uint8_t* dst, int width) {
  AnyWidth<RBG32ToRGB24Row_SSSE3, kRBG32ToRGB24BlockSSSE3>(src, dst, width);
}

void RBG32ToRGB24Row_Any_AVX2(const uint8_t* src, uint8_t* dst, int width) {
  AnyWidth<RBG32ToRGB24Row_AVX2, kRBG32ToRGB24BlockAVX2>(src, dst, width);
}

void RBG32ToRGB24Row_Any_NT_SSSE3(const uint8_t* src, uint8_t* dst, int width) {
  AnyWidthAligned<RBG32ToRGB24Row_NT_SSSE3, RBG32ToRGB24Row_Any_SSSE3, kRBG32ToRGB24BlockSSSE3, 16>(
      src, dst, width);
}

void RBG32ToRGB24Row_Any_NT_AVX2(const uint8_t* src, uint8_t* dst, int width) {
  AnyWidthAligned<RBG32ToRGB24Row_NT_AVX2, RBG32ToRGB24Row_Any_AVX2, kRBG32ToRGB24BlockAVX2, 32>(
      src, dst, width);
}

RBG32ToRGB24RowFunction GetRBG32ToRGB24Row(bool streaming) {
  if (streaming) {
    const int flags = CpuFlags();
    if (flags & kCpuHasAVX2) return RBG32ToRGB24Row_Any_NT_AVX2;
    if (flags & kCpuHasSSSE3) return RBG32ToRGB24Row_Any_NT_SSSE3;
  }
  return GetRBG32ToRGB24Row();
}

RBG32ToRGB24RowFunction GetRBG32ToRGB24Row() {
  const int flags = CpuFlags();
  RBG32ToRGB24RowFunction row = g_row.load(std::memory_order_acquire);
  if (row != nullptr && g_row_flags.load(std::memory_order_relaxed) == flags) return row;
  // Racing first callers compute the same choice.
  row = ChooseRow(flags);
  g_row_flags.store(flags, std::memory_order_relaxed);
  g_row.store(row, std::memory_order_release);
  return row;
}

void RBG32ToRGB24Row(const uint8_t* src, uint8_t* dst, int width) {
  GetRBG32ToRGB24Row()(src, dst, width);
}

bool RBG32ToRGB24Plane(const uint8_t* src, ptrdiff_t src_stride, uint8_t* dst, ptrdiff_t dst_stride,
                       int width, int height) {
  if (src == nullptr || dst == nullptr || width < 0 || height < 0) return false;
  const RBG32ToRGB24RowFunction row = GetRBG32ToRGB24Row();
  for (int y = 0; y < height; ++y) {
    row(src, dst, width);
    src += src_stride;
    dst += dst_stride;
  }
  return true;
}

bool CPxlImageConverter::RBG32ToRGB24(int width, int height, const uint8_t* source,
                                      uint8_t* destination, bool /*flag*/) {
  if (source == nullptr || destination == nullptr || width < 0 || height < 0) return false;
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (pixels > PTRDIFF_MAX / 4) return false;
  // Rows are contiguous on both sides, so the image is one long row.
  const bool streaming = UseStreamingStores(static_cast<int64_t>(pixels * 3));
  const RBG32ToRGB24RowFunction row = GetRBG32ToRGB24Row(streaming);
  uint64_t left = pixels;
  while (left > 0) {
    const int n = left > kChunkPixels ? kChunkPixels : static_cast<int>(left);
    row(source, destination, n);
    source += static_cast<size_t>(n) * 4;
    destination += static_cast<size_t>(n) * 3;
    left -= static_cast<uint64_t>(n);
  }
  if (streaming) StreamingStoreFence();
  return true;
}

}  // namespace zelto
