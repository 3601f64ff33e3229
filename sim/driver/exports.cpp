// ZeltoSim's exports: the 21 driver entry points and the ZeltoSim_ control
// functions. No exception leaves the library.
#include "driver/capture_driver.h"
#include "simulator.h"
#include "zeltosim_control.h"

#ifdef _WIN32
#include <windows.h>

#include <mmsystem.h>
#endif

using zelto::CaptureCaps;
using zelto::CaptureParams;
using zelto::DriverEntry;
using zelto::HRGBCAPTURE;
using zelto::VideoTiming;
using zelto::sim::Simulator;

#define ZELTOSIM_GUARD(expr)                      \
  try {                                           \
    return expr;                                  \
  } catch (...) {                                 \
    return zelto::kRgbErrorInsufficientResources; \
  }

#define ZELTOSIM_UNSUPPORTED(name)                                          \
  extern "C" uint32_t ZELTO_DRIVER_CALL name() {                            \
    ZELTOSIM_GUARD(Simulator::Instance().Unsupported(DriverEntry::k##name)) \
  }

namespace {
// Real-time frame waits need a timer finer than Windows' default 15.6 ms.
void RaiseTimerResolution() {
#ifdef _WIN32
  static const bool raised = timeBeginPeriod(1) == TIMERR_NOERROR;
  (void)raised;
#endif
}
}  // namespace

extern "C" {

uint32_t ZELTO_DRIVER_CALL RGBCaptureInitialise(uint32_t* device_count) {
  RaiseTimerResolution();
  ZELTOSIM_GUARD(Simulator::Instance().Initialise(device_count))
}

uint32_t ZELTO_DRIVER_CALL RGBCaptureOpen(uint32_t channel, HRGBCAPTURE* handle){
    ZELTOSIM_GUARD(Simulator::Instance().Open(channel, handle))}

uint32_t ZELTO_DRIVER_CALL
    RGBCaptureClose(HRGBCAPTURE handle){ZELTOSIM_GUARD(Simulator::Instance().Close(handle))}

uint32_t ZELTO_DRIVER_CALL RGBCaptureEnable(HRGBCAPTURE handle, uint32_t enable){
    ZELTOSIM_GUARD(Simulator::Instance().Enable(handle, enable))}

uint32_t ZELTO_DRIVER_CALL RGBCaptureGetCapabilities(HRGBCAPTURE handle, CaptureCaps* caps){
    ZELTOSIM_GUARD(Simulator::Instance().GetCapabilities(handle, caps))}

uint32_t ZELTO_DRIVER_CALL
    RGBCaptureGetParameters(HRGBCAPTURE handle, CaptureParams* params, uint32_t query){
        ZELTOSIM_GUARD(Simulator::Instance().GetParameters(handle, params, query))}

uint32_t ZELTO_DRIVER_CALL
    RGBCaptureSetParameters(HRGBCAPTURE handle, CaptureParams* params, uint32_t query){
        ZELTOSIM_GUARD(Simulator::Instance().SetParameters(handle, params, query))}

uint32_t ZELTO_DRIVER_CALL
    RGBCaptureAllocateBuffer(HRGBCAPTURE handle, void** buffer, uint32_t size){
        ZELTOSIM_GUARD(Simulator::Instance().AllocateBuffer(handle, buffer, size))}

uint32_t ZELTO_DRIVER_CALL RGBCaptureFreeBuffer(HRGBCAPTURE handle, void** buffer){
    ZELTOSIM_GUARD(Simulator::Instance().FreeBuffer(handle, buffer))}

uint32_t ZELTO_DRIVER_CALL
    RGBCaptureFillBuffer(HRGBCAPTURE handle, uint32_t selector, uint32_t size){
        ZELTOSIM_GUARD(Simulator::Instance().FillBuffer(handle, selector, size))}

uint32_t ZELTO_DRIVER_CALL RGBCaptureDetectVideoMode(HRGBCAPTURE handle, uint32_t, uint32_t,
                                                     VideoTiming* timing, uint32_t) {
  ZELTOSIM_GUARD(Simulator::Instance().DetectVideoMode(handle, timing))
}

}  // extern "C"

// Resolved by the module, never called; they answer RGBERROR_ILLEGAL_CALL.
ZELTOSIM_UNSUPPORTED(RGBCaptureFrameBufferReady)
ZELTOSIM_UNSUPPORTED(RGBCaptureGetVersion)
ZELTOSIM_UNSUPPORTED(AccFreeBuffer)
ZELTOSIM_UNSUPPORTED(AccAllocateBuffer)
ZELTOSIM_UNSUPPORTED(AccPerformDraw)
ZELTOSIM_UNSUPPORTED(RGBCaptureGetVDIFFromRegistry)
ZELTOSIM_UNSUPPORTED(RGBCaptureWriteVDIFToRegistry)
ZELTOSIM_UNSUPPORTED(RGBCaptureDeleteUserVDIF)
ZELTOSIM_UNSUPPORTED(RGBCaptureSetADCColourCorrection)
ZELTOSIM_UNSUPPORTED(RGBCaptureGetADCColourCorrection)

extern "C" {

void ZeltoSim_Reset(void) {
  try {
    Simulator::Instance().Reset();
  } catch (...) {
  }
}

uint32_t ZeltoSim_Configure(const char* config) {
  if (config == nullptr) return zelto::kRgbErrorInvalidPointer;
  ZELTOSIM_GUARD(Simulator::Instance().Configure(config))
}

uint32_t ZeltoSim_SetSignal(uint32_t channel, uint32_t present){
    ZELTOSIM_GUARD(Simulator::Instance().SetSignal(channel, present))}

uint32_t ZeltoSim_SetMode(uint32_t channel, const char* mode) {
  if (mode == nullptr) return zelto::kRgbErrorInvalidPointer;
  ZELTOSIM_GUARD(Simulator::Instance().SetMode(channel, mode))
}

uint32_t ZeltoSim_InjectError(const char* entry_point, uint32_t code, uint32_t nth) {
  if (entry_point == nullptr) return zelto::kRgbErrorInvalidPointer;
  ZELTOSIM_GUARD(Simulator::Instance().InjectError(entry_point, code, nth))
}

void ZeltoSim_ClearErrors(void) {
  try {
    Simulator::Instance().ClearErrors();
  } catch (...) {
  }
}

void ZeltoSim_GetCounters(ZeltoSimCounters* counters) {
  if (counters == nullptr) return;
  try {
    Simulator::Instance().GetCounters(counters);
  } catch (...) {
  }
}

uint32_t ZeltoSim_GetLastCall(uint32_t entry, ZeltoSimCall* call) {
  if (call == nullptr) return 0;
  ZELTOSIM_GUARD(Simulator::Instance().GetLastCall(entry, call) ? 1u : 0u)
}

uint32_t ZeltoSim_GetCallLog(ZeltoSimCall* calls, uint32_t capacity) {
  if (calls == nullptr) capacity = 0;
  ZELTOSIM_GUARD(Simulator::Instance().GetCallLog(calls, capacity))
}

void ZeltoSim_ClearCallLog(void) {
  try {
    Simulator::Instance().ClearCallLog();
  } catch (...) {
  }
}

uint32_t ZeltoSim_GetFrameNumber(uint32_t channel) {
  ZELTOSIM_GUARD(Simulator::Instance().GetFrameNumber(channel))
}

}  // extern "C"
