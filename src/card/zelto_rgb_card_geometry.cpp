// The card's geometry: region of interest, scaling and the geometry mode, the fit
// after a mode change, the offset minima, the startup geometry that stands in for
// a missing mode, and the module-paced frame rate.
#include <algorithm>
#include <mutex>

#include "base/text_exception.h"
#include "card/capture_format.h"
#include "card/zelto_rgb_card.h"
#include "driver/error_names.h"
#include "geometry/region_rules.h"
#include "geometry/registry_layout.h"
#include "geometry/registry_values.h"
#include "geometry/restored_geometry.h"
#include "platform/trace.h"

namespace zelto {

using platform::Trace;

namespace {

CaptureParams ScalingRecord(int32_t width, int32_t height) {
  CaptureParams record{};
  record.Size = kCaptureParamsSize;
  record.Flags = kFlagScaling;
  record.ScaledWidth = width;
  record.ScaledHeight = height;
  return record;
}

void WriteWindow(const RegionWindow& window, VideoTiming& timing) {
  timing.HorLeftBorder = static_cast<uint32_t>(window.horizontal.lead);
  timing.HorAddrTime = static_cast<uint32_t>(window.horizontal.active);
  timing.HorRightBorder = static_cast<uint32_t>(window.horizontal.trail);
  timing.VerTopBorder = static_cast<uint32_t>(window.vertical.lead);
  timing.VerAddrTime = static_cast<uint32_t>(window.vertical.active);
  timing.VerBottomBorder = static_cast<uint32_t>(window.vertical.trail);
}

}  // namespace

void CZeltoRGBCard::GetImageGeometry(int32_t* width, int32_t* height, int32_t* offset_x,
                                     int32_t* offset_y) {
  *width = Geometry.ImageSizeX;
  *height = Geometry.ImageSizeY;
  *offset_x = Geometry.ImageOffsetX;
  *offset_y = Geometry.ImageOffsetY;
}

void CZeltoRGBCard::GetRoi(int32_t* width, int32_t* height, int32_t* offset_x,
                           int32_t* offset_y) const {
  *width = Geometry.RoiWidth;
  *height = Geometry.RoiHeight;
  *offset_x = Geometry.RoiOffsetX;
  *offset_y = Geometry.RoiOffsetY;
}

void CZeltoRGBCard::SetROI(int32_t width, int32_t height, int32_t offset_x, int32_t offset_y) {
  const auto control = HostGrabControl();
  if (GrabEnabled) throw TextException(kBuffersInUseText);
  // The host's region replaces one restored at start-up and not yet applied.
  ApplyRegion(width, height, offset_x, offset_y, true);
  Geometry.RoiRestored = false;
}

void CZeltoRGBCard::ApplyRestoredRegion() {
  if (!Geometry.RoiRestored) return;
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  ApplyRegion(Geometry.ImageSizeX, Geometry.ImageSizeY, Geometry.ImageOffsetX,
              Geometry.ImageOffsetY, false);
  Geometry.RoiRestored = false;
}

void CZeltoRGBCard::PrepareFrameGeometry() {
  ApplyRestoredRegion();
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  EnsureCaptureBufferHoldsOutput();
}

void CZeltoRGBCard::ApplyRegion(int32_t width, int32_t height, int32_t offset_x, int32_t offset_y,
                                bool reallocate) {
  Trace("CZeltoRGBCard::SetROI");
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  const int32_t source_width = Geometry.SourceWidth;
  const int32_t source_height = Geometry.SourceHeight;
  const Region region =
      ClampRegion({width, height, offset_x, offset_y}, source_width, source_height);

  CaptureParams record = Channel.Params;
  record.Size = kCaptureParamsSize;
  record.Flags = kFlagTiming;
  LastDriverResult = Driver().RGBCaptureGetParameters(Channel.handle(), &record, kQueryCapture);
  if (IsDriverError(LastDriverResult)) {
    TraceDriverError("CZeltoRGBCard::SetROI() - RGBCaptureGetParameters()", LastDriverResult);
  }
  LastDriverResult = Driver().RGBCaptureDetectVideoMode(Channel.handle(), 0, 0, &record.Timing, 0);
  if (IsDriverError(LastDriverResult)) {
    TraceDriverError("CZeltoRGBCard::SetROI() - RGBCaptureDetectVideoMode()", LastDriverResult);
  }
  const RegionWindow window = WindowForRegion(region, source_width, source_height);
  WriteWindow(window, record.Timing);

  SetScalingMode(0);
  const int32_t output_width = Geometry.OutputWidth;
  const int32_t output_height = Geometry.OutputHeight;
  const bool scaled = SendScaling(region.width, region.height);
  LastDriverResult = Driver().RGBCaptureSetParameters(Channel.handle(), &record, kQueryCapture);
  ++Geometry.LayoutGeneration;
  if (IsDriverError(LastDriverResult)) {
    TraceDriverError("CZeltoRGBCard::SetROI() - RGBCaptureSetParameters()", LastDriverResult);
    // The driver would now scale the whole source to the region's size while the
    // image keeps the old one: its output goes back to what the image expects.
    if (scaled && output_width > 0 && output_height > 0) {
      CaptureParams restore = ScalingRecord(output_width, output_height);
      if (!IsDriverError(
              Driver().RGBCaptureSetParameters(Channel.handle(), &restore, kQueryCapture))) {
        Geometry.OutputWidth = output_width;
        Geometry.OutputHeight = output_height;
      }
    }
    return;
  }

  Geometry.ImageOffsetX = region.offset_x;
  Geometry.ImageOffsetY = region.offset_y;
  Geometry.ImageSizeX = region.width;
  Geometry.ImageSizeY = region.height;
  Geometry.RoiOffsetX = region.offset_x;
  Geometry.RoiOffsetY = region.offset_y;
  Geometry.RoiWidth = region.width;
  Geometry.RoiHeight = region.height;
  Geometry.WindowX = window.window_x;
  Geometry.WindowY = window.window_y;
  // Written while settings load too.
  StoreDwordValue(kImageOffsetXValue, region.offset_x);
  StoreDwordValue(kImageOffsetYValue, region.offset_y);
  StoreDwordValue(kImageSizeXValue, region.width);
  StoreDwordValue(kImageSizeYValue, region.height);
  if (reallocate) ReallocateBuffers();
  Geometry.PendingGeometry = PendingGeometry::kRegion;
}

bool CZeltoRGBCard::SendScaling(int32_t width, int32_t height) {
  const int32_t w = ClampScaledWidth(width);
  const int32_t h = ClampScaledHeight(height);
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  CaptureParams record = ScalingRecord(w, h);
  LastDriverResult = Driver().RGBCaptureSetParameters(Channel.handle(), &record, kQueryCapture);
  if (IsDriverError(LastDriverResult)) {
    Trace("SetScaling-RGBCaptureSetParameters() error");
    return false;
  }
  Geometry.OutputWidth = w;
  Geometry.OutputHeight = h;
  Geometry.WindowX = 0;
  Geometry.WindowY = 0;
  ++Geometry.LayoutGeneration;
  Geometry.PendingGeometry = PendingGeometry::kScaling;
  return true;
}

void CZeltoRGBCard::SetScaling(int32_t width, int32_t height) {
  const auto control = HostGrabControl();
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  if (!SendScaling(width, height)) return;
  // The driver only while grabbing (the capture thread re-applies ScalingX/Y),
  // and always on the capture thread, which never re-creates the host's buffers.
  if (GrabEnabled || OnCaptureSide()) return;
  if (Geometry.ScalingMode == 0) {
    EnsureCaptureBufferHoldsOutput();
    return;
  }
  const int32_t w = Geometry.OutputWidth;
  const int32_t h = Geometry.OutputHeight;
  Geometry.ScalingX = w;
  Geometry.ScalingY = h;
  Geometry.ImageSizeX = w;
  Geometry.ImageSizeY = h;
  ++Geometry.LayoutGeneration;
  ReallocateBuffers();
  if (!LoadingSettings) {
    StoreDwordValue(kScalingXValue, w);
    StoreDwordValue(kScalingYValue, h);
  }
}

void CZeltoRGBCard::GetScaling(int32_t* width, int32_t* height) {
  if (Geometry.ScalingMode != 0) {
    CaptureParams record = ScalingRecord(0, 0);
    {
      std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
      LastDriverResult = Driver().RGBCaptureGetParameters(Channel.handle(), &record, kQueryCapture);
    }
    if (LastDriverResult != 0) return;
    Geometry.ScalingX = record.ScaledWidth;
    Geometry.ScalingY = record.ScaledHeight;
  } else {
    platform::RegistryKey key = OpenUserKey(UserSettingsKey);
    int32_t value = 0;
    if (ReadDwordValue(key, kScalingXValue, &value) == platform::kRegSuccess) {
      Geometry.ScalingX = value;
    }
    if (ReadDwordValue(key, kScalingYValue, &value) == platform::kRegSuccess) {
      Geometry.ScalingY = value;
    }
  }
  *width = Geometry.ScalingX;
  *height = Geometry.ScalingY;
}

void CZeltoRGBCard::SetScalingMode(int32_t mode) {
  std::lock_guard<std::recursive_mutex> lock(SettingsLock());
  Geometry.ScalingMode = mode;
  // A region restored at start-up and not yet applied would switch back to region
  // mode when the capture thread applies it.
  if (mode != 0) Geometry.RoiRestored = false;
  if (!LoadingSettings) StoreDwordValue(kScalingModeValue, mode);
}

size_t CZeltoRGBCard::DriverOutputBytes() const {
  const int32_t pixel_bytes =
      Format.ConvertTo24 ? kConvertedSourceBytesPerPixel : Format.BytesPerPixel.load();
  return static_cast<size_t>(std::max(0, Geometry.OutputWidth.load())) *
         static_cast<size_t>(std::max(0, Geometry.OutputHeight.load())) *
         static_cast<size_t>(std::max(0, pixel_bytes));
}

void CZeltoRGBCard::EnsureCaptureBufferHoldsOutput() {
  const size_t needed = DriverOutputBytes();
  if (Channel.frame_buffer_size() < needed) LastDriverResult = Channel.ReplaceFrameBuffer(needed);
}

void CZeltoRGBCard::FitROI(int32_t width, int32_t height) {
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  CaptureParams record = Channel.Params;
  record.Size = kCaptureParamsSize;
  record.Flags = kFlagTiming;
  LastDriverResult = Driver().RGBCaptureGetParameters(Channel.handle(), &record, kQueryCapture);
  if (IsDriverError(LastDriverResult)) {
    TraceDriverError("CZeltoRGBCard::FitROI() - RGBCaptureGetParameters()", LastDriverResult);
  }
  LastDriverResult = Driver().RGBCaptureDetectVideoMode(Channel.handle(), 0, 0, &record.Timing, 0);
  if (IsDriverError(LastDriverResult)) {
    TraceDriverError("CZeltoRGBCard::FitROI() - RGBCaptureDetectVideoMode()", LastDriverResult);
  }
  const RegionWindow window = WindowForFit(width, height, Geometry.SourceWidth,
                                           Geometry.SourceHeight, Geometry.SourceSizeKept);
  WriteWindow(window, record.Timing);

  CaptureParams scaling = ScalingRecord(window.output_width, window.output_height);
  LastDriverResult = Driver().RGBCaptureSetParameters(Channel.handle(), &scaling, kQueryCapture);
  if (IsDriverError(LastDriverResult)) {
    TraceDriverError("CZeltoRGBCard::FitROI(scaling) - RGBCaptureSetParameters()",
                     LastDriverResult);
  } else {
    Geometry.OutputWidth = window.output_width;
    Geometry.OutputHeight = window.output_height;
    Geometry.WindowX = window.window_x;
    Geometry.WindowY = window.window_y;
  }
  LastDriverResult = Driver().RGBCaptureSetParameters(Channel.handle(), &record, kQueryCapture);
  ++Geometry.LayoutGeneration;
  if (IsDriverError(LastDriverResult)) {
    TraceDriverError("CZeltoRGBCard::FitROI(roi) - RGBCaptureSetParameters()", LastDriverResult);
  }
}

bool CZeltoRGBCard::ReadTimingAndPositions(CaptureParams* record, const char* error_trace) {
  *record = CaptureParams{};
  record->Size = kCaptureParamsSize;
  record->Flags = kFlagsTimingAndPositions;
  {
    std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
    LastDriverResult = Driver().RGBCaptureGetParameters(Channel.handle(), record, kQueryCurrent);
  }
  if (LastDriverResult == 0) return true;
  Trace(error_trace);
  return false;
}

int32_t CZeltoRGBCard::GetHorOffsetMin() {
  CaptureParams record;
  if (!ReadTimingAndPositions(&record, "GetHorOffsetMin() - error")) return 0;
  const VideoTiming& t = record.Timing;
  return HorOffsetMin(static_cast<int32_t>(t.HorLeftBorder), static_cast<int32_t>(t.HorBackPorch),
                      static_cast<int32_t>(t.HorSyncTime), static_cast<int32_t>(record.SyncEdge));
}

int32_t CZeltoRGBCard::GetVerOffsetMin() {
  CaptureParams record;
  if (!ReadTimingAndPositions(&record, "GetVerOffsetMin() - error")) return 0;
  const VideoTiming& t = record.Timing;
  return VerOffsetMin(static_cast<int32_t>(t.VerTopBorder), static_cast<int32_t>(t.VerBackPorch),
                      static_cast<int32_t>(t.VerSyncTime));
}

void CZeltoRGBCard::ResetOutputAfterModeChange(int32_t width, int32_t height) {
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  if (Geometry.PendingGeometry == PendingGeometry::kScaling) {
    SendScaling(Geometry.ScalingX, Geometry.ScalingY);
    return;
  }
  // A driver sets its scaler up anew for a mode of another size.
  Geometry.OutputWidth = width;
  Geometry.OutputHeight = height;
  Geometry.WindowX = 0;
  Geometry.WindowY = 0;
  ++Geometry.LayoutGeneration;
}

void CZeltoRGBCard::ReapplyGeometryAfterModeChange(bool mode_changed, int32_t width,
                                                   int32_t height) {
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  ApplyRestoredRegion();
  if (mode_changed && Geometry.PendingGeometry == PendingGeometry::kRegion) {
    if (Geometry.SourceSizeKept) {
      FitROI(Geometry.ImageSizeX, Geometry.ImageSizeY);
    } else {
      FitROI(width, height);
    }
  }
}

FrameLayout CZeltoRGBCard::CurrentFrameLayout() {
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  FrameLayout layout{std::max(0, Geometry.ImageSizeX.load()),
                     std::max(0, Geometry.ImageSizeY.load()),
                     Geometry.OutputWidth,
                     Geometry.OutputHeight,
                     Geometry.WindowX,
                     Geometry.WindowY,
                     Geometry.LayoutGeneration};
  // Before any output is known the driver delivers the image as it is.
  if (layout.output_width <= 0 || layout.output_height <= 0) {
    layout.output_width = layout.image_width;
    layout.output_height = layout.image_height;
  }
  return layout;
}

void CZeltoRGBCard::FitRestoredRegionToSource() {
  AdoptRegion(FitStoredRegion(
      {Geometry.ImageSizeX, Geometry.ImageSizeY, Geometry.ImageOffsetX, Geometry.ImageOffsetY},
      Geometry.SourceWidth, Geometry.SourceHeight));
}

void CZeltoRGBCard::AdoptRegion(const StoredRegion& region) {
  Geometry.ImageSizeX = region.width;
  Geometry.ImageSizeY = region.height;
  Geometry.ImageOffsetX = region.offset_x;
  Geometry.ImageOffsetY = region.offset_y;
  Geometry.RoiWidth = region.width;
  Geometry.RoiHeight = region.height;
  Geometry.RoiOffsetX = region.offset_x;
  Geometry.RoiOffsetY = region.offset_y;
}

void CZeltoRGBCard::ApplyStartupGeometry() {
  ReadStartupResolution();
  ReadStartupImageFormat();
  if (!Geometry.RoiRestored) {
    Geometry.ImageSizeX = Geometry.SourceWidth.load();
    Geometry.ImageSizeY = Geometry.SourceHeight.load();
    Geometry.RoiWidth = Geometry.SourceWidth.load();
    Geometry.RoiHeight = Geometry.SourceHeight.load();
  } else {
    // The startup resolution is the only source known: a restored region lies
    // inside it until the real mode refits it.
    FitRestoredRegionToSource();
  }
  if (Geometry.ScalingMode != 0) {
    // Scaling mode stored without a scaling size: the startup source stands in,
    // as the detected mode does with a signal, rather than a 0 x 0 image.
    if (Geometry.ScalingX < 1 || Geometry.ScalingY < 1) {
      Geometry.ScalingX = ClampScaledWidth(Geometry.SourceWidth);
      Geometry.ScalingY = ClampScaledHeight(Geometry.SourceHeight);
    }
    Geometry.ImageSizeX = Geometry.ScalingX.load();
    Geometry.ImageSizeY = Geometry.ScalingY.load();
  }
}

void CZeltoRGBCard::SetFixedRateMode(int32_t mode) {
  std::lock_guard<std::recursive_mutex> lock(SettingsLock());
  Pacer.FixedRateMode = mode;
  if (!LoadingSettings) StoreDwordValue(kFixedRateModeValue, mode);
}

void CZeltoRGBCard::SetFramePacing(int32_t rate) {
  FrameRate = Pacer.Restart(rate, SourceFrameRate);
}

void CZeltoRGBCard::SetFrameRate(int32_t rate) {
  std::lock_guard<std::recursive_mutex> lock(SettingsLock());
  SetFramePacing(rate);
  if (FrameRate == 0) return;  // no mode known yet
  WriteCaptureRate(0);
  WriteCaptureRate(kFixedRateCaptureRate);
  if (!LoadingSettings) StoreDwordValue(kFrameRateValue, FrameRate);
}

void CZeltoRGBCard::WriteCaptureRate(int32_t value) {
  std::lock_guard<std::recursive_mutex> lock(SettingsLock());
  if (value == kFixedRateCaptureRate) {
    SetFixedRateMode(1);
    return;
  }
  SetFixedRateMode(0);
  CaptureParams record{};
  record.Size = kCaptureParamsSize;
  record.Flags = kFlagSampleRate;
  record.SampleRate = value;
  LastDriverResult = Driver().RGBCaptureSetParameters(Channel.handle(), &record, kQueryCapture);
  if (!LoadingSettings) StoreDwordValue(kSampleRateValue, value);
}

}  // namespace zelto
