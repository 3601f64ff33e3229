#include "acquisition/frame_copy.h"

#include <gtest/gtest.h>

#include <limits>
#include <numeric>
#include <vector>

#include "acquisition/copy_row.h"
#include "acquisition/cpu_features.h"
#include "acquisition/pxl_image_converter.h"

namespace zelto {
namespace {

// Buffers with a guard tail that no copy may touch.
constexpr uint8_t kGuard = 0xEE;
constexpr size_t kTail = 64;

std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> v(n);
  std::iota(v.begin(), v.end(), uint8_t{1});
  return v;
}

bool TailIntact(const std::vector<uint8_t>& v, size_t used) {
  for (size_t i = used; i < v.size(); ++i) {
    if (v[i] != kGuard) return false;
  }
  return true;
}

TEST(FrameCopyTest, WholeCopyStopsAtTheSmallerBuffer) {
  const std::vector<uint8_t> src = Counting(100);
  std::vector<uint8_t> dst(60 + kTail, kGuard);
  CPxlImageConverter converter;
  // The image claims 10 x 10 at 2 bytes, but the target holds only 60 bytes.
  EXPECT_TRUE(
      CopyWholeFrame({src.data(), 100, 10, 10}, {dst.data(), 60, 10, 10, 200}, false, converter));
  EXPECT_TRUE(std::equal(dst.begin(), dst.begin() + 60, src.begin()));
  EXPECT_TRUE(TailIntact(dst, 60));
  // A source smaller than the image: only what it holds is read.
  std::vector<uint8_t> big(300 + kTail, kGuard);
  EXPECT_TRUE(
      CopyWholeFrame({src.data(), 100, 10, 10}, {big.data(), 300, 10, 10, 200}, false, converter));
  EXPECT_TRUE(std::equal(big.begin(), big.begin() + 100, src.begin()));
  EXPECT_EQ(big[100], kGuard);
}

TEST(FrameCopyTest, WholeConversionWritesWholeLinesThatFit) {
  const std::vector<uint8_t> src = Counting(4 * 4 * 3);     // 4 x 3 32-bit pixels
  std::vector<uint8_t> dst(4 * 3 * 2 + 5 + kTail, kGuard);  // room for two lines and a bit
  CPxlImageConverter converter;
  EXPECT_TRUE(CopyWholeFrame({src.data(), 48, 4, 3}, {dst.data(), 4 * 3 * 2 + 5, 4, 3, 36}, true,
                             converter));
  for (int p = 0; p < 8; ++p) {
    SCOPED_TRACE(p);
    EXPECT_EQ(dst[p * 3 + 0], src[p * 4 + 0]);  // B
    EXPECT_EQ(dst[p * 3 + 1], src[p * 4 + 1]);  // G
    EXPECT_EQ(dst[p * 3 + 2], src[p * 4 + 2]);  // R
  }
  EXPECT_TRUE(TailIntact(dst, 24));
}

TEST(FrameCopyTest, SmallerSourceFillsTheCornerAndZeroesTheRest) {
  // 2 x 2 source of 1-byte pixels into a 4 x 3 image that held old data.
  const std::vector<uint8_t> src = {1, 2, 3, 4};
  std::vector<uint8_t> dst(12 + kTail, kGuard);
  CropFrame({src.data(), 4, 2, 2}, {dst.data(), 12, 4, 3, 12}, 1, false);
  const std::vector<uint8_t> want = {1, 2, 0, 0, 3, 4, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(want.begin(), want.end(), dst.begin()));
  EXPECT_TRUE(TailIntact(dst, 12));
}

TEST(FrameCopyTest, LargerSourceIsCutToTheImage) {
  const std::vector<uint8_t> src = Counting(5 * 4);  // 5 x 4 at 1 byte
  std::vector<uint8_t> dst(6 + kTail, kGuard);       // 3 x 2 image
  CropFrame({src.data(), 20, 5, 4}, {dst.data(), 6, 3, 2, 6}, 1, false);
  const std::vector<uint8_t> want = {1, 2, 3, 6, 7, 8};
  EXPECT_TRUE(std::equal(want.begin(), want.end(), dst.begin()));
  EXPECT_TRUE(TailIntact(dst, 6));
}

TEST(FrameCopyTest, CroppedConversionGoesLineByLine) {
  const std::vector<uint8_t> src = Counting(3 * 2 * 4);  // 3 x 2 32-bit
  std::vector<uint8_t> dst(2 * 3 * 3 + kTail, kGuard);   // 2 x 3 RGB 24 image
  CropFrame({src.data(), 24, 3, 2}, {dst.data(), 18, 2, 3, 18}, 3, true);
  // Line 0: source pixels 0 and 1; line 1: source pixels 3 and 4; line 2: zeros.
  const int source_pixel[4] = {0, 1, 3, 4};
  for (int i = 0; i < 4; ++i) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(dst[i * 3 + c], src[source_pixel[i] * 4 + c]);
  }
  for (int i = 12; i < 18; ++i) EXPECT_EQ(dst[i], 0) << i;
  EXPECT_TRUE(TailIntact(dst, 18));
}

TEST(FrameCopyTest, CropNeverReadsPastAShortSourceOrWritesPastCapacity) {
  const std::vector<uint8_t> src = Counting(7);  // claims 4 x 4, holds 7 bytes
  std::vector<uint8_t> dst(10 + kTail, kGuard);  // claims 4 x 4 (16), holds 10
  CropFrame({src.data(), 7, 4, 4}, {dst.data(), 10, 4, 4, 16}, 1, false);
  const std::vector<uint8_t> want = {1, 2, 3, 4, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(want.begin(), want.end(), dst.begin()));
  EXPECT_TRUE(TailIntact(dst, 10));
  // No source and no target: nothing happens.
  CropFrame({nullptr, 0, 4, 4}, {nullptr, 0, 4, 4, 16}, 1, false);
}

// Streaming stores change how a frame is written, never what: every path, at
// odd sizes and offsets into the buffers, gives the bytes of the ordinary one.
TEST(FrameCopyTest, StreamedFramesMatchOrdinaryOnes) {
  MaskCpuFlags(-1);
  CPxlImageConverter converter;
  const auto run = [&](bool streamed, bool convert, bool crop, int64_t w, int64_t h, size_t shift) {
    SetStreamingThresholdBytes(streamed ? 0 : std::numeric_limits<int64_t>::max());
    const std::vector<uint8_t> src = Counting(static_cast<size_t>((w + 3) * (h + 2) * 4) + shift);
    const int64_t bpp = convert ? 3 : 4;
    std::vector<uint8_t> dst(static_cast<size_t>(w * h * bpp) + shift + kTail, kGuard);
    const FrameSource source{src.data() + shift, static_cast<int64_t>(src.size() - shift),
                             crop ? w + 3 : w, crop ? h + 2 : h};
    const FrameTarget target{dst.data() + shift, w * h * bpp, w, h, w * h * bpp};
    if (crop) {
      CropFrame(source, target, 4, convert, 1, 1);
    } else {
      EXPECT_TRUE(CopyWholeFrame(source, target, convert, converter));
    }
    return dst;
  };
  for (bool convert : {false, true}) {
    for (bool crop : {false, true}) {
      for (auto [w, h] : {std::pair<int64_t, int64_t>{1, 1}, {37, 5}, {641, 3}}) {
        for (size_t shift : {0u, 1u, 7u}) {
          SCOPED_TRACE(::testing::Message() << "convert " << convert << " crop " << crop << " " << w
                                            << "x" << h << " shift " << shift);
          EXPECT_EQ(run(false, convert, crop, w, h, shift), run(true, convert, crop, w, h, shift));
        }
      }
    }
  }
  SetStreamingThresholdBytes(-1);
}

}  // namespace
}  // namespace zelto
