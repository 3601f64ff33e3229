// The card's side of acquisition: its image and capture buffers, grab control
// and the capture thread with its fixed-rate workers, frame and mode-change paths.
#include <algorithm>
#include <chrono>
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

namespace {
// Set on the capture thread and its fixed-rate workers.
thread_local bool t_capture_side = false;
}  // namespace

bool CZeltoRGBCard::OnCaptureSide() { return t_capture_side; }

uint32_t CZeltoRGBCard::ReplaceCaptureBuffer(size_t size) {
  if (capture_running_ && !t_capture_side) {
    Channel.RequestFrameBuffer(size);
    return kRgbErrorNoError;
  }
  return Channel.ReplaceFrameBuffer(size);
}

std::unique_lock<std::recursive_mutex> CZeltoRGBCard::HostGrabControl() {
  if (OnCaptureSide()) return {};
  return std::unique_lock<std::recursive_mutex>(grab_control_);
}

void CZeltoRGBCard::AllocateBuffers(int32_t count) {
  if (count < 1) return;
  // Not while a grab starts or stops: whether the capture thread runs decides
  // who replaces the driver buffer.
  std::lock_guard<std::recursive_mutex> control(grab_control_);
  // A start-up negotiation that a driver fault cut short is redone first, so
  // the buffers are sized for the mode.
  if (SignalPresent && !negotiated_) GetCapabilities();
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
  driver_size = std::max(driver_size, static_cast<size_t>(UnappliedRegionSourceBytes()));
  // Geometry: the driver's output may be larger than the image (a narrow region,
  // a scaling that reached the driver only).
  driver_size = std::max(driver_size, DriverOutputBytes());
  LastDriverResult = ReplaceCaptureBuffer(driver_size);
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
  std::lock_guard<std::recursive_mutex> control(grab_control_);
  // A second EnableGrab restarts the grab rather than running two threads.
  StopCaptureThread();
  CTripleList::EnableGrab();
  GrabEnabled = true;
  capture_enabled_ = false;
  if (SignalPresent) EnableCapture(false);
  Trace("CZeltoRGBCard::EnableGrab() - Start grab thread");
  capture_running_ = true;
  CaptureThread = std::thread(&CZeltoRGBCard::CaptureThreadMain, this);
}

void CZeltoRGBCard::DisableGrab() {
  std::lock_guard<std::recursive_mutex> control(grab_control_);
  {
    std::lock_guard<std::mutex> pause(pause_lock_);
    GrabEnabled = false;
  }
  pause_cv_.notify_all();
  // A fixed-rate worker is awaited by the capture thread before it ends, so
  // joining the capture thread also waits for the worker.
  if (Pacer.FixedRateMode != 0) Trace("CZeltoRGBCard::DisableGrab() - Wait end thread");
  Trace("CZeltoRGBCard::DisableGrab() - Wait end thread");
  if (CaptureThread.joinable()) CaptureThread.join();
  EndCaptureSide();
  Trace("CZeltoRGBCard::DisableGrab() - Thread End");
  LastDriverResult = Driver().RGBCaptureEnable(Channel.handle(), 0);
  capture_enabled_ = false;
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
  // The capture-rate labels show the source rate.
  if (rate != SourceFrameRate) {
    SourceFrameRate = rate;
    FillSettings();
  }
}

void CZeltoRGBCard::StopCaptureThread() {
  if (!CaptureThread.joinable()) return;
  {
    std::lock_guard<std::mutex> pause(pause_lock_);
    GrabEnabled = false;
  }
  pause_cv_.notify_all();
  CaptureThread.join();
  EndCaptureSide();
}

void CZeltoRGBCard::EndCaptureSide() {
  capture_running_ = false;
  // A size asked for during the last fill is applied here, by the only thread left.
  uint32_t result = 0;
  if (Channel.ApplyRequestedFrameBuffer(&result)) LastDriverResult = result;
}

void CZeltoRGBCard::PauseWhileGrabbing(int64_t milliseconds) {
  std::unique_lock<std::mutex> pause(pause_lock_);
  pause_cv_.wait_for(pause, std::chrono::milliseconds(milliseconds),
                     [this] { return !GrabEnabled; });
}

int64_t CZeltoRGBCard::FramePeriodMilliseconds() {
  constexpr int64_t kUnknownModePeriod = 16;
  uint32_t millihertz;
  {
    std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
    millihertz = Timing().VerFrequency;
  }
  if (millihertz < 1000) return kUnknownModePeriod;
  return std::clamp<int64_t>(1'000'000 / millihertz, 1, 1000);
}

void CZeltoRGBCard::CaptureThreadMain() {
  t_capture_side = true;
  try {
    Trace("Capture thread is running");
    StepFlags flags{SignalPresent, false};
    while (GrabEnabled) {
      if (Pacer.FixedRateMode != 0) {
        platform::SleepMilliseconds(static_cast<uint32_t>(std::max(0, Pacer.FramePeriod.load())));
        try {
          std::thread worker([this] {
            t_capture_side = true;
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
  // Between two fills: the one place a grab replaces the driver buffer.
  uint32_t replaced = 0;
  if (Channel.ApplyRequestedFrameBuffer(&replaced)) LastDriverResult = replaced;
  if (!flags.signal) {
    if (CheckSignal()) {
      flags.signal = true;
      Trace("SignalStatus: received");
      // Marked first, so the negotiation adopts the mode whole (source and image
      // size, bytes per pixel) and the startup format's conversion stops.
      SignalPresent = true;
      Format.ConvertTo24 = false;
      GetCapabilities();
      LoadUserSettings();
      EnableCapture(in_worker);
    }
    platform::SleepMilliseconds(1);
    return;
  }
  if (!ReadyToFill(in_worker)) {
    PauseWhileGrabbing(FramePeriodMilliseconds());
    return;
  }

  // Geometry: a region restored at start-up is in place before the first frame,
  // and the capture buffer holds the driver's output.
  PrepareFrameGeometry();

  const int32_t image_bytes = std::max(0, GetImageBytes());
  const auto fill_start = std::chrono::steady_clock::now();
  const uint32_t layout_generation = Geometry.LayoutGeneration;  // geometry, before the fill
  const uint32_t result = Driver().RGBCaptureFillBuffer(Channel.handle(), Channel.BufferSelector,
                                                        static_cast<uint32_t>(image_bytes));
  if (result == kStatusFrameCaptured) {
    FramePath(in_worker, image_bytes, layout_generation);
    return;
  }
  if (IsDriverError(result)) {
    TraceFormat("RGBCaptureFillBuffer(1) returned: %s", DriverErrorName(result));
  } else if ((result & kStatusModeChangeMask) != 0) {
    ModeChangePath(flags);
    return;
  } else {
    TraceFormat("RGBCaptureFillBuffer() returned: 0x%x", static_cast<unsigned>(result));
  }
  // A fill that fails at once (an unplugged card) would make this loop spin: the
  // next one follows no sooner than a frame period after this one began.
  const int64_t spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - fill_start)
                            .count();
  const int64_t period = FramePeriodMilliseconds();
  if (spent < period) PauseWhileGrabbing(period - spent);
}

void CZeltoRGBCard::EnableCapture(bool in_worker) {
  LastDriverResult = Driver().RGBCaptureEnable(Channel.handle(), 1);
  capture_enabled_ = !IsDriverError(LastDriverResult);
  if (!capture_enabled_) {
    TraceDriverError(in_worker
                         ? "AcquisitionThread-CZeltoRGBCard::EnableGrab() - RGBCaptureEnable()"
                         : "CZeltoRGBCard::EnableGrab() - RGBCaptureEnable()",
                     LastDriverResult);
  }
}

bool CZeltoRGBCard::ReadyToFill(bool in_worker) {
  if (!negotiated_) {
    GetCapabilities();
    if (!negotiated_) return false;
  }
  // A buffer the driver refused is asked for again, at the size last asked for.
  const size_t wanted = Channel.wanted_frame_buffer_size();
  if (wanted > 0 && !Channel.has_frame_buffer()) {
    LastDriverResult = Channel.ReplaceFrameBuffer(wanted);
    if (!Channel.has_frame_buffer()) return false;
  }
  if (!capture_enabled_) {
    EnableCapture(in_worker);
    if (!capture_enabled_) return false;
  }
  return true;
}

void CZeltoRGBCard::FramePath(bool in_worker, int32_t image_bytes, uint32_t layout_generation) {
  CZeltoRGBImage* image = FirstPendingImage();
  if (image == nullptr) return;  // nothing armed: the frame is dropped
  uint8_t* data = static_cast<uint8_t*>(image->GetRecord()->Data);
  const size_t capacity = data != nullptr ? image->capacity() : 0;

  int64_t source_w;
  int64_t source_h;
  FrameLayout layout{};
  {
    // One hold of the driver lock for the source size and the layout.
    std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
    source_w = Timing().HorAddrTime;
    source_h = Timing().VerAddrTime;
    // Geometry: the driver's output is read at its own stride; it is copied whole
    // only when it is the image line for line.
    layout = CurrentFrameLayout();
  }
  const bool whole = (source_w == Geometry.SourceWidth && source_h == Geometry.SourceHeight) ||
                     Geometry.PendingGeometry == PendingGeometry::kScaling;
  if (whole && in_worker) Pacer.FrameArrived(platform::PerformanceCounter());
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
  // Geometry: a restored region, then the refit, then the saved positions.
  ReapplyGeometryAfterModeChange(flags.mode_changed, width, height);
  ApplyPendingPositions();
}

}  // namespace zelto
