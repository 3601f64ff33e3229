// The fault matrix: the built module, driven as a host drives it, against a card
// whose driver fails one entry point in one phase of the host's sequence.
//
// A clean run first counts, phase by phase, how often the module calls each entry
// point. Every entry point a phase calls then fails, with "no signal" and with
// another code, at its 1st, 2nd, 3rd and last call of the phase and on every call
// of it. Each scenario must end without a crash, a sanitizer report or a hang
// (the watchdog aborts with the scenario's name), deliver only whole frames that
// ZeltoSim numbered in order, hold no driver handle or buffer once the object is
// released, and, after a one-shot fault, deliver frames again.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../e2e/frame_check.h"
#include "../e2e/module_host.h"
#include "../module/com_test_util.h"
#include "driver/capture_driver.h"
#include "sim_card.h"

namespace zelto {
namespace {

using testing::ComPtr;
using testing::TestBstr;

// The host's sequence, in order.
enum class Phase { kCreateCard, kAllocateBuffers, kEnableGrab, kGrabbing, kDisableGrab, kRelease };
constexpr int kPhaseCount = 6;
constexpr const char* kPhaseNames[kPhaseCount] = {"CreateCard", "AllocateBuffers", "EnableGrab",
                                                  "Grabbing",   "DisableGrab",     "Release"};

constexpr int16_t kBuffers = 3;
constexpr int kFramesPerGrab = 3;

// A card that is alive delivers a free-running frame within milliseconds; this
// only ends the wait on a card that will never deliver one.
constexpr std::chrono::milliseconds kFrameDeadline{5000};
// After a fault that lasted a whole phase the card owes no frame; a frame that
// does come in this time is checked like any other.
constexpr std::chrono::milliseconds kOptionalFrameWait{300};
// Longer than every wait of a scenario put together: only a hang reaches it.
constexpr std::chrono::seconds kScenarioLimit{90};

struct Code {
  uint32_t value;
  const char* name;
};
constexpr Code kCodes[] = {{kRgbErrorSignalNotDetected, "NoSignal"},
                           {kRgbErrorHardwareNotFound, "HardwareNotFound"}};

// The fill is the capture thread's, which keeps filling while the host is in
// another phase: how many fills land in a host phase is the scheduler's choice,
// so it fails only while the host grabs, and that phase lasts until it did.
bool OnCaptureThread(int entry) {
  return entry == static_cast<int>(DriverEntry::kRGBCaptureFillBuffer);
}

using CallCounts = std::array<uint32_t, kDriverEntryCount>;

CallCounts CallsSince(const ZeltoSimCounters& before, const ZeltoSimCounters& now) {
  CallCounts delta{};
  for (int i = 0; i < kDriverEntryCount; ++i) delta[i] = now.calls[i] - before.calls[i];
  return delta;
}

struct Scenario {
  Phase phase;
  int entry;
  Code code;
  uint32_t nth;  // 1-based call of the phase; 0 = every call
  std::string name;
};

// The host step under way, for the watchdog's message.
std::atomic<const char*> current_step{"start"};

// Aborts the process, naming the scenario and its step, unless destroyed within
// `limit`.
class Watchdog {
 public:
  Watchdog(std::string name, std::chrono::seconds limit)
      : name_(std::move(name)), thread_([this, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_cv_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "fault matrix: scenario %s hung in %s (no end after %lld s)\n",
                         name_.c_str(), current_step.load(), static_cast<long long>(limit.count()));
            std::fflush(stderr);
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::string name_;
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::thread thread_;
};

testing::ModuleHost& Module() {
  static testing::ModuleHost host{testing::ArtifactPath(ZELTO_MODULE_PATH)};
  return host;
}

// One object of the module on one simulated card, driven through the host's
// sequence. Without a fault it records the calls of each phase.
class HostRun {
 public:
  explicit HostRun(const Scenario* fault) : fault_(fault) { sim_.Configure("pacing=free"); }

  // The whole sequence; after it the object is released.
  void Run() {
    CreateObject();
    if (grabber_.get() == nullptr) return;

    InPhase(Phase::kCreateCard, [&] { card_ok_ = CreateCard(); });
    // A host retries a start-up that failed.
    if (!card_ok_ && OneShot()) card_ok_ = CreateCard();

    InPhase(Phase::kAllocateBuffers, [&] { AllocateBuffers(); });
    InPhase(Phase::kEnableGrab, [&] { grabber_->EnableGrab(); });
    StartGrabbing();
    InPhase(Phase::kGrabbing, [&] { Grab(FaultIn(Phase::kGrabbing) ? 0 : kFramesPerGrab); });
    if (FaultIn(Phase::kGrabbing)) Grab(kFramesPerGrab);
    InPhase(Phase::kDisableGrab, [&] { grabber_->DisableGrab(); });
    if (FaultIn(Phase::kDisableGrab)) {
      // The card grabs again after a stop that failed.
      grabber_->EnableGrab();
      StartGrabbing();
      Grab(kFramesPerGrab);
      grabber_->DisableGrab();
    }

    sim_.ClearCallLog();
    InPhase(Phase::kRelease, [&] { grabber_.Reset(); });
    CheckNothingLeft();
    if (FaultIn(Phase::kRelease)) {
      // The card is usable by the next object.
      CreateObject();
      if (grabber_.get() == nullptr) return;
      card_ok_ = CreateCard();
      AllocateBuffers();
      grabber_->EnableGrab();
      StartGrabbing();
      required_frames_ = OneShot();
      Grab(kFramesPerGrab);
      grabber_->DisableGrab();
      grabber_.Reset();
      CheckNothingLeft();
    }
  }

  const CallCounts& Calls(Phase phase) const { return calls_[static_cast<int>(phase)]; }
  bool fault_fired() const { return fault_fired_; }

 private:
  bool OneShot() const { return fault_ == nullptr || fault_->nth != 0; }
  bool FaultIn(Phase phase) const { return fault_ != nullptr && fault_->phase == phase; }

  template <typename Body>
  void InPhase(Phase phase, Body body) {
    current_step = kPhaseNames[static_cast<int>(phase)];
    const ZeltoSimCounters before = sim_.Counters();
    if (FaultIn(phase)) {
      sim_.InjectError(kDriverEntryNames[fault_->entry], fault_->code.value, fault_->nth);
    }
    body();
    if (FaultIn(phase)) {
      if (OnCaptureThread(fault_->entry)) WaitForFaultToFire(before);
      fault_fired_ = FaultFired(before, sim_.Counters());
      sim_.Configure("inject=none");
      // Frames are owed from here on only after a one-shot fault.
      required_frames_ = OneShot();
    }
    calls_[static_cast<int>(phase)] = CallsSince(before, sim_.Counters());
    current_step = "between phases";
  }

  bool FaultFired(const ZeltoSimCounters& before, const ZeltoSimCounters& now) const {
    const uint32_t calls = now.calls[fault_->entry] - before.calls[fault_->entry];
    return calls >= (fault_->nth == 0 ? 1 : fault_->nth);
  }

  // The capture thread fills at its own pace: the grabbing phase lasts until the
  // fault has hit (a few times when it hits every call).
  void WaitForFaultToFire(const ZeltoSimCounters& before) {
    const uint32_t needed = fault_->nth == 0 ? 3 : fault_->nth;
    EXPECT_TRUE(testing::WaitUntil([&] {
      return sim_.Counters().calls[fault_->entry] - before.calls[fault_->entry] >= needed;
    })) << "the capture thread stopped calling "
        << kDriverEntryNames[fault_->entry];
  }

  void CreateObject() {
    // Frames of another object are numbered afresh.
    frames_in_order_ = 0;
    ASSERT_EQ(
        Module().factory()->CreateInstance(nullptr, IID_IOrvaneGenericGrabber, grabber_.put_void()),
        S_OK);
  }

  bool CreateCard() {
    TestBstr key(sim_.host_key());
    const HRESULT hr = grabber_->CreateCard(key.get());
    testing::TakeErrorInfo();
    // A start-up either works or is the start-up failure.
    EXPECT_TRUE(hr == S_OK || hr == DISP_E_EXCEPTION) << std::hex << hr;
    return hr == S_OK;
  }

  void AllocateBuffers() {
    const HRESULT hr = grabber_->AllocateBuffers(kBuffers);
    if (card_ok_) {
      EXPECT_EQ(hr, S_OK);
    }
  }

  // After EnableGrab, which returns every buffer to the free list: what the host
  // learns of the image (the driver works here), then every buffer armed.
  void StartGrabbing() {
    current_step = "arming";
    format_ok_ = card_ok_ && ReadFormat(&format_);
    if (!format_ok_) return;
    int16_t free_buffers = 0;
    if (grabber_->GetBufferCount(&free_buffers) != S_OK) return;
    for (int16_t i = 0; i < free_buffers; ++i) EXPECT_TRUE(SUCCEEDED(grabber_->ArmBuffer()));
  }

  // Takes `frames` frames, each checked against the pattern, and arms each buffer
  // again; fewer only when none is owed.
  void Grab(int frames) {
    if (!format_ok_) return;
    current_step = "grabbing";
    for (int i = 0; i < frames; ++i) {
      int16_t ready = 0;
      // With every buffer armed, the buffer count is the count of ready frames.
      const bool arrived =
          testing::WaitUntil([&] { return grabber_->GetBufferCount(&ready) == S_OK && ready > 0; },
                             required_frames_ ? kFrameDeadline : kOptionalFrameWait);
      if (!arrived) {
        EXPECT_FALSE(required_frames_) << "no frame " << i + 1 << " of " << frames << " ("
                                       << frames_seen_ << " delivered so far)";
        return;
      }
      ImageRecord* record = nullptr;
      const HRESULT hr = grabber_->GetFrame(&record);
      ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
      ASSERT_NE(record, nullptr);
      uint32_t number = 0;
      EXPECT_TRUE(testing::DecodeFrame(*record, format_, &number))
          << "frame " << frames_seen_ << " (blank or torn)";
      if (frames_in_order_ > 0) {
        EXPECT_GT(number, last_number_) << "frame " << frames_seen_ << " out of order";
      }
      last_number_ = number;
      ++frames_in_order_;
      ++frames_seen_;
      EXPECT_EQ(grabber_->ReleaseCurrentFrame(), S_OK);
      EXPECT_TRUE(SUCCEEDED(grabber_->ArmBuffer()));
    }
  }

  // The image as the host interfaces describe it, once it is one the card can
  // deliver: a card that is owed frames gets until the frame deadline to
  // negotiate again.
  bool ReadFormat(testing::FrameFormat* f) {
    ComPtr<IOrvaneImageProp> image;
    if (grabber_->QueryInterface(IID_IOrvaneImageProp, image.put_void()) != S_OK) return false;
    int32_t bytes = 0;
    const auto usable = [&] {
      int32_t offset_x = 0, offset_y = 0;
      return image->GetImageGeometry(&f->width, &f->height, &offset_x, &offset_y) == S_OK &&
             image->GetBitsPerPixel(&f->bits_per_pixel) == S_OK &&
             image->GetImageFormat(&f->format) == S_OK && image->GetImageBytes(&bytes) == S_OK &&
             LayoutOf(f->format, &f->layout) && f->width > 0 && f->height > 0 &&
             f->bits_per_pixel / 8 == sim::BytesPerPixel(f->layout);
    };
    if (!testing::WaitUntil(usable,
                            required_frames_ ? kFrameDeadline : std::chrono::milliseconds(0))) {
      EXPECT_FALSE(required_frames_)
          << "no usable image after the fault: " << f->width << " x " << f->height << ", "
          << f->bits_per_pixel << " bits, format " << f->format;
      return false;
    }
    EXPECT_EQ(bytes, f->width * f->height * (f->bits_per_pixel / 8));
    return true;
  }

  static bool LayoutOf(int32_t format, sim::PixelLayout* layout) {
    return static_cast<bool>(testing::LayoutOf(format, layout));
  }

  // After the last reference: every channel closed and every buffer freed, but for
  // the handles whose close the driver refused.
  void CheckNothingLeft() {
    const ZeltoSimCounters counters = sim_.Counters();
    uint32_t refused_closes = 0;
    if (fault_ != nullptr && fault_->entry == static_cast<int>(DriverEntry::kRGBCaptureClose)) {
      for (const ZeltoSimCall& call : sim_.CallLog()) {
        if (call.entry == static_cast<uint32_t>(DriverEntry::kRGBCaptureClose) &&
            call.result == fault_->code.value) {
          ++refused_closes;
        }
      }
    }
    EXPECT_LE(counters.open_handles, refused_closes) << "driver handles left open";
    EXPECT_EQ(counters.live_buffers, 0u) << "driver buffers left allocated";
  }

  const Scenario* fault_;
  testing::SimCard sim_{ZELTOSIM_PATH};
  ComPtr<IOrvaneGenericGrabber> grabber_;
  std::array<CallCounts, kPhaseCount> calls_{};
  bool card_ok_ = false;
  testing::FrameFormat format_;
  bool format_ok_ = false;
  bool required_frames_ = true;
  bool fault_fired_ = false;
  int frames_seen_ = 0;
  int frames_in_order_ = 0;  // of this object
  uint32_t last_number_ = 0;
};

// What the clean run left, for the baseline test to report.
struct Baseline {
  std::array<CallCounts, kPhaseCount> calls{};
  std::string failure;
};

Baseline& CleanRun() {
  static Baseline baseline;
  return baseline;
}

std::vector<Scenario> BuildScenarios(const Baseline& baseline) {
  std::vector<Scenario> scenarios;
  for (int p = 0; p < kPhaseCount; ++p) {
    const Phase phase = static_cast<Phase>(p);
    for (int entry = 0; entry < kDriverEntryCount; ++entry) {
      const uint32_t count = baseline.calls[p][entry];
      if (count == 0 || (OnCaptureThread(entry) && phase != Phase::kGrabbing)) continue;
      std::vector<std::pair<uint32_t, std::string>> positions;
      for (uint32_t nth = 1; nth <= 3 && nth <= count; ++nth) {
        positions.emplace_back(nth, "Call" + std::to_string(nth));
      }
      if (count > 3) positions.emplace_back(count, "Call" + std::to_string(count) + "Last");
      positions.emplace_back(0, "EveryCall");
      // "RGBCaptureGetParameters" -> "GetParameters"
      std::string entry_name = kDriverEntryNames[entry];
      if (entry_name.rfind("RGBCapture", 0) == 0) entry_name.erase(0, 10);
      for (const Code& code : kCodes) {
        for (const auto& [nth, position] : positions) {
          scenarios.push_back(
              {phase, entry, code, nth,
               std::string(kPhaseNames[p]) + "_" + entry_name + "_" + code.name + "_" + position});
        }
      }
    }
  }
  return scenarios;
}

std::vector<Scenario>& Scenarios() {
  static std::vector<Scenario> scenarios;
  return scenarios;
}

TEST(FaultMatrixBaseline, CleanRunDeliversFramesAndLeavesNothing) {
  EXPECT_EQ(CleanRun().failure, "");
  EXPECT_FALSE(Scenarios().empty());
}

class FaultMatrixTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(FaultMatrixTest, CardSurvivesTheFault) {
  const Scenario& scenario = GetParam();
  Watchdog watchdog(scenario.name, kScenarioLimit);
  HostRun run(&scenario);
  run.Run();
  if (!run.fault_fired()) {
    GTEST_SKIP() << "the module made fewer calls of " << kDriverEntryNames[scenario.entry]
                 << " in this phase than in the clean run";
  }
}

std::string ScenarioName(const ::testing::TestParamInfo<Scenario>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Driver, FaultMatrixTest, ::testing::ValuesIn(Scenarios()), ScenarioName);

// The clean run, made once per process before the scenarios are built from it.
void RecordCleanRun() {
  Baseline& baseline = CleanRun();
  Watchdog watchdog("clean run", kScenarioLimit);
  HostRun run(nullptr);
  {
    // Failures of the clean run are reported by the baseline test.
    ::testing::TestPartResultArray failures;
    ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
    run.Run();
    for (int i = 0; i < failures.size(); ++i) {
      baseline.failure += failures.GetTestPartResult(i).message();
      baseline.failure += "\n";
    }
  }
  for (int p = 0; p < kPhaseCount; ++p) baseline.calls[p] = run.Calls(static_cast<Phase>(p));
  Scenarios() = BuildScenarios(baseline);
}

}  // namespace
}  // namespace zelto

int main(int argc, char** argv) {
  // The scenarios depend on the clean run's counts, and gtest reads the
  // parameters at initialisation: the clean run comes first.
  zelto::RecordCleanRun();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
