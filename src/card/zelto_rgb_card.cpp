#include "card/zelto_rgb_card.h"

#include "card/text_exception.h"
#include "driver/driver_binding.h"
#include "driver/error_names.h"
#include "geometry/registry_values.h"
#include "platform/trace.h"

namespace zelto {

using platform::Trace;
using platform::TraceFormat;

namespace {

bool Failed(uint32_t result) { return IsDriverError(result); }

}  // namespace

CZeltoRGBCard::CZeltoRGBCard(const std::string& host_key_path) {
  ModuleName = "ZELTORGB";
  HostKeyPath = host_key_path;
  BaseSettingsKey = host_key_path + "ZELTORGB";
  UserSettingsKey = BaseSettingsKey;

  DriverModule = BindDriver();
  if (DriverModule == nullptr) Trace("KTS DLL SETUP failed. Serious Error");

  try {
    DefaultIni();
  } catch (...) {
    // The destructor does not run for a half-built object: close what start-up
    // opened before the exception leaves.
    CloseChannel();
    if (DriverModule != nullptr) platform::UnloadDynamicLibrary(DriverModule);
    DriverModule = nullptr;
    throw;
  }
}

CZeltoRGBCard::~CZeltoRGBCard() {
  StopCaptureThread();
  if (DriverModule != nullptr) {
    LastDriverResult = Driver().RGBCaptureEnable(CaptureHandle, 0);
  }
  CloseChannel();
  if (DriverModule != nullptr) {
    platform::UnloadDynamicLibrary(DriverModule);
    DriverModule = nullptr;
  }
}

void CZeltoRGBCard::CloseChannel() {
  if (DriverModule == nullptr) return;
  FreeFrameBuffer();
  if (CaptureHandle != 0) {
    Driver().RGBCaptureClose(CaptureHandle);
    CaptureHandle = 0;
  }
}

void CZeltoRGBCard::TraceDriverError(const char* prefix, uint32_t result) {
  TraceFormat("%s returned: %s", prefix, DriverErrorName(result));
}

void CZeltoRGBCard::DefaultIni() {
  LoadingSettings = true;
  SignalPresent = true;
  Trace("Movandi - ZeltoRGB - DefaultIni");
  if (!ZeltoRGBInitCamera()) {
    Trace("Movandi - ZeltoRGB - Camera Initialization FAILED...");
    throw TextException(kCameraInitFailedText);
  }
  LoadGeometrySettings();
  if (SignalPresent) {
    GetCapabilities();
  } else {
    ApplyStartupGeometry();
  }
  ClearCurrentFrame();
  // With a signal, the saved user values are applied here once the settings
  // that take them exist.
  LoadingSettings = false;
}

bool CZeltoRGBCard::ZeltoRGBInitCamera() {
  Trace("CZeltoRGBCard::ZeltoRGBInitCamera()");
  if (DriverModule == nullptr) return false;
  uint32_t count = 0;
  LastDriverResult = Driver().RGBCaptureInitialise(&count);
  if (Failed(LastDriverResult)) {
    TraceDriverError("CZeltoRGBCard::ZeltoRGBInitCamera() - RGBCaptureInitialise()",
                     LastDriverResult);
    return false;
  }
  DeviceCount = count;
  TraceFormat("ZeltoRGB: %d devices found", static_cast<int>(DeviceCount));

  {
    platform::RegistryKey base = OpenUserKey(BaseSettingsKey);
    int32_t channel = 0;
    InputChannel = ReadDwordValue(base, &channel, "InputChannelValue") == platform::kRegSuccess
                       ? channel
                       : 0;
  }
  BuildChannelKey();
  {
    platform::RegistryKey channel_key = OpenUserKey(UserSettingsKey);
    int32_t lock = 0;
    LockChannelMode =
        ReadDwordValue(channel_key, &lock, "LockChannelMode") == platform::kRegSuccess &&
        lock == 1;
  }

  if (OpenChannel(InputChannel)) return true;
  if (LockChannelMode) return true;
  if (OpenChannel(PreviousInputChannel)) return true;
  return ZeltoRGBOpen();
}

bool CZeltoRGBCard::OpenChannel(int32_t channel) {
  // The card keeps one channel open: a channel opened by an earlier attempt is
  // closed before the next one is opened.
  if (CaptureHandle != 0) {
    Driver().RGBCaptureClose(CaptureHandle);
    CaptureHandle = 0;
  }
  HRGBCAPTURE handle = 0;
  LastDriverResult = Driver().RGBCaptureOpen(static_cast<uint32_t>(channel) & 0xFFFF, &handle);
  if (Failed(LastDriverResult)) {
    TraceDriverError("CZeltoRGBCard::OpenChannel() - RGBCaptureOpen()", LastDriverResult);
    return false;
  }
  CaptureHandle = handle;
  if (ReadParametersAfterOpen(CaptureHandle) == kRgbErrorSignalNotDetected) {
    if (!LockChannelMode) return false;
    SignalPresent = false;
  } else {
    SignalPresent = true;
  }
  InputChannel = channel;
  StoreDwordAt(BaseSettingsKey, channel, "InputChannelValue");
  return true;
}

bool CZeltoRGBCard::ZeltoRGBOpen() {
  Trace("CZeltoRGBCard::ZeltoRGBOpen()");
  if (ReadParametersAfterOpen(CaptureHandle) == kRgbErrorSignalNotDetected) return ScanChannels();
  return true;
}

bool CZeltoRGBCard::ScanChannels() {
  ReleaseDriver(DriverModule, CaptureHandle, FrameBuffer);
  FrameBufferSize = 0;
  RebindDriver(DriverModule, CaptureHandle, FrameBuffer);
  GrabEnabled = false;
  if (DriverModule == nullptr) return false;

  for (uint32_t channel = 0; channel < DeviceCount; ++channel) {
    HRGBCAPTURE handle = 0;
    if (Driver().RGBCaptureOpen(channel, &handle) != 0) continue;
    if (ReadParametersAfterOpen(handle) == kRgbErrorSignalNotDetected) {
      // Passed over: not left open behind the card's back.
      Driver().RGBCaptureClose(handle);
      continue;
    }
    CaptureHandle = handle;
    InputChannel = static_cast<int32_t>(channel);
    StoreDwordAt(BaseSettingsKey, InputChannel, "InputChannelValue");
    return true;
  }
  return false;
}

uint32_t CZeltoRGBCard::ReadParametersAfterOpen(HRGBCAPTURE handle) {
  std::lock_guard<std::recursive_mutex> lock(DriverLock);
  Params.Size = sizeof(CaptureParams);
  LastDriverResult = Driver().RGBCaptureGetParameters(handle, &Params, kQueryAfterOpen);
  return LastDriverResult;
}

bool CZeltoRGBCard::CheckSignal() {
  return ReadParametersAfterOpen(CaptureHandle) != kRgbErrorSignalNotDetected;
}

void CZeltoRGBCard::GetCapabilities() {
  std::lock_guard<std::recursive_mutex> lock(DriverLock);
  const auto fail = [this](const char* call, uint32_t result) {
    TraceFormat("CZeltoRGBCard::GetCapabilities() - %s returned: %s", call,
                DriverErrorName(result));
    Trace("GetCapabilities() - error");
  };

  Trace("CZeltoRGBCard::GetCapabilities()");
  CaptureCaps caps{};
  caps.Size = sizeof(CaptureCaps);
  LastDriverResult = Driver().RGBCaptureGetCapabilities(CaptureHandle, &caps);
  if (Failed(LastDriverResult)) return fail("RGBCaptureGetCapabilities()", LastDriverResult);

  Params.Size = sizeof(CaptureParams);
  Params.Flags = kFlagsNegotiateFormat;
  LastDriverResult = Driver().RGBCaptureGetParameters(CaptureHandle, &Params, kQueryAfterOpen);
  if (Failed(LastDriverResult)) return fail("RGBCaptureGetParameters(1)", LastDriverResult);

  LastDriverResult = Driver().RGBCaptureDetectVideoMode(CaptureHandle, 0, 0, &Timing(), 0);
  if (Failed(LastDriverResult)) return fail("RGBCaptureDetectVideoMode()", LastDriverResult);
  TraceFormat("Video mode: %.128s", Timing().Description);

  switch (Timing().Flags) {
    case kTimingNoSignal:
      Trace("RGBCaptureDetectVideoMode() NO SIGNAL");
      Trace("GetCapabilities() - error");
      return;
    case kTimingOutOfRange:
      Trace("RGBCaptureDetectVideoMode() OUT OF RANGE");
      Trace("GetCapabilities() - error");
      return;
    case kTimingUnrecognisable:
      Trace("RGBCaptureDetectVideoMode() UNRECOGNISABLE");
      Trace("GetCapabilities() - error");
      return;
    default:
      TraceFormat("CZeltoRGBCard::GetCapabilities() - RGBCaptureDetectVideoMode() VideoTiming.Flags: 0x%x",
                  static_cast<unsigned>(Timing().Flags));
  }

  if (SignalPresent) {
    SourceWidth = static_cast<int32_t>(Timing().HorAddrTime);
    SourceHeight = static_cast<int32_t>(Timing().VerAddrTime);
    ScalingX = SourceWidth.load();
    ScalingY = SourceHeight.load();
    if (!RoiRestored) {
      ImageSizeX = SourceWidth.load();
      ImageSizeY = SourceHeight.load();
      RoiWidth = SourceWidth.load();
      RoiHeight = SourceHeight.load();
    }
    TraceFormat("ImageSizeX = %d, ImageSizeY = %d", ImageSizeX.load(), ImageSizeY.load());
  }

  SourceFrameRate = static_cast<int32_t>(Timing().VerFrequency / 1000);
  FrameRate = SourceFrameRate.load();

  // Step (1): the pixel format of the capture format.
  Params.Flags = kFlagPixelFormat;
  switch (CaptureFormat) {
    case 1: Params.PixelFormat = 2; break;
    case 2: Params.PixelFormat = 3; break;
    default: Params.PixelFormat = 1; break;
  }
  LastDriverResult = Driver().RGBCaptureSetParameters(CaptureHandle, &Params, kQueryCapture);
  if (Failed(LastDriverResult)) return fail("RGBCaptureSetParameters(1)", LastDriverResult);

  // Step (2): the output mode, read back.
  Params.Flags = kFlagOutputMode;
  Params.OutputMode = 3;
  LastDriverResult = Driver().RGBCaptureSetParameters(CaptureHandle, &Params, kQueryCapture);
  if (Failed(LastDriverResult)) return fail("RGBCaptureSetParameters(2)", LastDriverResult);
  LastDriverResult = Driver().RGBCaptureGetParameters(CaptureHandle, &Params, kQueryCapture);
  if (Failed(LastDriverResult)) return fail("RGBCaptureGetParameters(2)", LastDriverResult);

  if (SignalPresent) {
    switch (Params.PixelFormat) {
      case 1:
      case 2: BytesPerPixel = 2; break;
      case 3: BytesPerPixel = 4; break;
      default:
        Trace("Unknown Pixel Format: ERROR !!");
        return;
    }
    TraceFormat("ImageBitDepth = %d", GetBitDepth());
  }

  // Step (3): the analogue values, written back as the driver reports them.
  Params.Flags = kFlagsNegotiateAnalogue;
  LastDriverResult =
      Driver().RGBCaptureGetParameters(CaptureHandle, &Params, kQueryNegotiatedAnalogue);
  if (Failed(LastDriverResult)) return fail("RGBCaptureGetParameters(3)", LastDriverResult);
  LastDriverResult = Driver().RGBCaptureSetParameters(CaptureHandle, &Params, kQueryCapture);
  if (Failed(LastDriverResult)) return fail("RGBCaptureSetParameters(3)", LastDriverResult);

  Params.Flags = kFlagsNegotiateFormat;
  BufferSelector = 0;

  int64_t size;
  if (SignalPresent || ScalingMode == 0) {
    size = GetImageBytes();
  } else {
    size = int64_t{SourceWidth} * SourceHeight * GetBitsPerPixel() / 8;
  }
  {
    std::lock_guard<std::mutex> buffer_lock(FrameBufferLock);
    ReplaceFrameBuffer(static_cast<size_t>(size > 0 ? size : 0));
  }
  if (Failed(LastDriverResult)) return fail("RGBCaptureAllocateBuffer()", LastDriverResult);
  Trace("CZeltoRGBCard::GetCapabilities() : RGBCaptureAllocateBuffer");
}

void CZeltoRGBCard::FreeFrameBuffer() {
  if (FrameBuffer != nullptr) {
    Driver().RGBCaptureFreeBuffer(CaptureHandle, &FrameBuffer);
    FrameBuffer = nullptr;
  }
  FrameBufferSize = 0;
}

void CZeltoRGBCard::ReplaceFrameBuffer(size_t size) {
  FreeFrameBuffer();
  void* buffer = nullptr;
  LastDriverResult =
      Driver().RGBCaptureAllocateBuffer(CaptureHandle, &buffer, static_cast<uint32_t>(size));
  if (!Failed(LastDriverResult) && buffer != nullptr) {
    FrameBuffer = buffer;
    FrameBufferSize = size;
  }
}

void CZeltoRGBCard::GetImageGeometry(int32_t* width, int32_t* height, int32_t* offset_x,
                                     int32_t* offset_y) {
  *width = ImageSizeX;
  *height = ImageSizeY;
  *offset_x = ImageOffsetX;
  *offset_y = ImageOffsetY;
}

int32_t CZeltoRGBCard::GetImageBytes() {
  const int64_t bytes = int64_t{ImageSizeX} * ImageSizeY * GetBitsPerPixel() / 8;
  ImageBytes = static_cast<int32_t>(bytes);
  return ImageBytes;
}

int32_t CZeltoRGBCard::GetBitsPerPixel() const {
  if (BytesPerPixel == 2) return 16;
  return ConvertTo24 ? 24 : 32;
}

int32_t CZeltoRGBCard::GetBitDepth() const { return BytesPerPixel == 2 ? 16 : 8; }

int32_t CZeltoRGBCard::GetImageFormat() {
  if (!SignalPresent) {
    platform::RegistryKey key = OpenUserKey(UserSettingsKey);
    int32_t startup = 0;
    if (ReadDwordValue(key, &startup, "StartupImageFormat") != platform::kRegSuccess) startup = 0;
    switch (startup) {
      case 1: return 906;
      case 2: return 500;
      case 3: return 200;
      default: return 905;
    }
  }
  CaptureParams local{};
  local.Size = sizeof(CaptureParams);
  local.Flags = kFlagPixelFormat;
  {
    std::lock_guard<std::recursive_mutex> lock(DriverLock);
    LastDriverResult = Driver().RGBCaptureGetParameters(CaptureHandle, &local, kQueryCapture);
  }
  if (LastDriverResult != 0) return 0;
  switch (local.PixelFormat) {
    case 2: return 906;
    case 3: return ConvertTo24 ? 200 : 500;
    default: return 905;
  }
}

void CZeltoRGBCard::SetFixedRateMode(int32_t mode) {
  FixedRateMode = mode;
  if (!LoadingSettings) StoreDwordValue(mode, "Fixed Rate Mode");
}

void CZeltoRGBCard::SetFramePacing(int32_t rate) {
  if (SourceFrameRate < 1) {
    FrameRate = 0;
    return;
  }
  FrameRate = rate < 1 ? 1 : (rate > SourceFrameRate ? SourceFrameRate.load() : rate);
  PacingRequested = true;
  PacingArmed = false;
  PacingDelay = 0;
  FramePeriod = 1000 / FrameRate;
}

}  // namespace zelto
