// Several cards in one process, each with its own driver binding: grabbing at
// once on two channels, one through a copy of the driver library, while a third
// card fails to bind a library that lacks an entry point and a second one goes
// away. Run under ASan and ThreadSanitizer (label "concurrency"): with one
// process-wide entry table, card A's calls went into card B's library, and
// releasing B (or B's failed binding) left A calling unloaded code.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>

#include "../acquisition/capture_fixture.h"
#include "base/text_exception.h"
#include "platform/dynamic_library.h"
#include "platform/registry.h"
#include "sim_card.h"

namespace zelto {
namespace {

using sim::PixelLayout;

struct Grabbed {
  int frames = 0;  // taken by the host
  int good = 0;    // of them complete, untorn and in order
};

// Grabs until `count` frames were taken and `done` holds (true when null).
Grabbed GrabWhile(CaptureCard& card, int count, const std::atomic<bool>* done = nullptr) {
  int32_t w = 0, h = 0, x = 0, y = 0;
  card.GetImageGeometry(&w, &h, &x, &y);
  const size_t line_bytes = static_cast<size_t>(w) * 2;
  card.AllocateBuffers(4);
  card.EnableGrab();
  Watchdog watchdog(card, 30s);
  for (int i = 0; i < 3; ++i) card.ArmBuffer();
  Grabbed grabbed;
  uint32_t previous = 0;
  while ((grabbed.frames < count || (done != nullptr && !*done)) && !watchdog.fired()) {
    bool waited = false;
    ImageRecord* record = card.GetFrame(&waited);
    if (record == nullptr) break;
    const auto* data = static_cast<const uint8_t*>(record->Data);
    uint32_t first = 0, last = 0;
    if (sim::DecodeFrameNumber(data, PixelLayout::kRgb555, &first) &&
        sim::DecodeFrameNumber(data + line_bytes * (h - 1), PixelLayout::kRgb555, &last) &&
        first == last && (grabbed.good == 0 || first > previous)) {
      ++grabbed.good;
      previous = first;
    }
    ++grabbed.frames;
    card.ReleaseCurrentFrame();
    card.ArmBuffer();
  }
  watchdog.Stop();
  card.DisableGrab();
  return grabbed;
}

// A copy of ZeltoSim under another file name: a second, independent card.
class DriverCopy {
 public:
  explicit DriverCopy(const std::string& original) {
    const std::filesystem::path from(original);
    path_ = (std::filesystem::path(dir_.path()) / ("copy-" + from.filename().string())).string();
    std::filesystem::copy_file(from, path_);
    library_ = platform::LoadDynamicLibrary(path_.c_str());
  }
  ~DriverCopy() { platform::UnloadDynamicLibrary(library_); }
  const std::string& path() const { return path_; }
  bool loaded() const { return library_ != nullptr; }
  template <typename Fn>
  Fn Resolve(const char* name) {
    return reinterpret_cast<Fn>(platform::ResolveSymbol(library_, name));
  }

 private:
  testing::ScopedTempDir dir_;
  std::string path_;
  platform::LibraryHandle library_ = nullptr;
};

class CardIsolationTest : public ::testing::Test {
 protected:
  CardIsolationTest() { sim_.Configure("pacing=free"); }
  ~CardIsolationTest() override {
    platform::DeleteRegistryTree(platform::RegistryRoot::kCurrentUser, second_host_key_);
  }

  testing::SimCard sim_{ZELTOSIM_PATH};
  const std::string second_host_key_ = testing::UniqueHostKey();
};

TEST_F(CardIsolationTest, CardsOnTwoLibrariesGrabWhileAThirdFailsToBind) {
  DriverCopy copy(sim_.path());
  ASSERT_TRUE(copy.loaded());
  ASSERT_EQ(copy.Resolve<PFN_ZeltoSim_Configure>("ZeltoSim_Configure")("pacing=free"), 0u);

  auto first = std::make_unique<CaptureCard>(sim_.host_key());
  {
    // The second card: channel 1 of the copy.
    platform::RegistryKey base;
    base.Create(platform::RegistryRoot::kCurrentUser, second_host_key_ + "ZELTORGB");
    base.SetDword("InputChannelValue", 1);
  }
  sim_.RegisterDriver(copy.path());
  auto second = std::make_unique<CaptureCard>(second_host_key_);

  // Both grab until the third card has failed (and, for the first, the second
  // card is gone).
  std::atomic<bool> third_done{false};
  std::atomic<bool> second_gone{false};
  auto first_grab =
      std::async(std::launch::async, [&] { return GrabWhile(*first, 20, &second_gone); });
  auto second_grab =
      std::async(std::launch::async, [&] { return GrabWhile(*second, 20, &third_done); });
  ASSERT_TRUE(testing::WaitUntil([&] { return sim_.Counters().frames_delivered >= 5; }));

  // A binding that resolves 20 names, then unloads the library.
  sim_.RegisterDriver(testing::ArtifactPath(FAKE_DRIVER_PARTIAL_PATH));
  std::optional<std::string> third_error;
  try {
    CaptureCard third(sim_.host_key());
  } catch (const TextException& e) {
    third_error = e.text();
  }
  third_done = true;
  EXPECT_EQ(third_error, "Camera Initialization FAILED...");

  const Grabbed second_grabbed = second_grab.get();
  second.reset();  // unloads its library while the first card still grabs
  second_gone = true;
  const Grabbed first_grabbed = first_grab.get();
  EXPECT_GE(second_grabbed.frames, 20);
  EXPECT_EQ(second_grabbed.good, second_grabbed.frames);
  EXPECT_GE(first_grabbed.frames, 20);
  EXPECT_EQ(first_grabbed.good, first_grabbed.frames);
  // The first card's library still serves it alone, after all of that.
  const Grabbed again = GrabWhile(*first, 5);
  EXPECT_EQ(again.good, 5);

  ZeltoSimCounters original = sim_.Counters();
  ZeltoSimCounters copied{};
  copy.Resolve<PFN_ZeltoSim_GetCounters>("ZeltoSim_GetCounters")(&copied);
  EXPECT_EQ(original.open_handles, 1u);
  EXPECT_EQ(copied.open_handles, 0u);
  EXPECT_EQ(copied.live_buffers, 0u);
  EXPECT_GE(copied.frames_delivered, 20u);
  // Each library saw only its own card's channel.
  ZeltoSimCall open{};
  ASSERT_TRUE(sim_.CallLog().size() > 0);
  ASSERT_NE(copy.Resolve<PFN_ZeltoSim_GetLastCall>("ZeltoSim_GetLastCall")(
                static_cast<uint32_t>(DriverEntry::kRGBCaptureOpen), &open),
            0u);
  EXPECT_EQ(open.handle, 1u);
  for (const ZeltoSimCall& call : sim_.CallLog()) {
    if (call.entry == static_cast<uint32_t>(DriverEntry::kRGBCaptureOpen)) {
      EXPECT_EQ(call.handle, 0u);
    }
  }
  first.reset();
  EXPECT_EQ(sim_.Counters().open_handles, 0u);
  EXPECT_EQ(sim_.Counters().live_buffers, 0u);
}

}  // namespace
}  // namespace zelto
