#include <windows.h>

#include <sys/timeb.h>
#include <time.h>

#include "platform/clock.h"

namespace zelto::platform {

int64_t PerformanceCounter() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

int64_t PerformanceFrequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

WallClockTime UtcNow() {
  constexpr int64_t kUnixEpochIn100ns = 116444736000000000;  // 1601-01-01 to 1970-01-01
  FILETIME file_time;
  GetSystemTimeAsFileTime(&file_time);
  int64_t ticks =
      (int64_t{file_time.dwHighDateTime} << 32 | file_time.dwLowDateTime) - kUnixEpochIn100ns;
  return {ticks / 10000000, static_cast<uint16_t>(ticks % 10000000 / 10000)};
}

RuntimeTimeZone CurrentTimeZone() {
  // _ftime gives exactly the runtime's zone and its "DST in effect now" flag; it
  // reads TZ only once per process unless _tzset is called.
  _tzset();
  __timeb64 now;
  _ftime64(&now);
  return {static_cast<int16_t>(now.timezone), static_cast<int16_t>(now.dstflag)};
}

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace zelto::platform
