// The card's geometry: the geometry mode, the startup geometry that stands in
// for a missing mode, and the module-paced frame rate.
#include "card/zelto_rgb_card.h"
#include "geometry/registry_layout.h"

namespace zelto {

void CZeltoRGBCard::GetImageGeometry(int32_t* width, int32_t* height, int32_t* offset_x,
                                     int32_t* offset_y) {
  *width = Geometry.ImageSizeX;
  *height = Geometry.ImageSizeY;
  *offset_x = Geometry.ImageOffsetX;
  *offset_y = Geometry.ImageOffsetY;
}

void CZeltoRGBCard::SetScalingMode(int32_t mode) {
  Geometry.ScalingMode = mode;
  if (!LoadingSettings) StoreDwordValue(kScalingModeValue, mode);
}

void CZeltoRGBCard::ApplyStartupGeometry() {
  ReadStartupResolution();
  ReadStartupImageFormat();
  if (!Geometry.RoiRestored) {
    Geometry.ImageSizeX = Geometry.SourceWidth.load();
    Geometry.ImageSizeY = Geometry.SourceHeight.load();
    Geometry.RoiWidth = Geometry.SourceWidth.load();
    Geometry.RoiHeight = Geometry.SourceHeight.load();
  }
  if (Geometry.ScalingMode != 0) {
    Geometry.ImageSizeX = Geometry.ScalingX.load();
    Geometry.ImageSizeY = Geometry.ScalingY.load();
  }
}

void CZeltoRGBCard::SetFixedRateMode(int32_t mode) {
  Pacer.FixedRateMode = mode;
  if (!LoadingSettings) StoreDwordValue(kFixedRateModeValue, mode);
}

void CZeltoRGBCard::SetFramePacing(int32_t rate) {
  FrameRate = Pacer.Restart(rate, SourceFrameRate);
}

}  // namespace zelto
