// The sample time source plug-in driven through its exports, as the module and the
// tests of the module see it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/dynamic_library.h"
#include "sync_status.h"
#include "test_support.h"
#include "time_code.h"
#include "timesource/time_source_plugin.h"
#include "zelto_time_source_control.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zelto {
namespace {

using timesource::kSyncClockMeasured;
using timesource::kSyncGpsFix;
using timesource::kSyncGpsReading;
using timesource::kSyncMagnitudeMask;
using timesource::kSyncNegative;
using timesource::kSyncQualityShift;

struct Plugin {
  platform::LibraryHandle library = nullptr;
#define ZELTO_TS_TEST_MEMBER(name, required, result, params) PFN_TimeSource_##name name = nullptr;
  ZELTO_TIME_SOURCE_ENTRY_POINTS(ZELTO_TS_TEST_MEMBER)
#undef ZELTO_TS_TEST_MEMBER
  PFN_ZeltoTimeSource_Reset Reset = nullptr;
  PFN_ZeltoTimeSource_Configure Configure = nullptr;
  PFN_ZeltoTimeSource_GetCounters GetCounters = nullptr;
  PFN_ZeltoTimeSource_GetCallLog GetCallLog = nullptr;
  PFN_ZeltoTimeSource_GetState GetState = nullptr;
  PFN_ZeltoTimeSource_GetGps GetGps = nullptr;

  // Loads `path` and resolves what it exports; absent names stay null.
  explicit Plugin(const char* path)
      : library(platform::LoadDynamicLibrary(testing::ArtifactPath(path).c_str())) {
    if (library == nullptr) return;
#define ZELTO_TS_TEST_RESOLVE(name, required, result, params) \
  name = reinterpret_cast<PFN_TimeSource_##name>(platform::ResolveSymbol(library, #name));
    ZELTO_TIME_SOURCE_ENTRY_POINTS(ZELTO_TS_TEST_RESOLVE)
#undef ZELTO_TS_TEST_RESOLVE
    Resolve("ZeltoTimeSource_Reset", &Reset);
    Resolve("ZeltoTimeSource_Configure", &Configure);
    Resolve("ZeltoTimeSource_GetCounters", &GetCounters);
    Resolve("ZeltoTimeSource_GetCallLog", &GetCallLog);
    Resolve("ZeltoTimeSource_GetState", &GetState);
    Resolve("ZeltoTimeSource_GetGps", &GetGps);
  }
  ~Plugin() { platform::UnloadDynamicLibrary(library); }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  template <typename T>
  void Resolve(const char* name, T* out) {
    *out = reinterpret_cast<T>(platform::ResolveSymbol(library, name));
  }

  ZeltoTimeSourceCounters Counters() const {
    ZeltoTimeSourceCounters c{};
    GetCounters(&c);
    return c;
  }
  uint32_t Calls(TimeSourceEntry e) const { return Counters().calls[static_cast<int>(e)]; }
  ZeltoTimeSourceGps Gps() const {
    ZeltoTimeSourceGps g{};
    GetGps(&g);
    return g;
  }
};

// 2026-12-08 00:00:00 UTC.
constexpr int32_t kDay = 1796688000;

struct Frame {
  uint8_t pixels[16] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  ImageRecord record{};
  Frame(int32_t seconds, uint16_t ms, uint16_t us = 0) {
    record.Data = pixels;
    record.Seconds = seconds;
    record.Milliseconds = ms;
    record.Microseconds = us;
  }
  timesource::TimeCode Code() const { return timesource::ReadTimeCode(pixels); }
};

// Waits for `done` with a deadline that only ends a hang.
bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

class SampleTimeSourceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { plugin_ = new Plugin(ZELTO_TIMESOURCE_PATH); }
  static void TearDownTestSuite() {
    delete plugin_;
    plugin_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(plugin_->library, nullptr);
    ASSERT_NE(plugin_->Reset, nullptr);
    plugin_->Reset();
  }
  void TearDown() override { plugin_->Reset(); }

  void Configure(const char* text) { ASSERT_EQ(plugin_->Configure(text), 0u) << text; }

  // A replay file in the test's directory.
  std::string WriteReplay(const std::vector<std::string>& lines, bool last_newline = true) {
    const std::string path = dir_.path() + "/replay.nmea";
    std::ofstream out(path, std::ios::binary);
    for (size_t i = 0; i < lines.size(); ++i) {
      out << lines[i];
      if (i + 1 < lines.size() || last_newline) out << "\r\n";
    }
    return path;
  }

  static Plugin* plugin_;
  testing::ScopedTempDir dir_;
};

Plugin* SampleTimeSourceTest::plugin_ = nullptr;

const std::vector<std::string> kReplay = {
    "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A",
    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6B",  // bad sum
    "$GPGSV,3,1,11,03,03,111,00*4A",
    "$GPRMC,1235",  // truncated
};

TEST_F(SampleTimeSourceTest, ExportsEveryEntryPointAndTheVariantsLeaveOneOut) {
#define ZELTO_TS_TEST_PRESENT(name, required, result, params) \
  EXPECT_NE(plugin_->name, nullptr) << #name;
  ZELTO_TIME_SOURCE_ENTRY_POINTS(ZELTO_TS_TEST_PRESENT)
#undef ZELTO_TS_TEST_PRESENT
  EXPECT_STREQ(plugin_->GetName(), "ZeltoTimeSource");

  Plugin no_name(ZELTO_TIMESOURCE_NO_GETNAME_PATH);
  ASSERT_NE(no_name.library, nullptr);
  EXPECT_EQ(no_name.GetName, nullptr);
  EXPECT_NE(no_name.GetInfo, nullptr);
  EXPECT_NE(no_name.MicroSecond, nullptr);
  EXPECT_NE(no_name.StopReadingGPSData, nullptr);

  Plugin no_micro(ZELTO_TIMESOURCE_NO_MICROSECOND_PATH);
  ASSERT_NE(no_micro.library, nullptr);
  EXPECT_EQ(no_micro.MicroSecond, nullptr);
  EXPECT_NE(no_micro.GetName, nullptr);
  EXPECT_NE(no_micro.SetDroppedFrames, nullptr);
}

TEST_F(SampleTimeSourceTest, ProcessImageDataWritesTheTimeCodeAtTheConfiguredRate) {
  Frame a(kDay + 23 * 3600 + 59 * 60 + 59, 966, 700);  // 23:59:59.9667
  EXPECT_NE(plugin_->ProcessImageData(&a.record), 0);
  EXPECT_EQ(a.pixels[0], 0x29);
  EXPECT_EQ(a.pixels[1], 0x59);
  EXPECT_EQ(a.pixels[2], 0x59);
  EXPECT_EQ(a.pixels[3], 0x23);
  EXPECT_EQ(a.pixels[4], 0xAA);  // only four bytes
  // The record's time is left alone without shift or correction.
  EXPECT_EQ(a.record.Seconds, kDay + 86399);
  EXPECT_EQ(a.record.Milliseconds, 966);
  EXPECT_EQ(a.record.Microseconds, 700);

  Configure("rate=25");
  Frame b(kDay + 7 * 3600 + 8 * 60 + 9, 480);
  plugin_->ProcessImageData(&b.record);
  EXPECT_EQ(b.Code().frames, 12);
  EXPECT_EQ(b.Code().seconds, 9);

  Configure("rate=20");
  Frame c(kDay, 999);
  plugin_->ProcessImageData(&c.record);
  EXPECT_EQ(c.Code().frames, 19);
  EXPECT_EQ(plugin_->Counters().time_codes_written, 3u);
}

TEST_F(SampleTimeSourceTest, FramesWithoutDataAreLeftAlone) {
  Frame f(kDay, 500);
  f.record.Data = nullptr;
  EXPECT_EQ(plugin_->ProcessImageData(&f.record), 0);
  EXPECT_EQ(plugin_->ProcessImageData(nullptr), 0);
  Configure("timecode=off");
  Frame g(kDay, 500);
  plugin_->ProcessImageData(&g.record);
  EXPECT_EQ(g.pixels[0], 0xAA);
  EXPECT_EQ(plugin_->Counters().time_codes_written, 0u);
  EXPECT_EQ(plugin_->Calls(TimeSourceEntry::kProcessImageData), 3u);
}

TEST_F(SampleTimeSourceTest, LocalClockAddsTheZone) {
  // Three hours east of UTC, no daylight saving, in both C runtimes' TZ syntax.
  const char* old = std::getenv("TZ");
  const std::string saved = old != nullptr ? old : "";
#ifdef _WIN32
  _putenv_s("TZ", "XYZ-3");
#else
  setenv("TZ", "XYZ-3", 1);
#endif
  Configure("clock=local");
  Frame f(kDay + 22 * 3600 + 30 * 60, 0);
  plugin_->ProcessImageData(&f.record);
#ifdef _WIN32
  _putenv_s("TZ", saved.c_str());
#else
  if (old != nullptr) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
#endif
  EXPECT_EQ(f.Code().hours, 1);  // 22:30 UTC is 01:30 the next day
  EXPECT_EQ(f.Code().minutes, 30);
  EXPECT_EQ(f.record.Seconds, kDay + 22 * 3600 + 30 * 60);  // the stamp stays UTC
}

TEST_F(SampleTimeSourceTest, ShiftMovesTheRecordAndItsTimeCode) {
  Configure("shift=-1500001");
  Frame f(kDay + 10, 0, 0);
  plugin_->ProcessImageData(&f.record);
  EXPECT_EQ(f.record.Seconds, kDay + 8);
  EXPECT_EQ(f.record.Milliseconds, 499);
  EXPECT_EQ(f.record.Microseconds, 999);
  EXPECT_EQ(f.Code().seconds, 8);
  EXPECT_EQ(f.Code().frames, 14);  // .499999 s at 30 fps
}

// A frame stamped `offset_us` from the plug-in's own clock now.
Frame FrameAtOffset(Plugin* p, int64_t offset_us) {
  ImageRecord now{};
  EXPECT_NE(p->GetCurrentTimeStamp(&now), 0);
  int64_t t =
      int64_t{now.Seconds} * 1000000 + now.Milliseconds * 1000 + now.Microseconds + offset_us;
  return Frame(static_cast<int32_t>(t / 1000000), static_cast<uint16_t>(t / 1000 % 1000),
               static_cast<uint16_t>(t % 1000));
}

TEST_F(SampleTimeSourceTest, DisciplineMeasuresTheOffsetFromTheUtcClock) {
  EXPECT_EQ(plugin_->GetSynchronizationStatus(), 0u);
  Configure("discipline=1");
  EXPECT_EQ(plugin_->GetSynchronizationStatus(), 0u);  // nothing measured yet
  Frame f = FrameAtOffset(plugin_, -2000000);
  const ImageRecord before = f.record;
  plugin_->ProcessImageData(&f.record);
  const uint32_t status = plugin_->GetSynchronizationStatus();
  EXPECT_EQ(status & (kSyncClockMeasured | kSyncNegative), kSyncClockMeasured | kSyncNegative);
  // The record was stamped before it was processed, so it looks a little further behind.
  const uint32_t magnitude = status & kSyncMagnitudeMask;
  EXPECT_GE(magnitude, 2000000u);
  EXPECT_LT(magnitude, 2500000u);
  EXPECT_EQ(f.record.Seconds, before.Seconds);  // measured, not corrected
  EXPECT_EQ(f.record.Microseconds, before.Microseconds);

  ZeltoTimeSourceState state{};
  plugin_->GetState(&state);
  EXPECT_EQ(state.samples, 1u);
  EXPECT_EQ(state.filtered_offset_us, state.last_offset_us);
  EXPECT_EQ(static_cast<uint32_t>(-state.filtered_offset_us), magnitude);

  // ClearEvents forgets the measurement.
  plugin_->ClearEvents();
  EXPECT_EQ(plugin_->GetSynchronizationStatus(), 0u);
}

TEST_F(SampleTimeSourceTest, CorrectingDisciplineMovesTheRecordOntoTheClock) {
  Configure("discipline=2");
  Frame f = FrameAtOffset(plugin_, 5000000);
  plugin_->ProcessImageData(&f.record);
  ImageRecord now{};
  plugin_->GetCurrentTimeStamp(&now);
  const int64_t behind = (int64_t{now.Seconds} - f.record.Seconds) * 1000000 +
                         (now.Milliseconds - f.record.Milliseconds) * 1000 +
                         (now.Microseconds - f.record.Microseconds);
  EXPECT_GE(behind, 0);
  EXPECT_LT(behind, 500000);  // 5 s ahead before
  const uint32_t status = plugin_->GetSynchronizationStatus();
  EXPECT_EQ(status & kSyncNegative, 0u);
  EXPECT_GE(status & kSyncMagnitudeMask, 4500000u);
}

TEST_F(SampleTimeSourceTest, CountsAndLogsEveryCallInOrder) {
  // The module's sequence over two grabs.
  plugin_->ClearEvents();
  EXPECT_NE(plugin_->Initialize(), 0);
  Frame f(kDay, 0);
  for (int i = 0; i < 3; ++i) plugin_->ProcessImageData(&f.record);
  plugin_->Uninitialize();
  plugin_->GetSynchronizationStatus();
  plugin_->IsGPSSupported();
  plugin_->GetGPSData(7, 1);
  plugin_->StopReadingGPSData();

  using E = TimeSourceEntry;
  const std::vector<uint32_t> expected = {static_cast<uint32_t>(E::kClearEvents),
                                          static_cast<uint32_t>(E::kInitialize),
                                          static_cast<uint32_t>(E::kProcessImageData),
                                          static_cast<uint32_t>(E::kProcessImageData),
                                          static_cast<uint32_t>(E::kProcessImageData),
                                          static_cast<uint32_t>(E::kUninitialize),
                                          static_cast<uint32_t>(E::kGetSynchronizationStatus),
                                          static_cast<uint32_t>(E::kIsGPSSupported),
                                          static_cast<uint32_t>(E::kGetGPSData),
                                          static_cast<uint32_t>(E::kStopReadingGPSData)};
  std::vector<uint32_t> log(64);
  log.resize(plugin_->GetCallLog(log.data(), static_cast<uint32_t>(log.size())));
  EXPECT_EQ(log, expected);
  const ZeltoTimeSourceCounters c = plugin_->Counters();
  EXPECT_EQ(c.calls[static_cast<int>(E::kProcessImageData)], 3u);
  EXPECT_EQ(c.calls[static_cast<int>(E::kInitialize)], 1u);
  EXPECT_EQ(c.calls[static_cast<int>(E::kGetName)], 0u);

  plugin_->Reset();
  EXPECT_EQ(plugin_->GetCallLog(log.data(), 0), 0u);
  EXPECT_EQ(plugin_->Calls(E::kProcessImageData), 0u);
}

TEST_F(SampleTimeSourceTest, InitializeFailsWhenTold) {
  ZeltoTimeSourceState state{};
  EXPECT_NE(plugin_->Initialize(), 0);
  plugin_->GetState(&state);
  EXPECT_EQ(state.initialized, 1u);
  EXPECT_NE(plugin_->Uninitialize(), 0);
  Configure("init=fail");
  EXPECT_EQ(plugin_->Initialize(), 0);
  plugin_->GetState(&state);
  EXPECT_EQ(state.initialized, 0u);
  EXPECT_EQ(plugin_->Calls(TimeSourceEntry::kInitialize), 2u);
}

TEST_F(SampleTimeSourceTest, BadConfigurationIsRefused) {
  EXPECT_EQ(plugin_->Configure("rate=99"), 1u);
  EXPECT_EQ(plugin_->Configure(nullptr), 1u);
  ZeltoTimeSourceState state{};
  plugin_->GetState(&state);
  EXPECT_EQ(state.rate, 30u);
}

#ifndef _WIN32
TEST_F(SampleTimeSourceTest, ProcessImageDataThrowsFromTheConfiguredCall) {
  Configure("throw=3");
  Frame f(kDay, 0);
  EXPECT_NE(plugin_->ProcessImageData(&f.record), 0);
  EXPECT_NE(plugin_->ProcessImageData(&f.record), 0);
  EXPECT_THROW(plugin_->ProcessImageData(&f.record), std::runtime_error);
  EXPECT_THROW(plugin_->ProcessImageData(&f.record), std::runtime_error);
  EXPECT_EQ(plugin_->Counters().exceptions_thrown, 2u);
  EXPECT_EQ(plugin_->Counters().time_codes_written, 2u);
}
#else
// The Windows builds link the C++ runtime statically: the plug-in's unwinder does not
// know the caller's frames, so its exception ends the process uncaught.
TEST_F(SampleTimeSourceTest, ProcessImageDataThrowEndsAStaticallyLinkedHost) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Configure("throw=1");
  Frame f(kDay, 0);
  EXPECT_DEATH(
      {
        try {
          plugin_->ProcessImageData(&f.record);
        } catch (...) {
          std::fputs("caught\n", stderr);
        }
        std::exit(0);
      },
      "ProcessImageData fails as configured");
}
#endif

TEST_F(SampleTimeSourceTest, GpsReplayFromAFile) {
  EXPECT_EQ(plugin_->IsGPSSupported(), 0);
  EXPECT_EQ(plugin_->GetGPSData(0, 0), 0);  // nothing to read
  Configure(("gps=" + WriteReplay(kReplay, false)).c_str());
  EXPECT_NE(plugin_->IsGPSSupported(), 0);
  EXPECT_NE(plugin_->GetGPSData(0, 0), 0);
  ASSERT_TRUE(WaitFor([] { return plugin_->Gps().ended != 0; }));
  const ZeltoTimeSourceGps g = plugin_->Gps();
  EXPECT_EQ(g.reading, 0u);
  EXPECT_EQ(g.valid, 1u);
  EXPECT_EQ(g.quality, 1u);
  EXPECT_EQ(g.satellites, 8);
  EXPECT_EQ(g.date, 19940323);
  EXPECT_EQ(g.time_ms, (12 * 3600 + 35 * 60 + 19) * 1000);
  EXPECT_EQ(g.latitude_e6, 48117300);
  EXPECT_EQ(g.longitude_e6, 11516666);
  EXPECT_EQ(g.altitude_cm, 54540);
  EXPECT_EQ(g.rmc_sentences, 1u);
  EXPECT_EQ(g.gga_sentences, 1u);
  EXPECT_EQ(g.other_sentences, 1u);
  EXPECT_EQ(g.rejected_lines, 2u);  // the bad checksum and the cut last line
  EXPECT_EQ(plugin_->GetSynchronizationStatus(), kSyncGpsFix | (1u << kSyncQualityShift));

  // Again without restarting keeps the fix and reads the file once more.
  EXPECT_NE(plugin_->GetGPSData(0, 0), 0);
  ASSERT_TRUE(WaitFor([] { return plugin_->Gps().ended != 0; }));
  EXPECT_EQ(plugin_->Gps().rmc_sentences, 2u);
  // Restarting forgets it first.
  EXPECT_NE(plugin_->GetGPSData(0, 1), 0);
  ASSERT_TRUE(WaitFor([] { return plugin_->Gps().ended != 0; }));
  EXPECT_EQ(plugin_->Gps().rmc_sentences, 1u);
  EXPECT_EQ(plugin_->Gps().starts, 3u);
}

TEST_F(SampleTimeSourceTest, GpsDataValueLimitsTheSentencesRead) {
  Configure(("gps=" + WriteReplay(kReplay)).c_str());
  EXPECT_NE(plugin_->GetGPSData(1, 1), 0);
  ASSERT_TRUE(WaitFor([] { return plugin_->Gps().ended != 0; }));
  const ZeltoTimeSourceGps g = plugin_->Gps();
  EXPECT_EQ(g.gga_sentences, 1u);
  EXPECT_EQ(g.rmc_sentences, 0u);
  EXPECT_EQ(g.date, 0);
}

TEST_F(SampleTimeSourceTest, StopAndUninitializeEndAPacedReplay) {
  std::vector<std::string> lines(200, kReplay[0]);
  Configure(("gpspace=60000;gps=" + WriteReplay(lines)).c_str());
  EXPECT_NE(plugin_->GetGPSData(0, 1), 0);
  ASSERT_TRUE(WaitFor([] { return plugin_->Gps().gga_sentences == 1; }));
  EXPECT_NE(plugin_->GetSynchronizationStatus() & kSyncGpsReading, 0u);
  EXPECT_NE(plugin_->StopReadingGPSData(), 0);  // joins the reader
  ZeltoTimeSourceGps g = plugin_->Gps();
  EXPECT_EQ(g.reading, 0u);
  EXPECT_EQ(g.ended, 0u);
  EXPECT_EQ(g.gga_sentences, 1u);
  EXPECT_EQ(plugin_->StopReadingGPSData(), 0);  // nothing left to stop

  EXPECT_NE(plugin_->GetGPSData(0, 0), 0);
  ASSERT_TRUE(WaitFor([] { return plugin_->Gps().gga_sentences == 2; }));
  plugin_->Uninitialize();
  g = plugin_->Gps();
  EXPECT_EQ(g.reading, 0u);
  EXPECT_EQ(g.valid, 1u);  // the fix stays
  EXPECT_EQ(plugin_->GetSynchronizationStatus() & kSyncGpsReading, 0u);
}

TEST_F(SampleTimeSourceTest, MissingGpsSourceIsReported) {
  Configure(("gps=" + dir_.path() + "/absent.nmea").c_str());
  EXPECT_NE(plugin_->IsGPSSupported(), 0);
  EXPECT_EQ(plugin_->GetGPSData(0, 0), 0);
  const ZeltoTimeSourceGps g = plugin_->Gps();
  EXPECT_EQ(g.open_failed, 1u);
  EXPECT_EQ(g.reading, 0u);
}

TEST_F(SampleTimeSourceTest, StatusQueriesRunWhileFramesAreProcessed) {
  Configure(("discipline=1;gps=" + WriteReplay(std::vector<std::string>(500, kReplay[1]))).c_str());
  plugin_->GetGPSData(0, 1);
  std::thread capture([] {
    Frame f(kDay, 0);
    for (int i = 0; i < 2000; ++i) plugin_->ProcessImageData(&f.record);
  });
  while (plugin_->Calls(TimeSourceEntry::kProcessImageData) < 2000) {
    plugin_->GetSynchronizationStatus();
    plugin_->IsGPSSupported();
  }
  capture.join();
  ASSERT_TRUE(WaitFor([] { return plugin_->Gps().ended != 0; }));
  EXPECT_EQ(plugin_->Gps().rmc_sentences, 500u);
  EXPECT_NE(plugin_->GetSynchronizationStatus() & kSyncClockMeasured, 0u);
}

#ifndef _WIN32
// A serial receiver is a stream that blocks; stopping must not wait for its next line.
TEST_F(SampleTimeSourceTest, GpsFromAStreamStopsWhileItIsSilent) {
  const std::string fifo = dir_.path() + "/gps.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  Configure(("gps=" + fifo).c_str());
  EXPECT_NE(plugin_->GetGPSData(0, 1), 0);
  const int writer = open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  const std::string data = kReplay[0] + "\r\n" + kReplay[1] + "\r\n";
  ASSERT_EQ(write(writer, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  ASSERT_TRUE(WaitFor([] { return plugin_->Gps().rmc_sentences == 1; }));
  EXPECT_EQ(plugin_->Gps().reading, 1u);
  EXPECT_NE(plugin_->StopReadingGPSData(), 0);
  EXPECT_EQ(plugin_->Gps().reading, 0u);
  close(writer);
}

// Unloading the library while its reader runs joins the reader; a fresh load
// starts from nothing.
TEST_F(SampleTimeSourceTest, UnloadJoinsTheReader) {
  std::vector<std::string> lines(50, kReplay[0]);
  const std::string replay = WriteReplay(lines);
  {
    Plugin other(ZELTO_TIMESOURCE_NO_MICROSECOND_PATH);
    ASSERT_NE(other.library, nullptr);
    ASSERT_EQ(other.Configure(("gpspace=60000;gps=" + replay).c_str()), 0u);
    EXPECT_NE(other.GetGPSData(0, 1), 0);
    ASSERT_TRUE(WaitFor([&] { return other.Gps().gga_sentences == 1; }));
  }
  Plugin again(ZELTO_TIMESOURCE_NO_MICROSECOND_PATH);
  ASSERT_NE(again.library, nullptr);
  EXPECT_EQ(again.Gps().starts, 0u);
  EXPECT_EQ(again.Gps().reading, 0u);
}
#else
// FreeLibrary cannot join a thread (the loader lock is held), so the reader keeps
// the library loaded until it ends; stopping it through a new load then unloads it.
TEST_F(SampleTimeSourceTest, ReaderKeepsTheLibraryLoadedUntilStopped) {
  std::vector<std::string> lines(50, kReplay[0]);
  const std::string replay = WriteReplay(lines);
  {
    Plugin other(ZELTO_TIMESOURCE_NO_MICROSECOND_PATH);
    ASSERT_NE(other.library, nullptr);
    ASSERT_EQ(other.Configure(("gpspace=60000;gps=" + replay).c_str()), 0u);
    EXPECT_NE(other.GetGPSData(0, 1), 0);
    ASSERT_TRUE(WaitFor([&] { return other.Gps().gga_sentences == 1; }));
  }
  {
    Plugin again(ZELTO_TIMESOURCE_NO_MICROSECOND_PATH);
    ASSERT_NE(again.library, nullptr);
    EXPECT_EQ(again.Gps().reading, 1u);
    EXPECT_EQ(again.Gps().starts, 1u);
    EXPECT_NE(again.StopReadingGPSData(), 0);
  }
  Plugin fresh(ZELTO_TIMESOURCE_NO_MICROSECOND_PATH);
  ASSERT_NE(fresh.library, nullptr);
  EXPECT_EQ(fresh.Gps().starts, 0u);
}
#endif

}  // namespace
}  // namespace zelto
