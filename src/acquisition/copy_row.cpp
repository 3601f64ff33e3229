#include "acquisition/copy_row.h"

#include <atomic>
#include <cstring>

#include "acquisition/cpu_features.h"

namespace zelto {
namespace {

// The cache that decides is the one below the last level (the core's own L2 on
// most CPUs): a frame larger than that leaves it on its way to memory, and the
// shared last level is no guide. Other cores and, on a virtual machine, other
// guests fill it; the size the CPU reports there is the whole host's. Measured
// with frame_store_bench's sweep: cold frames gain from streaming at every size
// from a few hundred KiB, warm ones lose below about the L2 size and more.
// With one level only, half of one thread's share of it.
int64_t DefaultThreshold() {
  const CacheLevel below = CacheBelowLastLevel();
  if (below.level != 0 && below.bytes > 0) return below.bytes;
  const CacheLevel llc = LastLevelCache();
  if (llc.level != 0 && llc.bytes > 0) return llc.bytes / llc.sharing_threads / 2;
  return int64_t{2} << 20;  // nothing reported
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
