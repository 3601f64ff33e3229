#include "video_modes.h"

#include <cstring>

namespace zelto::sim {
namespace {

// Refresh rate in mHz of a pixel clock over the total frame size, rounded.
constexpr uint32_t Refresh(uint32_t clock_hz, uint32_t h_total, uint32_t v_total) {
  uint64_t pixels = uint64_t{h_total} * v_total;
  return static_cast<uint32_t>((uint64_t{clock_hz} * 1000 + pixels / 2) / pixels);
}

// The 59.94 Hz variants run the 60 Hz timing on a clock slowed to 59.94 frames per
// second exactly.
constexpr uint32_t Clock5994(uint32_t h_total, uint32_t v_total) {
  return static_cast<uint32_t>((uint64_t{h_total} * v_total * 59940 + 500) / 1000);
}

#define ZELTO_MODE(w, h, hfp, hs, hbp, vfp, vs, vbp, clock, rate_name, rate_text)       \
  VideoMode {                                                                           \
#w "x" #h "@" rate_name, w, h, hfp, hs, hbp, vfp, vs, vbp, clock,                   \
        Refresh(clock, w + hfp + hs + hbp, h + vfp + vs + vbp), #w "x" #h " " rate_text \
  }
#define ZELTO_MODE_5994(w, h, hfp, hs, hbp, vfp, vs, vbp)                              \
  VideoMode {                                                                          \
#w "x" #h "@59.94", w, h, hfp, hs, hbp, vfp, vs, vbp,                              \
        Clock5994(w + hfp + hs + hbp, h + vfp + vs + vbp), 59940, #w "x" #h " 59.94Hz" \
  }

const VideoMode kModes[] = {
    ZELTO_MODE(640, 480, 16, 96, 48, 10, 2, 33, 25200000, "60", "60Hz"),
    ZELTO_MODE_5994(640, 480, 16, 96, 48, 10, 2, 33),
    ZELTO_MODE(640, 480, 16, 64, 120, 1, 3, 16, 31500000, "75", "75Hz"),
    ZELTO_MODE(800, 600, 40, 128, 88, 1, 4, 23, 40000000, "60", "60Hz"),
    ZELTO_MODE_5994(800, 600, 40, 128, 88, 1, 4, 23),
    ZELTO_MODE(800, 600, 16, 80, 160, 1, 3, 21, 49500000, "75", "75Hz"),
    ZELTO_MODE(1024, 768, 24, 136, 160, 3, 6, 29, 65000000, "60", "60Hz"),
    ZELTO_MODE_5994(1024, 768, 24, 136, 160, 3, 6, 29),
    ZELTO_MODE(1024, 768, 16, 96, 176, 1, 3, 28, 78750000, "75", "75Hz"),
    ZELTO_MODE(1280, 1024, 48, 112, 248, 1, 3, 38, 108000000, "60", "60Hz"),
    ZELTO_MODE_5994(1280, 1024, 48, 112, 248, 1, 3, 38),
    ZELTO_MODE(1280, 1024, 16, 144, 248, 1, 3, 38, 135000000, "75", "75Hz"),
    ZELTO_MODE(1600, 1200, 64, 192, 304, 1, 3, 46, 162000000, "60", "60Hz"),
    ZELTO_MODE_5994(1600, 1200, 64, 192, 304, 1, 3, 46),
    ZELTO_MODE(1600, 1200, 64, 192, 304, 1, 3, 46, 202500000, "75", "75Hz"),
    ZELTO_MODE(1920, 1080, 88, 44, 148, 4, 5, 36, 148500000, "60", "60Hz"),
    ZELTO_MODE_5994(1920, 1080, 88, 44, 148, 4, 5, 36),
    ZELTO_MODE(1920, 1080, 88, 44, 148, 4, 5, 36, 185625000, "75", "75Hz"),
};

#undef ZELTO_MODE
#undef ZELTO_MODE_5994

}  // namespace

const VideoMode* FindVideoMode(std::string_view name) {
  for (const VideoMode& mode : kModes) {
    if (name == mode.name || name == mode.description) return &mode;
  }
  return nullptr;
}

const VideoMode& DefaultVideoMode() { return *FindVideoMode("1024x768@60"); }

void FillTiming(const VideoMode& mode, uint16_t flags, VideoTiming* timing) {
  std::memset(timing, 0, sizeof(*timing));
  timing->VerFrequency = mode.ver_frequency_mhz;
  timing->PixelClock = mode.pixel_clock_hz;
  timing->Flags = flags;
  timing->HorAddrTime = mode.width;
  timing->HorFrontPorch = mode.h_front_porch;
  timing->HorSyncTime = mode.h_sync;
  timing->HorBackPorch = mode.h_back_porch;
  timing->VerAddrTime = mode.height;
  timing->VerFrontPorch = mode.v_front_porch;
  timing->VerSyncTime = mode.v_sync;
  timing->VerBackPorch = mode.v_back_porch;
  std::strncpy(timing->Description, mode.description, sizeof(timing->Description) - 1);
}

int64_t FramePeriodNs(const VideoMode& mode) {
  return static_cast<int64_t>(1000000000000LL / mode.ver_frequency_mhz);
}

}  // namespace zelto::sim
