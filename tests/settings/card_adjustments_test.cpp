// The card's adjustment list against ZeltoSim: entries, ranges and host words,
// what each adjustment reads, writes and persists, and the position arithmetic
// on a real timing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/utf_convert.h"
#include "card/zelto_rgb_card.h"
#include "geometry/registry_layout.h"
#include "geometry/registry_values.h"
#include "platform/registry.h"
#include "sim_card.h"

namespace zelto {
namespace {

using ::testing::ElementsAre;
using testing::SimCard;
using testing::TraceCapture;

class AdjustmentsCard : public CZeltoRGBCard {
 public:
  using CZeltoRGBCard::CZeltoRGBCard;
  using CZeltoRGBCard::Geometry;
  using CZeltoRGBCard::LoadingSettings;
  using CZeltoRGBCard::UserSettingsKey;

  CaptureParams DriverHolds() {
    CaptureParams p{};
    p.Size = kCaptureParamsSize;
    p.Flags = kFlagsTimingAndPositions;
    Driver().RGBCaptureGetParameters(Channel.handle(), &p, kQueryCurrent);
    return p;
  }
};

constexpr uint32_t kSetEntry = static_cast<uint32_t>(DriverEntry::kRGBCaptureSetParameters);
constexpr uint32_t kGetEntry = static_cast<uint32_t>(DriverEntry::kRGBCaptureGetParameters);

// Ids of the six in list order, all fills succeeding.
constexpr int32_t kContrastId = 0, kBrightnessId = 2, kBlackLevelId = 4, kPhaseId = 6,
                  kHorizontalId = 8, kVerticalId = 10;

struct Listed {
  int32_t id;
  std::string name;
  int32_t min, max;
  friend bool operator==(const Listed&, const Listed&) = default;
  friend std::ostream& operator<<(std::ostream& os, const Listed& l) {
    return os << l.id << " " << l.name << " " << l.min << ".." << l.max;
  }
};

std::vector<Listed> List(const CAdjustmentSupport& list) {
  std::vector<Listed> out;
  for (const AdjustmentEntry& e : list.adjustments())
    out.push_back({e.Id, Utf16ToUtf8(e.Name), e.IntMin, e.IntMax});
  return out;
}

class CardAdjustmentsTest : public ::testing::Test {
 protected:
  CardAdjustmentsTest() { sim_.Configure("pacing=free"); }

  // The parameter calls since the log was cleared: entry, Flags and query.
  std::vector<std::array<uint32_t, 3>> ParameterCalls() {
    std::vector<std::array<uint32_t, 3>> calls;
    for (const ZeltoSimCall& c : sim_.CallLog())
      if (c.entry == kSetEntry || c.entry == kGetEntry) calls.push_back({c.entry, c.arg, c.query});
    return calls;
  }
  bool Stored(const AdjustmentsCard& card, const char* name, int32_t* value) {
    return testing::RegistryDword(platform::RegistryRoot::kCurrentUser, card.UserSettingsKey, name,
                                  value);
  }

  SimCard sim_{ZELTOSIM_PATH};
  TraceCapture traces_;
};

// 1024x768@60: porches 24 / 160, sync 136; vertically sync 6, back porch 29.
TEST_F(CardAdjustmentsTest, ListsSixWithTheDriversRangesAndHostWords) {
  AdjustmentsCard card(sim_.host_key());
  EXPECT_EQ(card.GetAdjustmentCount(), 0);
  ASSERT_TRUE(card.FillSettings());
  EXPECT_THAT(List(card),
              ElementsAre(Listed{0, "Contrast", 0, 255}, Listed{2, "Brightness", -128, 127},
                          Listed{4, "BlackLevel", 8, 120}, Listed{6, "Phase", 0, 31},
                          Listed{8, "Horizontal Position", 0, 1024 + 24 + 296},
                          Listed{10, "Vertical Position", 0, 768 + 31 + 4}));
  for (const AdjustmentEntry& e : card.adjustments()) {
    EXPECT_EQ(e.IsInteger, 1);
    EXPECT_EQ(e.RealMin, 0.0);
    EXPECT_EQ(e.RealMax, 0.0);
    EXPECT_EQ((std::array<int32_t, 4>{e.HostWordA, e.HostWordB, e.HostWordC, e.HostWordD}),
              (std::array<int32_t, 4>{0, 1, 0, 0}));
  }
  EXPECT_EQ(card.GetAdjustmentInfo(6), nullptr);
  EXPECT_EQ(card.GetAdjustmentInfo(-1), nullptr);

  // The values the channel opened with, in the host's scale.
  std::vector<int32_t> values;
  for (int32_t id : {0, 2, 4, 6, 8, 10}) {
    int32_t v = -1;
    card.GetIntegerValue(id, &v);
    values.push_back(v);
  }
  EXPECT_THAT(values, ElementsAre(128, 0, 64, 16, 296, 35));
}

// Only the integer calls do anything; an unknown id reads 0 and sets nothing.
TEST_F(CardAdjustmentsTest, RealAuxAndTriggerAreInertAndUnknownIdsReadZero) {
  AdjustmentsCard card(sim_.host_key());
  card.FillAdjustments();
  sim_.ClearCallLog();
  for (int32_t id : {kContrastId, kHorizontalId, 3, 12}) {
    double real = 7.5;
    card.GetRealValue(id, &real);
    EXPECT_EQ(real, 0.0);
    card.SetRealValue(id, 3.0);
    int32_t aux = 7;
    card.GetAuxValue(id, &aux);
    EXPECT_EQ(aux, 0);
    card.SetAuxValue(id, 3);
    card.Trigger(id);
  }
  EXPECT_TRUE(ParameterCalls().empty());
  int32_t value = 7;
  card.GetIntegerValue(3, &value);
  EXPECT_EQ(value, 0);
  card.SetIntegerValue(12, 50);
  EXPECT_TRUE(ParameterCalls().empty());
}

// The driver record field, Flags and query of each access; values go out
// unchecked and are persisted even when the driver refuses them.
TEST_F(CardAdjustmentsTest, FrontEndAccessesTheirFieldAndPersistWhateverTheDriverSaid) {
  AdjustmentsCard card(sim_.host_key());
  card.FillAdjustments();
  struct Case {
    int32_t id;
    uint32_t flags, query;
    const char* name;
    int32_t value;
  };
  const Case cases[] = {{kContrastId, kFlagContrast, 0, kContrastValue, 200},
                        {kBrightnessId, kFlagBrightness, 0, kBrightnessValue, -20},
                        {kBlackLevelId, kFlagBlackLevel, kQueryCapture, kBlackLevelValue, 100},
                        {kPhaseId, kFlagPhase, 0, kPhaseValue, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim_.ClearCallLog();
    card.SetIntegerValue(c.id, c.value);
    int32_t read = 0;
    card.GetIntegerValue(c.id, &read);
    EXPECT_EQ(read, c.value);
    EXPECT_THAT(ParameterCalls(),
                ElementsAre(std::array<uint32_t, 3>{kSetEntry, c.flags, c.query},
                            std::array<uint32_t, 3>{kGetEntry, c.flags, c.query}));
    int32_t stored = 0;
    EXPECT_TRUE(Stored(card, c.name, &stored));
    EXPECT_EQ(stored, c.value);

    // Out of ZeltoSim's range: sent as given, refused there, stored anyway.
    card.SetIntegerValue(c.id, 1000);
    ASSERT_GE(sim_.CallLog().size(), 1u);
    const ZeltoSimCall refused = sim_.CallLog()[2];
    EXPECT_EQ(refused.entry, kSetEntry);
    EXPECT_GT(refused.result, kRgbErrorDriverNotFound);
    card.GetIntegerValue(c.id, &read);
    EXPECT_EQ(read, c.value);
    EXPECT_TRUE(Stored(card, c.name, &stored));
    EXPECT_EQ(stored, 1000);
  }
}

TEST_F(CardAdjustmentsTest, WritesWhileLoadingReachTheDriverButAreNotStored) {
  AdjustmentsCard card(sim_.host_key());
  card.FillAdjustments();
  card.LoadingSettings = true;
  card.SetIntegerValue(kBlackLevelId, 90);
  card.SetIntegerValue(kHorizontalId, 290);
  card.LoadingSettings = false;
  int32_t value = 0;
  card.GetIntegerValue(kBlackLevelId, &value);
  EXPECT_EQ(value, 90);
  EXPECT_EQ(card.DriverHolds().HorPosition, -6);
  EXPECT_FALSE(Stored(card, kBlackLevelValue, &value));
  EXPECT_FALSE(Stored(card, kHorizontalPositionValue, &value));
}

// Without a signal every read fails: the front end reads 0 and the positions
// leave the list.
TEST_F(CardAdjustmentsTest, FailedReadsGiveZeroAndDropThePositions) {
  AdjustmentsCard card(sim_.host_key());
  card.FillAdjustments();
  sim_.InjectError("RGBCaptureGetParameters", kRgbErrorInvalidHrgbcapture, 0);
  for (int32_t id :
       {kContrastId, kBrightnessId, kBlackLevelId, kPhaseId, kHorizontalId, kVerticalId}) {
    int32_t value = 7;
    card.GetIntegerValue(id, &value);
    EXPECT_EQ(value, 0) << id;
  }
  EXPECT_TRUE(traces_.HasTrace("GetHorizontalPositionValue() - error"));
  EXPECT_TRUE(traces_.HasTrace("GetVerticalPositionValue() - error"));
  EXPECT_FALSE(card.FillAdjustments());
  EXPECT_EQ(card.GetAdjustmentCount(), 4);
  EXPECT_TRUE(traces_.HasTrace("FillHorizontalPositionData() - error"));
}

// The ninth read of a rebuild is the horizontal position's: it alone fails and
// Vertical Position takes its id.
TEST_F(CardAdjustmentsTest, AFailedHorizontalFillRenumbersTheVertical) {
  AdjustmentsCard card(sim_.host_key());
  sim_.InjectError("RGBCaptureGetParameters", kRgbErrorInvalidHrgbcapture, 9);
  EXPECT_TRUE(card.FillAdjustments());
  ASSERT_EQ(card.GetAdjustmentCount(), 5);
  EXPECT_EQ(List(card).back(), (Listed{8, "Vertical Position", 0, 803}));
  int32_t value = 0;
  card.GetIntegerValue(8, &value);
  EXPECT_EQ(value, 35);
}

// The worked example on a ZeltoSim timing that has it: 640x480 with front porch
// 8, sync 32, back porch 48; vertically sync 2, back porch 33.
TEST_F(CardAdjustmentsTest, WorkedExampleOnARealTiming) {
  sim_.Configure("mode=640x480@60;blanking=8,32,48,10,2,33");
  AdjustmentsCard card(sim_.host_key());
  card.FillAdjustments();
  const std::vector<Listed> list = List(card);
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(list[4], (Listed{8, "Horizontal Position", 0, 728}));
  EXPECT_EQ(list[5], (Listed{10, "Vertical Position", 0, 515}));

  sim_.ClearCallLog();
  card.SetIntegerValue(kHorizontalId, 70);
  card.SetIntegerValue(kVerticalId, 27);
  // Each a read and a write back of the whole record.
  EXPECT_THAT(ParameterCalls(),
              ElementsAre(std::array<uint32_t, 3>{kGetEntry, kFlagsTimingAndPositions, 0},
                          std::array<uint32_t, 3>{kSetEntry, kFlagsTimingAndPositions, 0},
                          std::array<uint32_t, 3>{kGetEntry, kFlagsTimingAndPositions, 0},
                          std::array<uint32_t, 3>{kSetEntry, kFlagsTimingAndPositions, 0}));
  EXPECT_EQ(card.DriverHolds().HorPosition, -10);
  EXPECT_EQ(card.DriverHolds().VerPosition, -8);
  int32_t value = 0;
  card.GetIntegerValue(kHorizontalId, &value);
  EXPECT_EQ(value, 70);
  card.GetIntegerValue(kVerticalId, &value);
  EXPECT_EQ(value, 27);
  EXPECT_TRUE(Stored(card, kHorizontalPositionValue, &value));
  EXPECT_EQ(value, 70);
  EXPECT_TRUE(Stored(card, kVerticalPositionValue, &value));
  EXPECT_EQ(value, 27);

  // Beyond the listed range: passed on as the host gave it (ZeltoSim clamps).
  card.SetIntegerValue(kHorizontalId, 900);
  EXPECT_EQ(card.DriverHolds().HorPosition, 8);
  EXPECT_TRUE(Stored(card, kHorizontalPositionValue, &value));
  EXPECT_EQ(value, 900);
}

// A position whose read or write fails changes nothing and stores nothing.
TEST_F(CardAdjustmentsTest, AFailedPositionWriteIsNotStored) {
  AdjustmentsCard card(sim_.host_key());
  card.FillAdjustments();
  sim_.InjectError("RGBCaptureSetParameters", kRgbErrorInvalidSize, 1);
  card.SetIntegerValue(kHorizontalId, 300);
  EXPECT_TRUE(
      traces_.HasTrace("SetHorizontalPositionValue() - error in RGBCaptureSetParameters()"));
  sim_.InjectError("RGBCaptureGetParameters", kRgbErrorInvalidSize, 1);
  sim_.ClearCallLog();
  card.SetIntegerValue(kVerticalId, 40);
  EXPECT_TRUE(traces_.HasTrace("SetVerticalPositionValue() - error in RGBCaptureGetParameters()"));
  EXPECT_THAT(ParameterCalls(),
              ElementsAre(std::array<uint32_t, 3>{kGetEntry, kFlagsTimingAndPositions, 0}));
  int32_t value = 0;
  EXPECT_FALSE(Stored(card, kHorizontalPositionValue, &value));
  EXPECT_FALSE(Stored(card, kVerticalPositionValue, &value));
  EXPECT_EQ(card.DriverHolds().HorPosition, 0);
  EXPECT_EQ(card.DriverHolds().VerPosition, 0);
}

// A position counts from the timing the driver has now, not from the one of the
// last rebuild: after a mode change the same host value is the same place
// relative to the earliest start.
TEST_F(CardAdjustmentsTest, APositionAfterAModeChangeUsesTheNewTiming) {
  AdjustmentsCard card(sim_.host_key());
  card.FillAdjustments();         // 1024x768@60: horizontal base -296
  sim_.SetMode(0, "800x600@60");  // back porch 88, sync 128: base -216
  card.SetIntegerValue(kHorizontalId, 216);
  EXPECT_EQ(card.DriverHolds().HorPosition, 0);
  int32_t value = 0;
  card.GetIntegerValue(kHorizontalId, &value);
  EXPECT_EQ(value, 216);
}

// Start-up applies the stored front-end values in list order; the positions wait
// for a mode change.
TEST_F(CardAdjustmentsTest, RestartAppliesTheStoredFrontEnd) {
  {
    AdjustmentsCard first(sim_.host_key());
    first.FillAdjustments();
    first.SetIntegerValue(kContrastId, 150);
    first.SetIntegerValue(kBrightnessId, 12);
    first.SetIntegerValue(kBlackLevelId, 70);
    first.SetIntegerValue(kPhaseId, 20);
    first.SetIntegerValue(kHorizontalId, 290);
  }
  sim_.ClearCallLog();
  AdjustmentsCard card(sim_.host_key());
  std::vector<uint32_t> front_end_writes;
  for (const ZeltoSimCall& c : sim_.CallLog()) {
    if (c.entry == kSetEntry && (c.arg == kFlagContrast || c.arg == kFlagBrightness ||
                                 c.arg == kFlagBlackLevel || c.arg == kFlagPhase))
      front_end_writes.push_back(c.arg);
  }
  EXPECT_THAT(front_end_writes,
              ElementsAre(kFlagContrast, kFlagBrightness, kFlagBlackLevel, kFlagPhase));
  card.FillAdjustments();
  std::vector<int32_t> values;
  for (int32_t id : {0, 2, 4, 6, 8}) {
    int32_t v = -1;
    card.GetIntegerValue(id, &v);
    values.push_back(v);
  }
  EXPECT_THAT(values, ElementsAre(150, 12, 70, 20, 296));
}

// A host's position written before the first mode change is newer than the saved
// one waiting for it: the mode change must not put the saved one back.
TEST_F(CardAdjustmentsTest, AHostPositionSupersedesTheSavedOneStillPending) {
  {
    AdjustmentsCard first(sim_.host_key());
    first.FillAdjustments();
    first.SetIntegerValue(kHorizontalId, 290);
    first.SetIntegerValue(kVerticalId, 30);
  }
  AdjustmentsCard card(sim_.host_key());
  card.FillAdjustments();
  ASSERT_TRUE(card.Geometry.HorPositionPending);
  ASSERT_TRUE(card.Geometry.VerPositionPending);
  card.SetIntegerValue(kHorizontalId, 300);
  EXPECT_FALSE(card.Geometry.HorPositionPending);
  EXPECT_TRUE(card.Geometry.VerPositionPending);
  sim_.InjectError("RGBCaptureSetParameters", kRgbErrorInvalidSize, 1);
  card.SetIntegerValue(kVerticalId, 20);  // refused: the saved one still waits
  EXPECT_TRUE(card.Geometry.VerPositionPending);
}

}  // namespace
}  // namespace zelto
