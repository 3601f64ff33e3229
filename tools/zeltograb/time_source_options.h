// zeltograb's time source side, the pure part: the options that set the host's
// time source values (grab and timesource), their usage lines, and the SMPTE-style
// time code a plug-in writes into the first four bytes of a frame.
#ifndef ZELTO_TOOLS_ZELTOGRAB_TIME_SOURCE_OPTIONS_H_
#define ZELTO_TOOLS_ZELTOGRAB_TIME_SOURCE_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>

namespace zelto::grab {

// What the command line asks to store under HKEY_CURRENT_USER\<host key>; unset
// values are left as they are.
struct TimeSourceOptions {
  std::optional<std::string> dll;     // --time-source PATH|System -> "TimeSourceDLL"
  std::optional<int32_t> offset_us;   // --time-offset US -> "TimeSourceOffset"
  std::optional<int32_t> ltc_offset;  // --ltc-offset FRAMES -> "LTCTimeSourceOffset"
  std::optional<uint32_t> ltc_mode;   // --ltc-mode 0|1|2 -> "LTCTimeSourceMode"
};

bool IsTimeSourceOption(const std::string& name);
// Stores option `name`'s `value`; false with a one-line `error` for a bad value.
bool ParseTimeSourceOption(const std::string& name, const std::string& value,
                           TimeSourceOptions* options, std::string* error);
// The options' lines for a usage text.
std::string TimeSourceUsage();

// "hh:mm:ss:ff" of the time code in `bytes` (frames, seconds, minutes, hours, two
// BCD digits each; the layout of timesource/time_offsets.h, flag bits ignored), or
// none when a digit or a field is out of range. `frame_rate` bounds the frames.
std::optional<std::string> DecodeTimeCode(const uint8_t bytes[4], int32_t frame_rate);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_TIME_SOURCE_OPTIONS_H_
