// Which SIMD instruction sets this CPU (and the OS, for AVX state) supports, for
// choosing pixel kernels at run time. Both targets are x86, so this is cpuid and
// xgetbv on both; nothing here is OS-specific.
//
// The flags are detected once, on first use, and cached. Tests restrict them with
// MaskCpuFlags() to make the dispatchers fall back to plainer variants.
#ifndef ZELTO_ACQUISITION_CPU_FEATURES_H_
#define ZELTO_ACQUISITION_CPU_FEATURES_H_

#include <cstdint>

namespace zelto {

enum CpuFlag : int {
  kCpuInitialized = 0x1,  // always set in a detected value
  kCpuHasSSSE3 = 0x2,
  kCpuHasAVX2 = 0x4,
  kCpuHasSSE2 = 0x8,
};

// Decodes raw cpuid/xgetbv results into CpuFlag bits (kCpuInitialized included):
// `leaf1_ecx` and `leaf1_edx` from cpuid leaf 1, `leaf7_ebx` from leaf 7 sub-leaf 0
// (0 when the CPU has no leaf 7), `xcr0` from xgetbv(0) (0 when OSXSAVE is clear).
// AVX2 counts only when the OS saves the YMM state (XCR0 bits 1 and 2).
int CpuFlagsFromCpuid(uint32_t leaf1_ecx, uint32_t leaf7_ebx, uint64_t xcr0,
                      uint32_t leaf1_edx = 0);

// One cache as cpuid's deterministic cache leaf describes it (leaf 4 on Intel,
// 0x8000001D on AMD): its level, bytes, and how many logical processors share it.
struct CacheLevel {
  int level = 0;  // 0: no cache described
  int64_t bytes = 0;
  int sharing_threads = 1;
};

// Decodes one sub-leaf of that leaf (eax, ebx, ecx); level 0 when eax says the
// list ended (cache type 0).
CacheLevel CacheLevelFromCpuid(uint32_t eax, uint32_t ebx, uint32_t ecx);

// The highest-level data or unified cache this CPU reports, and the one just
// below it (on most CPUs the core's own L2); level 0 when there is none.
// Queried once, then cached; thread-safe.
CacheLevel LastLevelCache();
CacheLevel CacheBelowLastLevel();

// Queries this CPU; not cached, not masked.
int DetectCpuFlags();

// The detected flags restricted by the current mask. Thread-safe and cheap after
// the first call.
int CpuFlags();

inline bool TestCpuFlag(int flag) { return (CpuFlags() & flag) != 0; }

// Keeps only the detected flags that are also in `enable_mask` (-1 restores all)
// and returns the result. Meant for tests; dispatchers pick up the change at
// their next call.
int MaskCpuFlags(int enable_mask);

}  // namespace zelto

#endif  // ZELTO_ACQUISITION_CPU_FEATURES_H_
