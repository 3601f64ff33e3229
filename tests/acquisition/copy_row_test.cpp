#include "acquisition/copy_row.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "acquisition/cpu_features.h"
#include "guarded_buffer.h"

namespace zelto {
namespace {

using testing::GuardedBuffer;

struct Variant {
  const char* name;
  CopyRowFunction row;
  int required_flag;  // 0: any CPU
};

const Variant kVariants[] = {
    {"NT_SSE2", CopyRow_NT_SSE2, kCpuHasSSE2},
    {"NT_AVX2", CopyRow_NT_AVX2, kCpuHasAVX2},
};

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// Every size around the vector widths and the unrolled 64/128-byte loops, and
// a few frame-line sizes.
std::vector<size_t> TestSizes() {
  std::vector<size_t> sizes;
  for (size_t n = 0; n <= 300; ++n) sizes.push_back(n);
  for (size_t n : {511u, 512u, 513u, 2559u, 4096u, 5760u, 7680u, 65537u}) sizes.push_back(n);
  return sizes;
}

class CopyRowVariantTest : public ::testing::TestWithParam<Variant> {
 protected:
  void SetUp() override {
    MaskCpuFlags(-1);
    if (!TestCpuFlag(GetParam().required_flag)) {
      GTEST_SKIP() << GetParam().name << " not supported by this CPU";
    }
  }
};

TEST_P(CopyRowVariantTest, CopiesExactlyTheRowAtEverySizeAndAlignment) {
  for (size_t size : TestSizes()) {
    for (size_t src_offset = 0; src_offset < 3; ++src_offset) {
      const size_t dst_offset = (src_offset * 13 + size) % 33;  // every 32-byte phase
      const auto src = RandomBytes(size + src_offset, static_cast<uint32_t>(size));
      std::vector<uint8_t> dst(size + dst_offset + 40, 0xA5);
      GetParam().row(src.data() + src_offset, dst.data() + dst_offset, size);
      StreamingStoreFence();
      if (size > 0) {
        ASSERT_EQ(0, std::memcmp(dst.data() + dst_offset, src.data() + src_offset, size))
            << "size " << size << " offsets " << src_offset << "/" << dst_offset;
      }
      for (size_t i = 0; i < dst_offset; ++i) ASSERT_EQ(0xA5, dst[i]) << "write before the row";
      for (size_t i = dst_offset + size; i < dst.size(); ++i)
        ASSERT_EQ(0xA5, dst[i]) << "write past the row, size " << size;
    }
  }
}

// An over-read or over-write faults on the guard page.
TEST_P(CopyRowVariantTest, StaysInsideRowsThatEndAtAPageBoundary) {
  for (size_t size : TestSizes()) {
    GuardedBuffer src(size);
    GuardedBuffer dst(size);
    ASSERT_TRUE(src.ok() && dst.ok());
    const auto bytes = RandomBytes(size, static_cast<uint32_t>(size) + 1);
    if (size > 0) std::memcpy(src.data(), bytes.data(), size);
    GetParam().row(src.data(), dst.data(), size);
    StreamingStoreFence();
    if (size > 0) {
      ASSERT_EQ(0, std::memcmp(dst.data(), bytes.data(), size)) << "size " << size;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, CopyRowVariantTest, ::testing::ValuesIn(kVariants),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(CopyRowDispatchTest, StreamsOnlyWhenAskedAndTheCpuCan) {
  const int all = MaskCpuFlags(-1);
  EXPECT_EQ(GetCopyRow(false), &CopyRow_C);
  if (all & kCpuHasAVX2) {
    EXPECT_EQ(GetCopyRow(true), &CopyRow_NT_AVX2);
  }
  if (all & kCpuHasSSE2) {
    MaskCpuFlags(~kCpuHasAVX2);
    EXPECT_EQ(GetCopyRow(true), &CopyRow_NT_SSE2);
  }
  MaskCpuFlags(0);
  EXPECT_EQ(GetCopyRow(true), &CopyRow_C);
  MaskCpuFlags(-1);
}

TEST(StreamingThresholdTest, FramesFromTheThresholdOnAreStreamed) {
  MaskCpuFlags(-1);
  if (!TestCpuFlag(kCpuHasSSE2)) GTEST_SKIP() << "no SSE2";
  EXPECT_GT(StreamingThresholdBytes(), 0);  // never "stream everything" by default
  SetStreamingThresholdBytes(1000);
  EXPECT_FALSE(UseStreamingStores(999));
  EXPECT_TRUE(UseStreamingStores(1000));
  SetStreamingThresholdBytes(0);
  EXPECT_FALSE(UseStreamingStores(0));  // nothing to write
  EXPECT_TRUE(UseStreamingStores(1));
  // Without the instructions nothing is streamed, whatever the size.
  MaskCpuFlags(0);
  EXPECT_FALSE(UseStreamingStores(1 << 30));
  MaskCpuFlags(-1);
  SetStreamingThresholdBytes(std::numeric_limits<int64_t>::max());
  EXPECT_FALSE(UseStreamingStores(int64_t{1} << 40));
  SetStreamingThresholdBytes(-1);
}

}  // namespace
}  // namespace zelto
