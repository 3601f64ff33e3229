// ZeltoSim's control functions: extra exports of the simulated driver that tests
// and the host tool call (the module never does).
//
// Load the library by the same path as the module's binding does; the loader then
// hands back the same instance, so both see one simulated card. Resolve each
// function by its name (the PFN_ types below). All use the C calling convention
// (cdecl on 32-bit Windows) and may be called from any thread at any time, also
// while another thread waits in RGBCaptureFillBuffer.
//
// Functions returning uint32_t return 0 on success, else a driver error code
// (RGBERROR_INVALID_INDEX for a bad channel, RGBERROR_INVALID_FLAGS for a bad
// configuration text or entry-point name).
#ifndef ZELTO_SIM_DRIVER_ZELTOSIM_CONTROL_H_
#define ZELTO_SIM_DRIVER_ZELTOSIM_CONTROL_H_

#include <cstdint>

extern "C" {

// One entry of the call log. `entry` is the entry point's position in resolution
// order (0 = RGBCaptureInitialise ... 20 = RGBCaptureGetADCColourCorrection, as
// zelto::DriverEntry). `handle` is the handle argument (the channel for
// RGBCaptureOpen). `arg` is the key argument: Flags for Get/SetParameters, the
// enable state, the size for Allocate/FillBuffer, 0 otherwise. `query` is the query
// selector of Get/SetParameters, else 0. `result` is what the call returned.
struct ZeltoSimCall {
  uint32_t entry;
  uint32_t handle;
  uint32_t arg;
  uint32_t query;
  uint32_t result;
};

struct ZeltoSimCounters {
  uint32_t calls[21];         // calls per entry point, as ZeltoSimCall::entry
  uint32_t open_handles;      // opened and not closed
  uint32_t live_buffers;      // allocated and not freed
  uint32_t buffers_closed;    // buffers still allocated when their handle was closed
  uint32_t frames_delivered;  // fills that returned a frame (0x400), all channels
  uint32_t frames_dropped;    // source frames lost to drop scripts or a late caller
};

// Back to the defaults of a fresh load: every handle closed, every buffer freed,
// counters, log, scripts and injected errors cleared. ZELTOSIM is read again at
// the next driver call.
void ZeltoSim_Reset(void);

// Applies "key=value;key=value" (see README.md). Applied in order; on an unknown
// key or bad value the keys before it stay applied and RGBERROR_INVALID_FLAGS is
// returned.
uint32_t ZeltoSim_Configure(const char* config);

// Signal present (1) or lost (0) on `channel`, from the next driver call on.
uint32_t ZeltoSim_SetSignal(uint32_t channel, uint32_t present);

// Switches the input of `channel` to `mode` ("800x600@60", "1024x768@59.94", ...):
// the next fill returns the mode-change status, and the new timing is detected.
uint32_t ZeltoSim_SetMode(uint32_t channel, const char* mode);

// Makes `entry_point` (its export name) return `code` on its `nth` call from now
// (1 = the next call), or on every call when `nth` is 0. The call then has no other
// effect. Several rules may be active; the earliest added wins.
uint32_t ZeltoSim_InjectError(const char* entry_point, uint32_t code, uint32_t nth);
void ZeltoSim_ClearErrors(void);

void ZeltoSim_GetCounters(ZeltoSimCounters* counters);

// The last call of entry point `entry` (0..20); false when it was never called.
uint32_t ZeltoSim_GetLastCall(uint32_t entry, ZeltoSimCall* call);

// Copies up to `capacity` of the logged calls, oldest first, and returns how many
// are logged (the log keeps the latest 16384). ZeltoSim_ClearCallLog empties it.
uint32_t ZeltoSim_GetCallLog(ZeltoSimCall* calls, uint32_t capacity);
void ZeltoSim_ClearCallLog(void);

// The frame number that the next frame of `channel` would carry (source frames are
// numbered from 0 since the channel was opened).
uint32_t ZeltoSim_GetFrameNumber(uint32_t channel);

}  // extern "C"

using PFN_ZeltoSim_Reset = void (*)(void);
using PFN_ZeltoSim_Configure = uint32_t (*)(const char*);
using PFN_ZeltoSim_SetSignal = uint32_t (*)(uint32_t, uint32_t);
using PFN_ZeltoSim_SetMode = uint32_t (*)(uint32_t, const char*);
using PFN_ZeltoSim_InjectError = uint32_t (*)(const char*, uint32_t, uint32_t);
using PFN_ZeltoSim_ClearErrors = void (*)(void);
using PFN_ZeltoSim_GetCounters = void (*)(ZeltoSimCounters*);
using PFN_ZeltoSim_GetLastCall = uint32_t (*)(uint32_t, ZeltoSimCall*);
using PFN_ZeltoSim_GetCallLog = uint32_t (*)(ZeltoSimCall*, uint32_t);
using PFN_ZeltoSim_ClearCallLog = void (*)(void);
using PFN_ZeltoSim_GetFrameNumber = uint32_t (*)(uint32_t);

#endif  // ZELTO_SIM_DRIVER_ZELTOSIM_CONTROL_H_
