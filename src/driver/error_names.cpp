#include "driver/error_names.h"

#include "driver/capture_driver.h"

namespace zelto {
namespace {

constexpr const char kUnknown[] = "RGBERROR_UNKNOWN_ERROR";

// Indexed by code - 0x10001; null marks an unassigned code.
constexpr const char* kNames[48] = {
    "RGBERROR_UNABLE_TO_LOAD_DRIVER",            // 0x10001
    "RGBERROR_HARDWARE_NOT_FOUND",               // 0x10002
    "RGBERROR_INVALID_INDEX",                    // 0x10003
    "RGBERROR_DEVICE_IN_USE",                    // 0x10004
    "RGBERROR_INVALID_HRGBCAPTURE",              // 0x10005
    "RGBERROR_INVALID_POINTER",                  // 0x10006
    "RGBERROR_INVALID_SIZE",                     // 0x10007
    "RGBERROR_INVALID_FLAGS",                    // 0x10008
    "RGBERROR_INVALID_DEVICE",                   // 0x10009
    "RGBERROR_INVALID_INPUT",                    // 0x1000A
    nullptr,                                     // 0x1000B
    nullptr,                                     // 0x1000C
    "RGBERROR_INVALID_FORMAT",                   // 0x1000D
    "RGBERROR_INVALID_VDIF_CLOCKS",              // 0x1000E
    nullptr,                                     // 0x1000F
    nullptr,                                     // 0x10010
    "RGBERROR_INVALID_PHASE",                    // 0x10011
    nullptr,                                     // 0x10012
    "RGBERROR_INVALID_BRIGHTNESS",               // 0x10013
    "RGBERROR_INVALID_CONTRAST",                 // 0x10014
    "RGBERROR_INVALID_BLACKLEVEL",               // 0x10015
    "RGBERROR_INVALID_SAMPLERATE",               // 0x10016
    "RGBERROR_INVALID_PIXELFORMAT",              // 0x10017
    "RGBERROR_INVALID_HWND",                     // 0x10018
    "RGBERROR_INSUFFICIENT_RESOURCES",           // 0x10019
    "RGBERROR_INSUFFICIENT_BUFFERS",             // 0x1001A
    "RGBERROR_INSUFFICIENT_MEMORY",              // 0x1001B
    "RGBERROR_SIGNAL_NOT_DETECTED",              // 0x1001C
    "RGBERROR_INVALID_SYNCEDGE",                 // 0x1001D
    "RGBERROR_OLD_FIRMWARE",                     // 0x1001E
    "RGBERROR_HWND_AND_FRAMECAPTUREDFN",         // 0x1001F
    "RGBERROR_HSCALED_OUT_OF_RANGE",             // 0x10020
    "RGBERROR_VSCALED_OUT_OF_RANGE",             // 0x10021
    "RGBERROR_SCALING_NOT_SUPPORTED",            // 0x10022
    "RGBERROR_BUFFER_TOO_SMALL",                 // 0x10023
    "RGBERROR_HSCALE_NOT_WORD_DIVISIBLE",        // 0x10024
    "RGBERROR_HSCALE_NOT_DWORD_DIVISIBLE",       // 0x10025
    "RGBERROR_HORADDRTIME_NOT_WORD_DIVISIBLE",   // 0x10026
    "RGBERROR_HORADDRTIME_NOT_DWORD_DIVISIBLE",  // 0x10027
    "RGBERROR_VERSION_MISMATCH",                 // 0x10028
    "RGBERROR_ACC_REALLOCATE_BUFFERS",           // 0x10029
    "RGBERROR_BUFFER_NOT_VALID",                 // 0x1002A
    "RGBERROR_BUFFERS_STILL_ALLOCATED",          // 0x1002B
    "RGBERROR_NO_NOTIFICATION_SET",              // 0x1002C
    "RGBERROR_CAPTURE_DISABLED",                 // 0x1002D
    "RGBERROR_INVALID_PIXELFORMAT",              // 0x1002E
    "RGBERROR_ILLEGAL_CALL",                     // 0x1002F
    "RGBERROR_CAPTURE_OUTSTANDING",              // 0x10030
};

constexpr uint32_t kFirstTableCode = kRgbErrorUnableToLoadDriver;

}  // namespace

const char* DriverErrorName(uint32_t code) {
  if (code == kRgbErrorNoError) return "RGBERROR_NO_ERROR";
  if (code == kRgbErrorDriverNotFound) return "RGBERROR_DRIVER_NOT_FOUND";
  if (code < kFirstTableCode || code - kFirstTableCode >= sizeof(kNames) / sizeof(kNames[0])) {
    return kUnknown;
  }
  const char* name = kNames[code - kFirstTableCode];
  return name != nullptr ? name : kUnknown;
}

}  // namespace zelto
