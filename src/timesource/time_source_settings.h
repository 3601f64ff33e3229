// The time source settings: values under HKEY_CURRENT_USER\<host key> itself (not
// the module's own sub-key), shared by every module the host creates with that
// key. The module only reads them; the host (and zeltograb) writes them.
#ifndef ZELTO_TIMESOURCE_TIME_SOURCE_SETTINGS_H_
#define ZELTO_TIMESOURCE_TIME_SOURCE_SETTINGS_H_

#include <cstdint>

namespace zelto {

// REG_SZ or REG_EXPAND_SZ (taken as stored), at most kTimeSourceNameBytes bytes
// with the terminator; empty or exactly kSystemTimeSource: the system clock.
inline constexpr const char* kTimeSourceDllValue = "TimeSourceDLL";
inline constexpr const char* kSystemTimeSource = "System";
inline constexpr uint32_t kTimeSourceNameBytes = 260;
// Signed 32-bit values of at most 4 bytes, whatever their registry type.
inline constexpr const char* kTimeSourceOffsetValue = "TimeSourceOffset";        // microseconds
inline constexpr const char* kLtcTimeSourceOffsetValue = "LTCTimeSourceOffset";  // frames
inline constexpr const char* kLtcTimeSourceModeValue = "LTCTimeSourceMode";

// Frames per second of the time code for a "LTCTimeSourceMode" value.
constexpr int32_t LtcFrameRateForMode(uint32_t mode) {
  return mode == 0 ? 30 : mode == 1 ? 20 : 24;
}

}  // namespace zelto

#endif  // ZELTO_TIMESOURCE_TIME_SOURCE_SETTINGS_H_
