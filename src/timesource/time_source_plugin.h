// The contract with a time source plug-in: the 17 entry points the module looks up,
// in lookup order, whether each is required, and the exact signature of each.
//
// The module calls only Initialize, Uninitialize, ClearEvents, ProcessImageData,
// GetSynchronizationStatus, IsGPSSupported, GetGPSData and StopReadingGPSData. The
// other signatures are those of the sample plug-in (sim/timesource/); the module
// resolves them only to decide whether the library is complete.
//
// Every entry point uses ZELTO_PLUGIN_CALL (__stdcall on 32-bit Windows, the
// driver's convention) and is exported under its plain name. Booleans are 8 bits
// wide: 0 is false, anything else true.
//
// Exceptions, and what a plug-in can and cannot do to the host. The module
// catches a C++ exception out of the entry points it calls: out of
// ProcessImageData, ClearEvents or Uninitialize it unbinds the plug-in for good
// (unloaded once the exception object is gone and no host query still uses it)
// and the grab goes on with the system clock; out of Initialize it refuses the
// binding; out of the host's queries it answers as without a plug-in. That works
// only where the exception can unwind through the module's frames, which needs one
// unwinder and one C++ runtime for both:
// - Natively (Linux; one shared libgcc_s and libstdc++) the module catches it.
// - On Windows the module and a GCC plug-in each link libgcc and libstdc++
//   statically and unwind with DWARF-2 tables that only their own runtime knows.
//   A throw out of the plug-in finds no handler and ends the process
//   (std::terminate) before the module sees it; nothing the module does changes that.
// - A plug-in built with another toolchain (MSVC, clang-cl) throws C++ exceptions
//   as structured exceptions, which the module's frames neither catch nor unwind:
//   on the capture thread the process ends; on the host's thread (the commits in
//   EnableGrab and DisableGrab, the IOrvaneTimeSourceProp calls) the exception
//   passes over the module without running its destructors, leaving the frame
//   queue's locks held, to whatever handler the host has. Access violations alike.
// What a plug-in can do safely: change the record it is given (its time fields and
// the image bytes; the offsets are applied to what it leaves), return false, and
// catch everything at its exports (the sample plug-in does). It must not keep the
// record's address after the call nor call back into the module, and
// ProcessImageData runs under the frame queue's locks: blocking there stalls the
// host's ArmBuffer and GetFrame. The module trusts the library named in the
// registry; nothing stops it from corrupting the process in other ways.
#ifndef ZELTO_TIMESOURCE_TIME_SOURCE_PLUGIN_H_
#define ZELTO_TIMESOURCE_TIME_SOURCE_PLUGIN_H_

#include <cstdint>

#include "driver/capture_driver.h"
#include "zeltorgb/image_record.h"

// The plug-in shares the driver's calling convention; one definition of it.
#define ZELTO_PLUGIN_CALL ZELTO_DRIVER_CALL

// The classic `struct timeb` with a 32-bit time, the same on every target.
struct TimeSourceTimeb {
  int32_t time;      // seconds since 1970-01-01 00:00:00 UTC
  uint16_t millitm;  // 0..999
  int16_t timezone;  // minutes west of UTC
  int16_t dstflag;   // non-zero while daylight saving time is in effect
};

// X(name, required, result, (parameters)) in lookup order.
//   GetName, GetInfo        zero-terminated texts owned by the plug-in
//   Initialize              false refuses the binding
//   MicroSecond             microseconds since Initialize, wrapping at 2^32
//   SetDroppedFrames        the host's count of frames lost so far
//   SetReference            the time relative stamps are measured from
//   GetReference            that time; false when none was set
//   GetReference_timeb      that time in a TimeSourceTimeb; false when none was set
//   GetCurrentTimeStamp     the plug-in's time now, into Seconds/Milliseconds/Microseconds
//   GetRelativeTimeStamp    now minus the reference, into the same fields
//   ProcessImageData        sees (and may change) every committed frame's record
//   GetSynchronizationStatus  handed to the host unchanged; the plug-in defines it
//   GetGPSData              (value, flag 0 or 1): the plug-in defines both
#define ZELTO_TIME_SOURCE_ENTRY_POINTS(X)                                      \
  X(GetName, true, const char*, (void))                                        \
  X(GetInfo, true, const char*, (void))                                        \
  X(Initialize, true, uint8_t, (void))                                         \
  X(MicroSecond, false, uint32_t, (void))                                      \
  X(Uninitialize, true, uint8_t, (void))                                       \
  X(ClearEvents, true, uint8_t, (void))                                        \
  X(SetDroppedFrames, false, uint8_t, (uint32_t dropped))                      \
  X(SetReference, true, uint8_t, (int32_t seconds, uint16_t milliseconds))     \
  X(GetReference, true, uint8_t, (int32_t * seconds, uint16_t * milliseconds)) \
  X(GetReference_timeb, true, uint8_t, (TimeSourceTimeb * reference))          \
  X(GetCurrentTimeStamp, true, uint8_t, (ImageRecord * record))                \
  X(GetRelativeTimeStamp, true, uint8_t, (ImageRecord * record))               \
  X(ProcessImageData, true, uint8_t, (ImageRecord * record))                   \
  X(GetSynchronizationStatus, true, uint32_t, (void))                          \
  X(IsGPSSupported, true, uint8_t, (void))                                     \
  X(GetGPSData, true, uint8_t, (uint32_t value, uint8_t flag))                 \
  X(StopReadingGPSData, true, uint8_t, (void))

namespace zelto {

// One function-pointer type per entry point: PFN_TimeSource_GetName, ...
#define ZELTO_TIME_SOURCE_PFN(name, required, result, params) \
  using PFN_TimeSource_##name = result(ZELTO_PLUGIN_CALL*) params;
ZELTO_TIME_SOURCE_ENTRY_POINTS(ZELTO_TIME_SOURCE_PFN)
#undef ZELTO_TIME_SOURCE_PFN

inline constexpr int kTimeSourceEntryCount = 17;

// Position of each entry point in lookup order (0-based).
enum class TimeSourceEntry : int {
#define ZELTO_TIME_SOURCE_ENUM(name, required, result, params) k##name,
  ZELTO_TIME_SOURCE_ENTRY_POINTS(ZELTO_TIME_SOURCE_ENUM)
#undef ZELTO_TIME_SOURCE_ENUM
};

inline constexpr const char* kTimeSourceEntryNames[kTimeSourceEntryCount] = {
#define ZELTO_TIME_SOURCE_NAME(name, required, result, params) #name,
    ZELTO_TIME_SOURCE_ENTRY_POINTS(ZELTO_TIME_SOURCE_NAME)
#undef ZELTO_TIME_SOURCE_NAME
};

// Whether each entry point must be present for the library to be bound.
inline constexpr bool kTimeSourceEntryRequired[kTimeSourceEntryCount] = {
#define ZELTO_TIME_SOURCE_REQUIRED(name, required, result, params) required,
    ZELTO_TIME_SOURCE_ENTRY_POINTS(ZELTO_TIME_SOURCE_REQUIRED)
#undef ZELTO_TIME_SOURCE_REQUIRED
};

static_assert(static_cast<int>(TimeSourceEntry::kStopReadingGPSData) + 1 == kTimeSourceEntryCount);

}  // namespace zelto

#endif  // ZELTO_TIMESOURCE_TIME_SOURCE_PLUGIN_H_
