// Loading the stored user values against ZeltoSim: per channel, past values of
// the wrong registry type, and on the capture thread when a signal first
// arrives during a grab while a host thread keeps changing settings.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "../acquisition/capture_fixture.h"
#include "card/zelto_rgb_card.h"
#include "geometry/registry_layout.h"
#include "platform/registry.h"
#include "sim_card.h"
#include "zeltosim_pattern.h"

namespace zelto {
namespace {

using platform::RegistryRoot;
using testing::SimCard;
using testing::TraceCapture;

class LoadingCard : public CZeltoRGBCard {
 public:
  using CZeltoRGBCard::CZeltoRGBCard;
  using CZeltoRGBCard::Geometry;
  using CZeltoRGBCard::InputChannel;
  using CZeltoRGBCard::SignalPresent;
  using CZeltoRGBCard::UserSettingsKey;

  CaptureParams DriverHolds() {
    CaptureParams p{};
    p.Size = kCaptureParamsSize;
    p.Flags = kFlagPixelFormat | kFlagSampleRate;
    Driver().RGBCaptureGetParameters(Channel.handle(), &p, kQueryCurrent);
    return p;
  }
};

class LoadUserSettingsTest : public ::testing::Test {
 protected:
  LoadUserSettingsTest() { sim_.Configure("pacing=free;channels=3"); }

  std::string ChannelKey(int channel) const {
    return sim_.base_key() + "\\" + std::to_string(channel);
  }
  void StoreDword(const std::string& key_path, const char* name, int32_t value) {
    platform::RegistryKey key;
    ASSERT_EQ(key.Create(RegistryRoot::kCurrentUser, key_path), platform::kRegSuccess);
    ASSERT_EQ(key.SetDword(name, static_cast<uint32_t>(value)), platform::kRegSuccess);
  }
  void StoreString(const std::string& key_path, const char* name, const char* text) {
    platform::RegistryKey key;
    ASSERT_EQ(key.Create(RegistryRoot::kCurrentUser, key_path), platform::kRegSuccess);
    ASSERT_EQ(key.SetString(name, text), platform::kRegSuccess);
  }
  // The stored DWORD, or -1 when there is none.
  int32_t Stored(const std::string& key_path, const char* name) {
    int32_t value = -1;
    if (!testing::RegistryDword(RegistryRoot::kCurrentUser, key_path, name, &value)) return -1;
    return value;
  }

  SimCard sim_{ZELTOSIM_PATH};
  TraceCapture traces_;
};

// A change of input channel reloads the new channel's own values, and what is
// set afterwards lands under that channel's key: channel 0's stay as they were.
TEST_F(LoadUserSettingsTest, ChannelOneComesBackWithItsOwnValuesAndLeavesChannelZerosAlone) {
  StoreDword(ChannelKey(0), kCaptureFormatValue, 2);
  StoreDword(ChannelKey(0), kSampleRateValue, 3);
  StoreDword(ChannelKey(1), kCaptureFormatValue, 1);
  StoreDword(ChannelKey(1), kSampleRateValue, 4);

  LoadingCard card(sim_.host_key());
  ASSERT_EQ(card.ReadCaptureFormat(), 2);
  ASSERT_EQ(card.ReadCaptureRate(), 3);
  card.FillSettings();
  card.SetSettingValue(0, 1);
  EXPECT_EQ(card.InputChannel, 1);
  EXPECT_EQ(card.UserSettingsKey, ChannelKey(1));
  EXPECT_EQ(card.ReadCaptureFormat(), 1);
  EXPECT_EQ(card.ReadCaptureRate(), 4);
  EXPECT_EQ(card.DriverHolds().PixelFormat, kPixelFormat565);

  card.SetSettingValue(4, 19);
  card.SetSettingValue(2, 0);
  EXPECT_EQ(Stored(ChannelKey(1), kSampleRateValue), 19);
  EXPECT_EQ(Stored(ChannelKey(1), kCaptureFormatValue), 0);
  EXPECT_EQ(Stored(ChannelKey(0), kSampleRateValue), 3);
  EXPECT_EQ(Stored(ChannelKey(0), kCaptureFormatValue), 2);
  EXPECT_EQ(Stored(sim_.base_key(), kInputChannelValue), 1);
}

// A value stored as text where a DWORD belongs is not taken, neither as its
// bytes nor as its digits, and stays as it was.
TEST_F(LoadUserSettingsTest, ValuesOfAnotherTypeAreIgnored) {
  StoreString(sim_.base_key(), kInputChannelValue, "1");
  StoreString(ChannelKey(0), kLockChannelModeValue, "1");
  StoreString(ChannelKey(0), kScalingModeValue, "1");
  StoreString(ChannelKey(0), kFixedRateModeValue, "1");
  StoreString(ChannelKey(0), kCaptureFormatValue, "2");
  StoreString(ChannelKey(0), kSampleRateValue, "9");

  LoadingCard card(sim_.host_key());
  EXPECT_EQ(card.InputChannel, 0);
  EXPECT_EQ(card.ReadLockChannelMode(), 0);
  EXPECT_EQ(card.GetScalingMode(), 0);
  EXPECT_EQ(card.GetFixedRateMode(), 0);
  EXPECT_EQ(card.ReadCaptureFormat(), 0);  // as negotiated
  EXPECT_EQ(card.DriverHolds().SampleRate, 0);
  EXPECT_EQ(testing::RegistryString(RegistryRoot::kCurrentUser, ChannelKey(0), kSampleRateValue),
            "9");
  EXPECT_EQ(testing::RegistryString(RegistryRoot::kCurrentUser, ChannelKey(0), kCaptureFormatValue),
            "2");
}

// The card starts without a signal and grabs; ZeltoSim's signal comes a few
// polls later. The capture thread then loads the stored values: RGB 24 frames
// arrive, and nothing it read is written back (the stored frame rate above the
// source's would come back clamped), while the host's own writes meanwhile all
// persist. Run under ThreadSanitizer with the concurrency tests.
TEST_F(LoadUserSettingsTest, SignalArrivingDuringAGrabAppliesTheStoredValuesOnTheCaptureThread) {
  sim_.SetSignal(0, false);
  StoreDword(ChannelKey(0), kLockChannelModeValue, 1);
  StoreDword(ChannelKey(0), kStartupResolutionValue, 5);   // 1024 x 768, the mode's size
  StoreDword(ChannelKey(0), kStartupImageFormatValue, 3);  // buffers of 24-bit pixels
  StoreDword(ChannelKey(0), kCaptureFormatValue, 3);
  StoreDword(ChannelKey(0), kFixedRateModeValue, 1);
  StoreDword(ChannelKey(0), kFrameRateValue, 200);

  LoadingCard card(sim_.host_key());
  ASSERT_FALSE(card.SignalPresent);
  card.AllocateBuffers(3);
  sim_.Configure("ch0.find_signal_after=5");
  card.EnableGrab();

  std::atomic<bool> host_done{false};
  std::atomic<int32_t> last_written{-1};
  std::thread host([&] {
    for (int32_t k = 0; !host_done; k = (k + 1) % 14) {
      card.WriteStartupResolution(k);
      last_written = k;
      card.ReadCaptureRate();
      card.GetImageFormat();
    }
  });

  Watchdog watchdog(card, 30s);
  card.ArmBuffer();
  card.ArmBuffer();
  bool waited = false;
  ImageRecord* record = card.GetFrame(&waited);
  std::optional<uint32_t> first;
  std::optional<uint32_t> last;
  if (record != nullptr && record->Data != nullptr) {
    const auto* data = static_cast<const uint8_t*>(record->Data);
    uint32_t n = 0;
    if (sim::DecodeFrameNumber(data, sim::PixelLayout::kBgr24, &n)) first = n;
    if (sim::DecodeFrameNumber(data + 1024 * 3 * 767, sim::PixelLayout::kBgr24, &n)) last = n;
    card.ReleaseCurrentFrame();
  }
  host_done = true;
  host.join();
  watchdog.Stop();
  card.DisableGrab();

  ASSERT_FALSE(watchdog.fired()) << "no frame after the signal came";
  EXPECT_TRUE(traces_.HasTrace("SignalStatus: received"));
  ASSERT_TRUE(first && last) << "the frame is not RGB 24";
  EXPECT_EQ(*first, *last);
  EXPECT_EQ(card.GetImageFormat(), 200);
  EXPECT_EQ(card.ReadCaptureFormat(), 3);
  EXPECT_EQ(card.GetFixedRateMode(), 1);
  EXPECT_EQ(card.GetFrameRate(), 60);

  EXPECT_EQ(Stored(ChannelKey(0), kFrameRateValue), 200);
  EXPECT_EQ(Stored(ChannelKey(0), kFixedRateModeValue), 1);
  EXPECT_EQ(Stored(ChannelKey(0), kCaptureFormatValue), 3);
  EXPECT_EQ(Stored(ChannelKey(0), kSampleRateValue), -1);
  EXPECT_EQ(Stored(ChannelKey(0), kStartupResolutionValue), last_written.load());
}

}  // namespace
}  // namespace zelto
