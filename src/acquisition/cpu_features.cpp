#include "acquisition/cpu_features.h"

#include <cpuid.h>

#include <atomic>

namespace zelto {
namespace {

constexpr uint32_t kLeaf1EdxSse2 = 1u << 26;
constexpr uint32_t kLeaf1EcxSsse3 = 1u << 9;
constexpr uint32_t kLeaf1EcxOsxsave = 1u << 27;
constexpr uint32_t kLeaf1EcxAvx = 1u << 28;
constexpr uint32_t kLeaf7EbxAvx2 = 1u << 5;
constexpr uint64_t kXcr0SseAndYmmState = 0x6;

std::atomic<int> g_detected{0};  // 0 until the first detection
std::atomic<int> g_enable_mask{-1};

uint64_t ReadXcr0() {
  uint32_t eax = 0;
  uint32_t edx = 0;
  // The xgetbv mnemonic, not the intrinsic: that one needs -mxsave on this file.
  __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
  return (static_cast<uint64_t>(edx) << 32) | eax;
}

int Detected() {
  int flags = g_detected.load(std::memory_order_relaxed);
  if (flags == 0) {
    // Two threads may both detect; they store the same value.
    flags = DetectCpuFlags();
    g_detected.store(flags, std::memory_order_relaxed);
  }
  return flags;
}

}  // namespace

int CpuFlagsFromCpuid(uint32_t leaf1_ecx, uint32_t leaf7_ebx, uint64_t xcr0, uint32_t leaf1_edx) {
  int flags = kCpuInitialized;
  if (leaf1_edx & kLeaf1EdxSse2) flags |= kCpuHasSSE2;
  if (leaf1_ecx & kLeaf1EcxSsse3) flags |= kCpuHasSSSE3;
  const bool os_saves_ymm = (leaf1_ecx & kLeaf1EcxOsxsave) && (leaf1_ecx & kLeaf1EcxAvx) &&
                            (xcr0 & kXcr0SseAndYmmState) == kXcr0SseAndYmmState;
  if (os_saves_ymm && (leaf7_ebx & kLeaf7EbxAvx2)) flags |= kCpuHasAVX2;
  return flags;
}

int DetectCpuFlags() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return kCpuInitialized;
  const uint32_t leaf1_ecx = ecx;
  const uint32_t leaf1_edx = edx;
  uint32_t leaf7_ebx = 0;
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) leaf7_ebx = ebx;
  const uint64_t xcr0 = (leaf1_ecx & kLeaf1EcxOsxsave) ? ReadXcr0() : 0;
  return CpuFlagsFromCpuid(leaf1_ecx, leaf7_ebx, xcr0, leaf1_edx);
}

CacheLevel CacheLevelFromCpuid(uint32_t eax, uint32_t ebx, uint32_t ecx) {
  CacheLevel cache;
  const uint32_t type = eax & 0x1f;  // 1 data, 2 instruction, 3 unified
  if (type == 0) return cache;
  cache.level = static_cast<int>((eax >> 5) & 0x7);
  cache.sharing_threads = static_cast<int>((eax >> 14) & 0xfff) + 1;
  const int64_t ways = ((ebx >> 22) & 0x3ff) + 1;
  const int64_t partitions = ((ebx >> 12) & 0x3ff) + 1;
  const int64_t line = (ebx & 0xfff) + 1;
  const int64_t sets = static_cast<int64_t>(ecx) + 1;
  cache.bytes = ways * partitions * line * sets;
  if (type == 2) cache.bytes = 0;  // instruction caches do not hold frames
  return cache;
}

namespace {

struct Caches {
  CacheLevel by_level[8];  // index: level; data and unified caches only
};

const Caches& DetectedCaches() {
  static const Caches caches = [] {
    Caches found;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    __get_cpuid(0, &eax, &ebx, &ecx, &edx);
    // "AuthenticAMD" and "HygonGenuine" describe their caches in 0x8000001D.
    const bool amd_leaf = (ebx == 0x68747541u || ebx == 0x6f677948u);
    const unsigned max_leaf = amd_leaf ? __get_cpuid_max(0x80000000u, nullptr) : eax;
    const unsigned leaf = amd_leaf ? 0x8000001Du : 4u;
    if (max_leaf < leaf) return found;
    for (unsigned sub = 0; sub < 16; ++sub) {
      __cpuid_count(leaf, sub, eax, ebx, ecx, edx);
      const CacheLevel c = CacheLevelFromCpuid(eax, ebx, ecx);
      if (c.level == 0) break;
      if (c.bytes > 0) found.by_level[c.level] = c;
    }
    return found;
  }();
  return caches;
}

}  // namespace

CacheLevel LastLevelCache() {
  const Caches& c = DetectedCaches();
  for (int level = 7; level > 0; --level) {
    if (c.by_level[level].level != 0) return c.by_level[level];
  }
  return {};
}

CacheLevel CacheBelowLastLevel() {
  const Caches& c = DetectedCaches();
  for (int level = LastLevelCache().level - 1; level > 0; --level) {
    if (c.by_level[level].level != 0) return c.by_level[level];
  }
  return {};
}

int CpuFlags() {
  return (Detected() & g_enable_mask.load(std::memory_order_relaxed)) | kCpuInitialized;
}

int MaskCpuFlags(int enable_mask) {
  g_enable_mask.store(enable_mask, std::memory_order_relaxed);
  return CpuFlags();
}

}  // namespace zelto
