// The card's geometry state as it is kept in the registry: the channel key and
// the geometry read back at start-up.
#include "card/zelto_rgb_card.h"
#include "card/text_exception.h"
#include "geometry/registry_values.h"

namespace zelto {

void CZeltoRGBCard::BuildChannelKey() { UserSettingsKey = ChannelKey(BaseSettingsKey, InputChannel); }

void CZeltoRGBCard::SetScalingMode(int32_t mode) {
  ScalingMode = mode;
  if (!LoadingSettings) StoreDwordValue(mode, "Scaling Mode");
}

void CZeltoRGBCard::LoadGeometrySettings() {
  BuildChannelKey();
  platform::RegistryKey key = OpenUserKey(UserSettingsKey);
  const auto read = [&key](const char* name, int32_t* value) {
    return ReadDwordValue(key, value, name) == platform::kRegSuccess;
  };

  int32_t mode = 0;
  if (read("Scaling Mode", &mode)) {
    try {
      SetScalingMode(mode);
    } catch (const TextException&) {
    }
  }

  if (ScalingMode == 0) {
    int32_t size_x = 0, size_y = 0, offset_x = 0, offset_y = 0;
    // Read in this order; the first absent value ends the reading.
    if (read("Image Size X", &size_x) && read("Image Size Y", &size_y) &&
        read("Image Offset X", &offset_x) && read("Image Offset Y", &offset_y)) {
      ImageSizeX = size_x;
      ImageSizeY = size_y;
      ImageOffsetX = offset_x;
      ImageOffsetY = offset_y;
      RoiWidth = size_x;
      RoiHeight = size_y;
      RoiOffsetX = offset_x;
      RoiOffsetY = offset_y;
      RoiRestored = true;
    }
  } else {
    int32_t scaling_x = 0, scaling_y = 0;
    if (read("Scaling X", &scaling_x) && read("Scaling Y", &scaling_y)) {
      ScalingX = scaling_x;
      ScalingY = scaling_y;
    }
  }

  int32_t position = 0;
  if (read("Horizontal Position", &position)) {
    HorPositionPending = true;
    PendingHorPosition = position;
  }
  if (read("Vertical Position", &position)) {
    VerPositionPending = true;
    PendingVerPosition = position;
  }
}

}  // namespace zelto
