// Construction, destruction and the start-up sequence: binding the driver and
// choosing and opening an input channel.
#include "card/zelto_rgb_card.h"

#include <mutex>

#include "base/text_exception.h"
#include "driver/error_names.h"
#include "geometry/registry_layout.h"
#include "geometry/registry_values.h"
#include "platform/trace.h"

namespace zelto {

using platform::Trace;
using platform::TraceFormat;

CZeltoRGBCard::CZeltoRGBCard(const std::string& host_key_path) {
  ModuleName = kModuleKeyName;
  HostKeyPath = host_key_path;
  BaseSettingsKey = host_key_path + kModuleKeyName;
  UserSettingsKey = BaseSettingsKey;

  if (!Channel.Bind()) Trace("KTS DLL SETUP failed. Serious Error");
  // A throw leaves through the members' destructors: the channel closes what
  // start-up opened and unloads the driver.
  DefaultIni();
}

CZeltoRGBCard::~CZeltoRGBCard() {
  // Host threads waiting in GetFrame or ArmBuffer leave before anything goes.
  CloseQueue();
  {
    std::lock_guard<std::mutex> control(grab_control_);
    StopCaptureThread();
  }
  if (Channel.has_driver()) LastDriverResult = Driver().RGBCaptureEnable(Channel.handle(), 0);
  Channel.Close();
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
    LoadUserSettings();
  } else {
    ApplyStartupGeometry();
  }
  ClearCurrentFrame();
  LoadingSettings = false;
}

bool CZeltoRGBCard::ZeltoRGBInitCamera() {
  Trace("CZeltoRGBCard::ZeltoRGBInitCamera()");
  if (!Channel.has_driver()) return false;
  uint32_t count = 0;
  LastDriverResult = Driver().RGBCaptureInitialise(&count);
  if (IsDriverError(LastDriverResult)) {
    TraceDriverError("CZeltoRGBCard::ZeltoRGBInitCamera() - RGBCaptureInitialise()",
                     LastDriverResult);
    return false;
  }
  DeviceCount = count;
  TraceFormat("ZeltoRGB: %d devices found", static_cast<int>(DeviceCount));

  ReadStoredChannel();
  if (OpenChannel(InputChannel)) return true;
  // A locked channel that does not open fails the start-up: no other is tried.
  if (LockChannelMode) return false;
  if (OpenChannel(PreviousInputChannel)) return true;
  return ZeltoRGBOpen();
}

bool CZeltoRGBCard::OpenChannel(int32_t channel) {
  // The card keeps one channel open: a channel opened by an earlier attempt is
  // closed before the next one is opened.
  Channel.CloseHandle();
  HRGBCAPTURE handle = 0;
  LastDriverResult = Driver().RGBCaptureOpen(static_cast<uint32_t>(channel) & 0xFFFF, &handle);
  if (IsDriverError(LastDriverResult)) {
    TraceDriverError("CZeltoRGBCard::OpenChannel() - RGBCaptureOpen()", LastDriverResult);
    return false;
  }
  Channel.SetHandle(handle);
  if (ReadParametersAfterOpen(handle) == kRgbErrorSignalNotDetected) {
    if (!LockChannelMode) return false;
    SignalPresent = false;
  } else {
    SignalPresent = true;
  }
  InputChannel = channel;
  StoreBaseDword(kInputChannelValue, channel);
  return true;
}

bool CZeltoRGBCard::ZeltoRGBOpen() {
  Trace("CZeltoRGBCard::ZeltoRGBOpen()");
  // Both opens failed: there is no handle to read, only other channels to scan.
  if (Channel.handle() == 0) return ScanChannels();
  if (ReadParametersAfterOpen(Channel.handle()) == kRgbErrorSignalNotDetected)
    return ScanChannels();
  return true;
}

bool CZeltoRGBCard::ScanChannels() {
  Channel.ReleaseDriver();
  Channel.RebindDriver();
  GrabEnabled = false;
  if (!Channel.has_driver()) return false;

  for (uint32_t channel = 0; channel < DeviceCount; ++channel) {
    HRGBCAPTURE handle = 0;
    if (Driver().RGBCaptureOpen(channel, &handle) != 0) continue;
    if (ReadParametersAfterOpen(handle) == kRgbErrorSignalNotDetected) {
      // Passed over: not left open behind the card's back.
      Driver().RGBCaptureClose(handle);
      continue;
    }
    Channel.SetHandle(handle);
    InputChannel = static_cast<int32_t>(channel);
    StoreBaseDword(kInputChannelValue, InputChannel);
    return true;
  }
  return false;
}

uint32_t CZeltoRGBCard::ReadParametersAfterOpen(HRGBCAPTURE handle) {
  std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
  Channel.Params.Size = sizeof(CaptureParams);
  LastDriverResult = Driver().RGBCaptureGetParameters(handle, &Channel.Params, kQueryAfterOpen);
  return LastDriverResult;
}

bool CZeltoRGBCard::CheckSignal() {
  return ReadParametersAfterOpen(Channel.handle()) != kRgbErrorSignalNotDetected;
}

}  // namespace zelto
