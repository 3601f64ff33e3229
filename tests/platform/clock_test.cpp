#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace zelto::platform {
namespace {

TEST(ClockTest, UtcNowAgreesWithTheCRuntime) {
  time_t before = time(nullptr);
  WallClockTime now = UtcNow();
  time_t after = time(nullptr);
  EXPECT_GE(now.seconds, static_cast<int64_t>(before) - 1);
  EXPECT_LE(now.seconds, static_cast<int64_t>(after) + 1);
  EXPECT_LT(now.milliseconds, 1000);
}

TEST(ClockTest, CounterNeverGoesBackAndItsFrequencyMatchesASleep) {
  int64_t frequency = PerformanceFrequency();
  ASSERT_GT(frequency, 0);
  int64_t previous = PerformanceCounter();
  for (int i = 0; i < 10000; ++i) {
    int64_t now = PerformanceCounter();
    ASSERT_GE(now, previous);
    previous = now;
  }
  // A sleep never ends early, so at least about its length must have elapsed;
  // a counter in other units than the frequency claims would fail this.
  int64_t start = PerformanceCounter();
  SleepMilliseconds(50);
  int64_t elapsed = PerformanceCounter() - start;
  EXPECT_GE(elapsed, frequency * 40 / 1000);
  EXPECT_LT(elapsed, frequency * 60);
}

void SetTz(const char* value) {
#ifdef _WIN32
  _putenv_s("TZ", value != nullptr ? value : "");
#else
  if (value != nullptr) {
    setenv("TZ", value, 1);
  } else {
    unsetenv("TZ");
  }
#endif
}

// The zone is read afresh, so a changed TZ shows at the next call.
TEST(ClockTest, TimeZoneFollowsTheRuntimesTz) {
  const char* old = std::getenv("TZ");
  std::string saved = old != nullptr ? old : "";

  SetTz("JST-9");
  RuntimeTimeZone tokyo = CurrentTimeZone();
  EXPECT_EQ(tokyo.minutes_west, -540);
  EXPECT_EQ(tokyo.dst_flag, 0);

  SetTz("EST5EDT");
  EXPECT_EQ(CurrentTimeZone().minutes_west, 300);

  SetTz("UTC0");
  RuntimeTimeZone utc = CurrentTimeZone();
  EXPECT_EQ(utc.minutes_west, 0);
  EXPECT_EQ(utc.dst_flag, 0);

  SetTz(old != nullptr ? saved.c_str() : nullptr);
  CurrentTimeZone();
}

}  // namespace
}  // namespace zelto::platform
