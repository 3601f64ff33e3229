// The card's side of acquisition: its image and capture buffers, grab control
// and the capture thread with its fixed-rate workers, frame and mode-change paths.
#include <algorithm>
#include <mutex>
#include <system_error>

#include "acquisition/frame_copy.h"
#include "card/capture_format.h"
#include "card/zelto_rgb_card.h"
#include "driver/error_names.h"
#include "platform/clock.h"
#include "platform/trace.h"

namespace zelto {

using platform::Trace;
using platform::TraceFormat;

void CZeltoRGBCard::AllocateBuffers(int32_t count) {
  if (count < 1) return;
  Channel.BufferSelector = 0;
  size_t driver_size;
  if (Format.ConvertTo24) {
    // The driver delivers 32-bit pixels that the capture thread converts.
    driver_size = static_cast<size_t>(std::max(0, Geometry.ImageSizeX.load())) *
                  static_cast<size_t>(std::max(0, Geometry.ImageSizeY.load())) *
                  kConvertedSourceBytesPerPixel;
  } else {
    driver_size = static_cast<size_t>(std::max(0, GetImageBytes()));
  }
  // Geometry: the driver's output may be larger than the image (a narrow region,
  // a scaling that reached the driver only).
  driver_size = std::max(driver_size, DriverOutputBytes());
  LastDriverResult = Channel.ReplaceFrameBuffer(driver_size);
  if (Format.ConvertTo24) GetImageBytes();
  AddFreeBuffers(count, ImageBytes);
}

void CZeltoRGBCard::ReallocateBuffers() {
  const int32_t count = GetBufferCount();
  FreeAllBuffers();
  AllocateBuffers(count);
}

bool CZeltoRGBCard::ArmBuffer() {
  bool waited = false;
  CImageWrapper* image = TakeFreeBuffer(&waited);
  return image != nullptr && waited;
}

void CZeltoRGBCard::EnableGrab() {
  // A second EnableGrab restarts the grab rather than running two threads.
  StopCaptureThread();
  CTripleList::EnableGrab();
  GrabEnabled = true;
  if (SignalPresent) {
    LastDriverResult = Driver().RGBCaptureEnable(Channel.handle(), 1);
    if (IsDriverError(LastDriverResult)) {
      TraceDriverError("CZeltoRGBCard::EnableGrab() - RGBCaptureEnable()", LastDriverResult);
    }
  }
  Trace("CZeltoRGBCard::EnableGrab() - Start grab thread");
  CaptureThread = std::thread(&CZeltoRGBCard::CaptureThreadMain, this);
}

void CZeltoRGBCard::DisableGrab() {
  GrabEnabled = false;
  // A fixed-rate worker is awaited by the capture thread before it ends, so
  // joining the capture thread also waits for the worker.
  if (Pacer.FixedRateMode != 0) Trace("CZeltoRGBCard::DisableGrab() - Wait end thread");
  Trace("CZeltoRGBCard::DisableGrab() - Wait end thread");
  if (CaptureThread.joinable()) CaptureThread.join();
  Trace("CZeltoRGBCard::DisableGrab() - Thread End");
  LastDriverResult = Driver().RGBCaptureEnable(Channel.handle(), 0);
  if (IsDriverError(LastDriverResult)) {
    TraceDriverError("CZeltoRGBCard::DisableGrab() - RGBCaptureEnable(false)", LastDriverResult);
  }
  Trace("CZeltoRGBCard::DisableGrab() - End Capture");
  CTripleList::DisableGrab();

  int32_t rate;
  {
    std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
    rate = static_cast<int32_t>(Timing().VerFrequency / 1000);
  }
  // The settings list, which shows the source rate, is rebuilt with the settings.
  if (rate != SourceFrameRate) SourceFrameRate = rate;
}

void CZeltoRGBCard::StopCaptureThread() {
  if (!CaptureThread.joinable()) return;
  GrabEnabled = false;
  CaptureThread.join();
}

void CZeltoRGBCard::CaptureThreadMain() {
  try {
    Trace("Capture thread is running");
    StepFlags flags{SignalPresent, false};
    while (GrabEnabled) {
      if (Pacer.FixedRateMode != 0) {
        platform::SleepMilliseconds(static_cast<uint32_t>(std::max(0, Pacer.FramePeriod.load())));
        try {
          std::thread worker([this] {
            try {
              Pacer.BeginStep(platform::PerformanceCounter(), platform::PerformanceFrequency());
              StepFlags worker_flags{SignalPresent, false};
              CaptureStep(worker_flags, true);
            } catch (...) {
            }
          });
          worker.join();
        } catch (const std::system_error&) {
          // A worker that cannot be started skips this pass.
        }
      } else {
        CaptureStep(flags, false);
      }
    }
    Trace("Capture thread is dying...");
  } catch (...) {
    Trace("Capture thread is dying...");
  }
}

void CZeltoRGBCard::CaptureStep(StepFlags& flags, bool in_worker) {
  if (!flags.signal) {
    if (CheckSignal()) {
      flags.signal = true;
      Trace("SignalStatus: received");
      GetCapabilities();
      LoadUserGeometrySettings();
      LastDriverResult = Driver().RGBCaptureEnable(Channel.handle(), 1);
      if (IsDriverError(LastDriverResult)) {
        TraceDriverError(in_worker
                             ? "AcquisitionThread-CZeltoRGBCard::EnableGrab() - RGBCaptureEnable()"
                             : "CZeltoRGBCard::EnableGrab() - RGBCaptureEnable()",
                         LastDriverResult);
      }
      SignalPresent = true;
    }
    platform::SleepMilliseconds(1);
    return;
  }

  // Geometry: a region restored at start-up is in place before the first frame,
  // and the capture buffer holds the driver's output.
  PrepareFrameGeometry();

  const int32_t image_bytes = std::max(0, GetImageBytes());
  const uint32_t layout_generation = Geometry.LayoutGeneration;  // geometry, before the fill
  const uint32_t result = Driver().RGBCaptureFillBuffer(Channel.handle(), Channel.BufferSelector,
                                                        static_cast<uint32_t>(image_bytes));
  if (IsDriverError(result)) {
    TraceFormat("RGBCaptureFillBuffer(1) returned: %s", DriverErrorName(result));
  } else if (result == kStatusFrameCaptured) {
    FramePath(in_worker, image_bytes, layout_generation);
  } else if ((result & kStatusModeChangeMask) != 0) {
    ModeChangePath(flags);
  } else {
    TraceFormat("RGBCaptureFillBuffer() returned: 0x%x", static_cast<unsigned>(result));
  }
}

void CZeltoRGBCard::FramePath(bool in_worker, int32_t image_bytes, uint32_t layout_generation) {
  CZeltoRGBImage* image = FirstPendingImage();
  if (image == nullptr) return;  // nothing armed: the frame is dropped
  uint8_t* data = static_cast<uint8_t*>(image->GetRecord()->Data);
  const size_t capacity = data != nullptr ? image->capacity() : 0;

  int64_t source_w;
  int64_t source_h;
  {
    std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
    source_w = Timing().HorAddrTime;
    source_h = Timing().VerAddrTime;
  }
  const bool whole = (source_w == Geometry.SourceWidth && source_h == Geometry.SourceHeight) ||
                     Geometry.PendingGeometry == PendingGeometry::kScaling;
  if (whole && in_worker) Pacer.FrameArrived(platform::PerformanceCounter());

  // Geometry: the driver's output is read at its own stride; it is copied whole
  // only when it is the image line for line.
  const FrameLayout layout = CurrentFrameLayout();
  if (layout.generation != layout_generation) return;  // changed during the fill: dropped
  const FrameTarget target{data, static_cast<int64_t>(capacity), layout.image_width,
                           layout.image_height, image_bytes};
  Channel.ReadFrameBuffer([&](const uint8_t* buffer, size_t buffer_size) {
    const FrameSource source{buffer, static_cast<int64_t>(buffer_size), layout.output_width,
                             layout.output_height};
    if (!layout.OutputIsImage()) {
      CropFrame(source, target, std::max(0, Format.BytesPerPixel.load()), Format.ConvertTo24,
                layout.window_x, layout.window_y);
    } else if (!CopyWholeFrame(source, target, Format.ConvertTo24, Converter)) {
      Trace("Conversion error");
    }
  });
  CommitFrame();
}

void CZeltoRGBCard::ModeChangePath(StepFlags& flags) {
  Trace("RGBCaptureFillBuffer(2) returned: RGBNOTIFY_MODE_CHANGE");
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  LastDriverResult =
      Driver().RGBCaptureGetParameters(Channel.handle(), &Channel.Params, kQueryCapture);
  if (IsDriverError(LastDriverResult))
    TraceDriverError("RGBCaptureGetParameters()", LastDriverResult);
  LastDriverResult = Driver().RGBCaptureDetectVideoMode(Channel.handle(), 0, 0, &Timing(), 0);
  if (IsDriverError(LastDriverResult))
    TraceDriverError("RGBCaptureDetectVideoMode()", LastDriverResult);
  TraceFormat("Video mode: %.128s", Timing().Description);
  if (Timing().PixelClock == 0) {
    Trace("No pixel clock");
    return;
  }

  const int32_t width = static_cast<int32_t>(Timing().HorAddrTime);
  const int32_t height = static_cast<int32_t>(Timing().VerAddrTime);
  if (width != Geometry.SourceWidth || height != Geometry.SourceHeight ||
      !Geometry.SourceSizeKept) {
    const size_t pixel_bytes = static_cast<size_t>(std::max(
        0, Format.ConvertTo24 ? kConvertedSourceBytesPerPixel : Format.BytesPerPixel.load()));
    ResetOutputAfterModeChange(width, height);  // geometry: the stored scaling, re-applied
    size_t size;
    if (Geometry.PendingGeometry == PendingGeometry::kScaling) {
      size = static_cast<size_t>(std::max(0, Geometry.ScalingX.load())) *
             static_cast<size_t>(std::max(0, Geometry.ScalingY.load())) * pixel_bytes;
    } else {
      size = static_cast<size_t>(std::max(0, width)) * static_cast<size_t>(std::max(0, height)) *
             pixel_bytes;
    }
    LastDriverResult = Channel.ReplaceFrameBuffer(size);
    Geometry.SourceSizeKept = width == Geometry.SourceWidth && height == Geometry.SourceHeight;
    flags.mode_changed = true;
  }

  LastDriverResult =
      Driver().RGBCaptureSetParameters(Channel.handle(), &Channel.Params, kQueryCapture);
  if (IsDriverError(LastDriverResult))
    TraceDriverError("RGBCaptureSetParameters()", LastDriverResult);
  // Geometry: a restored region, then the refit. The saved positions follow here
  // once the position adjustments exist.
  ReapplyGeometryAfterModeChange(flags.mode_changed, width, height);
}

}  // namespace zelto
