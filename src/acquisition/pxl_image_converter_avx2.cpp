// Built with -mavx2. Holds only the kernels (see the SSSE3 file). Everything stays
// in registers within each kernel, with unaligned loads (and unaligned or streaming stores): 32-bit
// Windows gives no 32-byte stack alignment to spill __m256 values into.
#include <immintrin.h>

#include "acquisition/pxl_image_converter.h"

namespace zelto {

namespace {

template <bool kStream>
__attribute__((always_inline)) inline void Store(uint8_t* p, __m256i v) {
  if constexpr (kStream) {
    _mm256_stream_si256(reinterpret_cast<__m256i*>(p), v);
  } else {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
  }
}

template <bool kStream>
__attribute__((always_inline)) inline void Convert(const uint8_t* src, uint8_t* dst, int width) {
  // vpshufb packs each 128-bit lane's 4 pixels into its low 3 dwords, so a load of
  // 8 pixels holds 6 dwords of output at dword positions 0,1,2,4,5,6. Four loads
  // give 24 output dwords; vpermd moves each load's dwords to where they fall in
  // the three 8-dword stores and vpblendd joins neighbours. Unused positions
  // pick any dword (3 here).
  const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                        1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i place_a = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 3);  // a0..a5 | -
  const __m256i place_b = _mm256_setr_epi32(2, 4, 5, 6, 3, 3, 0, 1);  // b2..b5 | - | b0 b1
  const __m256i place_c = _mm256_setr_epi32(5, 6, 3, 3, 0, 1, 2, 4);  // c4 c5 | - | c0..c3
  const __m256i place_d = _mm256_setr_epi32(3, 3, 0, 1, 2, 4, 5, 6);  // - | d0..d5
  for (int x = 0; x < width; x += 32) {
    const __m256i a = _mm256_permutevar8x32_epi32(
        _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src)), pack),
        place_a);
    const __m256i b = _mm256_permutevar8x32_epi32(
        _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 32)), pack),
        place_b);
    const __m256i c = _mm256_permutevar8x32_epi32(
        _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 64)), pack),
        place_c);
    const __m256i d = _mm256_permutevar8x32_epi32(
        _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 96)), pack),
        place_d);
    Store<kStream>(dst, _mm256_blend_epi32(a, b, 0xC0));
    Store<kStream>(dst + 32, _mm256_blend_epi32(b, c, 0xF0));
    Store<kStream>(dst + 64, _mm256_blend_epi32(c, d, 0xFC));
    src += 128;
    dst += 96;
  }
}

}  // namespace

void RBG32ToRGB24Row_AVX2(const uint8_t* src, uint8_t* dst, int width) {
  Convert<false>(src, dst, width);
}

void RBG32ToRGB24Row_NT_AVX2(const uint8_t* src, uint8_t* dst, int width) {
  Convert<true>(src, dst, width);
}

}  // namespace zelto
