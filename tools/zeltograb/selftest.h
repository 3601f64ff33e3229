// `zeltograb selftest`: a compliance run of the module and the configured driver,
// through the module's COM interfaces only. Each check opens its own card on the
// selftest host key, whose values are copied from the user's key before every
// open, so the user's settings are never written and every check starts from them.
#ifndef ZELTO_TOOLS_ZELTOGRAB_SELFTEST_H_
#define ZELTO_TOOLS_ZELTOGRAB_SELFTEST_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "card_session.h"
#include "options.h"
#include "selftest_rules.h"
#include "settings_snapshot.h"

namespace zelto::grab {

// Every interface of one object, as a host holds them; null where not offered.
struct TestCard {
  ComPtr<IOrvaneGenericGrabber> grabber;
  ComPtr<IOrvaneImageProp> image;
  ComPtr<IOrvaneZeltoRGBImageProp> card_image;
  ComPtr<IOrvaneBufferUsageProp> usage;
  ComPtr<IOrvaneSettingsProp> settings;
  ComPtr<IOrvaneAdjustment> adjustment;
  ComPtr<IOrvaneTimeSourceProp> time_source;
};

// Wakes a blocked GetFrame or ArmBuffer once `limit` has passed, again and again
// until destroyed, so a card that delivers nothing ends in a failed check, not a
// hang.
class Deadline {
 public:
  Deadline(IOrvaneGenericGrabber* grabber, std::chrono::milliseconds limit);
  ~Deadline();
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;
  bool expired() const { return expired_.load(); }

 private:
  void Run();

  IOrvaneGenericGrabber* grabber_;
  std::chrono::steady_clock::time_point end_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::atomic<bool> expired_{false};
  std::thread thread_;  // last: it starts once the rest is there
};

struct Geometry {
  int32_t width = 0, height = 0, offset_x = 0, offset_y = 0, bytes = 0, bits = 0, format = 0;
};

struct GrabOutcome {
  std::vector<ObservedFrame> frames;
  std::vector<const void*> buffers;  // the distinct buffers the frames came in
  std::string error;                 // empty when `count` frames came in time
};

class SelfTest {
 public:
  explicit SelfTest(const Options& options);
  ~SelfTest();
  SelfTest(const SelfTest&) = delete;
  SelfTest& operator=(const SelfTest&) = delete;

  // Copies the user's values and opens the first card (the create-card check).
  CheckResult Start();
  // Removes the selftest key.
  void Finish();

  // A new object from the module, no card yet.
  HRESULT NewObject(TestCard* card);
  // A new object with its card open on the selftest key; with `fresh` the key is
  // first reset to the user's values. "" on success, else why not.
  std::string Open(TestCard* card, bool fresh = true);

  // Frames from an open card: buffers allocated, grabbing enabled, `count` frames
  // taken (or until `limit`), grabbing disabled and the buffers freed.
  GrabOutcome Grab(TestCard& card, int count, int buffers, std::chrono::milliseconds limit);
  Geometry ReadGeometry(TestCard& card);

  // Calls `ZeltoSim_InjectError` when the driver is ZeltoSim; false otherwise.
  bool InjectDriverError(const char* entry, uint32_t code, uint32_t nth);
  bool driver_is_zeltosim() const;

  const Options& options() const { return options_; }
  const std::string& user_key() const { return user_key_; }
  const std::string& test_key() const { return options_.key; }
  const SettingsSnapshot& user_values() const { return user_values_; }
  bool card_opens() const { return card_opens_; }
  // How long to wait for frames: shorter once a card has let a wait run out, so
  // a broken driver fails every check quickly.
  std::chrono::milliseconds FrameLimit() const;
  void MissedFrames() { frames_missed_ = true; }

  // The first frames of a plain grab, shared by the checks that judge them.
  struct FrameRun {
    GrabOutcome grab;
    int32_t source_rate = 0;
  };
  const FrameRun& Frames();

 private:
  Options options_;  // `key` is the selftest key
  std::string user_key_;
  SettingsSnapshot user_values_;
  CardSession base_;
  void* driver_ = nullptr;  // the driver library, held so ZeltoSim keeps its state
  void* inject_ = nullptr;
  bool card_opens_ = false;
  bool frames_missed_ = false;
  std::optional<FrameRun> frames_;
};

// A check: its name, one line for --list, and its body.
struct SelfTestCheck {
  const char* name;
  const char* what;
  CheckResult (*run)(SelfTest& test);
};
const std::vector<SelfTestCheck>& SelfTestChecks();

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_SELFTEST_H_
