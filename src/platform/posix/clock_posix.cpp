#include <time.h>

#include <cerrno>

#include "platform/clock.h"

namespace zelto::platform {

int64_t PerformanceCounter() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

int64_t PerformanceFrequency() { return 1000000000; }

WallClockTime UtcNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return {int64_t{now.tv_sec}, static_cast<uint16_t>(now.tv_nsec / 1000000)};
}

RuntimeTimeZone CurrentTimeZone() {
  tzset();
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  // `timezone` is the standard-time offset, like the Windows runtime's _timezone;
  // the flag says whether DST applies right now, like timeb's dstflag.
  return {static_cast<int16_t>(timezone / 60), static_cast<int16_t>(local.tm_isdst > 0 ? 1 : 0)};
}

void SleepMilliseconds(uint32_t milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace zelto::platform
