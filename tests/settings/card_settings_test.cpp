// The card's settings list against ZeltoSim: the entries, names and labels the
// host reads, the rebuild after a set, and what each setting sends to the
// driver and persists.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../acquisition/capture_fixture.h"
#include "base/text_exception.h"
#include "base/utf_convert.h"
#include "card/zelto_rgb_card.h"
#include "geometry/registry_layout.h"
#include "geometry/registry_values.h"
#include "platform/registry.h"
#include "sim_card.h"
#include "zeltosim_pattern.h"

namespace zelto {
namespace {

using sim::PixelLayout;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::SimCard;
using testing::TraceCapture;

class SettingsCard : public CZeltoRGBCard {
 public:
  using CZeltoRGBCard::CZeltoRGBCard;
  using CZeltoRGBCard::Format;
  using CZeltoRGBCard::Geometry;
  using CZeltoRGBCard::GrabEnabled;
  using CZeltoRGBCard::InputChannel;
  using CZeltoRGBCard::LoadingSettings;
  using CZeltoRGBCard::SignalPresent;
  using CZeltoRGBCard::SourceFrameRate;
  using CZeltoRGBCard::UserSettingsKey;

  CaptureParams DriverHolds() {
    CaptureParams p{};
    p.Size = kCaptureParamsSize;
    p.Flags = kFlagPixelFormat | kFlagSampleRate;
    Driver().RGBCaptureGetParameters(Channel.handle(), &p, kQueryCurrent);
    return p;
  }
};

std::vector<std::pair<int32_t, std::string>> Entries(const CSettingsStruct& list) {
  std::vector<std::pair<int32_t, std::string>> out;
  for (const SettingEntry& e : list.entries()) out.emplace_back(e.Id, Utf16ToUtf8(e.Name));
  return out;
}

std::vector<std::string> Labels(const CSettingsStruct& list, int32_t id) {
  std::vector<std::string> out;
  for (int32_t k = 0; k < list.GetOptionCount(id); ++k) {
    std::u16string label;
    int32_t value = -1;
    list.GetOption(id, k, &label, &value);
    out.push_back(Utf16ToUtf8(label) + " -> " + std::to_string(value));
  }
  return out;
}

// Grabs `count` frames as a host does, three buffers with two kept armed, and
// hands each frame's bytes to `check`.
template <typename Check>
void GrabFrames(CZeltoRGBCard& card, int count, Check&& check) {
  card.AllocateBuffers(3);
  card.EnableGrab();
  Watchdog watchdog(card, 20s);
  card.ArmBuffer();
  card.ArmBuffer();
  for (int i = 0; i < count && !watchdog.fired(); ++i) {
    bool waited = false;
    ImageRecord* record = card.GetFrame(&waited);
    if (record == nullptr || record->Data == nullptr) break;
    check(static_cast<const uint8_t*>(record->Data));
    card.ReleaseCurrentFrame();
    card.ArmBuffer();
  }
  watchdog.Stop();
  card.DisableGrab();
  EXPECT_FALSE(watchdog.fired()) << "frames stopped flowing";
}

// The ZeltoSim frame number a 1024 x 768 frame carries in its first and last
// line; none when either is unreadable or they differ (a torn frame).
std::optional<uint32_t> FrameNumber(const uint8_t* data, PixelLayout layout) {
  uint32_t first = 0;
  uint32_t last = 0;
  const size_t line = 1024u * static_cast<size_t>(sim::BytesPerPixel(layout));
  if (!sim::DecodeFrameNumber(data, layout, &first) ||
      !sim::DecodeFrameNumber(data + line * 767, layout, &last) || first != last) {
    return std::nullopt;
  }
  return first;
}

constexpr uint32_t kSetEntry = static_cast<uint32_t>(DriverEntry::kRGBCaptureSetParameters);
constexpr uint32_t kGetEntry = static_cast<uint32_t>(DriverEntry::kRGBCaptureGetParameters);

class CardSettingsTest : public ::testing::Test {
 protected:
  CardSettingsTest() { sim_.Configure("pacing=free;channels=3"); }

  // The capture-parameter writes (their Flags) since the log was cleared.
  std::vector<uint32_t> ParameterWrites() {
    std::vector<uint32_t> flags;
    for (const ZeltoSimCall& c : sim_.CallLog())
      if (c.entry == kSetEntry) flags.push_back(c.arg);
    return flags;
  }
  size_t ParameterCalls() {
    size_t n = 0;
    for (const ZeltoSimCall& c : sim_.CallLog())
      if (c.entry == kSetEntry || c.entry == kGetEntry) ++n;
    return n;
  }
  bool Stored(const SettingsCard& card, const char* name, int32_t* value) {
    return testing::RegistryDword(platform::RegistryRoot::kCurrentUser, card.UserSettingsKey, name,
                                  value);
  }

  SimCard sim_{ZELTOSIM_PATH};
  TraceCapture traces_;
};

TEST_F(CardSettingsTest, ListsFourSettingsWithTheirOptions) {
  SettingsCard card(sim_.host_key());
  card.SourceFrameRate = 60;
  ASSERT_TRUE(card.FillSettings());
  EXPECT_THAT(Entries(card), ElementsAre(std::pair<int32_t, std::string>{0, "Input Channel"},
                                         std::pair<int32_t, std::string>{2, "Capture Format"},
                                         std::pair<int32_t, std::string>{4, "Capture Rate"},
                                         std::pair<int32_t, std::string>{6, "Lock Channel Mode"}));
  EXPECT_THAT(Labels(card, 0), ElementsAre("1 -> 0", "2 -> 1", "3 -> 2"));
  EXPECT_THAT(Labels(card, 2),
              ElementsAre("5-5-5 -> 0", "5-6-5 -> 1", "8-8-8 -> 2", "RGB 24 -> 3"));
  EXPECT_THAT(Labels(card, 4), ElementsAre("Fixed Rate -> 100", "100%   60.00 fps -> 0",
                                           "  50%   30.00 fps -> 1", "  33%   20.00 fps -> 2",
                                           "  25%   15.00 fps -> 3", "  20%   12.00 fps -> 4",
                                           "  15%    9.01 fps -> 6", "  10%    6.00 fps -> 9",
                                           "    5%    3.00 fps -> 19", "    1%    0.60 fps -> 99"));
  EXPECT_THAT(Labels(card, 6), ElementsAre("Off -> 0", "On -> 1"));
}

TEST_F(CardSettingsTest, CaptureRateLabelsWithoutAModeShowZero) {
  SettingsCard card(sim_.host_key());
  card.SourceFrameRate = 0;
  card.FillSettings();
  EXPECT_THAT(Labels(card, 4), ElementsAre("Fixed Rate -> 100", "100%    0.00 fps -> 0",
                                           "  50%    0.00 fps -> 1", "  33%    0.00 fps -> 2",
                                           "  25%    0.00 fps -> 3", "  20%    0.00 fps -> 4",
                                           "  15%    0.00 fps -> 6", "  10%    0.00 fps -> 9",
                                           "    5%    0.00 fps -> 19", "    1%    0.00 fps -> 99"));
}

TEST_F(CardSettingsTest, LockChannelModeAddsAndRemovesTheStartupSettings) {
  SettingsCard card(sim_.host_key());
  card.FillSettings();
  card.SetSettingValue(6, 1);
  EXPECT_THAT(Entries(card),
              ElementsAre(std::pair<int32_t, std::string>{0, "Input Channel"},
                          std::pair<int32_t, std::string>{2, "Capture Format"},
                          std::pair<int32_t, std::string>{4, "Capture Rate"},
                          std::pair<int32_t, std::string>{6, "Lock Channel Mode"},
                          std::pair<int32_t, std::string>{8, "Startup Image Format"},
                          std::pair<int32_t, std::string>{10, "Startup Resolution"}));
  EXPECT_THAT(Labels(card, 8),
              ElementsAre("5-5-5 -> 0", "5-6-5 -> 1", "8-8-8 -> 2", "RGB 24 -> 3"));
  EXPECT_THAT(
      Labels(card, 10),
      ElementsAreArray({"480 x 480 -> 0", "640 x 480 -> 1", "640 x 512 -> 2", "640 x 640 -> 3",
                        "800 x 600 -> 4", "1024 x 768 -> 5", "1024 x 1024 -> 6", "1280 x 1024 -> 7",
                        "1600 x 1200 -> 8", "2048 x 1536 -> 9", "1280 x 960 -> 10",
                        "1600 x 900 -> 11", "1680 x 1050 -> 12", "1920 x 1080 -> 13"}));
  card.SetSettingValue(6, 0);
  EXPECT_EQ(card.GetSettingsCount(), 4);
}

TEST_F(CardSettingsTest, UnknownIdsAndIndicesLeaveTheCallerAlone) {
  SettingsCard card(sim_.host_key());
  card.SourceFrameRate = 60;
  card.FillSettings();
  std::u16string label = u"kept";
  int32_t value = 7;
  EXPECT_TRUE(card.GetOption(5, 0, &label, &value));
  EXPECT_FALSE(card.GetOption(2, 4, &label, &value));
  EXPECT_FALSE(card.GetOption(2, -1, &label, &value));
  int32_t id = 7;
  EXPECT_FALSE(card.GetSetting(4, &label, &id));
  EXPECT_FALSE(card.GetSetting(-1, &label, &id));
  EXPECT_EQ(label, u"kept");
  EXPECT_EQ(value, 7);
  EXPECT_EQ(id, 7);
  EXPECT_EQ(card.GetOptionCount(5), 0);
  EXPECT_EQ(card.GetSettingValue(5), 0);

  // An unknown id still rebuilds the list from the card's state.
  card.SourceFrameRate = 30;
  card.SetSettingValue(5, 1);
  ASSERT_TRUE(card.GetOption(4, 1, &label, &value));
  EXPECT_EQ(Utf16ToUtf8(label), "100%   30.00 fps");
}

TEST_F(CardSettingsTest, CaptureFormatsEightEightEightAndRgb24BothSendThirtyTwoBits) {
  SettingsCard card(sim_.host_key());
  card.FillSettings();
  for (int32_t format : {2, 3}) {
    sim_.ClearCallLog();
    card.SetSettingValue(2, format);
    EXPECT_THAT(ParameterWrites(), ElementsAre(kFlagPixelFormat));
    EXPECT_EQ(card.DriverHolds().PixelFormat, kPixelFormat32);
    EXPECT_EQ(card.GetSettingValue(2), format);
    int32_t stored = -1;
    EXPECT_TRUE(Stored(card, kCaptureFormatValue, &stored));
    EXPECT_EQ(stored, format);
  }
  EXPECT_EQ(card.Format.BytesPerPixel, 3);
  EXPECT_TRUE(card.Format.ConvertTo24);
}

// Each capture format through its setting: the image the host is told about,
// and frames whose pixels are ZeltoSim's pattern in that layout byte for byte
// (RGB 24: the driver's 32-bit pixels converted to B, G, R).
TEST_F(CardSettingsTest, FramesArriveInTheCaptureFormatSet) {
  struct Case {
    int32_t index;
    PixelLayout layout;
    int32_t host_format;
  };
  for (const Case c : {Case{0, PixelLayout::kRgb555, 905}, Case{1, PixelLayout::kRgb565, 906},
                       Case{2, PixelLayout::kBgrx32, 500}, Case{3, PixelLayout::kBgr24, 200}}) {
    SCOPED_TRACE(c.index);
    SettingsCard card(sim_.host_key());
    card.FillSettings();
    card.SetSettingValue(2, c.index);
    const int bytes = sim::BytesPerPixel(c.layout);
    ASSERT_EQ(card.GetImageFormat(), c.host_format);
    ASSERT_EQ(card.GetImageBytes(), 1024 * 768 * bytes);
    int frames = 0;
    GrabFrames(card, 3, [&](const uint8_t* data) {
      const std::optional<uint32_t> frame = FrameNumber(data, c.layout);
      ASSERT_TRUE(frame) << "no frame code in frame " << frames;
      ++frames;
      for (uint32_t y : {1u, 300u, 766u}) {
        for (uint32_t x = sim::kFrameCodePixels; x < 1024; x += 37) {
          uint8_t want[4] = {};
          sim::StorePixel(want, c.layout, sim::PatternColour(x, y, *frame, 1024, 768));
          const uint8_t* got = data + (static_cast<size_t>(y) * 1024 + x) * bytes;
          ASSERT_EQ(std::memcmp(got, want, static_cast<size_t>(bytes)), 0)
              << "frame " << *frame << " at " << x << "," << y;
        }
      }
    });
    EXPECT_EQ(frames, 3);
  }
}

// Capture rate 9 keeps one source frame in ten: consecutive frames the host
// gets are ten source frames apart, or a multiple of ten when the module had
// no buffer armed for one.
TEST_F(CardSettingsTest, CaptureRateNineLeavesGapsOfNineSourceFrames) {
  SettingsCard card(sim_.host_key());
  card.FillSettings();
  card.SetSettingValue(4, 9);
  std::vector<uint32_t> numbers;
  GrabFrames(card, 12, [&](const uint8_t* data) {
    const std::optional<uint32_t> frame = FrameNumber(data, PixelLayout::kRgb555);
    ASSERT_TRUE(frame);
    numbers.push_back(*frame);
  });
  ASSERT_EQ(numbers.size(), 12u);
  size_t single_gaps = 0;
  for (size_t i = 1; i < numbers.size(); ++i) {
    const uint32_t step = numbers[i] - numbers[i - 1];
    EXPECT_TRUE(numbers[i] > numbers[i - 1] && step % 10 == 0)
        << numbers[i - 1] << " then " << numbers[i];
    if (step == 10) ++single_gaps;
  }
  EXPECT_GT(single_gaps, 0u);
}

TEST_F(CardSettingsTest, CaptureFormatWaitsForTheStoredSourceSizeAndRefusesWhileGrabbing) {
  SettingsCard card(sim_.host_key());
  card.Geometry.SourceSizeKept = false;
  sim_.ClearCallLog();
  card.WriteCaptureFormat(1);
  EXPECT_EQ(ParameterCalls(), 0u);
  int32_t stored = -1;
  EXPECT_FALSE(Stored(card, kCaptureFormatValue, &stored));

  card.Geometry.SourceSizeKept = true;
  card.GrabEnabled = true;
  EXPECT_THROW(card.WriteCaptureFormat(1), TextException);
  card.GrabEnabled = false;
  EXPECT_EQ(ParameterCalls(), 0u);
}

TEST_F(CardSettingsTest, CaptureRateHundredIsFixedRateElseTheDriversSampleRate) {
  SettingsCard card(sim_.host_key());
  card.FillSettings();
  sim_.ClearCallLog();
  card.SetSettingValue(4, 100);
  EXPECT_THAT(ParameterWrites(), ElementsAre());
  sim_.ClearCallLog();
  EXPECT_EQ(card.GetSettingValue(4), 100);
  EXPECT_EQ(ParameterCalls(), 0u);
  EXPECT_EQ(card.GetFixedRateMode(), 1);

  card.SetSettingValue(4, 9);
  EXPECT_EQ(card.GetFixedRateMode(), 0);
  EXPECT_EQ(card.DriverHolds().SampleRate, 9);
  EXPECT_EQ(card.GetSettingValue(4), 9);
  int32_t stored = -1;
  EXPECT_TRUE(Stored(card, kSampleRateValue, &stored));
  EXPECT_EQ(stored, 9);
}

TEST_F(CardSettingsTest, LockChannelModeTwoReadsOffButIsStoredAsGiven) {
  SettingsCard card(sim_.host_key());
  card.FillSettings();
  card.SetSettingValue(6, 2);
  EXPECT_EQ(card.GetSettingValue(6), 0);
  EXPECT_EQ(card.GetSettingsCount(), 4);
  int32_t stored = -1;
  EXPECT_TRUE(Stored(card, kLockChannelModeValue, &stored));
  EXPECT_EQ(stored, 2);
}

TEST_F(CardSettingsTest, StartupSettingsPersistUnlessLoadingAndApplyWithoutSignal) {
  SettingsCard card(sim_.host_key());
  card.LoadingSettings = true;
  card.WriteStartupResolution(3);
  int32_t stored = -1;
  EXPECT_FALSE(Stored(card, kStartupResolutionValue, &stored));
  card.LoadingSettings = false;
  card.WriteStartupResolution(14);
  card.WriteStartupImageFormat(3);

  card.SignalPresent = false;
  EXPECT_EQ(card.ReadStartupResolution(), 14);
  EXPECT_EQ(card.Geometry.SourceWidth, 2048);
  EXPECT_EQ(card.Geometry.SourceHeight, 2048);
  EXPECT_EQ(card.ReadStartupImageFormat(), 3);
  EXPECT_EQ(card.Format.BytesPerPixel, 3);
  EXPECT_TRUE(card.Format.ConvertTo24);
}

TEST_F(CardSettingsTest, InputChannelChangeReopensOnlyAReportedOtherChannel) {
  SettingsCard card(sim_.host_key());
  card.FillSettings();
  sim_.ClearCallLog();
  card.SetSettingValue(0, 0);  // the current channel
  card.SetSettingValue(0, 3);  // not reported by the driver
  card.SetSettingValue(0, -1);
  // Only the rebuilt adjustment list's reads reach the driver.
  for (const ZeltoSimCall& c : sim_.CallLog()) EXPECT_EQ(c.entry, kGetEntry);
  EXPECT_EQ(card.GetSettingValue(0), 0);

  card.GrabEnabled = true;
  EXPECT_THROW(card.SetSettingValue(0, 1), TextException);
  card.GrabEnabled = false;
  EXPECT_EQ(card.GetSettingValue(0), 0);

  card.SetSettingValue(0, 1);
  EXPECT_EQ(card.GetSettingValue(0), 1);
  int32_t stored = -1;
  EXPECT_TRUE(testing::RegistryDword(platform::RegistryRoot::kCurrentUser, sim_.base_key(),
                                     kInputChannelValue, &stored));
  EXPECT_EQ(stored, 1);
  EXPECT_EQ(card.GetSettingsCount(), 4);
}

TEST_F(CardSettingsTest, RestartedCardComesBackWithTheStoredFormatAndRate) {
  {
    SettingsCard card(sim_.host_key());
    card.WriteCaptureFormat(1);
    card.WriteCaptureRate(4);
  }
  sim_.ClearCallLog();
  SettingsCard card(sim_.host_key());
  EXPECT_EQ(card.ReadCaptureFormat(), 1);
  EXPECT_EQ(card.ReadCaptureRate(), 4);
  EXPECT_TRUE(traces_.HasTrace("CZeltoRGBCard::LoadUserSettings()"));
}

TEST_F(CardSettingsTest, StoredFixedRateModeSkipsTheStoredSampleRate) {
  {
    SettingsCard card(sim_.host_key());
    card.WriteCaptureRate(9);
    card.WriteCaptureRate(100);  // stores "Fixed Rate Mode" 1, keeps "SampleRateValue" 9
  }
  SettingsCard card(sim_.host_key());
  EXPECT_EQ(card.GetFixedRateMode(), 1);
  EXPECT_EQ(card.ReadCaptureRate(), 100);
  EXPECT_NE(card.DriverHolds().SampleRate, 9);
}

}  // namespace
}  // namespace zelto
