#include "acquisition/copy_row.h"

#include <atomic>
#include <cstring>

#include "acquisition/cpu_features.h"

namespace zelto {
namespace {

// A copy of n bytes pulls n source bytes into the cache beside the n it writes;
// once the two no longer fit in this thread's share of the last-level cache,
// the frame is gone from the cache before anyone reads it, and writing it
// around the cache costs less.
int64_t DefaultThreshold() {
  const CacheLevel llc = LastLevelCache();
  if (llc.level == 0 || llc.bytes <= 0) return int64_t{4} << 20;  // nothing reported
  return llc.bytes / llc.sharing_threads / 2;
}

std::atomic<int64_t> g_threshold_override{-1};

}  // namespace

void CopyRow_C(const uint8_t* src, uint8_t* dst, size_t bytes) {
  if (bytes > 0) std::memcpy(dst, src, bytes);
}

CopyRowFunction GetCopyRow(bool streaming) {
  if (!streaming) return CopyRow_C;
  const int flags = CpuFlags();
  if (flags & kCpuHasAVX2) return CopyRow_NT_AVX2;
  if (flags & kCpuHasSSE2) return CopyRow_NT_SSE2;
  return CopyRow_C;
}

int64_t StreamingThresholdBytes() {
  const int64_t forced = g_threshold_override.load(std::memory_order_relaxed);
  if (forced >= 0) return forced;
  static const int64_t threshold = DefaultThreshold();
  return threshold;
}

void SetStreamingThresholdBytes(int64_t bytes) {
  g_threshold_override.store(bytes < 0 ? -1 : bytes, std::memory_order_relaxed);
}

bool UseStreamingStores(int64_t frame_bytes) {
  return frame_bytes > 0 && frame_bytes >= StreamingThresholdBytes() && TestCpuFlag(kCpuHasSSE2);
}

}  // namespace zelto
