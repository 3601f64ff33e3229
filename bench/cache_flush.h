// Puts a buffer where a card's DMA leaves it: in memory only, in no cache.
#ifndef ZELTO_BENCH_CACHE_FLUSH_H_
#define ZELTO_BENCH_CACHE_FLUSH_H_

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace zelto {

// Writes back and drops every cache line of [data, data + bytes) from every
// level (clflush, SSE2), and waits until that is done.
inline void FlushFromCache(const void* data, size_t bytes) {
  if (bytes == 0) return;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  const uint8_t* first = p - reinterpret_cast<uintptr_t>(p) % 64;
  for (const uint8_t* line = first; line < p + bytes; line += 64) _mm_clflush(line);
  _mm_mfence();
}

}  // namespace zelto

#endif  // ZELTO_BENCH_CACHE_FLUSH_H_
