#include "time_code.h"

namespace zelto::timesource {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

uint8_t Bcd(int value) { return static_cast<uint8_t>(((value / 10) << 4) | (value % 10)); }

int FromBcd(uint8_t b, uint8_t mask) {
  const int v = b & mask;
  return (v >> 4) * 10 + (v & 0x0F);
}

}  // namespace

TimeCode TimeCodeAt(int64_t seconds, uint32_t microseconds, int rate) {
  int64_t of_day = seconds % kSecondsPerDay;
  if (of_day < 0) of_day += kSecondsPerDay;
  TimeCode code;
  code.hours = static_cast<int>(of_day / 3600);
  code.minutes = static_cast<int>(of_day / 60 % 60);
  code.seconds = static_cast<int>(of_day % 60);
  // The frame in progress: frame k covers [k/rate, (k+1)/rate) of the second.
  code.frames = static_cast<int>(int64_t{microseconds % 1000000} * rate / 1000000);
  return code;
}

void WriteTimeCode(const TimeCode& code, uint8_t bytes[4]) {
  bytes[0] = Bcd(code.frames);
  bytes[1] = Bcd(code.seconds);
  bytes[2] = Bcd(code.minutes);
  bytes[3] = Bcd(code.hours);
}

TimeCode ReadTimeCode(const uint8_t bytes[4]) {
  return TimeCode{FromBcd(bytes[3], 0x3F), FromBcd(bytes[2], 0x7F), FromBcd(bytes[1], 0x7F),
                  FromBcd(bytes[0], 0x3F)};
}

}  // namespace zelto::timesource
