// The sizes a card assumes for its source when it is opened without a signal,
// indexed by the stored startup resolution. The order is the option list's, not
// sorted: 1280 x 960 and the wide sizes follow 2048 x 1536.
#ifndef ZELTO_GEOMETRY_STARTUP_RESOLUTION_H_
#define ZELTO_GEOMETRY_STARTUP_RESOLUTION_H_

#include <cstdint>
#include <iterator>

namespace zelto {

struct SourceSize {
  int32_t width;
  int32_t height;
};

inline constexpr SourceSize kStartupResolutions[] = {
    {480, 480},   {640, 480},   {640, 512},   {640, 640},  {800, 600},  {1024, 768},  {1024, 1024},
    {1280, 1024}, {1600, 1200}, {2048, 1536}, {1280, 960}, {1600, 900}, {1680, 1050}, {1920, 1080},
};

// The size of any value outside the table (negative ones too).
inline constexpr SourceSize kOtherStartupResolution = {2048, 2048};

constexpr SourceSize StartupResolutionSize(int32_t value) {
  return value >= 0 && value < static_cast<int32_t>(std::size(kStartupResolutions))
             ? kStartupResolutions[value]
             : kOtherStartupResolution;
}

}  // namespace zelto

#endif  // ZELTO_GEOMETRY_STARTUP_RESOLUTION_H_
