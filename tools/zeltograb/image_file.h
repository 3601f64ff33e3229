// Writing one grabbed picture to a file: PNG (through libpng natively, stb's
// stb_image_write in the Windows build), BMP (Windows' own bitmap format, 24-bit,
// bottom-up) or the module's bytes unchanged.
#ifndef ZELTO_TOOLS_ZELTOGRAB_IMAGE_FILE_H_
#define ZELTO_TOOLS_ZELTOGRAB_IMAGE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelto::grab {

// True when this build can write PNG; PngPreferred when it does so fast enough
// to keep up with the card, so that PNG is the default.
bool PngSupported();
bool PngPreferred();

// `rgb` holds `height` rows of `width` pixels, 3 bytes R, G, B each, top row first.
// On failure `error` says why and a partly written file may remain.
bool WritePng(const std::string& path, int width, int height, const uint8_t* rgb,
              std::string* error);
bool WriteBmp(const std::string& path, int width, int height, const uint8_t* rgb,
              std::string* error);
bool WriteRaw(const std::string& path, const void* data, size_t size, std::string* error);

// The 54 bytes that start a 24-bit BI_RGB bitmap of this size (file header and
// BITMAPINFOHEADER, little-endian); rows follow bottom-up, padded to 4 bytes.
std::vector<uint8_t> BmpHeader(int width, int height);
size_t BmpRowStride(int width);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_IMAGE_FILE_H_
