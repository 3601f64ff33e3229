// The pixel formats the module delivers (by their host format code) and their
// unpacking to 8-bit R, G, B. Pure functions.
#ifndef ZELTO_TOOLS_ZELTOGRAB_PIXEL_FORMAT_H_
#define ZELTO_TOOLS_ZELTOGRAB_PIXEL_FORMAT_H_

#include <cstdint>
#include <optional>

#include "zeltosim_pattern.h"

namespace zelto::grab {

struct PixelFormatInfo {
  int32_t code;             // 905, 906, 500 or 200
  int bytes_per_pixel;      // in the module's buffer
  const char* name;         // for people
  sim::PixelLayout layout;  // the same layout in ZeltoSim's terms, for the frame code
};

// Nothing for a code the module does not deliver (0: the card could not tell).
std::optional<PixelFormatInfo> DescribeFormat(int32_t code);

// Converts `width` pixels of format `format` at `src` into `width` * 3 bytes R, G, B
// at `rgb`. 5- and 6-bit channels are widened by repeating their top bits, so full
// intensity stays 255 and black stays 0.
void UnpackRowToRgb(const PixelFormatInfo& format, const uint8_t* src, int width, uint8_t* rgb);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_PIXEL_FORMAT_H_
