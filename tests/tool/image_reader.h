// Reads back what zeltograb writes, for the tests: 8-bit R, G, B rows, top first.
#ifndef ZELTO_TESTS_TOOL_IMAGE_READER_H_
#define ZELTO_TESTS_TOOL_IMAGE_READER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace zelto::grab::testing {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* Pixel(int x, int y) const {
    return rgb.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 3;
  }
};

// False when the file is missing or not a 24-bit BI_RGB bitmap.
bool ReadBmp(const std::string& path, RgbImage* image);
// False when the file is missing or not an 8-bit RGB PNG. Native builds only.
bool ReadPng(const std::string& path, RgbImage* image);

std::vector<uint8_t> ReadFile(const std::string& path);

}  // namespace zelto::grab::testing

#endif  // ZELTO_TESTS_TOOL_IMAGE_READER_H_
