// The sample time source plug-in's pure logic: the time code it writes, the NMEA
// sentences it reads, its configuration text and its status word.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "nmea.h"
#include "plugin_config.h"
#include "sync_status.h"
#include "time_code.h"
#include "timesource/time_offsets.h"

namespace zelto::timesource {
namespace {

// 2026-12-08 00:00:00 UTC.
constexpr int64_t kDay = 1796688000;

std::array<uint8_t, 4> Code(int64_t seconds, uint32_t microseconds, int rate) {
  std::array<uint8_t, 4> bytes{};
  WriteTimeCode(TimeCodeAt(seconds, microseconds, rate), bytes.data());
  return bytes;
}

using Bytes = std::array<uint8_t, 4>;

TEST(TimeCodeTest, BcdDigitsOfTheTimeOfDay) {
  // 12:34:56 and half a second: frame 15 of 30.
  EXPECT_EQ(Code(kDay + 12 * 3600 + 34 * 60 + 56, 500000, 30), (Bytes{0x15, 0x56, 0x34, 0x12}));
  EXPECT_EQ(Code(kDay + 9 * 3600 + 5 * 60 + 7, 0, 30), (Bytes{0x00, 0x07, 0x05, 0x09}));
}

TEST(TimeCodeTest, FrameInProgressAtEachRate) {
  struct Case {
    int rate;
    uint32_t us;
    uint8_t frame;
  } cases[] = {
      // clang-format off
      {30, 33333, 0x00},  // frame 1 starts at 33333.3 us
      {30, 33334, 0x01},
      {30, 999999, 0x29},
      {25, 40000, 0x01},  // exactly on a frame boundary: the new frame
      {25, 999999, 0x24},
      {24, 500000, 0x12},
      {20, 949999, 0x18},
      {20, 950000, 0x19},
      {40, 999999, 0x39},  // the highest rate two tens bits hold
      // clang-format on
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Code(kDay, c.us, c.rate)[0], c.frame) << c.rate << " fps at " << c.us;
  }
}

TEST(TimeCodeTest, MidnightAndTimesBefore1970) {
  EXPECT_EQ(Code(kDay - 1, 999999, 30), (Bytes{0x29, 0x59, 0x59, 0x23}));
  EXPECT_EQ(Code(kDay, 0, 30), (Bytes{0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Code(kDay + 86399, 0, 24), (Bytes{0x00, 0x59, 0x59, 0x23}));
  // One second before the epoch is 23:59:59, not a negative hour.
  EXPECT_EQ(Code(-1, 0, 25), (Bytes{0x00, 0x59, 0x59, 0x23}));
}

// The module's LTC offset must read what the plug-in writes: seconds and minutes
// in the 40s and 50s use a third tens bit.
TEST(TimeCodeTest, ModuleLtcOffsetActsOnTheWrittenCode) {
  Bytes bytes = Code(kDay - 1, 999999, 30);  // 23:59:59 frame 29
  ApplyLtcOffset(bytes.data(), 1, 30);
  EXPECT_EQ(bytes, (Bytes{0x00, 0x00, 0x00, 0x00}));

  bytes = Code(kDay + 13 * 3600 + 47 * 60 + 58, 960000, 25);  // 13:47:58 frame 24
  ApplyLtcOffset(bytes.data(), 3, 25);
  const TimeCode code = ReadTimeCode(bytes.data());
  EXPECT_EQ(code.hours, 13);
  EXPECT_EQ(code.minutes, 47);
  EXPECT_EQ(code.seconds, 59);
  EXPECT_EQ(code.frames, 2);
}

// Appends "*HH" for `body` (the text between '$' and '*').
std::string WithChecksum(const std::string& body) {
  uint8_t sum = 0;
  for (char c : body) sum ^= static_cast<uint8_t>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X", sum);
  return "$" + body + tail;
}

// The widely published examples, checksums as printed.
constexpr const char* kRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";
constexpr const char* kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";

TEST(NmeaTest, ValidRmc) {
  const NmeaSentence s = ParseNmeaSentence(std::string(kRmc) + "\r\n");
  ASSERT_EQ(s.kind, NmeaKind::kRmc);
  EXPECT_TRUE(s.valid);
  EXPECT_EQ(s.time_ms, (12 * 3600 + 35 * 60 + 19) * 1000);
  EXPECT_EQ(s.date, 19940323);
  EXPECT_EQ(s.latitude_e6, 48117300);   // 48 deg 7.038'
  EXPECT_EQ(s.longitude_e6, 11516666);  // 11 deg 31.000'
}

TEST(NmeaTest, ValidGga) {
  const NmeaSentence s = ParseNmeaSentence(kGga);
  ASSERT_EQ(s.kind, NmeaKind::kGga);
  EXPECT_TRUE(s.valid);
  EXPECT_EQ(s.quality, 1);
  EXPECT_EQ(s.satellites, 8);
  EXPECT_EQ(s.altitude_cm, 54540);
  EXPECT_EQ(s.latitude_e6, 48117300);
}

TEST(NmeaTest, OtherTalkersHemispheresAndFractions) {
  const NmeaSentence s = ParseNmeaSentence(
      WithChecksum("GNRMC,235959.250,A,3351.540,S,15112.460,W,0.0,0.0,311224,,,A"));
  ASSERT_EQ(s.kind, NmeaKind::kRmc);
  EXPECT_EQ(s.time_ms, 86399250);
  EXPECT_EQ(s.date, 20241231);
  EXPECT_EQ(s.latitude_e6, -33859000);
  EXPECT_EQ(s.longitude_e6, -151207666);
  // Lower-case checksum digits are accepted.
  std::string lower = kRmc;
  lower.back() = 'a';
  EXPECT_EQ(ParseNmeaSentence(lower).kind, NmeaKind::kRmc);
}

TEST(NmeaTest, NoFixIsWellFormed) {
  const NmeaSentence rmc = ParseNmeaSentence(WithChecksum("GPRMC,,V,,,,,,,,,,N"));
  ASSERT_EQ(rmc.kind, NmeaKind::kRmc);
  EXPECT_FALSE(rmc.valid);
  EXPECT_FALSE(rmc.has_time);
  EXPECT_FALSE(rmc.has_position);
  const NmeaSentence gga = ParseNmeaSentence(WithChecksum("GPGGA,120000,,,,,0,00,,,M,,M,,"));
  ASSERT_EQ(gga.kind, NmeaKind::kGga);
  EXPECT_FALSE(gga.valid);
}

TEST(NmeaTest, BadChecksumIsRejected) {
  std::string line = kRmc;
  line[20] = '9';  // one digit of the latitude
  EXPECT_EQ(ParseNmeaSentence(line).kind, NmeaKind::kBadChecksum);
  line = kGga;
  line.back() = '8';
  EXPECT_EQ(ParseNmeaSentence(line).kind, NmeaKind::kBadChecksum);
}

TEST(NmeaTest, TruncatedAndMalformedLinesAreRejected) {
  const std::string rmc = kRmc;
  const char* bad[] = {
      "",
      "GPRMC,123519,A*00",                        // no '$'
      "$GPRMC,123519,A,4807.038,N,01131.0",       // cut short: no checksum
      "$GPRMC,123519,A,4807.038,N,01131.000,E*",  // checksum cut
  };
  for (const char* line : bad) {
    EXPECT_EQ(ParseNmeaSentence(line).kind, NmeaKind::kMalformed) << line;
  }
  EXPECT_EQ(ParseNmeaSentence(rmc.substr(0, rmc.size() - 1)).kind, NmeaKind::kMalformed);
  EXPECT_EQ(ParseNmeaSentence(rmc + " ").kind, NmeaKind::kMalformed);
  // Right checksums over wrong content.
  const char* bodies[] = {
      "GPRMC,123519,A,4807.038,N,01131.000,E",           // too few fields
      "GPRMC,123519,X,4807.038,N,01131.000,E,,,230394",  // status
      "GPRMC,246000,A,4807.038,N,01131.000,E,,,230394",  // hour 24
      "GPRMC,123519,A,4867.038,N,01131.000,E,,,230394",  // 67 minutes
      "GPRMC,123519,A,4807.038,E,01131.000,E,,,230394",  // hemisphere
      "GPRMC,123519,A,4807.038,N,01131.000,E,,,320394",  // day 32
      "GPGGA,123519,4807.038,N,01131.000,E,x,08,0.9,545.4,M",
      "GPGGA,123519,4807.038,N,,E,1,08,0.9,545.4,M",  // half a position
      "GPRMC",
  };
  for (const char* body : bodies) {
    EXPECT_EQ(ParseNmeaSentence(WithChecksum(body)).kind, NmeaKind::kMalformed) << body;
  }
}

TEST(NmeaTest, OtherSentencesOnlyCount) {
  const NmeaSentence s = ParseNmeaSentence(WithChecksum("GPGSV,3,1,11,03,03,111,00"));
  EXPECT_EQ(s.kind, NmeaKind::kOther);
  GpsFix fix;
  ApplyNmeaSentence(s, &fix);
  EXPECT_EQ(fix.other_count, 1u);
  EXPECT_FALSE(fix.valid);
  EXPECT_FALSE(fix.has_time);
}

TEST(NmeaTest, FixFollowsTheLatestSentence) {
  GpsFix fix;
  ApplyNmeaSentence(ParseNmeaSentence(WithChecksum(
                        "GPGGA,101010,4807.038,N,01131.000,E,2,11,0.9,545.4,M,46.9,M,,")),
                    &fix);
  ApplyNmeaSentence(ParseNmeaSentence(kRmc), &fix);
  EXPECT_TRUE(fix.valid);
  EXPECT_EQ(fix.quality, 2);  // RMC does not lower DGPS to GPS
  EXPECT_EQ(fix.satellites, 11);
  EXPECT_EQ(fix.time_ms, (12 * 3600 + 35 * 60 + 19) * 1000);
  EXPECT_EQ(fix.date, 19940323);
  ApplyNmeaSentence(ParseNmeaSentence(WithChecksum("GPRMC,123520,V,,,,,,,230394,,")), &fix);
  EXPECT_FALSE(fix.valid);
  EXPECT_EQ(fix.quality, 0);
  EXPECT_TRUE(fix.has_position);  // the last known position stays
  ApplyNmeaSentence(ParseNmeaSentence("$GPRMC,garbage*00"), &fix);
  EXPECT_EQ(fix.rmc_count, 2u);
  EXPECT_EQ(fix.gga_count, 1u);
  EXPECT_EQ(fix.rejected_count, 1u);
}

TEST(PluginConfigTest, EveryKey) {
  PluginConfig c;
  std::string error;
  ASSERT_TRUE(
      ApplyPluginConfig("rate=25; clock=local;timecode=off;discipline=2;shift=-1500;gps=/dev/ttyS0;"
                        "baud=9600;gpspace=20;init=fail;throw=3;",
                        &c, &error))
      << error;
  EXPECT_EQ(c.rate, 25);
  EXPECT_EQ(c.clock, TimeCodeClock::kLocal);
  EXPECT_FALSE(c.time_code);
  EXPECT_EQ(c.discipline, Discipline::kCorrect);
  EXPECT_EQ(c.shift_us, -1500);
  EXPECT_EQ(c.gps, "/dev/ttyS0");
  EXPECT_EQ(c.baud, 9600u);
  EXPECT_EQ(c.gps_pace_ms, 20u);
  EXPECT_TRUE(c.init_fails);
  EXPECT_EQ(c.throw_from, 3u);
}

TEST(PluginConfigTest, BadSettingStopsAfterTheGoodOnes) {
  const char* bad[] = {"rate=41",   "rate=0",     "rate=2x",    "discipline=3",
                       "clock=gmt", "init=maybe", "colour=red", "rate"};
  for (const char* item : bad) {
    PluginConfig c;
    std::string error;
    EXPECT_FALSE(ApplyPluginConfig(std::string("rate=20;") + item + ";throw=1", &c, &error))
        << item;
    EXPECT_EQ(c.rate, 20) << item;
    EXPECT_EQ(c.throw_from, 0u) << item;
    EXPECT_NE(error.find(item), std::string::npos) << error;
  }
}

TEST(SyncStatusTest, ZeroMeansNotSynchronised) {
  EXPECT_EQ(EncodeSyncStatus(SyncInputs{}), 0u);
  // An offset that was never measured is not reported.
  SyncInputs in;
  in.offset_us = 1234;
  EXPECT_EQ(EncodeSyncStatus(in), 0u);
}

TEST(SyncStatusTest, OffsetSignAndSaturation) {
  SyncInputs in;
  in.measured = true;
  in.offset_us = 1500;
  EXPECT_EQ(EncodeSyncStatus(in), kSyncClockMeasured | 1500u);
  in.offset_us = -2000000;
  EXPECT_EQ(EncodeSyncStatus(in), kSyncClockMeasured | kSyncNegative | 2000000u);
  in.offset_us = 0;
  EXPECT_EQ(EncodeSyncStatus(in), kSyncClockMeasured);
  in.offset_us = -(int64_t{1} << 40);
  EXPECT_EQ(EncodeSyncStatus(in), kSyncClockMeasured | kSyncNegative | kSyncMagnitudeMask);
}

TEST(SyncStatusTest, GpsBits) {
  SyncInputs in;
  in.gps_reading = true;
  EXPECT_EQ(EncodeSyncStatus(in), kSyncGpsReading);
  in.gps_fix = true;
  in.gps_quality = 2;
  EXPECT_EQ(EncodeSyncStatus(in), kSyncGpsReading | kSyncGpsFix | (2u << kSyncQualityShift));
  in.gps_quality = 9;  // clamped into its three bits
  EXPECT_EQ(EncodeSyncStatus(in) & kSyncQualityMask, kSyncQualityMask);
}

TEST(OffsetFilterTest, FirstSampleThenAnEighthOfEachDifference) {
  OffsetFilter f;
  EXPECT_EQ(f.Add(-800), -800);
  EXPECT_EQ(f.Add(0), -700);
  EXPECT_EQ(f.samples(), 2u);
  // A step is followed, to within the filter's integer step of 8 us.
  for (int i = 0; i < 100; ++i) f.Add(5000);
  EXPECT_NEAR(static_cast<double>(f.value()), 5000.0, 8.0);
  f.Reset();
  EXPECT_EQ(f.Add(42), 42);
}

}  // namespace
}  // namespace zelto::timesource
