// The SMPTE-style time code the plug-in writes into the first four bytes of an
// image: byte 0 frames, 1 seconds, 2 minutes, 3 hours, each two BCD digits (units
// in bits 0-3, tens from bit 4), flag bits 0. The module's LTC offset reads the
// same layout.
#ifndef ZELTO_SIM_TIMESOURCE_TIME_CODE_H_
#define ZELTO_SIM_TIMESOURCE_TIME_CODE_H_

#include <cstdint>

namespace zelto::timesource {

// Frames fit two BCD digits with the two tens bits of byte 0: up to 40 a second.
inline constexpr int kMinTimeCodeRate = 1;
inline constexpr int kMaxTimeCodeRate = 40;

struct TimeCode {
  int hours;    // 0..23
  int minutes;  // 0..59
  int seconds;  // 0..59
  int frames;   // 0..rate-1
};

// The time code of the instant `seconds` + `microseconds` (0..999999) after
// 1970-01-01 00:00:00 on the clock the caller chose (UTC, or local time with the
// zone already added): the time of day, and the frame in progress at `rate`.
// Times before 1970 wrap to the right time of day.
TimeCode TimeCodeAt(int64_t seconds, uint32_t microseconds, int rate);

void WriteTimeCode(const TimeCode& code, uint8_t bytes[4]);
TimeCode ReadTimeCode(const uint8_t bytes[4]);

}  // namespace zelto::timesource

#endif  // ZELTO_SIM_TIMESOURCE_TIME_CODE_H_
