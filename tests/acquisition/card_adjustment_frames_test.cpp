// The adjustments in delivered frames: a change through the card's list shows in
// the next frames as ZeltoSim documents it, saved positions reach the picture at
// the first mode change after a restart, and host position writes during a grab
// with mode changes leave the driver's record whole (run under TSan).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "capture_fixture.h"
#include "geometry/registry_layout.h"
#include "sim_card.h"
#include "test_support.h"
#include "zeltosim_pattern.h"

namespace zelto {
namespace {

using sim::PixelLayout;
using sim::Rgb;
using ::testing::ElementsAre;
using testing::SimCard;
using testing::WaitUntil;

constexpr int32_t kBrightnessId = 2, kHorizontalId = 8, kVerticalId = 10;
constexpr uint32_t kWidth = 1024, kHeight = 768;
// 1024x768@60 in the host's scale: driver position 0 is host 296 and 35.
constexpr int32_t kHorizontalAtZero = 296, kVerticalAtZero = 35;

class AdjustmentFrameCard : public CaptureCard {
 public:
  using CaptureCard::CaptureCard;
  using CZeltoRGBCard::Geometry;
  using CZeltoRGBCard::UserSettingsKey;
};

// The colour frame `frame` should show at (x, y).
using Picture = std::function<Rgb(uint32_t x, uint32_t y, uint32_t frame)>;

Rgb Pattern(int64_t x, int64_t y, uint32_t frame) {
  if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return {0, 0, 0};
  return sim::PatternColour(static_cast<uint32_t>(x), static_cast<uint32_t>(y), frame, kWidth,
                            kHeight);
}

// The 32-bit 1024 x 768 frame shows `picture` (sampled; frame codes skipped).
bool Shows(const std::vector<uint8_t>& data, const Picture& picture) {
  uint32_t frame = 0;
  if (!sim::DecodeFrameNumber(&data[(kHeight - 1) * kWidth * 4], PixelLayout::kBgrx32, &frame))
    return false;
  for (uint32_t y = 0; y < kHeight; y += 3) {
    for (uint32_t x = y == 0 ? sim::kFrameCodePixels : 0; x < kWidth; x += 3) {
      if (sim::LoadPixel(&data[(size_t{y} * kWidth + x) * 4], PixelLayout::kBgrx32) !=
          picture(x, y, frame))
        return false;
    }
  }
  return true;
}

// Grabs on `card` with three buffers armed; Next() hands out one frame at a time.
class Grab {
 public:
  explicit Grab(CZeltoRGBCard& card) : card_(card) {
    card_.AllocateBuffers(4);
    card_.EnableGrab();
    for (int i = 0; i < 3; ++i) card_.ArmBuffer();
  }
  ~Grab() {
    watchdog_.Stop();
    card_.DisableGrab();
  }
  std::vector<uint8_t> Next() {
    bool waited = false;
    ImageRecord* record = card_.GetFrame(&waited);
    if (record == nullptr || watchdog_.fired()) return {};
    const auto* data = static_cast<const uint8_t*>(record->Data);
    std::vector<uint8_t> copy(data, data + kWidth * kHeight * 4);
    card_.ReleaseCurrentFrame();
    card_.ArmBuffer();
    return copy;
  }
  // Frames until one shows `picture` (at most `limit`); true when one did.
  bool Until(const Picture& picture, int limit = 50) {
    for (int i = 0; i < limit; ++i) {
      std::vector<uint8_t> frame = Next();
      if (frame.empty()) return false;
      if (Shows(frame, picture)) return true;
    }
    return false;
  }

 private:
  CZeltoRGBCard& card_;
  Watchdog watchdog_{card_, 60s};
};

class AdjustmentFramesTest : public ::testing::Test {
 protected:
  AdjustmentFramesTest() { sim_.Configure("pacing=free"); }

  SimCard sim_{ZELTOSIM_PATH};
  testing::TraceCapture traces_;
};

const Picture kBare = [](uint32_t x, uint32_t y, uint32_t f) { return Pattern(x, y, f); };

TEST_F(AdjustmentFramesTest, BrightnessBrightensTheNextFramesByItsValue) {
  AdjustmentFrameCard card(sim_.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  card.FillAdjustments();
  Grab grab(card);
  ASSERT_TRUE(grab.Until(kBare, 1));
  card.SetIntegerValue(kBrightnessId, 40);
  sim::FrontEnd brighter;
  brighter.brightness = 40;
  const Picture adjusted = [&](uint32_t x, uint32_t y, uint32_t f) {
    return sim::AdjustColour(Pattern(x, y, f), brighter);
  };
  ASSERT_TRUE(grab.Until(adjusted));
  // Black bars read 40 from now on.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Shows(grab.Next(), adjusted));
}

TEST_F(AdjustmentFramesTest, HorizontalPositionShiftsThePictureByItsChange) {
  AdjustmentFrameCard card(sim_.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  card.FillAdjustments();
  Grab grab(card);
  ASSERT_TRUE(grab.Until(kBare, 1));
  // A later capture start: the picture moves 6 pixels left, black comes in on
  // the right.
  card.SetIntegerValue(kHorizontalId, kHorizontalAtZero + 6);
  ASSERT_TRUE(grab.Until([](uint32_t x, uint32_t y, uint32_t f) { return Pattern(x + 6, y, f); }));
  card.SetIntegerValue(kVerticalId, kVerticalAtZero - 10);
  ASSERT_TRUE(grab.Until(
      [](uint32_t x, uint32_t y, uint32_t f) { return Pattern(x + 6, int64_t{y} - 10, f); }));
}

// The saved positions stay pending through start-up and are written at the new
// timing's bases when the first mode change comes.
TEST_F(AdjustmentFramesTest, RestartAppliesSavedPositionsAtTheFirstModeChange) {
  {
    AdjustmentFrameCard first(sim_.host_key());
    first.FillAdjustments();
    first.SetIntegerValue(kHorizontalId, kHorizontalAtZero - 6);
    first.SetIntegerValue(kVerticalId, kVerticalAtZero - 5);
  }
  AdjustmentFrameCard card(sim_.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  EXPECT_TRUE(card.Geometry.HorPositionPending);
  EXPECT_TRUE(card.Geometry.VerPositionPending);
  Grab grab(card);
  ASSERT_TRUE(grab.Until(kBare, 1));

  sim_.ClearCallLog();
  sim_.SetMode(0, "1024x768@60");
  ASSERT_TRUE(grab.Until([](uint32_t x, uint32_t y, uint32_t f) {
    return Pattern(int64_t{x} - 6, int64_t{y} - 5, f);
  }));
  EXPECT_FALSE(card.Geometry.HorPositionPending);
  EXPECT_FALSE(card.Geometry.VerPositionPending);

  // After the mode change's own write of the timing: per position the offset
  // minimum, the read and the write back.
  constexpr uint32_t kGet = static_cast<uint32_t>(DriverEntry::kRGBCaptureGetParameters);
  constexpr uint32_t kSet = static_cast<uint32_t>(DriverEntry::kRGBCaptureSetParameters);
  std::vector<std::array<uint32_t, 2>> calls;
  bool after_timing = false;
  for (const ZeltoSimCall& c : sim_.CallLog()) {
    if (c.entry == kSet && c.query == kQueryCapture && c.arg != kFlagsTimingAndPositions)
      after_timing = true;
    if (after_timing && c.arg == kFlagsTimingAndPositions && c.query == kQueryCurrent)
      calls.push_back({c.entry, c.arg});
  }
  const std::array<uint32_t, 2> get = {kGet, kFlagsTimingAndPositions};
  const std::array<uint32_t, 2> set = {kSet, kFlagsTimingAndPositions};
  EXPECT_THAT(calls, ElementsAre(get, get, set, get, get, set));

  int32_t stored = 0;
  EXPECT_TRUE(testing::RegistryDword(platform::RegistryRoot::kCurrentUser, card.UserSettingsKey,
                                     kHorizontalPositionValue, &stored));
  EXPECT_EQ(stored, kHorizontalAtZero - 6);
}

// The host writes positions while ZeltoSim switches modes under the capture
// thread, which writes the timing and its own parameters back; frames keep
// coming and the last value written is what the driver holds.
TEST_F(AdjustmentFramesTest, HostPositionWritesDuringModeChanges) {
  AdjustmentFrameCard card(sim_.host_key());
  card.UseFormat(PixelLayout::kBgrx32);
  card.FillAdjustments();
  Grab grab(card);
  std::atomic<int> frames{0};
  std::atomic<bool> done{false};
  std::thread host([&] {
    for (int i = 0; i < 60; ++i) {
      card.SetIntegerValue(kHorizontalId, kHorizontalAtZero + i % 7);
      card.SetIntegerValue(kVerticalId, kVerticalAtZero - i % 5);
      int32_t value = 0;
      card.GetIntegerValue(kHorizontalId, &value);
      const int seen = frames.load();
      if (!WaitUntil([&] { return frames.load() > seen || done.load(); })) break;
    }
  });
  std::thread modes([&] {
    const char* names[] = {"800x600@60", "1024x768@60"};
    for (int i = 0; i < 10; ++i) {
      sim_.SetMode(0, names[i % 2]);
      const int seen = frames.load();
      if (!WaitUntil([&] { return frames.load() > seen + 2 || done.load(); })) break;
    }
  });
  std::thread stop([&] {
    host.join();
    modes.join();
    done = true;
  });
  while (!done) {
    if (grab.Next().empty()) break;
    ++frames;
  }
  done = true;
  stop.join();
  EXPECT_GE(frames.load(), 60);

  // Back at 1024x768: the host's scale is that of the mode's timing.
  card.SetIntegerValue(kHorizontalId, kHorizontalAtZero + 3);
  int32_t value = 0;
  card.GetIntegerValue(kHorizontalId, &value);
  EXPECT_EQ(value, kHorizontalAtZero + 3);
}

}  // namespace
}  // namespace zelto
