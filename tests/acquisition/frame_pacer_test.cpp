// The fixed-rate pacing arithmetic fed with recorded performance-counter
// readings: a 10 MHz counter (Windows' usual QPC frequency) and the 3.579545 MHz
// ACPI timer some machines report, at readings of machines that ran for weeks.
#include "acquisition/frame_pacer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace zelto {
namespace {

constexpr int64_t kQpc10MHz = 10'000'000;
constexpr int64_t kAcpiTimer = 3'579'545;
// 23 days of uptime at 10 MHz.
constexpr int64_t kWeeksUp = 19'872'000'000'000;

int64_t Ticks(int64_t milliseconds, int64_t frequency) { return milliseconds * frequency / 1000; }

// count x 1000 overflows 64 bits long before the counter does; the conversion
// must not.
TEST(FramePacerTest, CounterMillisecondsStayExactWhereTheProductWouldOverflow) {
  const int64_t near_end = std::numeric_limits<int64_t>::max() - 5;
  EXPECT_EQ(FramePacer::CounterMilliseconds(near_end, kQpc10MHz), 922'337'203'685'477);
  EXPECT_EQ(FramePacer::CounterMilliseconds(123'456'789'012, kAcpiTimer), 34'489'520);
  EXPECT_EQ(FramePacer::CounterMilliseconds(kWeeksUp, kQpc10MHz), 1'987'200'000);
  EXPECT_EQ(FramePacer::CounterMilliseconds(kWeeksUp, 0), 0);
}

TEST(FramePacerTest, RestartClampsTheRateToTheSourceAndSetsThePeriod) {
  FramePacer pacer;
  EXPECT_EQ(pacer.Restart(100, 60), 60);
  EXPECT_EQ(pacer.FramePeriod, 16);
  EXPECT_EQ(pacer.Restart(0, 60), 1);
  EXPECT_EQ(pacer.FramePeriod, 1000);
  EXPECT_EQ(pacer.Restart(10, 60), 10);
  EXPECT_EQ(pacer.FramePeriod, 100);
  EXPECT_TRUE(pacer.PacingRequested);
  EXPECT_FALSE(pacer.PacingArmed);

  // No mode known: rate 0, the pacing as it was.
  pacer.PacingRequested = false;
  EXPECT_EQ(pacer.Restart(10, 0), 0);
  EXPECT_EQ(pacer.FramePeriod, 100);
  EXPECT_FALSE(pacer.PacingRequested);
}

// 10 frames a second: 100 ms per pass until the first measurement, then 100 ms
// minus the measured frame wait, and no second shortening.
TEST(FramePacerTest, TheSecondWorkerMeasuresOnceAndShortensThePeriod) {
  for (int64_t frequency : {kQpc10MHz, kAcpiTimer}) {
    SCOPED_TRACE(frequency);
    FramePacer pacer;
    pacer.Restart(10, 60);
    const int64_t base = frequency == kQpc10MHz ? kWeeksUp : 123'456'789'012;

    // First worker: nothing armed yet, so nothing measured; it arms.
    pacer.BeginStep(base, frequency);
    pacer.FrameArrived(base + Ticks(40, frequency));
    EXPECT_EQ(pacer.FramePeriod, 100);
    EXPECT_TRUE(pacer.PacingArmed);
    EXPECT_FALSE(pacer.PacingRequested);

    // Second worker: its frame came 12 ms after its start.
    const int64_t start = base + Ticks(200, frequency);
    pacer.BeginStep(start, frequency);
    pacer.FrameArrived(start + Ticks(12, frequency) + 1);
    EXPECT_EQ(pacer.PacingDelay, 12);
    EXPECT_EQ(pacer.FramePeriod, 88);
    EXPECT_FALSE(pacer.PacingArmed);

    // Later workers leave the period alone.
    const int64_t later = base + Ticks(400, frequency);
    pacer.BeginStep(later, frequency);
    pacer.FrameArrived(later + Ticks(30, frequency));
    EXPECT_EQ(pacer.FramePeriod, 88);
  }
}

TEST(FramePacerTest, AWaitLongerThanThePeriodLeavesNoSleep) {
  FramePacer pacer;
  pacer.Restart(10, 60);
  pacer.BeginStep(kWeeksUp, kQpc10MHz);
  pacer.FrameArrived(kWeeksUp);  // arms
  pacer.BeginStep(kWeeksUp, kQpc10MHz);
  pacer.FrameArrived(kWeeksUp + Ticks(150, kQpc10MHz));
  EXPECT_EQ(pacer.PacingDelay, 150);
  EXPECT_EQ(pacer.FramePeriod, 0);
}

// A new rate in the middle of a measurement throws the measurement away: the
// next frame only arms, it does not shorten the new period.
TEST(FramePacerTest, RestartDuringAMeasurementStartsAfresh) {
  FramePacer pacer;
  pacer.Restart(10, 60);
  pacer.BeginStep(kWeeksUp, kQpc10MHz);
  pacer.FrameArrived(kWeeksUp);  // arms
  pacer.BeginStep(kWeeksUp, kQpc10MHz);
  pacer.Restart(20, 60);
  pacer.FrameArrived(kWeeksUp + Ticks(30, kQpc10MHz));
  EXPECT_EQ(pacer.FramePeriod, 50);
  EXPECT_EQ(pacer.PacingDelay, 0);
  EXPECT_TRUE(pacer.PacingArmed);
}

}  // namespace
}  // namespace zelto
