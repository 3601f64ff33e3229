// The persistence layout of the user's values under HKEY_CURRENT_USER, each name
// written once. The module's base key is the host's key path followed directly by
// kModuleKeyName; "InputChannelValue" lives there, every other value under the
// channel key (base key + "\" + the channel in decimal). All values are REG_DWORD
// holding signed 32-bit integers.
#ifndef ZELTO_GEOMETRY_REGISTRY_LAYOUT_H_
#define ZELTO_GEOMETRY_REGISTRY_LAYOUT_H_

namespace zelto {

inline constexpr char kModuleKeyName[] = "ZELTORGB";

// Base key.
inline constexpr char kInputChannelValue[] = "InputChannelValue";

// Channel key: channel choice and startup values.
inline constexpr char kLockChannelModeValue[] = "LockChannelMode";
inline constexpr char kStartupImageFormatValue[] = "StartupImageFormat";
inline constexpr char kStartupResolutionValue[] = "StartupResolution";

// Channel key: geometry.
inline constexpr char kScalingModeValue[] = "Scaling Mode";
inline constexpr char kScalingXValue[] = "Scaling X";
inline constexpr char kScalingYValue[] = "Scaling Y";
inline constexpr char kImageSizeXValue[] = "Image Size X";
inline constexpr char kImageSizeYValue[] = "Image Size Y";
inline constexpr char kImageOffsetXValue[] = "Image Offset X";
inline constexpr char kImageOffsetYValue[] = "Image Offset Y";
inline constexpr char kHorizontalPositionValue[] = "Horizontal Position";
inline constexpr char kVerticalPositionValue[] = "Vertical Position";

// Channel key: format and rate.
inline constexpr char kFixedRateModeValue[] = "Fixed Rate Mode";
inline constexpr char kFrameRateValue[] = "Frame Rate";
inline constexpr char kCaptureFormatValue[] = "CaptureFormatValue";
inline constexpr char kSampleRateValue[] = "SampleRateValue";

// Channel key: video adjustments.
inline constexpr char kContrastValue[] = "ContrastValue";
inline constexpr char kBrightnessValue[] = "BrightnessValue";
inline constexpr char kBlackLevelValue[] = "BlackLevelValue";
inline constexpr char kPhaseValue[] = "PhaseValue";

}  // namespace zelto

#endif  // ZELTO_GEOMETRY_REGISTRY_LAYOUT_H_
