#include "selftest_rules.h"

#include <gtest/gtest.h>

#include "options.h"

namespace zelto::grab {
namespace {

TEST(SelfTestRulesTest, OnlySelectsInTableOrderAndRejectsUnknownNames) {
  const std::vector<std::string> all = {"object", "queue", "settings"};
  std::string error;
  EXPECT_EQ(SelectChecks(all, {}, &error), all);
  EXPECT_EQ(SelectChecks(all, {"settings", "object"}, &error),
            (std::vector<std::string>{"object", "settings"}));
  EXPECT_TRUE(SelectChecks(all, {"queue", "queues"}, &error).empty());
  EXPECT_NE(error.find("'queues'"), std::string::npos) << error;
}

// Anything selftest writes must stay out of the user's key.
TEST(SelfTestRulesTest, TheSelfTestKeyIsASiblingOfTheUsersKey) {
  EXPECT_EQ(SelfTestHostKey("Software\\Zelto\\zeltograb\\"),
            "Software\\Zelto\\zeltograb-selftest\\");
  EXPECT_EQ(SelfTestHostKey("Software\\Me"), "Software\\Me-selftest\\");
  const std::string user = "Software\\Movandi\\";
  EXPECT_NE(SelfTestHostKey(user).rfind(user, 0), 0u);
}

TEST(SelfTestRulesTest, ResultLinesLineUp) {
  EXPECT_EQ(ResultLine("queue", CheckOk("4 buffers")), "ok    queue                 4 buffers");
  EXPECT_EQ(ResultLine("region", CheckFail("x")).substr(0, 6), "FAIL  ");
  EXPECT_EQ(ResultLine("adjustments", CheckSkip("")), "skip  adjustments");
}

// Frames at `hz` numbered from `first`, every `step`-th source frame delivered.
std::vector<ObservedFrame> Frames(int count, double hz, uint32_t step = 1, bool numbered = true) {
  std::vector<ObservedFrame> frames;
  const int64_t start = 1'700'000'000'000'000;
  for (int i = 0; i < count; ++i) {
    ObservedFrame f;
    const uint32_t number = 100 + static_cast<uint32_t>(i) * step;
    f.stamp_us = start + static_cast<int64_t>(number * 1e6 / hz);
    f.received_us = f.stamp_us + 2000;
    if (numbered) f.first_line = f.last_line = number;
    frames.push_back(f);
  }
  return frames;
}

TEST(SelfTestRulesTest, TheSourceRateCountsDroppedFramesByTheirNumbers) {
  EXPECT_EQ(JudgeFrameRate(Frames(30, 60), 60, 0.1).outcome, CheckOutcome::kOk);
  // Every other frame lost on the way: the source still runs at 60.
  EXPECT_EQ(JudgeFrameRate(Frames(30, 60, 2), 60, 0.1).outcome, CheckOutcome::kOk);
  // Without numbers the delivered rate is what can be measured.
  EXPECT_EQ(JudgeFrameRate(Frames(30, 60, 2, false), 60, 0.1).outcome, CheckOutcome::kFail);
  EXPECT_EQ(JudgeFrameRate(Frames(30, 60, 1, false), 60, 0.1).outcome, CheckOutcome::kOk);
}

TEST(SelfTestRulesTest, ARateOutsideTheToleranceOrTooFewFramesFail) {
  EXPECT_EQ(JudgeFrameRate(Frames(30, 50), 60, 0.1).outcome, CheckOutcome::kFail);
  EXPECT_EQ(JudgeFrameRate(Frames(30, 66.5), 60, 0.1).outcome, CheckOutcome::kFail);
  EXPECT_EQ(JudgeFrameRate(Frames(30, 59.94), 59, 0.1).outcome, CheckOutcome::kOk);
  EXPECT_EQ(JudgeFrameRate(Frames(2, 60), 60, 0.1).outcome, CheckOutcome::kFail);
  EXPECT_EQ(JudgeFrameRate(Frames(30, 60), 0, 0.1).outcome, CheckOutcome::kFail);
}

TEST(SelfTestRulesTest, StampsRiseStrictlyNearTheWallClockAfterTheOffset) {
  std::vector<ObservedFrame> frames = Frames(10, 60);
  EXPECT_EQ(JudgeTimeStamps(frames, 0, 1'000'000).outcome, CheckOutcome::kOk);
  std::vector<ObservedFrame> repeated = frames;
  repeated[5].stamp_us = repeated[4].stamp_us;
  CheckResult r = JudgeTimeStamps(repeated, 0, 1'000'000);
  EXPECT_EQ(r.outcome, CheckOutcome::kFail);
  EXPECT_NE(r.detail.find("frame 5"), std::string::npos) << r.detail;
  // An hour's time offset moves every stamp; taken off, they are on time.
  std::vector<ObservedFrame> shifted = frames;
  for (ObservedFrame& f : shifted) f.stamp_us += 3'600'000'000;
  EXPECT_EQ(JudgeTimeStamps(shifted, 0, 1'000'000).outcome, CheckOutcome::kFail);
  EXPECT_EQ(JudgeTimeStamps(shifted, 3'600'000'000, 1'000'000).outcome, CheckOutcome::kOk);
  EXPECT_EQ(JudgeTimeStamps({}, 0, 1'000'000).outcome, CheckOutcome::kFail);
}

TEST(SelfTestRulesTest, TornOrReorderedFramesFailAndUncodedPicturesSkip) {
  std::vector<ObservedFrame> frames = Frames(5, 60);
  EXPECT_EQ(JudgeTearing(frames).outcome, CheckOutcome::kOk);
  std::vector<ObservedFrame> torn = frames;
  torn[2].first_line = *torn[2].last_line + 1;
  EXPECT_EQ(JudgeTearing(torn).outcome, CheckOutcome::kFail);
  std::vector<ObservedFrame> backwards = frames;
  backwards[3].first_line = backwards[3].last_line = 50;
  EXPECT_EQ(JudgeTearing(backwards).outcome, CheckOutcome::kFail);
  EXPECT_EQ(JudgeTearing(Frames(5, 60, 1, false)).outcome, CheckOutcome::kSkip);
  // A time code over the first line's code: nothing to compare.
  std::vector<ObservedFrame> timecoded = frames;
  for (ObservedFrame& f : timecoded) f.first_line.reset();
  EXPECT_EQ(JudgeTearing(timecoded).outcome, CheckOutcome::kSkip);
}

TEST(SelfTestOptionsTest, ListOnlyAndTheCommonOptions) {
  ParseResult r = ParseCommandLine({"selftest", "--only", "queue", "--only", "region", "--sim",
                                    "pacing=free", "--key", "Software\\Me"},
                                   true, true);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.command, Command::kSelfTest);
  EXPECT_EQ(r.options.selftest_only, (std::vector<std::string>{"queue", "region"}));
  EXPECT_FALSE(r.options.selftest_list);
  EXPECT_EQ(r.options.key, "Software\\Me\\");
  EXPECT_TRUE(ParseCommandLine({"selftest", "--list"}, true, true).options.selftest_list);
  EXPECT_FALSE(ParseCommandLine({"selftest", "--only"}, true, true).ok);
  // Grab's options and the time source values are not selftest's.
  EXPECT_FALSE(ParseCommandLine({"selftest", "--frames", "3"}, true, true).ok);
  EXPECT_FALSE(ParseCommandLine({"selftest", "--time-offset", "3"}, true, true).ok);
  EXPECT_FALSE(ParseCommandLine({"grab", "--list"}, true, true).ok);
  EXPECT_NE(Usage(Command::kSelfTest).find("--only NAME"), std::string::npos);
}

}  // namespace
}  // namespace zelto::grab
