// The card's geometry against ZeltoSim: what SetROI, SetScaling, GetScaling and
// the frame rate send to the driver, what they keep and what they persist, as a
// list of contract edges.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

#include "base/text_exception.h"
#include "card/zelto_rgb_card.h"
#include "geometry/registry_layout.h"
#include "geometry/registry_values.h"
#include "platform/registry.h"
#include "sim_card.h"

namespace zelto {
namespace {

using testing::SimCard;
using testing::TraceCapture;

class GeometryCard : public CZeltoRGBCard {
 public:
  using CZeltoRGBCard::Channel;
  using CZeltoRGBCard::CZeltoRGBCard;
  using CZeltoRGBCard::Geometry;
  using CZeltoRGBCard::LoadingSettings;
  using CZeltoRGBCard::Pacer;
  using CZeltoRGBCard::UserSettingsKey;

  // The driver's crop window and output size as it holds them now.
  CaptureParams DriverHolds() {
    CaptureParams p{};
    p.Size = kCaptureParamsSize;
    p.Flags = kFlagTiming | kFlagScaling | kFlagSampleRate;
    Driver().RGBCaptureGetParameters(Channel.handle(), &p, kQueryCurrent);
    return p;
  }
};

struct Call {
  uint32_t entry;
  uint32_t arg;
  uint32_t query;
  bool operator==(const Call&) const = default;
};

void PrintTo(const Call& c, std::ostream* os) {
  *os << "{entry " << c.entry << ", arg 0x" << std::hex << c.arg << ", query 0x" << c.query << "}";
}

constexpr uint32_t E(DriverEntry e) { return static_cast<uint32_t>(e); }
constexpr uint32_t kGet = E(DriverEntry::kRGBCaptureGetParameters);
constexpr uint32_t kSet = E(DriverEntry::kRGBCaptureSetParameters);
constexpr uint32_t kDetect = E(DriverEntry::kRGBCaptureDetectVideoMode);

class CardGeometryTest : public ::testing::Test {
 protected:
  CardGeometryTest() { sim_.Configure("pacing=free"); }

  // The parameter calls since the log was last cleared.
  std::vector<Call> ParameterCalls() {
    std::vector<Call> calls;
    for (const ZeltoSimCall& c : sim_.CallLog()) {
      if (c.entry == kGet || c.entry == kSet || c.entry == kDetect) {
        calls.push_back({c.entry, c.arg, c.query});
      }
    }
    return calls;
  }

  bool Stored(const GeometryCard& card, const char* name, int32_t* value) {
    return testing::RegistryDword(platform::RegistryRoot::kCurrentUser, card.UserSettingsKey, name,
                                  value);
  }
  void Store(const char* name, int32_t value) {
    StoreDwordAt(sim_.base_key() + "\\0", name, value);
  }

  SimCard sim_{ZELTOSIM_PATH};
  TraceCapture traces_;
};

std::array<int32_t, 4> Roi(const GeometryCard& card) {
  std::array<int32_t, 4> r{};
  card.GetRoi(&r[0], &r[1], &r[2], &r[3]);
  return r;
}

std::array<int32_t, 4> Image(GeometryCard& card) {
  std::array<int32_t, 4> r{};
  card.GetImageGeometry(&r[0], &r[1], &r[2], &r[3]);
  return r;
}

// The crop is read back, detected, then the scaled size goes before the crop.
TEST_F(CardGeometryTest, SetRoiSendsScaledSizeThenTheAlignedCrop) {
  GeometryCard card(sim_.host_key());
  sim_.ClearCallLog();
  card.SetROI(639, 480, 2, 0);
  EXPECT_THAT(ParameterCalls(),
              ::testing::ElementsAre(Call{kGet, kFlagTiming, kQueryCapture}, Call{kDetect, 0, 0},
                                     Call{kSet, kFlagScaling, kQueryCapture},
                                     Call{kSet, kFlagTiming, kQueryCapture}));
  const CaptureParams held = card.DriverHolds();
  EXPECT_EQ(held.Timing.HorLeftBorder, 4u);
  EXPECT_EQ(held.Timing.HorAddrTime, 640u);
  EXPECT_EQ(held.Timing.HorRightBorder, 380u);
  EXPECT_EQ(held.Timing.VerTopBorder, 0u);
  EXPECT_EQ(held.Timing.VerAddrTime, 480u);
  EXPECT_EQ(held.Timing.VerBottomBorder, 288u);
  EXPECT_EQ(held.ScaledWidth, 640);
  EXPECT_EQ(held.ScaledHeight, 480);

  EXPECT_EQ(Roi(card), (std::array<int32_t, 4>{640, 480, 4, 0}));
  EXPECT_EQ(Image(card), (std::array<int32_t, 4>{640, 480, 4, 0}));
  EXPECT_EQ(card.Geometry.PendingGeometry, PendingGeometry::kRegion);
  EXPECT_TRUE(traces_.HasTrace("CZeltoRGBCard::SetROI"));
  int32_t v = -1;
  ASSERT_TRUE(Stored(card, kImageOffsetXValue, &v));
  EXPECT_EQ(v, 4);
  ASSERT_TRUE(Stored(card, kImageSizeXValue, &v));
  EXPECT_EQ(v, 640);
  ASSERT_TRUE(Stored(card, kImageSizeYValue, &v));
  EXPECT_EQ(v, 480);
  ASSERT_TRUE(Stored(card, kScalingModeValue, &v));
  EXPECT_EQ(v, 0);
}

TEST_F(CardGeometryTest, SetRoiWritesTheRegionEvenWhileLoading) {
  GeometryCard card(sim_.host_key());
  card.LoadingSettings = true;
  card.SetROI(100, 100, 1023, 767);
  int32_t v = -1;
  ASSERT_TRUE(Stored(card, kImageOffsetXValue, &v));
  EXPECT_EQ(v, 1020);
  ASSERT_TRUE(Stored(card, kImageSizeYValue, &v));
  EXPECT_EQ(v, 1);
  EXPECT_FALSE(Stored(card, kScalingModeValue, &v));
  EXPECT_EQ(Roi(card), (std::array<int32_t, 4>{4, 1, 1020, 767}));
}

// The scaled size was already sent: the driver would scale the whole source to
// the region size while the image keeps the old one, so the output goes back.
TEST_F(CardGeometryTest, RefusedCropChangesNoFieldAndRestoresTheOutput) {
  GeometryCard card(sim_.host_key());
  card.SetScalingMode(1);
  sim_.InjectError("RGBCaptureSetParameters", 0x10005, 2);
  card.SetROI(640, 480, 0, 0);
  EXPECT_EQ(Image(card), (std::array<int32_t, 4>{1024, 768, 0, 0}));
  EXPECT_EQ(Roi(card), (std::array<int32_t, 4>{1024, 768, 0, 0}));
  EXPECT_EQ(card.GetScalingMode(), 0);
  EXPECT_EQ(card.Geometry.PendingGeometry, PendingGeometry::kScaling);
  const CaptureParams held = card.DriverHolds();
  EXPECT_EQ(held.ScaledWidth, 1024);
  EXPECT_EQ(held.ScaledHeight, 768);
  EXPECT_EQ(held.Timing.HorAddrTime, 1024u);
  int32_t v = -1;
  EXPECT_FALSE(Stored(card, kImageSizeXValue, &v));
}

TEST_F(CardGeometryTest, SetScalingClampsAndInScalingModeResizesAndPersists) {
  GeometryCard card(sim_.host_key());
  card.SetScalingMode(1);
  card.SetScaling(61, 3000);
  EXPECT_EQ(Image(card), (std::array<int32_t, 4>{64, 2000, 0, 0}));
  card.SetScaling(1999, 1999);
  EXPECT_EQ(Image(card), (std::array<int32_t, 4>{2000, 1999, 0, 0}));
  EXPECT_EQ(card.Geometry.ScalingX, 2000);
  EXPECT_EQ(card.Geometry.ScalingY, 1999);
  EXPECT_EQ(card.DriverHolds().ScaledWidth, 2000);
  EXPECT_EQ(card.Geometry.PendingGeometry, PendingGeometry::kScaling);
  int32_t v = -1;
  ASSERT_TRUE(Stored(card, kScalingXValue, &v));
  EXPECT_EQ(v, 2000);
  ASSERT_TRUE(Stored(card, kScalingYValue, &v));
  EXPECT_EQ(v, 1999);
}

TEST_F(CardGeometryTest, SetScalingInRegionModeReachesOnlyTheDriver) {
  GeometryCard card(sim_.host_key());
  card.SetScaling(800, 600);
  EXPECT_EQ(card.DriverHolds().ScaledWidth, 800);
  EXPECT_EQ(card.Geometry.ScalingX, 1024);
  EXPECT_EQ(Image(card), (std::array<int32_t, 4>{1024, 768, 0, 0}));
  EXPECT_EQ(card.Geometry.PendingGeometry, PendingGeometry::kScaling);
  int32_t v = -1;
  EXPECT_FALSE(Stored(card, kScalingXValue, &v));
}

TEST_F(CardGeometryTest, RefusedScalingChangesNothing) {
  GeometryCard card(sim_.host_key());
  card.SetScalingMode(1);
  sim_.InjectError("RGBCaptureSetParameters", 0x10005, 1);
  card.SetScaling(800, 600);
  EXPECT_TRUE(traces_.HasTrace("SetScaling-RGBCaptureSetParameters() error"));
  EXPECT_EQ(card.Geometry.PendingGeometry, PendingGeometry::kNone);
  EXPECT_EQ(Image(card), (std::array<int32_t, 4>{1024, 768, 0, 0}));
  EXPECT_EQ(card.Geometry.ScalingX, 1024);
}

TEST_F(CardGeometryTest, GetScalingReadsTheDriverOrTheStoredValues) {
  GeometryCard card(sim_.host_key());
  int32_t w = -1, h = -1;
  // Region mode, nothing stored: the source size from negotiation.
  card.GetScaling(&w, &h);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 768);
  // Each stored value by itself.
  Store(kScalingXValue, 320);
  card.GetScaling(&w, &h);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 768);

  card.SetScalingMode(1);
  card.SetScaling(800, 600);
  card.GetScaling(&w, &h);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 600);
  // A failing read leaves the outputs unwritten.
  sim_.InjectError("RGBCaptureGetParameters", 0x10005, 1);
  w = h = -7;
  card.GetScaling(&w, &h);
  EXPECT_EQ(w, -7);
  EXPECT_EQ(h, -7);
}

// 60 Hz source: 100 clamps to 60, 0 to 1; the period is 1000 / rate.
TEST_F(CardGeometryTest, SetFrameRateClampsPacesAndSelectsFixedRate) {
  GeometryCard card(sim_.host_key());
  for (auto [rate, expected, period] :
       {std::array<int32_t, 3>{100, 60, 16}, {0, 1, 1000}, {7, 7, 142}}) {
    SCOPED_TRACE(rate);
    sim_.ClearCallLog();
    card.SetFrameRate(rate);
    EXPECT_EQ(card.GetFrameRate(), expected);
    EXPECT_EQ(card.Pacer.FramePeriod, period);
    EXPECT_TRUE(card.Pacer.PacingRequested);
    EXPECT_FALSE(card.Pacer.PacingArmed);
    EXPECT_EQ(card.GetFixedRateMode(), 1);
    EXPECT_THAT(ParameterCalls(),
                ::testing::ElementsAre(Call{kSet, kFlagSampleRate, kQueryCapture}));
    EXPECT_EQ(card.DriverHolds().SampleRate, 0);
    int32_t v = -1;
    ASSERT_TRUE(Stored(card, kFrameRateValue, &v));
    EXPECT_EQ(v, expected);
    ASSERT_TRUE(Stored(card, kFixedRateModeValue, &v));
    EXPECT_EQ(v, 1);
    ASSERT_TRUE(Stored(card, kSampleRateValue, &v));
    EXPECT_EQ(v, 0);
  }
}

TEST_F(CardGeometryTest, SetFrameRateBeforeAnyModeLeavesZero) {
  sim_.Configure("signal=0");
  Store(kLockChannelModeValue, 1);
  GeometryCard card(sim_.host_key());
  card.SetFrameRate(25);
  EXPECT_EQ(card.GetFrameRate(), 0);
  EXPECT_EQ(card.GetFixedRateMode(), 0);
  int32_t v = -1;
  EXPECT_FALSE(Stored(card, kFrameRateValue, &v));
}

TEST_F(CardGeometryTest, CaptureRateOtherThanFixedGoesToTheDriver) {
  GeometryCard card(sim_.host_key());
  card.WriteCaptureRate(CZeltoRGBCard::kFixedRateCaptureRate);
  EXPECT_EQ(card.GetFixedRateMode(), 1);
  card.WriteCaptureRate(9);
  EXPECT_EQ(card.GetFixedRateMode(), 0);
  EXPECT_EQ(card.DriverHolds().SampleRate, 9);
  int32_t v = -1;
  ASSERT_TRUE(Stored(card, kSampleRateValue, &v));
  EXPECT_EQ(v, 9);
}

TEST_F(CardGeometryTest, OffsetMinimaFollowTheTimingAndAreZeroOnError) {
  GeometryCard card(sim_.host_key());
  CaptureParams p{};
  p.Size = kCaptureParamsSize;
  p.Flags = kFlagsTimingAndPositions;
  card.Channel.Driver().RGBCaptureGetParameters(card.Channel.handle(), &p, kQueryCurrent);
  const VideoTiming& t = p.Timing;
  EXPECT_EQ(card.GetHorOffsetMin(),
            -static_cast<int32_t>(t.HorLeftBorder + t.HorBackPorch + t.HorSyncTime));
  EXPECT_EQ(card.GetVerOffsetMin(),
            4 - static_cast<int32_t>(t.VerSyncTime + t.VerBackPorch + t.VerTopBorder));
  sim_.InjectError("RGBCaptureGetParameters", 0x10005, 0);
  EXPECT_EQ(card.GetHorOffsetMin(), 0);
  EXPECT_EQ(card.GetVerOffsetMin(), 0);
  EXPECT_TRUE(traces_.HasTrace("GetHorOffsetMin() - error"));
  EXPECT_TRUE(traces_.HasTrace("GetVerOffsetMin() - error"));
}

// Start-up: a stored region is taken as stored (applied later by the capture
// thread); a stored scaling is applied through SetScaling.
TEST_F(CardGeometryTest, StartUpRestoresRegionOrScaling) {
  {
    GeometryCard card(sim_.host_key());
    card.SetROI(320, 240, 16, 8);
  }
  {
    GeometryCard card(sim_.host_key());
    EXPECT_TRUE(card.Geometry.RoiRestored);
    EXPECT_EQ(Image(card), (std::array<int32_t, 4>{320, 240, 16, 8}));
    EXPECT_EQ(Roi(card), (std::array<int32_t, 4>{320, 240, 16, 8}));
    // Scaling mode replaces the restored region: it is not applied later.
    card.SetScalingMode(1);
    EXPECT_FALSE(card.Geometry.RoiRestored);
    card.SetScaling(512, 384);
  }
  GeometryCard card(sim_.host_key());
  EXPECT_FALSE(card.Geometry.RoiRestored);
  EXPECT_EQ(card.GetScalingMode(), 1);
  EXPECT_EQ(Image(card), (std::array<int32_t, 4>{512, 384, 0, 0}));
  EXPECT_EQ(card.DriverHolds().ScaledWidth, 512);
  EXPECT_EQ(card.Geometry.PendingGeometry, PendingGeometry::kScaling);
}

}  // namespace
}  // namespace zelto
