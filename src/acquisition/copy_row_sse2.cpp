// Built with -msse2. Holds only the kernel and the fence (see
// pxl_image_converter_ssse3.cpp for why nothing else lives in these files).
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "acquisition/copy_row.h"

namespace zelto {

void CopyRow_NT_SSE2(const uint8_t* src, uint8_t* dst, size_t bytes) {
  if (bytes < 64) {
    if (bytes > 0) std::memcpy(dst, src, bytes);
    return;
  }
  // One unaligned store covers the bytes up to dst's first 16-byte boundary; the
  // streamed body starts there, and one more unaligned store, flush with the
  // end, covers what is left after it.
  const size_t head = (16 - (reinterpret_cast<uintptr_t>(dst) & 15)) & 15;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
  src += head;
  dst += head;
  bytes -= head;
  for (; bytes >= 64; bytes -= 64, src += 64, dst += 64) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 48));
    _mm_stream_si128(reinterpret_cast<__m128i*>(dst), a);
    _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 16), b);
    _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 32), c);
    _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 48), d);
  }
  for (; bytes >= 16; bytes -= 16, src += 16, dst += 16) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(dst),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
  }
  if (bytes > 0) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + bytes - 16),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + bytes - 16)));
  }
}

void StreamingStoreFence() { _mm_sfence(); }

}  // namespace zelto
