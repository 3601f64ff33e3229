// Clocks: the high-resolution counter, the UTC wall clock and the C runtime's
// time zone.
#ifndef ZELTO_PLATFORM_CLOCK_H_
#define ZELTO_PLATFORM_CLOCK_H_

#include <cstdint>

namespace zelto::platform {

// A monotonic tick count: QueryPerformanceCounter on Windows, CLOCK_MONOTONIC in
// nanoseconds on POSIX. Only differences between readings mean anything.
int64_t PerformanceCounter();
// Ticks per second of PerformanceCounter (1e9 on POSIX).
int64_t PerformanceFrequency();

struct WallClockTime {
  int64_t seconds;        // since 1970-01-01 00:00:00 UTC
  uint16_t milliseconds;  // 0..999
};
WallClockTime UtcNow();

struct RuntimeTimeZone {
  int16_t minutes_west;  // of UTC, standard time (the C runtime's timezone / 60)
  int16_t dst_flag;      // non-zero while daylight saving time is in effect now
};
// The C runtime's zone as _ftime reports it; reads TZ afresh on every call.
RuntimeTimeZone CurrentTimeZone();

void SleepMilliseconds(uint32_t milliseconds);

}  // namespace zelto::platform

#endif  // ZELTO_PLATFORM_CLOCK_H_
