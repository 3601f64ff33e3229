// The card's values in the registry: the channel key, the stored channel and
// lock, the geometry read back at start-up and the stored startup values.
#include <mutex>
#include <string>
#include <utility>

#include "base/text_exception.h"
#include "card/capture_format.h"
#include "card/zelto_rgb_card.h"
#include "geometry/region_rules.h"
#include "geometry/registry_layout.h"
#include "geometry/registry_values.h"
#include "geometry/restored_geometry.h"
#include "geometry/startup_resolution.h"
#include "platform/trace.h"

namespace zelto {

void CZeltoRGBCard::BuildChannelKey() {
  std::string key = ChannelKey(BaseSettingsKey, InputChannel);
  if (key != UserSettingsKey) UserSettingsKey = std::move(key);
}

void CZeltoRGBCard::StoreBaseDword(const char* name, int32_t value) {
  StoreDwordAt(BaseSettingsKey, name, value);
}

void CZeltoRGBCard::ReadStoredChannel() {
  {
    platform::RegistryKey base = OpenUserKey(BaseSettingsKey);
    int32_t channel = 0;
    // The driver takes a 16-bit channel: a stored number outside that range
    // would open one channel and name the settings of another, so it reads as
    // absent.
    InputChannel = ReadDwordValue(base, kInputChannelValue, &channel) == platform::kRegSuccess &&
                           channel >= 0 && channel <= kMaxInputChannel
                       ? channel
                       : 0;
  }
  BuildChannelKey();
  platform::RegistryKey channel_key = OpenUserKey(UserSettingsKey);
  int32_t lock = 0;
  LockChannelMode =
      ReadDwordValue(channel_key, kLockChannelModeValue, &lock) == platform::kRegSuccess &&
      lock == 1;
}

void CZeltoRGBCard::LoadGeometrySettings() {
  BuildChannelKey();
  platform::RegistryKey key = OpenUserKey(UserSettingsKey);
  const auto read = [&key](const char* name, int32_t* value) {
    return ReadDwordValue(key, name, value) == platform::kRegSuccess;
  };

  int32_t mode = 0;
  if (read(kScalingModeValue, &mode)) {
    try {
      SetScalingMode(mode);
    } catch (const TextException&) {
    }
  }

  if (Geometry.ScalingMode == 0) {
    int32_t size_x = 0, size_y = 0, offset_x = 0, offset_y = 0;
    // Read in this order; the first absent value ends the reading.
    if (read(kImageSizeXValue, &size_x) && read(kImageSizeYValue, &size_y) &&
        read(kImageOffsetXValue, &offset_x) && read(kImageOffsetYValue, &offset_y)) {
      // In range before it sizes anything; fitted to the mode once it is known.
      AdoptRegion(ClampStoredRegion({size_x, size_y, offset_x, offset_y}));
      Geometry.RoiRestored = true;
    }
  } else {
    int32_t scaling_x = 0, scaling_y = 0;
    if (read(kScalingXValue, &scaling_x) && read(kScalingYValue, &scaling_y)) {
      // The driver's scaled range, as SetScaling would clamp them.
      Geometry.ScalingX = ClampScaledWidth(scaling_x);
      Geometry.ScalingY = ClampScaledHeight(scaling_y);
    }
  }

  int32_t position = 0;
  if (read(kHorizontalPositionValue, &position)) {
    Geometry.HorPositionPending = true;
    Geometry.PendingHorPosition = position;
  }
  if (read(kVerticalPositionValue, &position)) {
    Geometry.VerPositionPending = true;
    Geometry.PendingVerPosition = position;
  }
}

int32_t CZeltoRGBCard::ReadStoredStartupValue(const char* name) {
  platform::RegistryKey key = OpenUserKey(UserSettingsKey);
  int32_t value = 0;
  if (ReadDwordValue(key, name, &value) != platform::kRegSuccess) value = 0;
  return value;
}

int32_t CZeltoRGBCard::ReadStartupResolution() {
  const int32_t stored = ReadStoredStartupValue(kStartupResolutionValue);
  if (!SignalPresent) {
    const SourceSize size = StartupResolutionSize(stored);
    Geometry.SourceWidth = size.width;
    Geometry.SourceHeight = size.height;
  }
  platform::TraceFormat("Startup resolution is: %d x %d", Geometry.SourceWidth.load(),
                        Geometry.SourceHeight.load());
  return stored;
}

int32_t CZeltoRGBCard::ReadStartupImageFormat() {
  const int32_t stored = ReadStoredStartupValue(kStartupImageFormatValue);
  if (!SignalPresent) {
    const CaptureFormatInfo& format = CaptureFormatAt(stored);
    Format.BytesPerPixel = format.bytes_per_pixel;
    Format.ConvertTo24 = format.convert_to_24;
  }
  return stored;
}

void CZeltoRGBCard::LoadUserSettings() {
  // On the capture thread, host setters of these values wait for the whole load.
  // At start-up no capture thread runs, and a stored format or scaling there
  // re-creates the buffers, which must not happen under this lock.
  std::unique_lock<std::recursive_mutex> serialised(SettingsLock(), std::defer_lock);
  if (OnCaptureSide()) serialised.lock();
  // What is applied was just read: nothing is written back.
  const LoadingFlag::ThisThread loading(LoadingSettings);

  platform::Trace("CZeltoRGBCard::LoadUserSettings()");
  BuildChannelKey();
  const platform::RegistryKey key = OpenUserKey(UserSettingsKey);
  const auto stored = [&key](const char* name, int32_t* value) {
    return ReadDwordValue(key, name, value) == platform::kRegSuccess;
  };
  // Each step reads its value only when its condition holds and applies it
  // through the value's own setter; a text exception ends that step only.
  const auto guarded = [](auto&& apply) {
    try {
      apply();
    } catch (const TextException&) {
    }
  };
  int32_t value = 0;

  if (!Geometry.RoiRestored) {
    if (stored(kScalingModeValue, &value)) guarded([&] { SetScalingMode(value); });
    int32_t x = 0;
    int32_t y = 0;
    if (Geometry.ScalingMode != 0 && stored(kScalingXValue, &x) && stored(kScalingYValue, &y)) {
      guarded([&] { SetScaling(x, y); });
    }
  }
  if (stored(kFixedRateModeValue, &value)) guarded([&] { SetFixedRateMode(value); });
  if (Pacer.FixedRateMode != 0 && stored(kFrameRateValue, &value)) {
    guarded([&] { SetFrameRate(value); });
  }
  if (stored(SignalPresent ? kCaptureFormatValue : kStartupImageFormatValue, &value)) {
    guarded([&] { WriteCaptureFormat(value); });
  }
  if (Pacer.FixedRateMode == 0 && stored(kSampleRateValue, &value)) {
    guarded([&] { WriteCaptureRate(value); });
  }
  guarded([&] { LoadUserAdjustments(key); });
}

}  // namespace zelto
