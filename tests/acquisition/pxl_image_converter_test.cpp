#include "acquisition/pxl_image_converter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "acquisition/copy_row.h"
#include "acquisition/cpu_features.h"
#include "guarded_buffer.h"

namespace zelto {
namespace {

using testing::GuardedBuffer;

struct Variant {
  const char* name;
  RBG32ToRGB24RowFunction row;
  int required_flag;  // 0: any CPU
};

const Variant kAnyWidthVariants[] = {
    {"Any_SSSE3", RBG32ToRGB24Row_Any_SSSE3, kCpuHasSSSE3},
    {"Any_AVX2", RBG32ToRGB24Row_Any_AVX2, kCpuHasAVX2},
    {"Any_NT_SSSE3", RBG32ToRGB24Row_Any_NT_SSSE3, kCpuHasSSSE3},
    {"Any_NT_AVX2", RBG32ToRGB24Row_Any_NT_AVX2, kCpuHasAVX2},
    {"Dispatch", RBG32ToRGB24Row, 0},
};

std::vector<int> TestWidths() {
  std::vector<int> widths;
  for (int w = 1; w <= 70; ++w) widths.push_back(w);
  for (int w : {95, 96, 97, 127, 128, 129, 640, 1023, 1024, 1920, 4097}) widths.push_back(w);
  return widths;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

std::vector<uint8_t> Reference(const uint8_t* src, int width) {
  std::vector<uint8_t> out(static_cast<size_t>(width) * 3);
  RBG32ToRGB24Row_C(src, out.data(), width);
  return out;
}

class RowVariantTest : public ::testing::TestWithParam<Variant> {
 protected:
  void SetUp() override {
    MaskCpuFlags(-1);
    if (GetParam().required_flag != 0 && !TestCpuFlag(GetParam().required_flag)) {
      GTEST_SKIP() << GetParam().name << " not supported by this CPU";
    }
  }
};

TEST(RBG32ToRGB24RowTest, ReferenceKeepsBlueGreenRedAndDropsX) {
  const uint8_t src[] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t dst[7] = {0, 0, 0, 0, 0, 0, 0xEE};
  RBG32ToRGB24Row_C(src, dst, 2);
  const uint8_t expected[] = {1, 2, 3, 5, 6, 7, 0xEE};
  EXPECT_EQ(0, std::memcmp(dst, expected, sizeof(expected)));
}

TEST_P(RowVariantTest, MatchesReferenceAtEveryWidthAndMisalignment) {
  for (int width : TestWidths()) {
    for (int src_offset = 0; src_offset < 4; ++src_offset) {
      // Mixes alignments of the two sides; the streaming rows align on 16 and 32.
      const int dst_offset = (src_offset * 11 + width) % 33;
      auto src = RandomBytes(static_cast<size_t>(width) * 4 + src_offset, width * 7 + src_offset);
      const auto expected = Reference(src.data() + src_offset, width);
      // Canaries on both sides of the destination row.
      std::vector<uint8_t> dst(static_cast<size_t>(width) * 3 + dst_offset + 8, 0xA5);
      GetParam().row(src.data() + src_offset, dst.data() + dst_offset, width);
      ASSERT_EQ(0, std::memcmp(dst.data() + dst_offset, expected.data(), expected.size()))
          << "width " << width << " src offset " << src_offset;
      for (int i = 0; i < dst_offset; ++i) ASSERT_EQ(0xA5, dst[i]) << "write before the row";
      for (size_t i = dst_offset + expected.size(); i < dst.size(); ++i)
        ASSERT_EQ(0xA5, dst[i]) << "write past the row, width " << width;
    }
  }
}

// An over-read of the source or an over-write of the destination faults here.
TEST_P(RowVariantTest, StaysInsideRowsThatEndAtAPageBoundary) {
  for (int width : TestWidths()) {
    GuardedBuffer src(static_cast<size_t>(width) * 4);
    GuardedBuffer dst(static_cast<size_t>(width) * 3);
    ASSERT_TRUE(src.ok() && dst.ok());
    const auto bytes = RandomBytes(static_cast<size_t>(width) * 4, width);
    std::memcpy(src.data(), bytes.data(), bytes.size());
    GetParam().row(src.data(), dst.data(), width);
    const auto expected = Reference(bytes.data(), width);
    ASSERT_EQ(0, std::memcmp(dst.data(), expected.data(), expected.size())) << "width " << width;
  }
}

TEST_P(RowVariantTest, ZeroOrNegativeWidthWritesNothing) {
  uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t dst[6] = {9, 9, 9, 9, 9, 9};
  GetParam().row(src, dst, 0);
  GetParam().row(src, dst, -5);
  for (uint8_t b : dst) EXPECT_EQ(9, b);
}

INSTANTIATE_TEST_SUITE_P(Variants, RowVariantTest, ::testing::ValuesIn(kAnyWidthVariants),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// The raw kernels take whole blocks only; check them apart from their wrappers.
TEST(RBG32ToRGB24KernelTest, BlockKernelsMatchReference) {
  MaskCpuFlags(-1);
  struct Kernel {
    RBG32ToRGB24RowFunction row;
    int block;
    int flag;
  };
  const Kernel kernels[] = {{RBG32ToRGB24Row_SSSE3, kRBG32ToRGB24BlockSSSE3, kCpuHasSSSE3},
                            {RBG32ToRGB24Row_AVX2, kRBG32ToRGB24BlockAVX2, kCpuHasAVX2},
                            {RBG32ToRGB24Row_NT_SSSE3, kRBG32ToRGB24BlockSSSE3, kCpuHasSSSE3},
                            {RBG32ToRGB24Row_NT_AVX2, kRBG32ToRGB24BlockAVX2, kCpuHasAVX2}};
  for (const Kernel& k : kernels) {
    if (!TestCpuFlag(k.flag)) continue;
    for (int blocks = 1; blocks <= 5; ++blocks) {
      const int width = blocks * k.block;
      // The streaming kernels need an aligned destination: whole blocks (48 or 96
      // bytes) that end at a page boundary start 16- or 32-byte aligned.
      GuardedBuffer src(static_cast<size_t>(width) * 4);
      GuardedBuffer dst(static_cast<size_t>(width) * 3);
      const auto bytes = RandomBytes(static_cast<size_t>(width) * 4, blocks);
      std::memcpy(src.data(), bytes.data(), bytes.size());
      k.row(src.data() + 0, dst.data(), width);
      StreamingStoreFence();
      const auto expected = Reference(bytes.data(), width);
      EXPECT_EQ(0, std::memcmp(dst.data(), expected.data(), expected.size()))
          << "block " << k.block << " width " << width;
    }
  }
}

TEST(RBG32ToRGB24DispatchTest, FollowsTheCpuMask) {
  const int all = MaskCpuFlags(-1);
  if (all & kCpuHasAVX2) {
    EXPECT_EQ(GetRBG32ToRGB24Row(), &RBG32ToRGB24Row_Any_AVX2);
  } else if (all & kCpuHasSSSE3) {
    EXPECT_EQ(GetRBG32ToRGB24Row(), &RBG32ToRGB24Row_Any_SSSE3);
  }
  if (all & kCpuHasSSSE3) {
    MaskCpuFlags(~kCpuHasAVX2);
    EXPECT_EQ(GetRBG32ToRGB24Row(), &RBG32ToRGB24Row_Any_SSSE3);
  }
  MaskCpuFlags(0);
  EXPECT_EQ(GetRBG32ToRGB24Row(), &RBG32ToRGB24Row_C);
  EXPECT_EQ(GetRBG32ToRGB24Row(true), &RBG32ToRGB24Row_C);  // no streaming row without SIMD
  // Restoring the mask brings the fast path back: the choice is not frozen.
  MaskCpuFlags(-1);
  if (all & (kCpuHasAVX2 | kCpuHasSSSE3)) {
    EXPECT_NE(GetRBG32ToRGB24Row(), &RBG32ToRGB24Row_C);
  }
  if (all & kCpuHasAVX2) {
    EXPECT_EQ(GetRBG32ToRGB24Row(true), &RBG32ToRGB24Row_Any_NT_AVX2);
    MaskCpuFlags(~kCpuHasAVX2);
    EXPECT_EQ(GetRBG32ToRGB24Row(true), &RBG32ToRGB24Row_Any_NT_SSSE3);
    MaskCpuFlags(-1);
  }
}

class ConverterTest : public ::testing::TestWithParam<int> {  // CPU mask
 protected:
  void SetUp() override { MaskCpuFlags(GetParam()); }
  void TearDown() override { MaskCpuFlags(-1); }
  CPxlImageConverter converter_;
};

TEST_P(ConverterTest, ConvertsWholeImagesOfManyRows) {
  for (auto [width, height] : {std::pair{1, 1}, {3, 5}, {33, 7}, {640, 3}, {97, 31}}) {
    const size_t pixels = static_cast<size_t>(width) * height;
    GuardedBuffer src(pixels * 4);
    GuardedBuffer dst(pixels * 3);
    const auto bytes = RandomBytes(pixels * 4, width + height);
    std::memcpy(src.data(), bytes.data(), bytes.size());
    ASSERT_TRUE(converter_.RBG32ToRGB24(width, height, src.data(), dst.data(), false));
    for (int y = 0; y < height; ++y) {
      const auto expected = Reference(bytes.data() + static_cast<size_t>(y) * width * 4, width);
      ASSERT_EQ(0, std::memcmp(dst.data() + static_cast<size_t>(y) * width * 3, expected.data(),
                               expected.size()))
          << width << "x" << height << " row " << y;
    }
  }
}

// Whole images are streamed from the threshold on; the bytes must not change.
TEST_P(ConverterTest, StreamedImagesMatchTheReference) {
  SetStreamingThresholdBytes(0);
  for (auto [width, height] : {std::pair{1, 1}, {17, 3}, {641, 5}, {1920, 4}}) {
    const size_t pixels = static_cast<size_t>(width) * height;
    GuardedBuffer src(pixels * 4);
    GuardedBuffer dst(pixels * 3);
    const auto bytes = RandomBytes(pixels * 4, width * height);
    std::memcpy(src.data(), bytes.data(), bytes.size());
    ASSERT_TRUE(converter_.RBG32ToRGB24(width, height, src.data(), dst.data(), false));
    const auto expected = Reference(bytes.data(), static_cast<int>(pixels));
    EXPECT_EQ(0, std::memcmp(dst.data(), expected.data(), expected.size()))
        << width << "x" << height;
  }
  SetStreamingThresholdBytes(-1);
}

TEST_P(ConverterTest, FlagChangesNothing) {
  const auto bytes = RandomBytes(45 * 4 * 2, 3);
  std::vector<uint8_t> without(45 * 3 * 2), with(45 * 3 * 2);
  ASSERT_TRUE(converter_.RBG32ToRGB24(45, 2, bytes.data(), without.data(), false));
  ASSERT_TRUE(converter_.RBG32ToRGB24(45, 2, bytes.data(), with.data(), true));
  EXPECT_EQ(without, with);
}

TEST_P(ConverterTest, RejectsInvalidArgumentsWithoutWriting) {
  uint8_t src[64] = {};
  uint8_t dst[48];
  std::memset(dst, 0x5A, sizeof(dst));
  EXPECT_FALSE(converter_.RBG32ToRGB24(4, 4, nullptr, dst, false));
  EXPECT_FALSE(converter_.RBG32ToRGB24(4, 4, src, nullptr, false));
  EXPECT_FALSE(converter_.RBG32ToRGB24(-4, 4, src, dst, false));
  EXPECT_FALSE(converter_.RBG32ToRGB24(4, -1, src, dst, false));
  for (uint8_t b : dst) ASSERT_EQ(0x5A, b);
  // Empty images are valid and touch nothing.
  EXPECT_TRUE(converter_.RBG32ToRGB24(0, 4, src, dst, false));
  EXPECT_TRUE(converter_.RBG32ToRGB24(4, 0, src, dst, false));
  for (uint8_t b : dst) ASSERT_EQ(0x5A, b);
}

// The crop path: rows of a wider source into rows of a wider destination.
TEST_P(ConverterTest, PlaneConvertsOnlyTheRectangle) {
  constexpr int kSrcWidth = 50, kDstWidth = 40, kWidth = 37, kHeight = 6;
  const auto src = RandomBytes(kSrcWidth * 4 * kHeight, 11);
  std::vector<uint8_t> dst(kDstWidth * 3 * kHeight, 0x77);
  ASSERT_TRUE(
      RBG32ToRGB24Plane(src.data(), kSrcWidth * 4, dst.data(), kDstWidth * 3, kWidth, kHeight));
  for (int y = 0; y < kHeight; ++y) {
    const auto expected = Reference(src.data() + y * kSrcWidth * 4, kWidth);
    const uint8_t* row = dst.data() + y * kDstWidth * 3;
    ASSERT_EQ(0, std::memcmp(row, expected.data(), expected.size())) << "row " << y;
    for (int i = kWidth * 3; i < kDstWidth * 3; ++i) ASSERT_EQ(0x77, row[i]) << "row " << y;
  }
  EXPECT_FALSE(RBG32ToRGB24Plane(nullptr, 0, dst.data(), 0, 1, 1));
  EXPECT_FALSE(RBG32ToRGB24Plane(src.data(), 0, dst.data(), 0, 1, -1));
}

INSTANTIATE_TEST_SUITE_P(CpuMasks, ConverterTest, ::testing::Values(-1, ~kCpuHasAVX2, 0),
                         [](const auto& param_info) {
                           return param_info.param == -1  ? std::string("AllFlags")
                                  : param_info.param == 0 ? std::string("ScalarOnly")
                                                          : std::string("NoAVX2");
                         });

}  // namespace
}  // namespace zelto
