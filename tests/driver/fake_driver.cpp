// A stand-in driver library for the binding tests. Built twice: with all 21 entry
// points, and with FAKE_DRIVER_PARTIAL, which leaves out the last one. Its
// RGBCaptureGetVersion reports a version no card ever had.
#include <cstdint>

#include "driver/capture_driver.h"

namespace {
uint32_t version_calls = 0;
}

#define FAKE_ENTRY(name) \
  extern "C" uint32_t ZELTO_DRIVER_CALL name() { return zelto::kRgbErrorIllegalCall; }

extern "C" {

uint32_t ZELTO_DRIVER_CALL RGBCaptureInitialise(uint32_t* device_count) {
  *device_count = 42;  // marks this library
  return 0;
}
uint32_t ZELTO_DRIVER_CALL RGBCaptureOpen(uint32_t, zelto::HRGBCAPTURE*) { return 0; }
uint32_t ZELTO_DRIVER_CALL RGBCaptureClose(zelto::HRGBCAPTURE) { return 0; }
uint32_t ZELTO_DRIVER_CALL RGBCaptureEnable(zelto::HRGBCAPTURE, uint32_t) { return 0; }
uint32_t ZELTO_DRIVER_CALL RGBCaptureGetCapabilities(zelto::HRGBCAPTURE, zelto::CaptureCaps*) {
  return 0;
}
uint32_t ZELTO_DRIVER_CALL RGBCaptureGetParameters(zelto::HRGBCAPTURE, zelto::CaptureParams*,
                                                   uint32_t) {
  return 0;
}
uint32_t ZELTO_DRIVER_CALL RGBCaptureSetParameters(zelto::HRGBCAPTURE, zelto::CaptureParams*,
                                                   uint32_t) {
  return 0;
}
uint32_t ZELTO_DRIVER_CALL RGBCaptureAllocateBuffer(zelto::HRGBCAPTURE, void**, uint32_t) {
  return zelto::kRgbErrorInsufficientMemory;
}
uint32_t ZELTO_DRIVER_CALL RGBCaptureFreeBuffer(zelto::HRGBCAPTURE, void**) { return 0; }
uint32_t ZELTO_DRIVER_CALL RGBCaptureGetVersion() {
  ++version_calls;
  return 0xDEAD0000;
}
uint32_t ZELTO_DRIVER_CALL RGBCaptureFillBuffer(zelto::HRGBCAPTURE, uint32_t, uint32_t) {
  return zelto::kRgbErrorCaptureDisabled;
}
uint32_t ZELTO_DRIVER_CALL RGBCaptureDetectVideoMode(zelto::HRGBCAPTURE, uint32_t, uint32_t,
                                                     zelto::VideoTiming*, uint32_t) {
  return 0;
}

// Lets a test see that binding never asks for the version.
uint32_t FakeDriverVersionCalls() { return version_calls; }

}  // extern "C"

FAKE_ENTRY(RGBCaptureFrameBufferReady)
FAKE_ENTRY(AccFreeBuffer)
FAKE_ENTRY(AccAllocateBuffer)
FAKE_ENTRY(AccPerformDraw)
FAKE_ENTRY(RGBCaptureGetVDIFFromRegistry)
FAKE_ENTRY(RGBCaptureWriteVDIFToRegistry)
FAKE_ENTRY(RGBCaptureDeleteUserVDIF)
FAKE_ENTRY(RGBCaptureSetADCColourCorrection)
#ifndef FAKE_DRIVER_PARTIAL
FAKE_ENTRY(RGBCaptureGetADCColourCorrection)
#endif
