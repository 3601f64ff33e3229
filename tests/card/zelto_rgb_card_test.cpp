#include "card/zelto_rgb_card.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "base/text_exception.h"
#include "platform/registry.h"
#include "sim_card.h"

namespace zelto {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::SimCard;
using testing::TraceCapture;

bool ReadUserDword(const std::string& key, const char* name, int32_t* value) {
  return testing::RegistryDword(platform::RegistryRoot::kCurrentUser, key, name, value);
}

bool UserKeyExists(const std::string& key) {
  return testing::RegistryKeyExists(platform::RegistryRoot::kCurrentUser, key);
}

class TestCard : public CZeltoRGBCard {
 public:
  using CZeltoRGBCard::Channel;
  using CZeltoRGBCard::CZeltoRGBCard;
  using CZeltoRGBCard::Format;
  using CZeltoRGBCard::Geometry;
  using CZeltoRGBCard::GetCapabilities;
  using CZeltoRGBCard::InputChannel;
  using CZeltoRGBCard::SignalPresent;
  using CZeltoRGBCard::SourceFrameRate;
  using CZeltoRGBCard::UserSettingsKey;
};

uint32_t Entry(DriverEntry e) { return static_cast<uint32_t>(e); }

// Calls of one entry point, in order.
std::vector<ZeltoSimCall> CallsTo(const std::vector<ZeltoSimCall>& log, DriverEntry e) {
  std::vector<ZeltoSimCall> out;
  for (const auto& c : log) {
    if (c.entry == Entry(e)) out.push_back(c);
  }
  return out;
}

// Fails the test instead of throwing out of it.
std::optional<std::string> StartUpError(const std::string& host_key) {
  try {
    TestCard card(host_key);
    return std::nullopt;
  } catch (const TextException& e) {
    return std::string(e.text());
  }
}

class CardTest : public ::testing::Test {
 protected:
  SimCard sim_{ZELTOSIM_PATH};
  TraceCapture traces_;
};

TEST_F(CardTest, FirstStartCreatesEmptyKeysAndStoresTheOpenedChannel) {
  {
    TestCard card(sim_.host_key());
    EXPECT_TRUE(card.SignalPresent);
    EXPECT_EQ(card.UserSettingsKey, sim_.base_key() + "\\0");
    int32_t w = 0, h = 0, x = 0, y = 0;
    card.GetImageGeometry(&w, &h, &x, &y);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    EXPECT_EQ(card.GetBitsPerPixel(), 16);  // capture format 0: 5-5-5
    EXPECT_EQ(card.GetImageFormat(), 905);
    EXPECT_EQ(card.GetImageBytes(), 1024 * 768 * 2);
  }
  int32_t channel = -1;
  EXPECT_TRUE(ReadUserDword(sim_.base_key(), "InputChannelValue", &channel));
  EXPECT_EQ(channel, 0);
  EXPECT_TRUE(UserKeyExists(sim_.base_key() + "\\0"));
  int32_t unused = 0;
  EXPECT_FALSE(ReadUserDword(sim_.base_key() + "\\0", "LockChannelMode", &unused));
  EXPECT_TRUE(traces_.HasTrace("Movandi - ZeltoRGB - DefaultIni"));
  EXPECT_TRUE(traces_.HasTrace("ZeltoRGB: 2 devices found"));
  EXPECT_TRUE(traces_.HasTrace("ImageSizeX = 1024, ImageSizeY = 768"));
  EXPECT_TRUE(traces_.HasTrace("CZeltoRGBCard::GetCapabilities() : RGBCaptureAllocateBuffer"));
}

TEST_F(CardTest, StoredChannelThatDoesNotOpenFallsBackToChannelZero) {
  platform::RegistryKey base;
  base.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key());
  base.SetDword("InputChannelValue", 7);
  base.Close();
  TestCard card(sim_.host_key());
  EXPECT_EQ(card.InputChannel, 0);
  int32_t channel = -1;
  ASSERT_TRUE(ReadUserDword(sim_.base_key(), "InputChannelValue", &channel));
  EXPECT_EQ(channel, 0);
  EXPECT_THAT(traces_.Traces(),
              Contains(HasSubstr("CZeltoRGBCard::OpenChannel() - RGBCaptureOpen() returned: ")));
}

// Values stored as bytes that would read as 1 if their type were not checked.
TEST_F(CardTest, ValuesOfAnotherTypeReadAsAbsent) {
  const char one[4] = {1, 0, 0, 0};
  platform::RegistryKey base;
  base.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key());
  base.SetBinary("InputChannelValue", one, 4);
  {
    TestCard card(sim_.host_key());
    EXPECT_EQ(card.InputChannel, 0);
  }
  // A binary lock does not lock: channel 0 without signal is passed over.
  platform::RegistryKey channel_key;
  channel_key.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key() + "\\0");
  channel_key.SetBinary("LockChannelMode", one, 4);
  sim_.SetSignal(0, false);
  TestCard card(sim_.host_key());
  EXPECT_EQ(card.InputChannel, 1);
  EXPECT_TRUE(card.SignalPresent);
}

// 65537 used to open channel 1 (the driver takes 16 bits) while storing 65537
// back and reading the settings of key "\\65537". A number the driver cannot
// take reads as absent: channel 0 is opened, stored and used as key.
TEST_F(CardTest, StoredChannelOutOfTheDriversRangeReadsAsAbsent) {
  for (const int32_t stored : {65537, -1}) {
    SCOPED_TRACE(stored);
    platform::RegistryKey base;
    base.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key());
    base.SetDword("InputChannelValue", static_cast<uint32_t>(stored));
    base.Close();
    sim_.ClearCallLog();
    TestCard card(sim_.host_key());
    EXPECT_EQ(card.InputChannel, 0);
    EXPECT_EQ(card.UserSettingsKey, sim_.base_key() + "\\0");
    const auto opens = CallsTo(sim_.CallLog(), DriverEntry::kRGBCaptureOpen);
    ASSERT_FALSE(opens.empty());
    EXPECT_EQ(opens.front().handle, 0u);  // the channel argument
    int32_t channel = -1;
    ASSERT_TRUE(ReadUserDword(sim_.base_key(), "InputChannelValue", &channel));
    EXPECT_EQ(channel, 0);
    EXPECT_FALSE(UserKeyExists(sim_.base_key() + "\\" + std::to_string(stored)));
  }
}

TEST_F(CardTest, StoredChannelOneIsOpenedWithItsOwnKey) {
  platform::RegistryKey base;
  base.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key());
  base.SetDword("InputChannelValue", 1);
  base.Close();
  TestCard card(sim_.host_key());
  EXPECT_EQ(card.InputChannel, 1);
  EXPECT_EQ(card.UserSettingsKey, sim_.base_key() + "\\1");
}

TEST_F(CardTest, LockedChannelWithoutSignalStartsWithoutNegotiation) {
  sim_.SetSignal(0, false);
  platform::RegistryKey channel_key;
  channel_key.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key() + "\\0");
  channel_key.SetDword("LockChannelMode", 1);
  channel_key.Close();
  sim_.ClearCallLog();
  TestCard card(sim_.host_key());
  EXPECT_FALSE(card.SignalPresent);
  EXPECT_EQ(card.InputChannel, 0);
  const auto log = sim_.CallLog();
  EXPECT_TRUE(CallsTo(log, DriverEntry::kRGBCaptureGetCapabilities).empty());
  EXPECT_TRUE(CallsTo(log, DriverEntry::kRGBCaptureAllocateBuffer).empty());
  // The startup resolution (480 x 480 when none is stored) stands in for the mode.
  EXPECT_TRUE(traces_.HasTrace("Startup resolution is: 480 x 480"));
  EXPECT_EQ(card.GetImageBytes(), 480 * 480 * 2);
  // Without a signal the format comes from the stored startup format.
  EXPECT_EQ(card.GetImageFormat(), 905);
  channel_key.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key() + "\\0");
  channel_key.SetDword("StartupImageFormat", 2);
  EXPECT_EQ(card.GetImageFormat(), 500);
}

TEST_F(CardTest, StoredStartupValuesShapeTheImageWithoutSignal) {
  sim_.SetSignal(0, false);
  platform::RegistryKey channel_key;
  channel_key.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key() + "\\0");
  channel_key.SetDword("LockChannelMode", 1);
  channel_key.SetDword("StartupResolution", 13);
  channel_key.SetDword("StartupImageFormat", 3);
  {
    TestCard card(sim_.host_key());
    EXPECT_EQ(card.Geometry.SourceWidth, 1920);
    EXPECT_EQ(card.GetBitsPerPixel(), 24);
    EXPECT_EQ(card.GetImageBytes(), 1920 * 1080 * 3);
    EXPECT_EQ(card.GetImageFormat(), 200);
  }
  // Out of the table: a 2048 x 2048 source.
  channel_key.SetDword("StartupResolution", 14);
  TestCard card(sim_.host_key());
  EXPECT_EQ(card.Geometry.SourceWidth, 2048);
  EXPECT_EQ(card.Geometry.SourceHeight, 2048);
}

// Found by the registry fuzzer: without a signal, a stored scaling mode without
// its size gave a 0 x 0 image, and an absurd stored size (scaled or region) a
// 16384 x 16384 one.
TEST_F(CardTest, StoredGeometryWithoutSignalIsAlwaysAUsableSize) {
  sim_.SetSignal(0, false);
  platform::RegistryKey channel_key;
  channel_key.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key() + "\\0");
  channel_key.SetDword("LockChannelMode", 1);
  channel_key.SetDword("StartupResolution", 3);
  channel_key.SetDword("Scaling Mode", 1);
  TestCard card(sim_.host_key());
  int32_t w = 0, h = 0, x = -1, y = -1;
  card.GetImageGeometry(&w, &h, &x, &y);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 640);
  EXPECT_EQ(card.GetImageBytes(), 640 * 640 * 2);

  // A stored size outside the driver's scaled range is clamped to it.
  channel_key.SetDword("Scaling X", 70000);
  channel_key.SetDword("Scaling Y", 5);
  TestCard restarted(sim_.host_key());
  restarted.GetImageGeometry(&w, &h, &x, &y);
  EXPECT_EQ(w, 2000);
  EXPECT_EQ(h, 64);

  // A restored region lies inside the startup resolution.
  channel_key.SetDword("Scaling Mode", 0);
  channel_key.SetDword("Image Size X", 100000);
  channel_key.SetDword("Image Size Y", 300);
  channel_key.SetDword("Image Offset X", 7);
  channel_key.SetDword("Image Offset Y", 100000);
  TestCard with_region(sim_.host_key());
  with_region.GetImageGeometry(&w, &h, &x, &y);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 300);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 340);
}

TEST_F(CardTest, NoSignalAnywhereFailsAndKeepsTheStoredChannel) {
  sim_.SetSignal(0, false);
  sim_.SetSignal(1, false);
  platform::RegistryKey base;
  base.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key());
  base.SetDword("InputChannelValue", 1);
  base.Close();
  EXPECT_EQ(StartUpError(sim_.host_key()), "Camera Initialization FAILED...");
  int32_t channel = -1;
  ASSERT_TRUE(ReadUserDword(sim_.base_key(), "InputChannelValue", &channel));
  EXPECT_EQ(channel, 1);
  EXPECT_TRUE(traces_.HasTrace("Movandi - ZeltoRGB - Camera Initialization FAILED..."));
  // Every channel that start-up opened and passed over was closed again.
  const ZeltoSimCounters counters = sim_.Counters();
  EXPECT_EQ(counters.open_handles, 0u);
  EXPECT_EQ(counters.live_buffers, 0u);
}

// Another program holds the card: with no channel open, start-up used to read
// parameters on a null handle, count the answer as success and give a dead card.
TEST_F(CardTest, NoChannelThatOpensFailsStartUpLockedOrNot) {
  for (const bool locked : {false, true}) {
    SCOPED_TRACE(locked);
    platform::RegistryKey channel_key;
    channel_key.Create(platform::RegistryRoot::kCurrentUser, sim_.base_key() + "\\0");
    channel_key.SetDword("LockChannelMode", locked ? 1 : 0);
    channel_key.Close();
    sim_.InjectError("RGBCaptureOpen", kRgbErrorDeviceInUse, 0);
    sim_.ClearCallLog();
    EXPECT_EQ(StartUpError(sim_.host_key()), "Camera Initialization FAILED...");
    const auto log = sim_.CallLog();
    for (const auto& call : CallsTo(log, DriverEntry::kRGBCaptureGetParameters)) {
      EXPECT_NE(call.handle, 0u);
    }
    EXPECT_TRUE(CallsTo(log, DriverEntry::kRGBCaptureAllocateBuffer).empty());
    EXPECT_EQ(sim_.Counters().open_handles, 0u);
    sim_.ClearErrors();
  }
}

TEST_F(CardTest, NoDriverFailsWithTheSameText) {
  sim_.UnregisterDriver();
  EXPECT_EQ(StartUpError(sim_.host_key()), "Camera Initialization FAILED...");
  EXPECT_TRUE(traces_.HasTrace("KTS DLL SETUP failed. Serious Error"));
  EXPECT_EQ(traces_.MessageBoxes().size(), 1u);
}

TEST_F(CardTest, FailingInitialiseFailsStartUp) {
  sim_.InjectError("RGBCaptureInitialise", 0x10002, 1);
  EXPECT_EQ(StartUpError(sim_.host_key()), "Camera Initialization FAILED...");
  EXPECT_TRUE(
      traces_.HasTrace("CZeltoRGBCard::ZeltoRGBInitCamera() - RGBCaptureInitialise() returned: "
                       "RGBERROR_HARDWARE_NOT_FOUND"));
}

TEST_F(CardTest, EmptyHostPathGivesTheKeyDirectlyUnderTheUser) {
  {
    TestCard card("");
    EXPECT_EQ(card.UserSettingsKey, "ZELTORGB\\0");
  }
  int32_t channel = -1;
  EXPECT_TRUE(ReadUserDword("ZELTORGB", "InputChannelValue", &channel));
  platform::DeleteRegistryTree(platform::RegistryRoot::kCurrentUser, "ZELTORGB");
}

TEST_F(CardTest, NegotiationCallsTheDriverInOrderWithItsFlagsAndQueries) {
  sim_.ClearCallLog();
  TestCard card(sim_.host_key());
  std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> calls;  // entry, flags/size, query
  bool started = false;
  for (const auto& c : sim_.CallLog()) {
    if (c.entry == Entry(DriverEntry::kRGBCaptureGetCapabilities)) started = true;
    if (started) calls.emplace_back(c.entry, c.arg, c.query);
  }
  using E = DriverEntry;
  EXPECT_THAT(
      calls,
      ElementsAre(std::make_tuple(Entry(E::kRGBCaptureGetCapabilities), 0u, 0u),
                  std::make_tuple(Entry(E::kRGBCaptureGetParameters), 0x103Eu, 0x08000000u),
                  std::make_tuple(Entry(E::kRGBCaptureDetectVideoMode), 0u, 0u),
                  std::make_tuple(Entry(E::kRGBCaptureSetParameters), 0x1000u, 0x04000000u),
                  std::make_tuple(Entry(E::kRGBCaptureSetParameters), 0x180000u, 0x04000000u),
                  std::make_tuple(Entry(E::kRGBCaptureGetParameters), 0x180000u, 0x04000000u),
                  std::make_tuple(Entry(E::kRGBCaptureGetParameters), 0x4F82u, 0x24000000u),
                  std::make_tuple(Entry(E::kRGBCaptureSetParameters), 0x4F82u, 0x04000000u),
                  std::make_tuple(Entry(E::kRGBCaptureAllocateBuffer), 1024u * 768u * 2u, 0u)));
  EXPECT_EQ(card.Channel.Params.OutputMode, 3u);
}

TEST_F(CardTest, NegotiationStopsOnTheThreeNoModeFlagsOnly) {
  struct Case {
    const char* flags;
    const char* trace;
  };
  for (const Case& c : {Case{"0x10", "RGBCaptureDetectVideoMode() NO SIGNAL"},
                        Case{"0x20", "RGBCaptureDetectVideoMode() OUT OF RANGE"},
                        Case{"0x40", "RGBCaptureDetectVideoMode() UNRECOGNISABLE"}}) {
    SCOPED_TRACE(c.flags);
    sim_.Configure((std::string("timing_flags=") + c.flags).c_str());
    traces_.Clear();
    sim_.ClearCallLog();
    TestCard card(sim_.host_key());
    EXPECT_TRUE(traces_.HasTrace(c.trace));
    EXPECT_TRUE(traces_.HasTrace("GetCapabilities() - error"));
    EXPECT_TRUE(CallsTo(sim_.CallLog(), DriverEntry::kRGBCaptureSetParameters).empty());
  }
  sim_.Configure("timing_flags=0x30");
  traces_.Clear();
  TestCard card(sim_.host_key());
  EXPECT_TRUE(traces_.HasTrace(
      "CZeltoRGBCard::GetCapabilities() - RGBCaptureDetectVideoMode() VideoTiming.Flags: 0x30"));
  EXPECT_FALSE(traces_.HasTrace("GetCapabilities() - error"));
  EXPECT_EQ(card.Geometry.SourceWidth, 1024);
}

TEST_F(CardTest, FrameRateIsTheWholeHertzOfTheMode) {
  sim_.Configure("mode=1024x768@59.94");
  TestCard card(sim_.host_key());
  EXPECT_EQ(card.SourceFrameRate, 59);
  EXPECT_TRUE(traces_.HasTrace("Video mode: 1024x768 59.94Hz") ||
              traces_.HasTrace("Video mode: 1024x768 59Hz"));
}

TEST_F(CardTest, CaptureFormatsMapToPixelFormats) {
  TestCard card(sim_.host_key());
  // RGB 24 is negotiated as 5-5-5; the stored capture format corrects it later.
  for (auto [format, bytes] :
       {std::pair{3, 2}, std::pair{2, 4}, std::pair{1, 2}, std::pair{0, 2}}) {
    card.Format.CaptureFormat = format;
    card.GetCapabilities();
    EXPECT_EQ(card.Format.BytesPerPixel, bytes) << format;
  }
  card.Format.CaptureFormat = 1;
  card.GetCapabilities();
  EXPECT_EQ(card.GetImageFormat(), 906);
  card.Format.CaptureFormat = 2;
  card.GetCapabilities();
  EXPECT_EQ(card.GetImageFormat(), 500);
  EXPECT_EQ(card.GetBitsPerPixel(), 32);
  EXPECT_EQ(card.GetBitDepth(), 8);
}

TEST_F(CardTest, FailedNegotiationStepIsTracedWithItsName) {
  sim_.InjectError("RGBCaptureSetParameters", 0x10017, 1);
  TestCard card(sim_.host_key());
  EXPECT_TRUE(
      traces_.HasTrace("CZeltoRGBCard::GetCapabilities() - RGBCaptureSetParameters(1) returned: "
                       "RGBERROR_INVALID_PIXELFORMAT"));
  EXPECT_TRUE(traces_.HasTrace("GetCapabilities() - error"));
  EXPECT_EQ(sim_.Counters().live_buffers, 0u);
}

TEST_F(CardTest, GetImageFormatReportsZeroWhenTheDriverReadFails) {
  TestCard card(sim_.host_key());
  sim_.InjectError("RGBCaptureGetParameters", 0x10005, 0);
  EXPECT_EQ(card.GetImageFormat(), 0);
}

TEST_F(CardTest, DestructionClosesEverythingItOpened) {
  {
    TestCard card(sim_.host_key());
    card.AllocateBuffers(3);
    EXPECT_EQ(sim_.Counters().open_handles, 1u);
    EXPECT_EQ(sim_.Counters().live_buffers, 1u);  // the earlier buffer was freed first
    sim_.ClearCallLog();
  }
  const auto log = sim_.CallLog();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0].entry, Entry(DriverEntry::kRGBCaptureEnable));
  EXPECT_EQ(log[0].arg, 0u);
  EXPECT_EQ(CallsTo(log, DriverEntry::kRGBCaptureFreeBuffer).size(), 1u);
  EXPECT_EQ(CallsTo(log, DriverEntry::kRGBCaptureClose).size(), 1u);
  const ZeltoSimCounters counters = sim_.Counters();
  EXPECT_EQ(counters.open_handles, 0u);
  EXPECT_EQ(counters.live_buffers, 0u);
  EXPECT_EQ(counters.buffers_closed, 0u);
}

}  // namespace
}  // namespace zelto
