// The geometry and pixel format a card assumes when it is opened without a
// signal: the stored startup resolution and startup image format stand in for
// the missing mode.
#include <iterator>

#include "card/zelto_rgb_card.h"
#include "geometry/registry_values.h"
#include "platform/trace.h"

namespace zelto {
namespace {

struct Size {
  int32_t width;
  int32_t height;
};

constexpr Size kStartupResolutions[] = {
    {480, 480},   {640, 480},   {640, 512},   {640, 640},   {800, 600},
    {1024, 768},  {1024, 1024}, {1280, 1024}, {1600, 1200}, {2048, 1536},
    {1280, 960},  {1600, 900},  {1680, 1050}, {1920, 1080},
};
constexpr Size kOtherStartupResolution = {2048, 2048};

}  // namespace

int32_t CZeltoRGBCard::ReadStoredStartupValue(const char* name) {
  platform::RegistryKey key = OpenUserKey(UserSettingsKey);
  int32_t value = 0;
  if (ReadDwordValue(key, &value, name) != platform::kRegSuccess) value = 0;
  return value;
}

int32_t CZeltoRGBCard::ReadStartupResolution() {
  const int32_t stored = ReadStoredStartupValue("StartupResolution");
  if (!SignalPresent) {
    const bool known = stored >= 0 && stored < static_cast<int32_t>(std::size(kStartupResolutions));
    const Size size = known ? kStartupResolutions[stored] : kOtherStartupResolution;
    SourceWidth = size.width;
    SourceHeight = size.height;
  }
  platform::TraceFormat("Startup resolution is: %d x %d", SourceWidth.load(), SourceHeight.load());
  return stored;
}

int32_t CZeltoRGBCard::ReadStartupImageFormat() {
  const int32_t stored = ReadStoredStartupValue("StartupImageFormat");
  if (!SignalPresent) {
    ConvertTo24 = false;
    switch (stored) {
      case 2: BytesPerPixel = 4; break;
      case 3:
        BytesPerPixel = 3;
        ConvertTo24 = true;
        break;
      default: BytesPerPixel = 2; break;
    }
  }
  return stored;
}

void CZeltoRGBCard::ApplyStartupGeometry() {
  ReadStartupResolution();
  ReadStartupImageFormat();
  if (!RoiRestored) {
    ImageSizeX = SourceWidth.load();
    ImageSizeY = SourceHeight.load();
    RoiWidth = SourceWidth.load();
    RoiHeight = SourceHeight.load();
  }
  if (ScalingMode != 0) {
    ImageSizeX = ScalingX.load();
    ImageSizeY = ScalingY.load();
  }
}

}  // namespace zelto
