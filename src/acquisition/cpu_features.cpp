#include "acquisition/cpu_features.h"

#include <cpuid.h>

#include <atomic>

namespace zelto {
namespace {

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

int CpuFlagsFromCpuid(uint32_t leaf1_ecx, uint32_t leaf7_ebx, uint64_t xcr0) {
  int flags = kCpuInitialized;
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
  uint32_t leaf7_ebx = 0;
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) leaf7_ebx = ebx;
  const uint64_t xcr0 = (leaf1_ecx & kLeaf1EcxOsxsave) ? ReadXcr0() : 0;
  return CpuFlagsFromCpuid(leaf1_ecx, leaf7_ebx, xcr0);
}

int CpuFlags() {
  return (Detected() & g_enable_mask.load(std::memory_order_relaxed)) | kCpuInitialized;
}

int MaskCpuFlags(int enable_mask) {
  g_enable_mask.store(enable_mask, std::memory_order_relaxed);
  return CpuFlags();
}

}  // namespace zelto
