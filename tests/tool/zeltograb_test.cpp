// zeltograb run as a person runs it: a child process against ZeltoSim, with a
// registry of its own. Each run is bounded by a watchdog that kills a hung tool.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "image_reader.h"
#include "platform/registry.h"
#include "test_support.h"
#include "time_code.h"
#include "zeltosim_pattern.h"

namespace zelto::grab {
namespace {

namespace fs = std::filesystem;
using testing::RgbImage;

constexpr auto kWatchdog = std::chrono::seconds(90);

struct ToolRun {
  int status = -1;  // exit status; -1 when killed by the watchdog or a signal
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Tool {
 public:
  // Starts zeltograb with `args`; stdout and stderr go to files in `dir`.
  Tool(const std::string& dir, const std::vector<std::string>& args) : dir_(dir) {
    pid_ = fork();
    if (pid_ == 0) {
      int out = open((dir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open((dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      if (chdir(dir.c_str()) != 0) _exit(126);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(ZELTOGRAB_PATH));
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(ZELTOGRAB_PATH, argv.data());
      _exit(127);
    }
  }
  ~Tool() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  void Interrupt() { kill(pid_, SIGINT); }

  ToolRun Wait() {
    ToolRun run;
    const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        ADD_FAILURE() << "zeltograb hung; killed by the watchdog";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    reaped_ = true;
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    run.out = Slurp(dir_ + "/stdout");
    run.err = Slurp(dir_ + "/stderr");
    return run;
  }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  bool reaped_ = false;
};

class ZeltograbTest : public ::testing::Test {
 protected:
  ToolRun Grab(std::vector<std::string> args) {
    Tool tool(dir_.path(), args);
    return tool.Wait();
  }
  std::string Path(const std::string& name) const {
    return (fs::path(dir_.path()) / name).string();
  }

  zelto::testing::ScopedTempRegistry registry_;  // inherited by the child: ZELTO_REGISTRY
  zelto::testing::ScopedTempDir dir_;
};

struct CsvRow {
  int64_t micros;
  std::string frame_number;
  std::string time_code;
  std::string ready;
};

std::vector<CsvRow> ReadCsv(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line,
            "index,seconds,milliseconds,microseconds,interval_ms,frame_number,time_code,ready");
  std::vector<CsvRow> rows;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream s(line);
    for (std::string cell; std::getline(s, cell, ',');) f.push_back(cell);
    if (!line.empty() && line.back() == ',') f.push_back("");
    EXPECT_EQ(f.size(), 8u) << line;
    if (f.size() != 8) continue;
    EXPECT_EQ(f[0], std::to_string(rows.size()));
    rows.push_back({std::stoll(f[1]) * 1000000 + std::stoll(f[2]) * 1000 + std::stoll(f[3]), f[5],
                    f[6], f[7]});
  }
  return rows;
}

// The ZeltoSim frame number a grabbed picture carries in its first line.
std::optional<uint32_t> FrameCode(const RgbImage& image) {
  uint8_t bgr[sim::kFrameCodePixels * 3];
  for (int x = 0; x < sim::kFrameCodePixels; ++x) {
    const uint8_t* p = image.Pixel(x, 0);
    bgr[3 * x] = p[2];
    bgr[3 * x + 1] = p[1];
    bgr[3 * x + 2] = p[0];
  }
  uint32_t n = 0;
  if (!sim::DecodeFrameNumber(bgr, sim::PixelLayout::kBgr24, &n)) return std::nullopt;
  return n;
}

// Compares the picture with ZeltoSim's pattern for its frame number along a few
// lines, as the card's pixel format rounds it.
void ExpectPattern(const RgbImage& image, uint32_t frame, sim::PixelLayout layout) {
  for (int y : {1, image.height / 3, image.height / 2, image.height - 2}) {
    for (int x = sim::kFrameCodePixels; x < image.width; x += 37) {
      uint8_t packed[4];
      sim::StorePixel(packed, layout,
                      sim::PatternColour(static_cast<uint32_t>(x), static_cast<uint32_t>(y), frame,
                                         static_cast<uint32_t>(image.width),
                                         static_cast<uint32_t>(image.height)));
      const sim::Rgb want = sim::LoadPixel(packed, layout);
      const uint8_t* got = image.Pixel(x, y);
      ASSERT_EQ(got[0], want.r) << "frame " << frame << " at " << x << "," << y;
      ASSERT_EQ(got[1], want.g) << "frame " << frame << " at " << x << "," << y;
      ASSERT_EQ(got[2], want.b) << "frame " << frame << " at " << x << "," << y;
    }
  }
}

sim::PixelLayout LayoutOf(const std::string& summary) {
  if (summary.find("format      906") != std::string::npos) return sim::PixelLayout::kRgb565;
  if (summary.find("format      500") != std::string::npos) return sim::PixelLayout::kBgrx32;
  if (summary.find("format      200") != std::string::npos) return sim::PixelLayout::kBgr24;
  EXPECT_NE(summary.find("format      905"), std::string::npos) << summary;
  return sim::PixelLayout::kRgb555;
}

// N frames give N images of the pattern, in order, and N rows of rising times.
TEST_F(ZeltograbTest, GrabsFramesIntoImagesAndCsv) {
  for (const char* format : {"png", "bmp"}) {
    SCOPED_TRACE(format);
    const std::string out = std::string("frames_") + format;
    ToolRun run = Grab({"grab", "--frames", "9", "--out", out, "--format", format, "--buffers", "3",
                        "--sim", "pacing=free"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::string summary = Slurp(Path(out + "/summary.txt"));
    EXPECT_NE(run.out.find(summary), std::string::npos);
    EXPECT_NE(summary.find("captured    9 in"), std::string::npos) << summary;
    const sim::PixelLayout layout = LayoutOf(summary);

    std::vector<CsvRow> rows = ReadCsv(Path(out + "/frames.csv"));
    ASSERT_EQ(rows.size(), 9u);
    // At free pacing the encoder may fall behind the card: the frames it could
    // not take are counted, not waited for, and every other one is on disk.
    const size_t behind_at = summary.find("not written ");
    ASSERT_NE(behind_at, std::string::npos) << summary;
    const int behind = std::atoi(summary.c_str() + behind_at + 12);
    int missing = 0;
    std::optional<uint32_t> previous;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (i > 0) {
        EXPECT_GT(rows[i].micros, rows[i - 1].micros) << "row " << i;
      }
      // The queue fill when the frame was taken: at most the three buffers.
      EXPECT_TRUE(!rows[i].ready.empty() && rows[i].ready.size() == 1 && rows[i].ready[0] >= '0' &&
                  rows[i].ready[0] <= '3')
          << "row " << i << ": " << rows[i].ready;
      char name[32];
      std::snprintf(name, sizeof name, "frame_%06zu.%s", i, format);
      if (!fs::exists(Path(out + "/" + name))) {
        ++missing;
        continue;
      }
      RgbImage image;
      ASSERT_TRUE(std::string(format) == "png" ? testing::ReadPng(Path(out + "/" + name), &image)
                                               : testing::ReadBmp(Path(out + "/" + name), &image))
          << name;
      std::optional<uint32_t> code = FrameCode(image);
      ASSERT_TRUE(code) << name << " carries no frame code";
      EXPECT_EQ(rows[i].frame_number, std::to_string(*code)) << name;
      if (previous) {
        EXPECT_GT(*code, *previous) << name;
      }
      previous = code;
      ExpectPattern(image, *code, layout);
    }
    EXPECT_EQ(missing, behind) << summary;
    EXPECT_LT(missing, 9);  // the first frames always find a free slot
    EXPECT_FALSE(fs::exists(Path(out + "/frame_000009." + format)));
  }
}

// Geometry options go through the module, which stores them: the next run (a
// new module instance) comes back with them, and `info` shows them.
TEST_F(ZeltograbTest, GeometryOptionsShowInTheImagesAndPersist) {
  ToolRun run = Grab({"grab", "--frames", "2", "--out", "roi", "--format", "bmp", "--roi",
                      "320x240+256+100", "--sim", "pacing=free"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const sim::PixelLayout layout = LayoutOf(Slurp(Path("roi/summary.txt")));
  RgbImage image;
  ASSERT_TRUE(testing::ReadBmp(Path("roi/frame_000001.bmp"), &image));
  ASSERT_EQ(image.width, 320);
  ASSERT_EQ(image.height, 240);
  std::optional<uint32_t> code = FrameCode(image);
  ASSERT_TRUE(code);
  for (int y : {1, 120, 238}) {
    for (int x = sim::kFrameCodePixels; x < 320; x += 7) {
      uint8_t packed[4];
      sim::StorePixel(packed, layout, sim::PatternColour(256 + x, 100 + y, *code, 1024, 768));
      const sim::Rgb want = sim::LoadPixel(packed, layout);
      const uint8_t* got = image.Pixel(x, y);
      ASSERT_EQ((std::array<uint8_t, 3>{got[0], got[1], got[2]}),
                (std::array<uint8_t, 3>{want.r, want.g, want.b}))
          << x << "," << y;
    }
  }

  run = Grab({"info"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("region         320 x 240 at 256,100"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("scaling        off"), std::string::npos) << run.out;

  run = Grab({"grab", "--frames", "1", "--scaling", "800x600", "--frame-rate", "30", "--sim",
              "pacing=free"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("800 x 600"), std::string::npos) << run.out;
  run = Grab({"info"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("scaling        on, 800 x 600"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("image          800 x 600"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("frame rate     module paced at 30 fps"), std::string::npos) << run.out;
}

TEST_F(ZeltograbTest, RawImagesAreTheModulesBytes) {
  ToolRun run =
      Grab({"grab", "--frames", "2", "--out", "raw", "--format", "raw", "--sim", "pacing=free"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const std::string summary = Slurp(Path("raw/summary.txt"));
  const sim::PixelLayout layout = LayoutOf(summary);
  std::vector<uint8_t> bytes = testing::ReadFile(Path("raw/frame_000000.raw"));
  const size_t size = 1024u * 768u * static_cast<size_t>(sim::BytesPerPixel(layout));
  ASSERT_EQ(bytes.size(), size);
  uint32_t first = 0, last = 0;
  ASSERT_TRUE(sim::DecodeFrameNumber(bytes.data(), layout, &first));
  ASSERT_TRUE(sim::DecodeFrameNumber(bytes.data() + size / 768 * 767, layout, &last));
  EXPECT_EQ(first, last);  // not torn
}

TEST_F(ZeltograbTest, EveryKthImageButEveryFrameInTheCsv) {
  ToolRun run = Grab({"grab", "--frames", "7", "--every", "3", "--format", "bmp", "--out", "k",
                      "--sim", "pacing=free"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(ReadCsv(Path("k/frames.csv")).size(), 7u);
  std::vector<std::string> images;
  for (const auto& entry : fs::directory_iterator(Path("k"))) {
    if (entry.path().extension() == ".bmp") images.push_back(entry.path().filename().string());
  }
  std::sort(images.begin(), images.end());
  EXPECT_EQ(images,
            (std::vector<std::string>{"frame_000000.bmp", "frame_000003.bmp", "frame_000006.bmp"}));
}

// Source frames the card loses show up as gaps in the frame numbers.
TEST_F(ZeltograbTest, SummaryCountsDroppedFrames) {
  ToolRun run = Grab({"grab", "--frames", "12", "--sim", "pacing=free;drop_every=4"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out.find("dropped     0 "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("dropped     "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("captured    12 in"), std::string::npos) << run.out;
}

TEST_F(ZeltograbTest, NoSignalOnAnyChannelIsAModuleError) {
  ToolRun run = Grab({"grab", "--frames", "5", "--sim", "signal=0"});
  EXPECT_EQ(run.status, 3) << run.out << run.err;
  EXPECT_NE(run.err.find("Camera Initialization FAILED..."), std::string::npos) << run.err;
  run = Grab({"info", "--sim", "signal=absent"});
  EXPECT_EQ(run.status, 3) << run.out << run.err;
  EXPECT_NE(run.err.find("Camera Initialization FAILED..."), std::string::npos) << run.err;
}

// A card that stops delivering must not leave the tool waiting for ever.
TEST_F(ZeltograbTest, SignalLostDuringTheGrabEndsIt) {
  ToolRun run = Grab({"grab", "--frames", "100", "--sim", "pacing=free;lose_signal_after=5"});
  EXPECT_EQ(run.status, 3) << run.out << run.err;
  EXPECT_NE(run.err.find("no frame"), std::string::npos) << run.err;
  // The frames before the loss are summarised (some may fall before the first
  // buffer is armed).
  EXPECT_NE(run.out.find("captured    "), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("captured    100 "), std::string::npos) << run.out;
}

TEST_F(ZeltograbTest, BadArgumentsGiveUsageAndStatusTwo) {
  for (std::vector<std::string> args : {std::vector<std::string>{},
                                        {"snap"},
                                        {"grab", "--frames", "0"},
                                        {"grab", "--frames", "2", "--seconds", "1"},
                                        {"grab", "--format", "gif"},
                                        {"info", "--out", "x"},
                                        {"info", "--sim", "warp=9"}}) {
    ToolRun run = Grab(args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find("usage: zeltograb"), std::string::npos) << run.err;
  }
}

TEST_F(ZeltograbTest, HelpOnEveryCommand) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--help"},
                                        {"grab", "--help"},
                                        {"info", "--help"},
                                        {"adjust", "--help"}}) {
    ToolRun run = Grab(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("usage: zeltograb"), std::string::npos) << run.out;
  }
}

// The adjustments with their ZeltoSim ranges; a set by any-case name or by id
// persists for the next run, and a value outside the range goes on with a
// warning.
TEST_F(ZeltograbTest, AdjustListsSetsAndPersists) {
  ToolRun list = Grab({"adjust", "--sim", "pacing=free"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("    2  Brightness           -128..127      0\n"), std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("    8  Horizontal Position  0..1344        296\n"), std::string::npos)
      << list.out;

  ToolRun set = Grab({"adjust", "brightness=-20", "--sim", "pacing=free"});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_NE(set.out.find("Brightness: 0 -> -20 (set -20)"), std::string::npos) << set.out;
  ToolRun by_id = Grab({"adjust", "0=300", "--sim", "pacing=free"});
  EXPECT_EQ(by_id.status, 0) << by_id.err;
  EXPECT_NE(by_id.err.find("warning: 300 is outside Contrast's range 0..255"), std::string::npos)
      << by_id.err;
  // ZeltoSim refuses 300: contrast stays; the stored brightness came back.
  EXPECT_NE(by_id.out.find("Contrast: 128 -> 128 (set 300)"), std::string::npos) << by_id.out;
  EXPECT_NE(by_id.out.find("Brightness           -128..127      -20\n"), std::string::npos)
      << by_id.out;

  ToolRun unknown = Grab({"adjust", "gamma=2", "--sim", "pacing=free"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("no adjustment 'gamma'"), std::string::npos) << unknown.err;
}

// Without a configured driver the tool points the machine's key at the bundled
// ZeltoSim and says so, once.
TEST_F(ZeltograbTest, ConfiguresTheBundledSimulatorOnce) {
  ToolRun first = Grab({"info", "--sim", "pacing=free"});
  ASSERT_EQ(first.status, 0) << first.out << first.err;
  EXPECT_NE(first.out.find("using the simulated card ZeltoSim"), std::string::npos);
  platform::RegistryKey key;
  ASSERT_EQ(
      key.Open(platform::RegistryRoot::kLocalMachine, "SOFTWARE\\KTS Imaging\\ZeltoRGB driver"),
      platform::kRegSuccess);
  char path[1024] = {};
  uint32_t type = 0, size = sizeof path - 1;
  ASSERT_EQ(key.QueryValue("RGBCaptureDLLName", &type, path, &size), platform::kRegSuccess);
  EXPECT_EQ(type, platform::kRegTypeSz);
  EXPECT_TRUE(fs::equivalent(path, ZELTOSIM_PATH)) << path;

  ToolRun second = Grab({"info", "--sim", "pacing=free"});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out.find("using the simulated card"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("image          1024 x 768"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("\nsettings\n  Input Channel          1\n  Capture Format"),
            std::string::npos)
      << second.out;
}

TEST_F(ZeltograbTest, AMissingDriverIsAModuleError) {
  ToolRun run = Grab({"grab", "--frames", "1", "--driver", Path("no-such-driver.so")});
  EXPECT_EQ(run.status, 3) << run.out << run.err;
  EXPECT_NE(run.err.find("Camera Initialization FAILED..."), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("no such file"), std::string::npos) << run.err;
}

size_t ReadCsvLines(const std::string& path) {
  std::ifstream in(path);
  size_t lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

// Ctrl-C ends an open-ended grab cleanly: the summary comes, the status is 0.
TEST_F(ZeltograbTest, InterruptStopsTheGrabCleanly) {
  Tool tool(dir_.path(), {"grab", "--out", "live", "--format", "raw", "--every", "1000"});
  const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
  while (ReadCsvLines(Path("live/frames.csv")) < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  tool.Interrupt();
  ToolRun run = tool.Wait();
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("interrupted"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("peak ready"), std::string::npos) << run.out;
  EXPECT_EQ(run.err.find("still holds objects"), std::string::npos) << run.err;
}

// ---- settings ----

// `set` goes through the module, which stores the value: the next `settings`
// (a new module instance) lists it as current, and a grab delivers in it.
TEST_F(ZeltograbTest, SetChangesASettingThatTheNextRunsKeep) {
  ToolRun run = Grab({"settings", "--sim", "pacing=free"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Capture Format id 2   (menu)   : value=0 (5-5-5)\n"
                         "                         *     0: 5-5-5\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Lock Channel Mode id 6 "), std::string::npos) << run.out;

  run = Grab({"set", "capture_format=rgb24", "--sim", "pacing=free"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Capture Format = 3 (RGB 24)"), std::string::npos) << run.out;
  int32_t stored = -1;
  EXPECT_TRUE(zelto::testing::RegistryDword(platform::RegistryRoot::kCurrentUser,
                                            "Software\\Zelto\\zeltograb\\ZELTORGB\\0",
                                            "CaptureFormatValue", &stored));
  EXPECT_EQ(stored, 3);
  run = Grab({"settings", "--sim", "pacing=free"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("value=3 (RGB 24)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("*     3: RGB 24\n"), std::string::npos) << run.out;

  run = Grab({"grab", "--frames", "2", "--out", "rgb", "--format", "raw", "--sim", "pacing=free"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(LayoutOf(Slurp(Path("rgb/summary.txt"))), sim::PixelLayout::kBgr24);
  std::vector<uint8_t> bytes = testing::ReadFile(Path("rgb/frame_000001.raw"));
  ASSERT_EQ(bytes.size(), 1024u * 768u * 3u);
  uint32_t first = 0, last = 0;
  ASSERT_TRUE(sim::DecodeFrameNumber(bytes.data(), sim::PixelLayout::kBgr24, &first));
  ASSERT_TRUE(
      sim::DecodeFrameNumber(bytes.data() + 1024 * 3 * 767, sim::PixelLayout::kBgr24, &last));
  EXPECT_EQ(first, last);

  // A change that adds settings shows them at once.
  run = Grab({"set", "Lock Channel Mode=On", "--sim", "pacing=free"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Startup Resolution id 10 "), std::string::npos) << run.out;
}

// A name or value the module does not offer is a usage error that lists the
// ones it does; nothing is changed.
TEST_F(ZeltograbTest, UnknownSettingsAndValuesListTheValidOnes) {
  ToolRun run = Grab({"set", "colour=red", "--sim", "pacing=free"});
  EXPECT_EQ(run.status, 2) << run.out << run.err;
  EXPECT_NE(run.err.find("Input Channel, Capture Format, Capture Rate, Lock Channel Mode"),
            std::string::npos)
      << run.err;
  run = Grab({"set", "Capture Format=24", "--sim", "pacing=free"});
  EXPECT_EQ(run.status, 2) << run.out << run.err;
  EXPECT_NE(run.err.find("5-5-5 (0), 5-6-5 (1), 8-8-8 (2), RGB 24 (3)"), std::string::npos)
      << run.err;
  run = Grab({"grab", "--frames", "1", "--capture-rate", "40", "--sim", "pacing=free"});
  EXPECT_EQ(run.status, 2) << run.out << run.err;
  EXPECT_NE(run.err.find("10% 6.00 fps (9)"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("grabbing"), std::string::npos) << run.out;
  int32_t stored = -1;
  EXPECT_FALSE(zelto::testing::RegistryDword(platform::RegistryRoot::kCurrentUser,
                                             "Software\\Zelto\\zeltograb\\ZELTORGB\\0",
                                             "CaptureFormatValue", &stored));
}

// The grab options set the capture format and rate before the buffers are
// made: 5-6-5 frames, ten source frames apart (or a multiple when the tool
// was late for one).
TEST_F(ZeltograbTest, CaptureFormatAndRateOptionsReachTheFrames) {
  ToolRun run = Grab({"grab", "--frames", "6", "--capture-format", "565", "--capture-rate", "10",
                      "--out", "rate", "--format", "raw", "--sim", "pacing=free"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(LayoutOf(Slurp(Path("rate/summary.txt"))), sim::PixelLayout::kRgb565);
  std::vector<CsvRow> rows = ReadCsv(Path("rate/frames.csv"));
  ASSERT_EQ(rows.size(), 6u);
  for (size_t i = 1; i < rows.size(); ++i) {
    ASSERT_FALSE(rows[i].frame_number.empty());
    const long long step = std::stoll(rows[i].frame_number) - std::stoll(rows[i - 1].frame_number);
    EXPECT_TRUE(step > 0 && step % 10 == 0)
        << rows[i - 1].frame_number << " then " << rows[i].frame_number;
  }
}

// ---- time source ----

// The four values land under the tool's host key; every frame's time code in
// frames.csv is the plug-in's code of (its stamp - 1 s) moved by two frames.
TEST_F(ZeltograbTest, TimeSourceValuesReachTheFramesAndTheSummary) {
  const std::string plugin = ZELTO_TIMESOURCE_PATH;
  ToolRun run = Grab({"grab", "--frames", "6", "--out", "ts", "--format", "raw", "--sim",
                      "pacing=free", "--time-source", plugin, "--time-offset", "1000000",
                      "--ltc-offset", "2", "--ltc-mode", "0"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const std::string key = "Software\\Zelto\\zeltograb\\";  // the default host key
  EXPECT_EQ(
      zelto::testing::RegistryString(platform::RegistryRoot::kCurrentUser, key, "TimeSourceDLL"),
      plugin);
  int32_t value = 0;
  ASSERT_TRUE(zelto::testing::RegistryDword(platform::RegistryRoot::kCurrentUser, key,
                                            "TimeSourceOffset", &value));
  EXPECT_EQ(value, 1000000);
  const std::string summary = Slurp(Path("ts/summary.txt"));
  EXPECT_NE(summary.find("time source " + plugin +
                         ", offset 1000000 us, LTC offset 2 frames at 30 fps; sync status 0x"),
            std::string::npos)
      << summary;
  std::vector<CsvRow> rows = ReadCsv(Path("ts/frames.csv"));
  ASSERT_EQ(rows.size(), 6u);
  for (const CsvRow& row : rows) {
    const int64_t stamp = row.micros - 1000000;
    timesource::TimeCode code =
        timesource::TimeCodeAt(stamp / 1000000, static_cast<uint32_t>(stamp % 1000000), 30);
    code.frames += 2;  // no carry needed but for the last two frames of a second
    if (code.frames >= 30) continue;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%02d:%02d:%02d:%02d", code.hours, code.minutes,
                  code.seconds, code.frames);
    EXPECT_EQ(row.time_code, expected);
  }
}

TEST_F(ZeltograbTest, TimesourceCommandShowsTheBindingAndTheState) {
  ToolRun run =
      Grab({"timesource", "--sim", "pacing=free", "--time-source", ZELTO_TIMESOURCE_PATH});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("binding        bound at every grab (GetName: ZeltoTimeSource)"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("plug-in state  sync status 0x00000000, GPS not supported"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("time code      "), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("(none in the frames)"), std::string::npos) << run.out;

  run = Grab({"timesource", "--sim", "pacing=free", "--time-source", "System"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("time source    System (system clock), offset 0 us"), std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("binding"), std::string::npos) << run.out;

  run = Grab({"grab", "--frames", "2", "--out", "sys", "--format", "raw", "--sim", "pacing=free"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  for (const CsvRow& row : ReadCsv(Path("sys/frames.csv"))) EXPECT_EQ(row.time_code, "");
}

}  // namespace
}  // namespace zelto::grab
