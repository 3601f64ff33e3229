// ZeltoSim's table of standard video modes (VESA DMT and CEA-861 timings).
#ifndef ZELTO_SIM_DRIVER_VIDEO_MODES_H_
#define ZELTO_SIM_DRIVER_VIDEO_MODES_H_

#include <cstdint>
#include <string_view>

#include "driver/capture_driver.h"

namespace zelto::sim {

struct VideoMode {
  const char* name;  // "1024x768@60"
  uint32_t width, height;
  uint32_t h_front_porch, h_sync, h_back_porch;
  uint32_t v_front_porch, v_sync, v_back_porch;
  uint32_t pixel_clock_hz;
  uint32_t ver_frequency_mhz;  // thousandths of a hertz
  const char* description;     // "1024x768 60Hz"
};

// Finds a mode by name ("1024x768@60", "1024x768@59.94", "1024x768@75") or by its
// description ("1024x768 60Hz"); null when there is none.
const VideoMode* FindVideoMode(std::string_view name);

// The mode a fresh channel shows: 1024x768@60.
const VideoMode& DefaultVideoMode();

// The full timing of `mode` (no borders); `flags` goes into VideoTiming::Flags.
void FillTiming(const VideoMode& mode, uint16_t flags, VideoTiming* timing);

// Nanoseconds of one frame of `mode`, rounded down.
int64_t FramePeriodNs(const VideoMode& mode);

}  // namespace zelto::sim

#endif  // ZELTO_SIM_DRIVER_VIDEO_MODES_H_
