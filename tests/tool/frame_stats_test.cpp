#include "frame_stats.h"

#include <gtest/gtest.h>

namespace zelto::grab {
namespace {

FrameSample At(int32_t s, uint16_t ms, uint16_t us, std::optional<uint32_t> n = std::nullopt) {
  FrameSample f;
  f.seconds = s;
  f.milliseconds = ms;
  f.microseconds = us;
  f.frame_number = n;
  return f;
}

TEST(FrameStatsTest, PercentileByNearestRank) {
  EXPECT_EQ(Percentile({}, 50), 0);
  EXPECT_EQ(Percentile({7}, 99), 7);
  EXPECT_EQ(Percentile({4, 1, 3, 2}, 50), 2);
  EXPECT_EQ(Percentile({4, 1, 3, 2}, 100), 4);
  EXPECT_EQ(Percentile({4, 1, 3, 2}, 0), 1);
  std::vector<double> hundred;
  for (int i = 100; i >= 1; --i) hundred.push_back(i);
  EXPECT_EQ(Percentile(hundred, 99), 99);
  EXPECT_EQ(Percentile(hundred, 50), 50);
}

TEST(FrameStatsTest, DroppedCountsGapsInFrameNumbers) {
  EXPECT_EQ(DroppedFrames({}), 0);
  EXPECT_EQ(DroppedFrames({At(0, 0, 0, 5), At(0, 0, 0, 6), At(0, 0, 0, 9)}), 2);
  // Frames without a code are skipped, not counted as gaps.
  EXPECT_EQ(DroppedFrames({At(0, 0, 0, 1), At(0, 0, 0), At(0, 0, 0, 3)}), 1);
  // A count that restarts (channel reopened) is a new start.
  EXPECT_EQ(DroppedFrames({At(0, 0, 0, 100), At(0, 0, 0, 0), At(0, 0, 0, 2)}), 1);
  // No overflow at the top of the 32-bit range.
  EXPECT_EQ(DroppedFrames({At(0, 0, 0, 0), At(0, 0, 0, 0xFFFFFFFFu)}), 0xFFFFFFFEll);
}

TEST(FrameStatsTest, SummaryOfSixtyHertz) {
  std::vector<FrameSample> frames;
  // 61 frames 16.667 ms apart across a second boundary, the 30th one late.
  int64_t t = int64_t{1700000000} * 1000000 + 999000;
  for (uint32_t i = 0; i < 61; ++i) {
    int64_t when = t + i * 16667 + (i == 30 ? 5000 : 0);
    frames.push_back(At(static_cast<int32_t>(when / 1000000),
                        static_cast<uint16_t>(when / 1000 % 1000),
                        static_cast<uint16_t>(when % 1000), i));
  }
  FrameStatistics s = Summarise(frames);
  EXPECT_EQ(s.frames, 61);
  EXPECT_EQ(s.dropped, 0);
  EXPECT_NEAR(s.duration_s, 60 * 0.016667, 1e-9);
  EXPECT_NEAR(s.mean_fps, 60 / (60 * 0.016667), 1e-6);
  EXPECT_NEAR(s.interval_p50_ms, 16.667, 1e-9);
  EXPECT_NEAR(s.interval_p99_ms, 21.667, 1e-9);
}

TEST(FrameStatsTest, SummaryOfTooFewFrames) {
  EXPECT_EQ(Summarise({}).frames, 0);
  FrameStatistics one = Summarise({At(5, 0, 0, 1)});
  EXPECT_EQ(one.frames, 1);
  EXPECT_EQ(one.mean_fps, 0);
  // Two frames with one time stamp: no division by a zero span.
  FrameStatistics same = Summarise({At(5, 1, 2), At(5, 1, 2)});
  EXPECT_EQ(same.mean_fps, 0);
  EXPECT_EQ(same.interval_p50_ms, 0);
}

TEST(FrameStatsTest, CsvRows) {
  EXPECT_EQ(CsvHeader(),
            "index,seconds,milliseconds,microseconds,interval_ms,frame_number,time_code,ready\n");
  FrameSample first = At(1700000000, 999, 990, 41);
  FrameSample second = At(1700000001, 16, 657);
  first.ready = 3;
  EXPECT_EQ(CsvRow(0, first, nullptr), "0,1700000000,999,990,,41,,3\n");
  EXPECT_EQ(CsvRow(1, second, &first), "1,1700000001,16,657,16.667,,,\n");
}

}  // namespace
}  // namespace zelto::grab
