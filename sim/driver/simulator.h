// The simulated card behind ZeltoSim's exports: channels with their inputs and
// capture parameters, handles, buffers, the frame clock, scripts, injected errors
// and the counters. One instance per loaded library; every member function may be
// called from any thread. RGBCaptureFillBuffer waits with the lock released.
#ifndef ZELTO_SIM_DRIVER_SIMULATOR_H_
#define ZELTO_SIM_DRIVER_SIMULATOR_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/capture_driver.h"
#include "video_modes.h"
#include "zeltosim_control.h"
#include "zeltosim_pattern.h"

namespace zelto::sim {

enum class SignalState { kPresent, kAbsent, kOutOfRange, kUnrecognisable };
enum class Pacing { kRealTime, kFree, kStatic };

inline constexpr uint64_t kNever = ~uint64_t{0};

class Simulator {
 public:
  static Simulator& Instance();

  // Entry points (arguments as in capture_driver.h).
  uint32_t Initialise(uint32_t* device_count);
  uint32_t Open(uint32_t channel, HRGBCAPTURE* handle);
  uint32_t Close(HRGBCAPTURE handle);
  uint32_t Enable(HRGBCAPTURE handle, uint32_t enable);
  uint32_t GetCapabilities(HRGBCAPTURE handle, CaptureCaps* caps);
  uint32_t GetParameters(HRGBCAPTURE handle, CaptureParams* params, uint32_t query);
  uint32_t SetParameters(HRGBCAPTURE handle, CaptureParams* params, uint32_t query);
  uint32_t AllocateBuffer(HRGBCAPTURE handle, void** buffer, uint32_t size);
  uint32_t FreeBuffer(HRGBCAPTURE handle, void** buffer);
  uint32_t FillBuffer(HRGBCAPTURE handle, uint32_t selector, uint32_t size);
  uint32_t DetectVideoMode(HRGBCAPTURE handle, VideoTiming* timing);
  uint32_t Unsupported(DriverEntry entry);

  // Control functions (zeltosim_control.h).
  void Reset();
  uint32_t Configure(std::string_view config);
  uint32_t SetSignal(uint32_t channel, uint32_t present);
  uint32_t SetMode(uint32_t channel, std::string_view mode);
  uint32_t InjectError(std::string_view entry_point, uint32_t code, uint32_t nth);
  void ClearErrors();
  void GetCounters(ZeltoSimCounters* counters);
  bool GetLastCall(uint32_t entry, ZeltoSimCall* call);
  uint32_t GetCallLog(ZeltoSimCall* calls, uint32_t capacity);
  void ClearCallLog();
  uint32_t GetFrameNumber(uint32_t channel);

 private:
  struct Script {
    uint64_t lose_signal_at = kNever;  // frames delivered
    uint64_t find_signal_at = kNever;  // no-signal answers
    uint64_t mode_change_at = kNever;  // frames delivered
    const VideoMode* mode_change_to = nullptr;
    uint32_t drop_every = 0;
  };

  // The capture parameters a channel keeps while it is open.
  struct Settings {
    uint32_t crop_left = 0, crop_width = 0, crop_right = 0;
    uint32_t crop_top = 0, crop_height = 0, crop_bottom = 0;
    int32_t scaled_width = 0, scaled_height = 0;
    uint32_t pixel_format = kPixelFormat32;
    int32_t phase = 0, brightness = 0, contrast = 0, black_level = 0, sample_rate = 0;
    int32_t hor_position = 0, ver_position = 0;
    uint32_t output_mode = 0;
  };

  // Porches and sync widths that stand in for the mode's (the `blanking` key).
  struct Blanking {
    uint32_t h_front_porch, h_sync, h_back_porch;
    uint32_t v_front_porch, v_sync, v_back_porch;
  };

  struct Channel {
    SignalState signal = SignalState::kPresent;
    const VideoMode* mode = nullptr;
    std::optional<Blanking> blanking;
    uint16_t timing_flags = 0;
    uint32_t sync_edge = 0;
    Settings settings;
    bool enabled = false;
    bool mode_change_pending = false;
    uint32_t open_handles = 0;
    // Frame clock: frame `clock_first` completes one period after `clock_start_ns`.
    int64_t clock_start_ns = 0;
    uint64_t clock_first = 0;
    uint64_t next_frame = 0;
    uint64_t frames_delivered = 0;
    uint64_t no_signal_answers = 0;
    Script script;
    // What the static mode rendered last.
    const void* static_buffer = nullptr;
    uint64_t static_generation = ~uint64_t{0};
    std::vector<uint8_t> bar_row, block_row;
  };

  struct Buffer {
    HRGBCAPTURE handle;
    uint32_t size;
    std::unique_ptr<uint8_t[]> data;
  };

  struct InjectRule {
    int entry;
    uint32_t code;
    bool every;
    uint32_t remaining;  // calls until it hits, when not `every`
  };

  Simulator();

  using Lock = std::unique_lock<std::mutex>;

  // Counts and logs a call, applying injected errors; `body` runs when none hits.
  template <typename Body>
  uint32_t Call(DriverEntry entry, uint32_t handle, uint32_t arg, uint32_t query, Body body);

  void ResetLocked();
  uint32_t ConfigureLocked(std::string_view config);
  uint32_t InjectErrorLocked(std::string_view entry_point, uint32_t code, uint32_t nth);
  Buffer* CurrentBuffer(HRGBCAPTURE handle);
  void WaitOnePeriod(Lock& lock, HRGBCAPTURE handle, const Channel& ch);
  void ResizeChannels(uint32_t count);
  void OpenChannelSettings(Channel& ch);
  void RestartClock(Channel& ch);
  void ChangeMode(Channel& ch, const VideoMode* mode);
  void SetSignalLocked(Channel& ch, SignalState state);
  void RunScripts(Channel& ch);
  Channel* ChannelOf(HRGBCAPTURE handle);
  uint32_t ApplyKey(std::string_view key, std::string_view value);
  uint32_t ApplyChannelKey(Channel& ch, std::string_view key, std::string_view value);
  void ApplyEnvironment();
  // The channel's mode with its blanking as configured.
  VideoMode TimingOf(const Channel& ch) const;
  void FillCurrentTiming(const Channel& ch, VideoTiming* timing) const;
  int64_t FrameCompleteNs(const Channel& ch, uint64_t frame) const;
  uint64_t FrameInProgress(const Channel& ch, int64_t now_ns) const;
  void Render(Channel& ch, uint8_t* out, uint64_t frame);

  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t generation_ = 0;  // bumped by every change a waiting fill must notice
  bool environment_applied_ = false;
  Pacing pacing_ = Pacing::kRealTime;
  bool time_code_ = false;
  uint32_t time_code_fps_ = 30;
  TimeCode time_code_start_ = {0, 0, 0, 0};
  std::vector<Channel> channels_;
  std::map<HRGBCAPTURE, uint32_t> handles_;  // handle -> channel
  HRGBCAPTURE next_handle_ = 0;
  std::vector<Buffer> buffers_;  // in allocation order
  std::vector<InjectRule> rules_;
  ZeltoSimCounters counters_ = {};
  ZeltoSimCall last_calls_[kDriverEntryCount] = {};
  std::deque<ZeltoSimCall> log_;
};

}  // namespace zelto::sim

#endif  // ZELTO_SIM_DRIVER_SIMULATOR_H_
