#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "commands.h"
#include "host_os.h"
#include "pixel_format.h"
#include "platform/dynamic_library.h"
#include "platform/registry.h"
#include "selftest.h"
#include "zeltosim_control.h"

namespace zelto::grab {
namespace {

using platform::RegistryRoot;

int64_t WallClockMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

Deadline::Deadline(IOrvaneGenericGrabber* grabber, std::chrono::milliseconds limit)
    : grabber_(grabber),
      end_(std::chrono::steady_clock::now() + limit),
      thread_([this] { Run(); }) {}

Deadline::~Deadline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Deadline::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (wake_.wait_until(lock, end_, [this] { return done_; })) return;
  expired_.store(true);
  // A waiting call resets its event before it waits, so one signal may come too
  // early: it repeats until the caller is done.
  while (!wake_.wait_for(lock, std::chrono::milliseconds(20), [this] { return done_; })) {
    grabber_->SignalReadEvent();
    grabber_->SignalGrabEvent();
  }
}

SelfTest::SelfTest(const Options& options) : options_(options), user_key_(options.key) {
  options_.key = SelfTestHostKey(options.key);
}

SelfTest::~SelfTest() {
  frames_.reset();
  CloseCard(&base_);
  platform::UnloadDynamicLibrary(driver_);
}

CheckResult SelfTest::Start() {
  user_values_ = TakeSnapshot(user_key_);
  WriteSnapshot(user_values_, test_key());
  const int status = OpenCard(options_, &base_);
  if (base_.grabber && !base_.driver_path.empty()) {
    driver_ = platform::LoadDynamicLibrary(base_.driver_path.c_str());
    if (driver_ != nullptr) inject_ = platform::ResolveSymbol(driver_, "ZeltoSim_InjectError");
  }
  if (status != kExitOk) {
    return CheckFail("the card does not open on HKEY_CURRENT_USER\\" + test_key() +
                     " (the reason is above)");
  }
  card_opens_ = true;
  // Every check opens its own object; this one only keeps the module loaded.
  base_.settings.Reset();
  base_.card_image.Reset();
  base_.usage.Reset();
  base_.image.Reset();
  base_.grabber.Reset();
  return CheckOk("module " + base_.module_path + ", driver " + base_.driver_path);
}

std::chrono::milliseconds SelfTest::FrameLimit() const {
  return frames_missed_ ? std::chrono::milliseconds(1000) : std::chrono::milliseconds(3000);
}

void SelfTest::Finish() { platform::DeleteRegistryTree(RegistryRoot::kCurrentUser, test_key()); }

bool SelfTest::driver_is_zeltosim() const { return inject_ != nullptr; }

bool SelfTest::InjectDriverError(const char* entry, uint32_t code, uint32_t nth) {
  if (inject_ == nullptr) return false;
  return reinterpret_cast<PFN_ZeltoSim_InjectError>(inject_)(entry, code, nth) == 0;
}

HRESULT SelfTest::NewObject(TestCard* card) {
  *card = TestCard{};
  HRESULT hr = base_.library.loaded()
                   ? base_.library.CreateObject(IID_IOrvaneGenericGrabber, card->grabber.PutVoid())
                   : CreateRegisteredObject(IID_IOrvaneGenericGrabber, card->grabber.PutVoid());
  if (FAILED(hr)) return hr;
  IOrvaneGenericGrabber* g = card->grabber.Get();
  // What the object does not offer stays null; the checks say what is missing.
  if (FAILED(g->QueryInterface(IID_IOrvaneImageProp, card->image.PutVoid()))) card->image.Reset();
  if (FAILED(g->QueryInterface(IID_IOrvaneZeltoRGBImageProp, card->card_image.PutVoid()))) {
    card->card_image.Reset();
  }
  if (FAILED(g->QueryInterface(IID_IOrvaneBufferUsageProp, card->usage.PutVoid()))) {
    card->usage.Reset();
  }
  if (FAILED(g->QueryInterface(IID_IOrvaneSettingsProp, card->settings.PutVoid()))) {
    card->settings.Reset();
  }
  if (FAILED(g->QueryInterface(IID_IOrvaneAdjustment, card->adjustment.PutVoid()))) {
    card->adjustment.Reset();
  }
  if (FAILED(g->QueryInterface(IID_IOrvaneTimeSourceProp, card->time_source.PutVoid()))) {
    card->time_source.Reset();
  }
  return S_OK;
}

std::string SelfTest::Open(TestCard* card, bool fresh) {
  if (!card_opens_) return "the card does not open (create-card)";
  if (fresh) WriteSnapshot(user_values_, test_key());
  HRESULT hr = NewObject(card);
  if (FAILED(hr)) return "no object: " + DescribeHresult(hr);
  if (!card->image || !card->usage) return "the object lacks its image interfaces";
  BSTR key = AllocBstr(test_key());
  hr = card->grabber->CreateCard(key);
  SysFreeString(key);
  if (FAILED(hr)) {
    const std::string description = TakeErrorDescription();
    return "CreateCard: " + (description.empty() ? "" : description + " ") + "(" +
           DescribeHresult(hr) + ")";
  }
  return {};
}

Geometry SelfTest::ReadGeometry(TestCard& card) {
  Geometry g;
  card.image->GetImageGeometry(&g.width, &g.height, &g.offset_x, &g.offset_y);
  card.image->GetImageBytes(&g.bytes);
  card.image->GetBitsPerPixel(&g.bits);
  card.image->GetImageFormat(&g.format);
  return g;
}

GrabOutcome SelfTest::Grab(TestCard& card, int count, int buffers,
                           std::chrono::milliseconds limit) {
  GrabOutcome out;
  IOrvaneGenericGrabber* grabber = card.grabber.Get();
  HRESULT hr = grabber->AllocateBuffers(static_cast<int16_t>(buffers));
  if (FAILED(hr)) {
    out.error = "AllocateBuffers: " + DescribeHresult(hr);
    return out;
  }
  const Geometry g = ReadGeometry(card);
  std::optional<PixelFormatInfo> format = DescribeFormat(g.format);
  const size_t stride =
      format ? static_cast<size_t>(g.width) * static_cast<size_t>(format->bytes_per_pixel) : 0;
  const bool decodable = format && g.width >= sim::kFrameCodePixels && g.height > 0 &&
                         stride * static_cast<size_t>(g.height) <= static_cast<size_t>(g.bytes);
  hr = grabber->EnableGrab();
  if (FAILED(hr)) {
    out.error = "EnableGrab: " + DescribeHresult(hr);
    grabber->FreeAllBuffers();
    return out;
  }
  {
    Deadline deadline(grabber, limit);
    for (int i = 0; i < buffers && SUCCEEDED(hr); ++i) hr = grabber->ArmBuffer();
    while (SUCCEEDED(hr) && static_cast<int>(out.frames.size()) < count && !deadline.expired()) {
      ImageRecord* record = nullptr;
      hr = grabber->GetFrame(&record);
      if (FAILED(hr) || record == nullptr) continue;
      ObservedFrame f;
      f.received_us = WallClockMicros();
      f.stamp_us = static_cast<int64_t>(record->Seconds) * 1000000 +
                   static_cast<int64_t>(record->Milliseconds) * 1000 + record->Microseconds;
      if (decodable && record->Data != nullptr) {
        const auto* data = static_cast<const uint8_t*>(record->Data);
        uint32_t n = 0;
        if (sim::DecodeFrameNumber(data, format->layout, &n)) f.first_line = n;
        if (sim::DecodeFrameNumber(data + stride * static_cast<size_t>(g.height - 1),
                                   format->layout, &n)) {
          f.last_line = n;
        }
      }
      bool known = false;
      for (const void* b : out.buffers) known = known || b == record->Data;
      if (!known) out.buffers.push_back(record->Data);
      out.frames.push_back(f);
      hr = grabber->ReleaseCurrentFrame();
      if (SUCCEEDED(hr)) hr = grabber->ArmBuffer();
    }
    if (FAILED(hr)) {
      out.error = "grabbing: " + DescribeHresult(hr);
    } else if (static_cast<int>(out.frames.size()) < count) {
      frames_missed_ = true;
      out.error = std::to_string(out.frames.size()) + " of " + std::to_string(count) +
                  " frames within " + std::to_string(limit.count()) + " ms";
    }
  }
  grabber->DisableGrab();
  grabber->FreeAllBuffers();
  return out;
}

const SelfTest::FrameRun& SelfTest::Frames() {
  if (frames_) return *frames_;
  frames_.emplace();
  TestCard card;
  std::string error = Open(&card);
  if (!error.empty()) {
    frames_->grab.error = error;
    return *frames_;
  }
  // The card's own pace: SetFrameRate clamps to the source rate, which it then
  // reports; fixed-rate mode off lets every source frame through.
  if (card.card_image) {
    card.card_image->SetFrameRate(INT32_MAX);
    card.card_image->GetFrameRate(&frames_->source_rate);
    card.card_image->SetFixedRateMode(0);
  }
  frames_->grab = Grab(card, 60, 6, FrameLimit() + std::chrono::seconds(2));
  return *frames_;
}

int RunSelfTest(const Options& options) {
  const std::vector<SelfTestCheck>& checks = SelfTestChecks();
  std::vector<std::string> names;
  for (const SelfTestCheck& c : checks) names.push_back(c.name);
  if (options.selftest_list) {
    for (const SelfTestCheck& c : checks) std::printf("%-21s %s\n", c.name, c.what);
    return kExitOk;
  }
  std::string error;
  const std::vector<std::string> selected = SelectChecks(names, options.selftest_only, &error);
  if (selected.empty()) {
    std::fprintf(stderr, "zeltograb: %s\n\n%s", error.c_str(), Usage(Command::kSelfTest).c_str());
    return kExitUsage;
  }

  SelfTest test(options);
  std::printf("zeltograb: selftest on HKEY_CURRENT_USER\\%s (copied from %s)\n",
              test.test_key().c_str(), options.key.c_str());
  int ok = 0, failed = 0, skipped = 0;
  std::vector<std::string> failures;
  auto report = [&](const std::string& name, const CheckResult& result) {
    std::printf("%s\n", ResultLine(name, result).c_str());
    std::fflush(stdout);
    switch (result.outcome) {
      case CheckOutcome::kOk: ++ok; break;
      case CheckOutcome::kSkip: ++skipped; break;
      case CheckOutcome::kFail:
        ++failed;
        failures.push_back(name);
        break;
    }
  };
  const CheckResult started = test.Start();
  bool reported_start = false;
  for (const SelfTestCheck& check : checks) {
    bool wanted = false;
    for (const std::string& s : selected) wanted = wanted || s == check.name;
    if (!wanted) continue;
    if (std::string(check.name) == "create-card") {
      if (!reported_start) report(check.name, started);
      reported_start = true;
      continue;
    }
    if (!test.card_opens() && !reported_start) {
      // Without a card most checks cannot run: say why, whatever was selected.
      report("create-card", started);
      reported_start = true;
    }
    if (!test.card_opens() && std::string(check.name) != "object" &&
        std::string(check.name) != "user-settings") {
      report(check.name, CheckSkip("no card"));
    } else {
      report(check.name, check.run(test));
    }
  }
  test.Finish();
  std::printf("zeltograb: selftest: %d ok, %d failed, %d skipped\n", ok, failed, skipped);
  if (failed > 0) {
    std::string list;
    for (const std::string& f : failures) list += (list.empty() ? "" : ", ") + f;
    std::printf("zeltograb: failing checks: %s\n", list.c_str());
    return kExitModuleError;
  }
  return kExitOk;
}

}  // namespace zelto::grab
