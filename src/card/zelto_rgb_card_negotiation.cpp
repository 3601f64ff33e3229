// GetCapabilities, the negotiation of the capture format with the driver, and
// what the negotiated format makes of an image (bits per pixel, format code).
#include <algorithm>
#include <climits>
#include <cstdint>
#include <mutex>

#include "card/capture_format.h"
#include "card/zelto_rgb_card.h"
#include "driver/error_names.h"
#include "geometry/registry_layout.h"
#include "geometry/registry_values.h"
#include "platform/trace.h"

namespace zelto {

using platform::Trace;
using platform::TraceFormat;

void CZeltoRGBCard::GetCapabilities() {
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  Trace("CZeltoRGBCard::GetCapabilities()");
  negotiated_ = false;
  if (!DetectCaptureMode()) return;
  if (!NegotiatePixelFormat()) return;
  if (!NegotiateOutputMode()) return;
  if (!NegotiateAnalogueValues()) return;
  negotiated_ = true;
  AllocateCaptureBuffer();
}

bool CZeltoRGBCard::NegotiationCallSucceeded(const char* call, uint32_t result) {
  LastDriverResult = result;
  if (!IsDriverError(result)) return true;
  TraceFormat("CZeltoRGBCard::GetCapabilities() - %s returned: %s", call, DriverErrorName(result));
  Trace("GetCapabilities() - error");
  return false;
}

bool CZeltoRGBCard::DetectCaptureMode() {
  CaptureCaps caps{};
  caps.Size = sizeof(CaptureCaps);
  if (!NegotiationCallSucceeded("RGBCaptureGetCapabilities()",
                                Driver().RGBCaptureGetCapabilities(Channel.handle(), &caps))) {
    return false;
  }
  Channel.Params.Size = sizeof(CaptureParams);
  Channel.Params.Flags = kFlagsNegotiateFormat;
  if (!NegotiationCallSucceeded(
          "RGBCaptureGetParameters(1)",
          Driver().RGBCaptureGetParameters(Channel.handle(), &Channel.Params, kQueryAfterOpen))) {
    return false;
  }
  if (!NegotiationCallSucceeded(
          "RGBCaptureDetectVideoMode()",
          Driver().RGBCaptureDetectVideoMode(Channel.handle(), 0, 0, &Timing(), 0))) {
    return false;
  }
  TraceFormat("Video mode: %.128s", Timing().Description);

  // The three "no usable mode" values are tested for equality, not as bits.
  switch (Timing().Flags) {
    case kTimingNoSignal:
      Trace("RGBCaptureDetectVideoMode() NO SIGNAL");
      Trace("GetCapabilities() - error");
      return false;
    case kTimingOutOfRange:
      Trace("RGBCaptureDetectVideoMode() OUT OF RANGE");
      Trace("GetCapabilities() - error");
      return false;
    case kTimingUnrecognisable:
      Trace("RGBCaptureDetectVideoMode() UNRECOGNISABLE");
      Trace("GetCapabilities() - error");
      return false;
    default:
      TraceFormat(
          "CZeltoRGBCard::GetCapabilities() - RGBCaptureDetectVideoMode() VideoTiming.Flags: 0x%x",
          static_cast<unsigned>(Timing().Flags));
  }

  if (SignalPresent) {
    Geometry.SourceWidth = static_cast<int32_t>(Timing().HorAddrTime);
    Geometry.SourceHeight = static_cast<int32_t>(Timing().VerAddrTime);
    Geometry.ScalingX = Geometry.SourceWidth.load();
    Geometry.ScalingY = Geometry.SourceHeight.load();
    if (!Geometry.RoiRestored) {
      Geometry.ImageSizeX = Geometry.SourceWidth.load();
      Geometry.ImageSizeY = Geometry.SourceHeight.load();
      Geometry.RoiWidth = Geometry.SourceWidth.load();
      Geometry.RoiHeight = Geometry.SourceHeight.load();
    } else {
      FitRestoredRegionToSource();
    }
    // The driver delivers the whole mode until a geometry call changes that.
    Geometry.OutputWidth = Geometry.SourceWidth.load();
    Geometry.OutputHeight = Geometry.SourceHeight.load();
    Geometry.WindowX = 0;
    Geometry.WindowY = 0;
    ++Geometry.LayoutGeneration;
    TraceFormat("ImageSizeX = %d, ImageSizeY = %d", Geometry.ImageSizeX.load(),
                Geometry.ImageSizeY.load());
  }

  SourceFrameRate = static_cast<int32_t>(Timing().VerFrequency / 1000);
  FrameRate = SourceFrameRate.load();
  return true;
}

bool CZeltoRGBCard::NegotiatePixelFormat() {
  Channel.Params.Flags = kFlagPixelFormat;
  Channel.Params.PixelFormat = NegotiatedPixelFormat(Format.CaptureFormat);
  return NegotiationCallSucceeded(
      "RGBCaptureSetParameters(1)",
      Driver().RGBCaptureSetParameters(Channel.handle(), &Channel.Params, kQueryCapture));
}

bool CZeltoRGBCard::NegotiateOutputMode() {
  Channel.Params.Flags = kFlagOutputMode;
  Channel.Params.OutputMode = 3;
  if (!NegotiationCallSucceeded(
          "RGBCaptureSetParameters(2)",
          Driver().RGBCaptureSetParameters(Channel.handle(), &Channel.Params, kQueryCapture)) ||
      !NegotiationCallSucceeded(
          "RGBCaptureGetParameters(2)",
          Driver().RGBCaptureGetParameters(Channel.handle(), &Channel.Params, kQueryCapture))) {
    return false;
  }
  if (SignalPresent) {
    // The driver answers with the format it delivers; a converted format is
    // never negotiated, so the row without conversion names its pixel size.
    const CaptureFormatInfo* format =
        CaptureFormatForPixelFormat(Channel.Params.PixelFormat, false);
    if (format == nullptr) {
      Trace("Unknown Pixel Format: ERROR !!");
      return false;
    }
    Format.BytesPerPixel = format->bytes_per_pixel;
    TraceFormat("ImageBitDepth = %d", GetBitDepth());
  }
  return true;
}

bool CZeltoRGBCard::NegotiateAnalogueValues() {
  // Written back as the driver reports them.
  Channel.Params.Flags = kFlagsNegotiateAnalogue;
  return NegotiationCallSucceeded(
             "RGBCaptureGetParameters(3)",
             Driver().RGBCaptureGetParameters(Channel.handle(), &Channel.Params,
                                              kQueryNegotiatedAnalogue)) &&
         NegotiationCallSucceeded(
             "RGBCaptureSetParameters(3)",
             Driver().RGBCaptureSetParameters(Channel.handle(), &Channel.Params, kQueryCapture));
}

void CZeltoRGBCard::AllocateCaptureBuffer() {
  Channel.Params.Flags = kFlagsNegotiateFormat;
  Channel.BufferSelector = 0;

  int64_t size;
  if (SignalPresent || Geometry.ScalingMode == 0) {
    size = std::max<int64_t>(GetImageBytes(), UnappliedRegionSourceBytes());
  } else {
    size = int64_t{Geometry.SourceWidth} * Geometry.SourceHeight * GetBitsPerPixel() / 8;
  }
  if (!NegotiationCallSucceeded("RGBCaptureAllocateBuffer()",
                                ReplaceCaptureBuffer(static_cast<size_t>(size > 0 ? size : 0)))) {
    return;
  }
  Trace("CZeltoRGBCard::GetCapabilities() : RGBCaptureAllocateBuffer");
}

int32_t CZeltoRGBCard::GetImageBytes() {
  const int64_t bytes = int64_t{std::max(0, Geometry.ImageSizeX.load())} *
                        std::max(0, Geometry.ImageSizeY.load()) * GetBitsPerPixel() / 8;
  const auto image_bytes = static_cast<int32_t>(std::min<int64_t>(bytes, INT32_MAX));
  // Written only when it changes: the capture thread asks every pass, and a
  // store would take the cache line from the host thread each time.
  if (ImageBytes.load() != image_bytes) ImageBytes = image_bytes;
  return image_bytes;
}

int64_t CZeltoRGBCard::UnappliedRegionSourceBytes() const {
  if (!Geometry.RoiRestored || !SignalPresent) return 0;
  const int64_t pixel_bytes =
      Format.ConvertTo24 ? kConvertedSourceBytesPerPixel : std::max(0, Format.BytesPerPixel.load());
  return int64_t{std::max(0, Geometry.SourceWidth.load())} *
         std::max(0, Geometry.SourceHeight.load()) * pixel_bytes;
}

int32_t CZeltoRGBCard::GetBitsPerPixel() const {
  if (Format.BytesPerPixel == 2) return 16;
  return Format.ConvertTo24 ? 24 : 32;
}

int32_t CZeltoRGBCard::GetBitDepth() const { return Format.BytesPerPixel == 2 ? 16 : 8; }

int32_t CZeltoRGBCard::GetImageFormat() {
  if (!SignalPresent) {
    return CaptureFormatAt(ReadStoredStartupValue(kStartupImageFormatValue)).host_format;
  }
  CaptureParams local{};
  local.Size = sizeof(CaptureParams);
  local.Flags = kFlagPixelFormat;
  {
    std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
    LastDriverResult = Driver().RGBCaptureGetParameters(Channel.handle(), &local, kQueryCapture);
  }
  if (LastDriverResult != 0) return 0;
  const CaptureFormatInfo* format =
      CaptureFormatForPixelFormat(local.PixelFormat, Format.ConvertTo24);
  return (format != nullptr ? *format : kCaptureFormats[0]).host_format;
}

}  // namespace zelto
