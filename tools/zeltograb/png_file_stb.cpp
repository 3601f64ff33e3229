// PNG through stb_image_write (Debian's libstb-dev headers), for the Windows build.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "image_file.h"

namespace zelto::grab {

bool PngSupported() { return true; }
// stb compresses too slowly for 60 frames a second: BMP stays the default.
bool PngPreferred() { return false; }

bool WritePng(const std::string& path, int width, int height, const uint8_t* rgb,
              std::string* error) {
  stbi_write_png_compression_level = 1;
  if (stbi_write_png(path.c_str(), width, height, 3, rgb, width * 3) == 0) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace zelto::grab
