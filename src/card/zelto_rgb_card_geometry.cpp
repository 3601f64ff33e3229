// The card's geometry: the geometry mode, the startup geometry that stands in
// for a missing mode, and the module-paced frame rate.
#include "card/zelto_rgb_card.h"
#include "geometry/registry_layout.h"

namespace zelto {

void CZeltoRGBCard::GetImageGeometry(int32_t* width, int32_t* height, int32_t* offset_x,
                                     int32_t* offset_y) {
  *width = ImageSizeX;
  *height = ImageSizeY;
  *offset_x = ImageOffsetX;
  *offset_y = ImageOffsetY;
}

void CZeltoRGBCard::SetScalingMode(int32_t mode) {
  ScalingMode = mode;
  if (!LoadingSettings) StoreDwordValue(kScalingModeValue, mode);
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

void CZeltoRGBCard::SetFixedRateMode(int32_t mode) {
  Pacer.FixedRateMode = mode;
  if (!LoadingSettings) StoreDwordValue(kFixedRateModeValue, mode);
}

void CZeltoRGBCard::SetFramePacing(int32_t rate) { FrameRate = Pacer.Restart(rate, SourceFrameRate); }

}  // namespace zelto
