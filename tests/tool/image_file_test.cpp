#include "image_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "image_reader.h"
#include "test_support.h"

namespace zelto::grab {
namespace {

using testing::RgbImage;

// A picture whose every pixel differs, so flips, swaps and stride errors show.
std::vector<uint8_t> Gradient(int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(x * 9);
      p[1] = static_cast<uint8_t>(y * 13);
      p[2] = static_cast<uint8_t>(x + y * 7);
    }
  }
  return rgb;
}

TEST(ImageFileTest, BmpHeaderOfA24BitBottomUpBitmap) {
  std::vector<uint8_t> h = BmpHeader(5, 3);
  ASSERT_EQ(h.size(), 54u);
  EXPECT_EQ(h[0], 'B');
  EXPECT_EQ(h[1], 'M');
  EXPECT_EQ(BmpRowStride(5), 16u);  // 15 bytes padded to 4
  EXPECT_EQ(BmpRowStride(4), 12u);
  EXPECT_EQ(h[2] | (h[3] << 8), 54 + 16 * 3);  // file size
  EXPECT_EQ(h[10], 54);                        // pixel offset
  EXPECT_EQ(h[14], 40);                        // BITMAPINFOHEADER
  EXPECT_EQ(h[18], 5);
  EXPECT_EQ(h[22], 3);  // positive height: bottom-up
  EXPECT_EQ(h[28], 24);
}

// Odd widths exercise the row padding.
TEST(ImageFileTest, BmpRoundTrip) {
  zelto::testing::ScopedTempDir dir;
  for (int width : {1, 5, 8, 13}) {
    const std::string path = (std::filesystem::path(dir.path()) / "a.bmp").string();
    std::vector<uint8_t> rgb = Gradient(width, 7);
    std::string error;
    ASSERT_TRUE(WriteBmp(path, width, 7, rgb.data(), &error)) << error;
    RgbImage back;
    ASSERT_TRUE(testing::ReadBmp(path, &back));
    EXPECT_EQ(back.width, width);
    EXPECT_EQ(back.height, 7);
    EXPECT_EQ(back.rgb, rgb) << width;
  }
}

TEST(ImageFileTest, PngRoundTrip) {
  if (!PngSupported()) GTEST_SKIP() << "this build writes no PNG";
  zelto::testing::ScopedTempDir dir;
  const std::string path = (std::filesystem::path(dir.path()) / "a.png").string();
  std::vector<uint8_t> rgb = Gradient(13, 9);
  std::string error;
  ASSERT_TRUE(WritePng(path, 13, 9, rgb.data(), &error)) << error;
#ifdef _WIN32
  // No PNG reader in the Windows test build: the signature at least.
  std::vector<uint8_t> file = testing::ReadFile(path);
  ASSERT_GT(file.size(), 8u);
  EXPECT_EQ(std::string(file.begin() + 1, file.begin() + 4), "PNG");
#else
  RgbImage back;
  ASSERT_TRUE(testing::ReadPng(path, &back));
  EXPECT_EQ(back.width, 13);
  EXPECT_EQ(back.height, 9);
  EXPECT_EQ(back.rgb, rgb);
#endif
}

TEST(ImageFileTest, RawIsTheBytesUnchanged) {
  zelto::testing::ScopedTempDir dir;
  const std::string path = (std::filesystem::path(dir.path()) / "a.raw").string();
  const uint8_t bytes[] = {1, 2, 3, 0, 255, 7};
  std::string error;
  ASSERT_TRUE(WriteRaw(path, bytes, sizeof bytes, &error)) << error;
  EXPECT_EQ(testing::ReadFile(path), std::vector<uint8_t>(bytes, bytes + sizeof bytes));
}

TEST(ImageFileTest, UnwritablePathIsReported) {
  zelto::testing::ScopedTempDir dir;
  const std::string path = (std::filesystem::path(dir.path()) / "missing" / "a.bmp").string();
  std::vector<uint8_t> rgb = Gradient(2, 2);
  std::string error;
  EXPECT_FALSE(WriteBmp(path, 2, 2, rgb.data(), &error));
  EXPECT_NE(error.find("a.bmp"), std::string::npos);
  error.clear();
  EXPECT_FALSE(WriteRaw(path, rgb.data(), rgb.size(), &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace zelto::grab
