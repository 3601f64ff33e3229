// A build without a PNG library: images go out as BMP or raw.
#include "image_file.h"

namespace zelto::grab {

bool PngSupported() { return false; }
bool PngPreferred() { return false; }

bool WritePng(const std::string& path, int, int, const uint8_t*, std::string* error) {
  *error = "this build cannot write PNG: " + path;
  return false;
}

}  // namespace zelto::grab
