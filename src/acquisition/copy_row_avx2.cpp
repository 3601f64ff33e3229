// Built with -mavx2. Holds only the kernel (see copy_row_sse2.cpp). Unaligned
// loads, and aligned streaming stores only where the code aligned dst itself.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "acquisition/copy_row.h"

namespace zelto {

void CopyRow_NT_AVX2(const uint8_t* src, uint8_t* dst, size_t bytes) {
  if (bytes < 128) {
    if (bytes > 0) std::memcpy(dst, src, bytes);
    return;
  }
  // As the SSE2 row, with 32-byte vectors.
  const size_t head = (32 - (reinterpret_cast<uintptr_t>(dst) & 31)) & 31;
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst),
                      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src)));
  src += head;
  dst += head;
  bytes -= head;
  for (; bytes >= 128; bytes -= 128, src += 128, dst += 128) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 32));
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 64));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 96));
    _mm256_stream_si256(reinterpret_cast<__m256i*>(dst), a);
    _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + 32), b);
    _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + 64), c);
    _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + 96), d);
  }
  for (; bytes >= 32; bytes -= 32, src += 32, dst += 32) {
    _mm256_stream_si256(reinterpret_cast<__m256i*>(dst),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src)));
  }
  if (bytes > 0) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + bytes - 32),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + bytes - 32)));
  }
}

}  // namespace zelto
