// The card's enumerated settings: the fill steps of its settings list, the
// handlers' forwarding and the card's read and write of each setting.
#include <cstdio>
#include <iterator>
#include <mutex>

#include "base/text_exception.h"
#include "card/zelto_rgb_card.h"
#include "geometry/registry_layout.h"
#include "geometry/startup_resolution.h"
#include "platform/trace.h"

namespace zelto {

namespace {

constexpr const char* kFormatLabels[] = {"5-5-5", "5-6-5", "8-8-8", "RGB 24"};
static_assert(std::size(kFormatLabels) == std::size(kCaptureFormats));

struct CaptureRateOption {
  const char* percent;
  double divisor;
  int32_t value;
};

// After "Fixed Rate": the percent texts keep their leading spaces; the 15% entry
// divides by 6.66 but drops six frames of seven.
constexpr CaptureRateOption kCaptureRates[] = {
    {"100%", 1, 0},     {"  50%", 2, 1},  {"  33%", 3, 2},    {"  25%", 4, 3},     {"  20%", 5, 4},
    {"  15%", 6.66, 6}, {"  10%", 10, 9}, {"    5%", 20, 19}, {"    1%", 100, 99},
};

constexpr const char* kStartupResolutionLabels[] = {
    "480 x 480",  "640 x 480",   "640 x 512",   "640 x 640",   "800 x 600",
    "1024 x 768", "1024 x 1024", "1280 x 1024", "1600 x 1200", "2048 x 1536",
    "1280 x 960", "1600 x 900",  "1680 x 1050", "1920 x 1080",
};
static_assert(std::size(kStartupResolutionLabels) == std::size(kStartupResolutions));

}  // namespace

int32_t CCameraIndex::ReadValue() { return card_.ReadInputChannel(); }
void CCameraIndex::WriteValue(int32_t value) { card_.WriteInputChannel(value); }
int32_t CImageFormatSetting::ReadValue() { return card_.ReadCaptureFormat(); }
void CImageFormatSetting::WriteValue(int32_t value) { card_.WriteCaptureFormat(value); }
int32_t CFrameRate::ReadValue() { return card_.ReadCaptureRate(); }
void CFrameRate::WriteValue(int32_t value) { card_.WriteCaptureRate(value); }
int32_t CLockChannelMode::ReadValue() { return card_.ReadLockChannelMode(); }
void CLockChannelMode::WriteValue(int32_t value) { card_.WriteLockChannelMode(value); }
int32_t CStartupImageFormatSetting::ReadValue() { return card_.ReadStartupImageFormat(); }
void CStartupImageFormatSetting::WriteValue(int32_t value) { card_.WriteStartupImageFormat(value); }
int32_t CStartupResolution::ReadValue() { return card_.ReadStartupResolution(); }
void CStartupResolution::WriteValue(int32_t value) { card_.WriteStartupResolution(value); }

bool CZeltoRGBCard::FillSettings() {
  ClearSettings();
  int32_t id = 0;
  // Each step advances the id by one and the list once more: the ids are even.
  FillInputChannel(&id);
  ++id;
  FillCaptureFormat(&id);
  ++id;
  FillCaptureRate(&id);
  ++id;
  FillLockChannelMode(&id);
  ++id;
  if (LockChannelMode) {
    FillStartupImageFormat(&id);
    ++id;
    FillStartupResolution(&id);
    ++id;
  }
  return FillAdjustments();
}

void CZeltoRGBCard::FillInputChannel(int32_t* id) {
  AddSetting("Input Channel", *id, &camera_index_);
  for (uint32_t channel = 0; channel < DeviceCount; ++channel) {
    char label[16];
    std::snprintf(label, sizeof label, "%d", static_cast<int32_t>(channel) + 1);
    AddOption(*id, label, static_cast<int32_t>(channel), nullptr);
  }
  ++*id;
}

void CZeltoRGBCard::FillCaptureFormat(int32_t* id) {
  AddSetting("Capture Format", *id, &image_format_setting_);
  for (const CaptureFormatInfo& format : kCaptureFormats)
    AddOption(*id, kFormatLabels[format.index], format.index, nullptr);
  ++*id;
}

void CZeltoRGBCard::FillCaptureRate(int32_t* id) {
  AddSetting("Capture Rate", *id, &frame_rate_setting_);
  AddOption(*id, "Fixed Rate", kFixedRateCaptureRate, nullptr);
  const float source_rate = static_cast<float>(SourceFrameRate.load());
  for (const CaptureRateOption& rate : kCaptureRates) {
    char label[64];
    std::snprintf(label, sizeof label, "%s%8.2f%s", rate.percent,
                  static_cast<double>(source_rate) / rate.divisor, " fps");
    AddOption(*id, label, rate.value, nullptr);
  }
  ++*id;
}

void CZeltoRGBCard::FillLockChannelMode(int32_t* id) {
  AddSetting("Lock Channel Mode", *id, &lock_channel_mode_);
  AddOption(*id, "Off", 0, nullptr);
  AddOption(*id, "On", 1, nullptr);
  ++*id;
}

void CZeltoRGBCard::FillStartupImageFormat(int32_t* id) {
  AddSetting("Startup Image Format", *id, &startup_image_format_);
  for (const CaptureFormatInfo& format : kCaptureFormats)
    AddOption(*id, kFormatLabels[format.index], format.index, nullptr);
  ++*id;
}

void CZeltoRGBCard::FillStartupResolution(int32_t* id) {
  AddSetting("Startup Resolution", *id, &startup_resolution_);
  for (size_t i = 0; i < std::size(kStartupResolutionLabels); ++i)
    AddOption(*id, kStartupResolutionLabels[i], static_cast<int32_t>(i), nullptr);
  ++*id;
}

uint32_t CZeltoRGBCard::ReadCaptureParams(uint32_t flags, CaptureParams* record) {
  *record = CaptureParams{};
  record->Size = kCaptureParamsSize;
  record->Flags = flags;
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  const uint32_t result = Driver().RGBCaptureGetParameters(Channel.handle(), record, kQueryCapture);
  LastDriverResult = result;
  return result;
}

void CZeltoRGBCard::WriteInputChannel(int32_t channel) {
  if (channel == InputChannel) return;
  // Never open a channel the driver did not report.
  if (channel < 0 || static_cast<uint32_t>(channel) >= DeviceCount) return;
  const auto control = HostGrabControl();
  // The re-initialisation frees the image buffers the host may hold.
  if (GrabEnabled) throw TextException(kBuffersInUseText);
  PreviousInputChannel = InputChannel;
  InputChannel = channel;
  Geometry.ScalingMode = 0;
  Pacer.FixedRateMode = 0;
  if (!LoadingSettings) StoreBaseDword(kInputChannelValue, channel);
  Channel.ReleaseDriver();
  Channel.RebindDriver();
  DefaultIni();
  ReallocateBuffers();
}

int32_t CZeltoRGBCard::ReadCaptureFormat() {
  CaptureParams record;
  if (ReadCaptureParams(kFlagPixelFormat, &record) != kRgbErrorNoError) return 0;
  const CaptureFormatInfo* format =
      CaptureFormatForPixelFormat(record.PixelFormat, Format.ConvertTo24);
  return format != nullptr ? format->index : 0;
}

void CZeltoRGBCard::WriteCaptureFormat(int32_t index) {
  if (!Geometry.SourceSizeKept) return;
  // The capture thread applies a stored format between two fills, before its
  // first frame; a host change while grabbing would re-create the buffers the
  // host may hold.
  const bool capture_side = OnCaptureSide();
  const auto control = HostGrabControl();
  if (GrabEnabled && !capture_side) throw TextException(kBuffersInUseText);
  {
    std::lock_guard<std::recursive_mutex> lock(SettingsLock());
    const CaptureFormatInfo& format = CaptureFormatAt(index);
    Format.CaptureFormat = index;
    Format.ConvertTo24 = format.convert_to_24;
    Format.BytesPerPixel = format.bytes_per_pixel;
    CaptureParams record{};
    record.Size = kCaptureParamsSize;
    record.Flags = kFlagPixelFormat;
    record.PixelFormat = format.pixel_format;
    LastDriverResult = Driver().RGBCaptureSetParameters(Channel.handle(), &record, kQueryCapture);
    if (!LoadingSettings) StoreDwordValue(kCaptureFormatValue, index);
    // The driver's buffer follows the new pixel size before the next fill.
    if (capture_side) EnsureCaptureBufferHoldsOutput();
  }
  // Not under the lock: re-creating the buffers takes grab control.
  if (!capture_side) ReallocateBuffers();
  if (Pacer.FixedRateMode) SetFrameRate(FrameRate);
}

int32_t CZeltoRGBCard::ReadCaptureRate() {
  if (Pacer.FixedRateMode) return kFixedRateCaptureRate;
  CaptureParams record;
  if (ReadCaptureParams(kFlagSampleRate, &record) != kRgbErrorNoError) return 0;
  return record.SampleRate;
}

void CZeltoRGBCard::WriteLockChannelMode(int32_t value) {
  LockChannelMode = value == 1;
  if (!LoadingSettings) StoreDwordValue(kLockChannelModeValue, value);
}

void CZeltoRGBCard::WriteStartupImageFormat(int32_t value) {
  if (!LoadingSettings) StoreDwordValue(kStartupImageFormatValue, value);
}

void CZeltoRGBCard::WriteStartupResolution(int32_t value) {
  if (!LoadingSettings) StoreDwordValue(kStartupResolutionValue, value);
}

}  // namespace zelto
