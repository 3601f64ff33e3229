#include "image_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace zelto::grab {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File OpenForWriting(const std::string& path, std::string* error) {
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) *error = "cannot create " + path + ": " + std::strerror(errno);
  return file;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

bool Finish(File file, const std::string& path, std::string* error) {
  if (std::ferror(file.get()) != 0 || std::fclose(file.release()) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

size_t BmpRowStride(int width) { return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3}; }

std::vector<uint8_t> BmpHeader(int width, int height) {
  const uint32_t pixels = static_cast<uint32_t>(BmpRowStride(width) * static_cast<size_t>(height));
  std::vector<uint8_t> h;
  h.reserve(54);
  h.push_back('B');
  h.push_back('M');
  Put32(h, 54 + pixels);  // file size
  Put32(h, 0);            // reserved
  Put32(h, 54);           // offset of the pixels
  Put32(h, 40);           // BITMAPINFOHEADER
  Put32(h, static_cast<uint32_t>(width));
  Put32(h, static_cast<uint32_t>(height));  // positive: bottom-up
  Put16(h, 1);                              // planes
  Put16(h, 24);                             // bits per pixel
  Put32(h, 0);                              // BI_RGB
  Put32(h, pixels);
  Put32(h, 2835);  // 72 dpi
  Put32(h, 2835);
  Put32(h, 0);
  Put32(h, 0);
  return h;
}

bool WriteBmp(const std::string& path, int width, int height, const uint8_t* rgb,
              std::string* error) {
  File file = OpenForWriting(path, error);
  if (!file) return false;
  const std::vector<uint8_t> header = BmpHeader(width, height);
  std::fwrite(header.data(), 1, header.size(), file.get());
  std::vector<uint8_t> row(BmpRowStride(width), 0);
  for (int y = height - 1; y >= 0; --y) {
    const uint8_t* src = rgb + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
    for (int x = 0; x < width; ++x) {
      row[3 * x] = src[3 * x + 2];
      row[3 * x + 1] = src[3 * x + 1];
      row[3 * x + 2] = src[3 * x];
    }
    std::fwrite(row.data(), 1, row.size(), file.get());
  }
  return Finish(std::move(file), path, error);
}

bool WriteRaw(const std::string& path, const void* data, size_t size, std::string* error) {
  File file = OpenForWriting(path, error);
  if (!file) return false;
  std::fwrite(data, 1, size, file.get());
  return Finish(std::move(file), path, error);
}

}  // namespace zelto::grab
