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
