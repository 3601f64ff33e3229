// Built with -mssse3. Holds only the kernels: inline functions from shared headers
// compiled here could be picked by the linker for code that runs on any CPU.
#include <tmmintrin.h>

#include "acquisition/pxl_image_converter.h"

namespace zelto {

namespace {

template <bool kStream>
__attribute__((always_inline)) inline void Store(uint8_t* p, __m128i v) {
  if constexpr (kStream) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(p), v);
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  }
}

// Each 16-byte load of 4 pixels packs into its low 12 bytes; four of those are
// stitched into three 16-byte stores.
template <bool kStream>
__attribute__((always_inline)) inline void Convert(const uint8_t* src, uint8_t* dst, int width) {
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  for (int x = 0; x < width; x += 16) {
    const __m128i a =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), pack);
    const __m128i b =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16)), pack);
    const __m128i c =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32)), pack);
    const __m128i d =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 48)), pack);
    Store<kStream>(dst, _mm_or_si128(a, _mm_slli_si128(b, 12)));
    Store<kStream>(dst + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
    Store<kStream>(dst + 32, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    src += 64;
    dst += 48;
  }
}

}  // namespace

void RBG32ToRGB24Row_SSSE3(const uint8_t* src, uint8_t* dst, int width) {
  Convert<false>(src, dst, width);
}

void RBG32ToRGB24Row_NT_SSSE3(const uint8_t* src, uint8_t* dst, int width) {
  Convert<true>(src, dst, width);
}

}  // namespace zelto
