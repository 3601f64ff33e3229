#include "acquisition/cpu_features.h"

#include <gtest/gtest.h>

namespace zelto {
namespace {

constexpr uint32_t kSsse3 = 1u << 9, kOsxsave = 1u << 27, kAvx = 1u << 28;
constexpr uint32_t kAvx2 = 1u << 5;

TEST(CpuFlagsFromCpuidTest, DecodesSsse3) {
  EXPECT_EQ(kCpuInitialized | kCpuHasSSSE3, CpuFlagsFromCpuid(kSsse3, 0, 0));
  EXPECT_EQ(kCpuInitialized, CpuFlagsFromCpuid(0, 0, 0));
}

// AVX2 instructions fault when the OS does not save the YMM registers, whatever
// cpuid says about the CPU.
TEST(CpuFlagsFromCpuidTest, Avx2NeedsTheOsToSaveYmmState) {
  const uint32_t ecx = kSsse3 | kOsxsave | kAvx;
  EXPECT_TRUE(CpuFlagsFromCpuid(ecx, kAvx2, 0x7) & kCpuHasAVX2);
  EXPECT_FALSE(CpuFlagsFromCpuid(ecx, kAvx2, 0x3) & kCpuHasAVX2);  // YMM not saved
  EXPECT_FALSE(CpuFlagsFromCpuid(ecx & ~kOsxsave, kAvx2, 0x7) & kCpuHasAVX2);
  EXPECT_FALSE(CpuFlagsFromCpuid(ecx & ~kAvx, kAvx2, 0x7) & kCpuHasAVX2);
  EXPECT_FALSE(CpuFlagsFromCpuid(ecx, 0, 0x7) & kCpuHasAVX2);
}

TEST(CpuFlagsFromCpuidTest, DecodesSse2FromEdx) {
  EXPECT_TRUE(CpuFlagsFromCpuid(0, 0, 0, 1u << 26) & kCpuHasSSE2);
  EXPECT_FALSE(CpuFlagsFromCpuid(kSsse3, 0, 0, ~(1u << 26)) & kCpuHasSSE2);
}

// Recorded from a virtual Xeon: leaf 4 sub-leaves 0 (L1d) and 3 (L3), and the end.
TEST(CacheLevelFromCpuidTest, DecodesSizeLevelAndSharing) {
  const CacheLevel l1 = CacheLevelFromCpuid(0x4000121, 0x2c0003f, 0x3f);
  EXPECT_EQ(1, l1.level);
  EXPECT_EQ(48 * 1024, l1.bytes);
  EXPECT_EQ(1, l1.sharing_threads);
  const CacheLevel l3 = CacheLevelFromCpuid(0x4004163, 0x3c0003f, 0x77fff);
  EXPECT_EQ(3, l3.level);
  EXPECT_EQ(int64_t{480} << 20, l3.bytes);
  EXPECT_EQ(2, l3.sharing_threads);
  EXPECT_EQ(0, CacheLevelFromCpuid(0, 0, 0).level);
  // The instruction cache holds no data: it never counts as the last level.
  EXPECT_EQ(0, CacheLevelFromCpuid(0x4000122, 0x3c0003f, 0x3f).bytes);
}

TEST(CpuFlagsTest, MaskRestrictsAndRestores) {
  const int detected = DetectCpuFlags();
  EXPECT_EQ(detected, MaskCpuFlags(-1));
  EXPECT_EQ(kCpuInitialized, MaskCpuFlags(0));
  EXPECT_FALSE(TestCpuFlag(kCpuHasSSSE3));
  EXPECT_EQ(detected & ~kCpuHasAVX2, MaskCpuFlags(~kCpuHasAVX2));
  EXPECT_EQ(detected, MaskCpuFlags(-1));
}

}  // namespace
}  // namespace zelto
