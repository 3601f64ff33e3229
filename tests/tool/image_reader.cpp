#include "image_reader.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <png.h>
#endif

namespace zelto::grab::testing {
namespace {

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool ReadBmp(const std::string& path, RgbImage* image) {
  std::vector<uint8_t> file = ReadFile(path);
  if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return false;
  const uint32_t offset = Le32(&file[10]);
  const int32_t width = static_cast<int32_t>(Le32(&file[18]));
  const int32_t height = static_cast<int32_t>(Le32(&file[22]));
  if (Le16(&file[28]) != 24 || Le32(&file[30]) != 0 || width <= 0 || height <= 0) return false;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  if (file.size() < offset + stride * static_cast<size_t>(height)) return false;
  image->width = width;
  image->height = height;
  image->rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = &file[offset + stride * static_cast<size_t>(height - 1 - y)];
    uint8_t* out = image->rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
    for (int32_t x = 0; x < width; ++x) {
      out[3 * x] = row[3 * x + 2];
      out[3 * x + 1] = row[3 * x + 1];
      out[3 * x + 2] = row[3 * x];
    }
  }
  return true;
}

bool ReadPng(const std::string& path, RgbImage* image) {
#ifdef _WIN32
  (void)path;
  (void)image;
  return false;
#else
  png_image png = {};
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&png, path.c_str()) == 0) return false;
  if (png.format != PNG_FORMAT_RGB) {
    png_image_free(&png);
    return false;
  }
  image->width = static_cast<int>(png.width);
  image->height = static_cast<int>(png.height);
  image->rgb.resize(PNG_IMAGE_SIZE(png));
  return png_image_finish_read(&png, nullptr, image->rgb.data(), 0, nullptr) != 0;
#endif
}

}  // namespace zelto::grab::testing
