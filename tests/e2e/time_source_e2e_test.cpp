// The time source plug-in seen from the host: the sample plug-in named in the
// host's key, frames grabbed from ZeltoSim through the built module, and
// IOrvaneTimeSourceProp. Both targets.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../module/com_test_util.h"
#include "module_host.h"
#include "sample_time_source.h"
#include "sim_card.h"
#include "time_code.h"
#include "timesource/time_offsets.h"

namespace zelto {
namespace {

using testing::ComPtr;
using testing::TestBstr;
using E = TimeSourceEntry;

class TimeSourceEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override { sim_.Configure("pacing=free"); }

  void CreateCard() {
    TestBstr key(sim_.host_key());
    ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  }
  ComPtr<IOrvaneTimeSourceProp> TimeSourceProp() {
    ComPtr<IOrvaneTimeSourceProp> prop;
    EXPECT_EQ(grabber_->QueryInterface(IID_IOrvaneTimeSourceProp, prop.put_void()), S_OK);
    return prop;
  }
  // Arms `frames` buffers one at a time and takes each frame as it is ready.
  std::vector<ImageRecord> Grab(int frames, std::vector<std::vector<uint8_t>>* codes = nullptr) {
    std::vector<ImageRecord> records;
    for (int i = 0; i < frames; ++i) {
      EXPECT_TRUE(SUCCEEDED(grabber_->ArmBuffer()));
      ImageRecord* record = nullptr;
      EXPECT_TRUE(SUCCEEDED(grabber_->GetFrame(&record)));
      if (record == nullptr) break;
      records.push_back(*record);
      if (codes != nullptr) {
        const auto* data = static_cast<const uint8_t*>(record->Data);
        codes->emplace_back(data, data + 4);
      }
      EXPECT_EQ(grabber_->ReleaseCurrentFrame(), S_OK);
    }
    return records;
  }

  testing::SimCard sim_{ZELTOSIM_PATH};
  testing::SampleTimeSource plugin_{ZELTO_TIMESOURCE_PATH};
  testing::ModuleHost host_{testing::ArtifactPath(ZELTO_MODULE_PATH)};
  ComPtr<IOrvaneGenericGrabber> grabber_ =
      host_.Create<IOrvaneGenericGrabber>(IID_IOrvaneGenericGrabber);
};

// The plug-in is initialised once per binding, sees each committed frame once
// (all of them before Uninitialize, which DisableGrab says after its commits), and
// is told ClearEvents at the next EnableGrab before it is bound anew.
TEST_F(TimeSourceEndToEndTest, PlugInSeesEveryFrameBetweenInitializeAndUninitialize) {
  testing::WriteTimeSourceSettings(sim_.host_key(), plugin_.path().c_str());
  CreateCard();
  ASSERT_EQ(grabber_->AllocateBuffers(4), S_OK);
  ASSERT_EQ(grabber_->EnableGrab(), S_OK);
  EXPECT_EQ(plugin_.CallLog(), std::vector<E>{E::kInitialize});
  ASSERT_EQ(Grab(5).size(), 5u);
  ASSERT_TRUE(SUCCEEDED(grabber_->ArmBuffer()));  // pending at DisableGrab
  ASSERT_TRUE(SUCCEEDED(grabber_->ArmBuffer()));
  ASSERT_EQ(grabber_->DisableGrab(), S_OK);
  std::vector<E> expected{E::kInitialize};
  expected.insert(expected.end(), 7, E::kProcessImageData);
  expected.push_back(E::kUninitialize);
  EXPECT_EQ(plugin_.CallLog(), expected);

  ASSERT_EQ(grabber_->ReleaseAllFrames(), S_OK);
  ASSERT_EQ(grabber_->EnableGrab(), S_OK);
  expected.push_back(E::kClearEvents);
  expected.push_back(E::kInitialize);
  EXPECT_EQ(plugin_.CallLog(), expected);
  ASSERT_EQ(grabber_->DisableGrab(), S_OK);
}

// The plug-in writes the code of the stamp it sees; the module then adds
// TimeSourceOffset to the stamp and the LTC offset to the code. So every frame's
// code is the code of (its time - TimeSourceOffset) moved by the LTC offset.
void ExpectCodesCarryTheOffsets(const std::vector<ImageRecord>& records,
                                const std::vector<std::vector<uint8_t>>& codes, int rate,
                                int32_t offset_us, int32_t ltc_offset) {
  ASSERT_EQ(records.size(), codes.size());
  for (size_t i = 0; i < records.size(); ++i) {
    ImageRecord stamp = records[i];
    ApplyTimeSourceOffset(&stamp, -offset_us);
    uint8_t expected[4];
    timesource::WriteTimeCode(
        timesource::TimeCodeAt(stamp.Seconds, stamp.Milliseconds * 1000u + stamp.Microseconds,
                               rate),
        expected);
    ApplyLtcOffset(expected, ltc_offset, rate);
    EXPECT_EQ(0, std::memcmp(codes[i].data(), expected, 4))
        << "frame " << i << ": " << std::hex << +codes[i][3] << ":" << +codes[i][2] << ":"
        << +codes[i][1] << "." << +codes[i][0] << " for " << +expected[3] << ":" << +expected[2]
        << ":" << +expected[1] << "." << +expected[0];
  }
}

TEST_F(TimeSourceEndToEndTest, TimeCodeCarriesTheLtcOffsetAndStampsTheTimeOffset) {
  struct Case {
    const char* config;
    int rate;
    uint32_t mode;
    int32_t offset_us;
    int32_t ltc_offset;
  };
  const Case cases[] = {
      {"rate=30", 30, 0, 1'000'000, 5}, {"rate=20", 20, 1, -1, -3}, {"rate=24", 24, 2, 0, 1}};
  CreateCard();
  ASSERT_EQ(grabber_->AllocateBuffers(4), S_OK);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    plugin_.Configure(c.config);
    testing::WriteTimeSourceSettings(sim_.host_key(), plugin_.path().c_str(), c.offset_us,
                                     c.ltc_offset, c.mode);
    ASSERT_EQ(grabber_->EnableGrab(), S_OK);
    std::vector<std::vector<uint8_t>> codes;
    std::vector<ImageRecord> records = Grab(40, &codes);
    ASSERT_EQ(grabber_->DisableGrab(), S_OK);
    ASSERT_EQ(grabber_->ReleaseAllFrames(), S_OK);
    ASSERT_EQ(records.size(), 40u);
    ExpectCodesCarryTheOffsets(records, codes, c.rate, c.offset_us, c.ltc_offset);
    // The code advances with the frames, never back (the grab spans no midnight
    // here but may cross one: compare as frames of the day modulo a day).
    for (size_t i = 1; i < codes.size(); ++i) {
      auto frames_of_day = [&](const std::vector<uint8_t>& b) {
        timesource::TimeCode t = timesource::ReadTimeCode(b.data());
        return ((t.hours * 60 + t.minutes) * 60 + t.seconds) * c.rate + t.frames;
      };
      const int day = 24 * 3600 * c.rate;
      const int step = (frames_of_day(codes[i]) - frames_of_day(codes[i - 1]) + day) % day;
      EXPECT_LT(step, day / 2) << "frame " << i;
    }
  }
  EXPECT_EQ(plugin_.Counters().time_codes_written, 120u);
}

// A hundred grabs that bind, replace, refuse and drop plug-ins leave nothing
// behind: the sanitizer's leak check sees no binding, and a fresh load of the
// variant the module bound last shows that its library was unloaded (the test
// does not hold that one, so its counters start again from zero).
TEST_F(TimeSourceEndToEndTest, HundredGrabsLeaveNoBindingBehind) {
  const std::string variant = testing::ArtifactPath(ZELTO_TIMESOURCE_NO_MICROSECOND_PATH);
  const std::string refused = testing::ArtifactPath(ZELTO_TIMESOURCE_NO_GETNAME_PATH);
  const std::string names[] = {plugin_.path(), variant, "System", refused, variant};
  CreateCard();
  ASSERT_EQ(grabber_->AllocateBuffers(2), S_OK);
  for (int i = 0; i < 100; ++i) {
    testing::WriteTimeSourceSettings(sim_.host_key(), names[i % 5].c_str());
    ASSERT_EQ(grabber_->EnableGrab(), S_OK);
    ASSERT_EQ(Grab(2).size(), 2u);
    ASSERT_EQ(grabber_->DisableGrab(), S_OK);
    ASSERT_EQ(grabber_->ReleaseAllFrames(), S_OK);
  }
  EXPECT_EQ(plugin_.Calls(E::kInitialize), 20u);
  EXPECT_EQ(plugin_.Calls(E::kUninitialize), 20u);
  EXPECT_EQ(plugin_.Calls(E::kProcessImageData), 40u);
  grabber_.Reset();  // the last binding (the variant) goes with the card
  testing::SampleTimeSource reloaded(ZELTO_TIMESOURCE_NO_MICROSECOND_PATH);
  EXPECT_EQ(reloaded.Calls(E::kInitialize), 0u);
}

// Before CreateCard nothing is touched, also a null pointer; without a plug-in
// the answers are 0 and null pointers are refused.
TEST_F(TimeSourceEndToEndTest, InterfaceBeforeTheCardAndWithoutAPlugIn) {
  auto prop = TimeSourceProp();
  ASSERT_NE(prop.get(), nullptr);
  int32_t status = 77;
  int32_t supported = 77;
  int32_t value = 3;
  EXPECT_EQ(prop->GetSynchronizationStatus(&status), S_OK);
  EXPECT_EQ(prop->IsGPSSupported(&supported), S_OK);
  EXPECT_EQ(prop->GetGPSData(nullptr, 1), S_OK);
  EXPECT_EQ(prop->GetGPSData(&value, 1), S_OK);
  EXPECT_EQ(prop->StopReadingGPSData(), S_OK);
  EXPECT_EQ(status, 77);
  EXPECT_EQ(supported, 77);

  testing::WriteTimeSourceSettings(sim_.host_key(), "System");
  CreateCard();
  ASSERT_EQ(grabber_->AllocateBuffers(2), S_OK);
  ASSERT_EQ(grabber_->EnableGrab(), S_OK);
  EXPECT_EQ(prop->GetSynchronizationStatus(&status), S_OK);
  EXPECT_EQ(prop->IsGPSSupported(&supported), S_OK);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(supported, 0);
  EXPECT_EQ(prop->GetGPSData(&value, 1), S_OK);
  EXPECT_EQ(prop->StopReadingGPSData(), S_OK);
  EXPECT_EQ(prop->GetSynchronizationStatus(nullptr), E_POINTER);
  EXPECT_EQ(prop->IsGPSSupported(nullptr), E_POINTER);
  EXPECT_EQ(prop->GetGPSData(nullptr, 1), E_POINTER);
  EXPECT_EQ(grabber_->DisableGrab(), S_OK);
  EXPECT_TRUE(plugin_.CallLog().empty());
}

// One NMEA sentence with its checksum.
std::string Nmea(const std::string& body) {
  unsigned sum = 0;
  for (char ch : body) sum ^= static_cast<unsigned char>(ch);
  char tail[8];
  std::snprintf(tail, sizeof(tail), "*%02X\r\n", sum);
  return "$" + body + tail;
}

class TimeSourceGpsTest : public TimeSourceEndToEndTest {
 protected:
  // Binds the plug-in with `gps` as its NMEA source.
  void BindWithGps(const std::string& config) {
    plugin_.Configure(config.c_str());
    testing::WriteTimeSourceSettings(sim_.host_key(), plugin_.path().c_str());
    CreateCard();
    ASSERT_EQ(grabber_->AllocateBuffers(2), S_OK);
    ASSERT_EQ(grabber_->EnableGrab(), S_OK);
    ASSERT_EQ(grabber_->QueryInterface(IID_IOrvaneTimeSourceProp, prop_.put_void()), S_OK);
  }
  std::string WriteNmeaFile() {
    const std::string path = dir_.path() + "/drive.nmea";
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    const std::string text =
        Nmea("GPGGA,123519.00,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,,") +
        Nmea("GPRMC,123520.00,A,4807.038,N,01131.000,E,022.4,084.4,081226,003.1,W");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return testing::ArtifactPath(path.c_str());
  }

  testing::ScopedTempDir dir_;
  ComPtr<IOrvaneTimeSourceProp> prop_;
};

// The file replayed through GetGPSData gives the documented status: a valid fix
// (bit 30) of GGA quality 2 (bits 25-27), the reader done (bit 29 clear), nothing
// measured (bit 31 clear); the value read is the sentence limit.
TEST_F(TimeSourceGpsTest, NmeaReplayGivesTheDocumentedStatusAndFix) {
  BindWithGps("gps=" + WriteNmeaFile());
  int32_t supported = 0;
  ASSERT_EQ(prop_->IsGPSSupported(&supported), S_OK);
  EXPECT_EQ(supported, 1);
  int32_t limit = 1;
  ASSERT_EQ(prop_->GetGPSData(&limit, 1), S_OK);
  ASSERT_TRUE(testing::WaitUntil([&] { return plugin_.Gps().ended != 0; }));
  ZeltoTimeSourceGps gps = plugin_.Gps();
  EXPECT_EQ(gps.gga_sentences + gps.rmc_sentences, 1u);  // stopped after one
  EXPECT_EQ(gps.quality, 2u);
  EXPECT_EQ(gps.satellites, 8);
  EXPECT_EQ(gps.latitude_e6, 48'117'300);
  EXPECT_EQ(gps.longitude_e6, 11'516'666);
  int32_t status = 0;
  ASSERT_EQ(prop_->GetSynchronizationStatus(&status), S_OK);
  EXPECT_EQ(static_cast<uint32_t>(status), (1u << 30) | (2u << 25));

  limit = 0;
  ASSERT_EQ(prop_->GetGPSData(&limit, 1), S_OK);
  ASSERT_TRUE(testing::WaitUntil([&] { return plugin_.Gps().ended != 0; }));
  gps = plugin_.Gps();
  EXPECT_EQ(gps.gga_sentences, 1u);
  EXPECT_EQ(gps.rmc_sentences, 1u);
  EXPECT_EQ(gps.date, 20261208);
  ASSERT_EQ(grabber_->DisableGrab(), S_OK);
}

// The host's flag reaches the plug-in as 0 or 1: a non-zero flag (5, or 256,
// which an 8-bit cut would make 0) restarts a running reader, 0 leaves it alone.
TEST_F(TimeSourceGpsTest, NonZeroFlagArrivesAsOne) {
  BindWithGps("gpspace=60000;gps=" + WriteNmeaFile());
  int32_t limit = 0;
  ASSERT_EQ(prop_->GetGPSData(&limit, 0), S_OK);
  EXPECT_EQ(plugin_.Gps().starts, 1u);
  ASSERT_EQ(prop_->GetGPSData(&limit, 0), S_OK);
  EXPECT_EQ(plugin_.Gps().starts, 1u);
  ASSERT_EQ(prop_->GetGPSData(&limit, 5), S_OK);
  EXPECT_EQ(plugin_.Gps().starts, 2u);
  ASSERT_EQ(prop_->GetGPSData(&limit, 256), S_OK);
  EXPECT_EQ(plugin_.Gps().starts, 3u);
  int32_t status = 0;
  ASSERT_EQ(prop_->GetSynchronizationStatus(&status), S_OK);
  EXPECT_NE(static_cast<uint32_t>(status) & (1u << 29), 0u);  // reading
  ASSERT_EQ(prop_->StopReadingGPSData(), S_OK);
  EXPECT_EQ(plugin_.Gps().reading, 0u);
  ASSERT_EQ(grabber_->DisableGrab(), S_OK);
}

}  // namespace
}  // namespace zelto
