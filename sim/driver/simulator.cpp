#include "simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>

namespace zelto::sim {
namespace {

struct Range {
  int32_t min, max, initial;
};

// Ranges of the analogue front end; the same on every channel.
constexpr Range kPhase = {0, 31, 16};
constexpr Range kBrightness = {-128, 127, 0};
constexpr Range kContrast = {0, 255, 128};
constexpr Range kBlackLevel = {8, 120, 64};
constexpr Range kSampleRate = {0, 100, 0};
constexpr Range kPixelFormat = {1, 3, 3};
constexpr Range kScaled = {64, 2000, 0};
constexpr Range kOutputMode = {0, 3, 0};

constexpr uint32_t kDefaultChannels = 2;
constexpr uint32_t kMaxChannels = 16;
constexpr uint32_t kMaxBufferSize = 256u << 20;
constexpr size_t kLogCapacity = 16384;
constexpr HRGBCAPTURE kFirstHandle = 0x5A01;  // distinct from channel numbers

enum class Select { kCurrent, kMinimum, kMaximum };

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::chrono::steady_clock::time_point AtNs(int64_t ns) {
  return std::chrono::steady_clock::time_point(
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::nanoseconds(ns)));
}

int32_t Pick(Select select, const Range& range, int32_t current) {
  switch (select) {
    case Select::kMinimum: return range.min;
    case Select::kMaximum: return range.max;
    case Select::kCurrent: break;
  }
  return current;
}

bool InRange(const Range& range, int32_t value) { return value >= range.min && value <= range.max; }

int BytesPerPixelOf(uint32_t pixel_format) { return pixel_format == kPixelFormat32 ? 4 : 2; }

PixelLayout LayoutOf(uint32_t pixel_format) {
  switch (pixel_format) {
    case kPixelFormat555: return PixelLayout::kRgb555;
    case kPixelFormat565: return PixelLayout::kRgb565;
    default: return PixelLayout::kBgrx32;
  }
}

bool ParseNumber(std::string_view text, uint64_t* value) {
  std::string s(text);
  if (s.empty() || s[0] == '-') return false;
  char* end = nullptr;
  unsigned long long v = std::strtoull(s.c_str(), &end, 0);
  if (end == s.c_str() || *end != '\0') return false;
  *value = v;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "HH:MM:SS:FF".
bool ParseTimeCode(std::string_view text, TimeCode* t) {
  uint64_t parts[4];
  for (int i = 0; i < 4; ++i) {
    size_t colon = text.find(':');
    std::string_view part = i < 3 ? text.substr(0, colon) : text;
    if ((i < 3 && colon == std::string_view::npos) || !ParseNumber(part, &parts[i])) return false;
    if (i < 3) text.remove_prefix(colon + 1);
  }
  if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59 || parts[3] > 99) return false;
  *t = {static_cast<uint32_t>(parts[0]), static_cast<uint32_t>(parts[1]),
        static_cast<uint32_t>(parts[2]), static_cast<uint32_t>(parts[3])};
  return true;
}

int EntryIndex(std::string_view name) {
  for (int i = 0; i < kDriverEntryCount; ++i) {
    if (name == kDriverEntryNames[i]) return i;
  }
  return -1;
}

// Where a scripted mode change goes when no target was given.
const VideoMode* AlternativeMode(const VideoMode* current) {
  const VideoMode* svga = FindVideoMode("800x600@60");
  return current == svga ? FindVideoMode("1024x768@60") : svga;
}

}  // namespace

Simulator& Simulator::Instance() {
  static Simulator instance;
  return instance;
}

Simulator::Simulator() { ResetLocked(); }

template <typename Body>
uint32_t Simulator::Call(DriverEntry entry, uint32_t handle, uint32_t arg, uint32_t query,
                         Body body) {
  Lock lock(mutex_);
  const int index = static_cast<int>(entry);
  // Also after a reload that skips RGBCaptureInitialise (a channel scan rebinds
  // the driver and goes straight to RGBCaptureOpen).
  ApplyEnvironment();
  ++counters_.calls[index];
  std::optional<uint32_t> injected;
  for (auto it = rules_.begin(); it != rules_.end();) {
    if (it->entry != index) {
      ++it;
      continue;
    }
    bool hit = it->every || --it->remaining == 0;
    if (hit && !injected) injected = it->code;
    it = (hit && !it->every) ? rules_.erase(it) : it + 1;
  }
  uint32_t result = injected ? *injected : body(lock);
  ZeltoSimCall call = {static_cast<uint32_t>(index), handle, arg, query, result};
  last_calls_[index] = call;
  log_.push_back(call);
  if (log_.size() > kLogCapacity) log_.pop_front();
  return result;
}

// --- State helpers --------------------------------------------------------------

void Simulator::ResetLocked() {
  handles_.clear();
  buffers_.clear();
  channels_.clear();
  ResizeChannels(kDefaultChannels);
  next_handle_ = kFirstHandle;
  pacing_ = Pacing::kRealTime;
  time_code_ = false;
  time_code_fps_ = 30;
  time_code_start_ = {0, 0, 0, 0};
  rules_.clear();
  counters_ = {};
  std::memset(last_calls_, 0, sizeof(last_calls_));
  log_.clear();
  environment_applied_ = false;
  ++generation_;
  changed_.notify_all();
}

void Simulator::ResizeChannels(uint32_t count) {
  for (auto it = handles_.begin(); it != handles_.end();) {
    if (it->second < count) {
      ++it;
      continue;
    }
    HRGBCAPTURE gone = it->first;
    counters_.live_buffers -= static_cast<uint32_t>(
        std::erase_if(buffers_, [gone](const Buffer& b) { return b.handle == gone; }));
    --counters_.open_handles;
    it = handles_.erase(it);
  }
  size_t old = channels_.size();
  channels_.resize(count);
  for (size_t i = old; i < channels_.size(); ++i) {
    channels_[i].mode = &DefaultVideoMode();
    OpenChannelSettings(channels_[i]);
  }
  ++generation_;
  changed_.notify_all();
}

void Simulator::OpenChannelSettings(Channel& ch) {
  Settings& s = ch.settings;
  s = Settings{};
  s.crop_width = ch.mode->width;
  s.crop_height = ch.mode->height;
  s.scaled_width = static_cast<int32_t>(ch.mode->width);
  s.scaled_height = static_cast<int32_t>(ch.mode->height);
  s.pixel_format = kPixelFormat.initial;
  s.phase = kPhase.initial;
  s.brightness = kBrightness.initial;
  s.contrast = kContrast.initial;
  s.black_level = kBlackLevel.initial;
  s.sample_rate = kSampleRate.initial;
  ch.enabled = false;
  ch.mode_change_pending = false;
  ch.next_frame = 0;
  RestartClock(ch);
}

void Simulator::RestartClock(Channel& ch) {
  ch.clock_start_ns = NowNs();
  ch.clock_first = ch.next_frame;
}

void Simulator::ChangeMode(Channel& ch, const VideoMode* mode) {
  bool same_size = ch.mode->width == mode->width && ch.mode->height == mode->height;
  ch.mode = mode;
  Settings& s = ch.settings;
  s.crop_left = s.crop_right = s.crop_top = s.crop_bottom = 0;
  s.crop_width = mode->width;
  s.crop_height = mode->height;
  // The scaler is set up anew for a mode of another size; a caller that scales
  // sets it again after the notification.
  if (!same_size) {
    s.scaled_width = static_cast<int32_t>(mode->width);
    s.scaled_height = static_cast<int32_t>(mode->height);
  }
  ch.mode_change_pending = true;
  RestartClock(ch);
  ++generation_;
  changed_.notify_all();
}

void Simulator::SetSignalLocked(Channel& ch, SignalState state) {
  bool found = ch.signal != SignalState::kPresent && state == SignalState::kPresent;
  ch.signal = state;
  if (found) {
    ch.mode_change_pending = true;
    RestartClock(ch);
  }
  ++generation_;
  changed_.notify_all();
}

void Simulator::RunScripts(Channel& ch) {
  Script& script = ch.script;
  if (script.lose_signal_at != kNever && ch.frames_delivered >= script.lose_signal_at) {
    script.lose_signal_at = kNever;
    SetSignalLocked(ch, SignalState::kAbsent);
  }
  if (script.find_signal_at != kNever && ch.no_signal_answers >= script.find_signal_at) {
    script.find_signal_at = kNever;
    SetSignalLocked(ch, SignalState::kPresent);
  }
  if (script.mode_change_at != kNever && ch.frames_delivered >= script.mode_change_at) {
    script.mode_change_at = kNever;
    ChangeMode(ch,
               script.mode_change_to != nullptr ? script.mode_change_to : AlternativeMode(ch.mode));
  }
}

Simulator::Channel* Simulator::ChannelOf(HRGBCAPTURE handle) {
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : &channels_[it->second];
}

Simulator::Buffer* Simulator::CurrentBuffer(HRGBCAPTURE handle) {
  for (auto it = buffers_.rbegin(); it != buffers_.rend(); ++it) {
    if (it->handle == handle) return &*it;
  }
  return nullptr;
}

VideoMode Simulator::TimingOf(const Channel& ch) const {
  VideoMode mode = *ch.mode;
  if (ch.blanking) {
    const Blanking& b = *ch.blanking;
    mode.h_front_porch = b.h_front_porch;
    mode.h_sync = b.h_sync;
    mode.h_back_porch = b.h_back_porch;
    mode.v_front_porch = b.v_front_porch;
    mode.v_sync = b.v_sync;
    mode.v_back_porch = b.v_back_porch;
  }
  return mode;
}

void Simulator::FillCurrentTiming(const Channel& ch, VideoTiming* timing) const {
  if (ch.signal != SignalState::kPresent) {
    std::memset(timing, 0, sizeof(*timing));
    timing->Flags = ch.signal == SignalState::kAbsent       ? kTimingNoSignal
                    : ch.signal == SignalState::kOutOfRange ? kTimingOutOfRange
                                                            : kTimingUnrecognisable;
    return;
  }
  FillTiming(TimingOf(ch), ch.timing_flags, timing);
  const Settings& s = ch.settings;
  timing->HorLeftBorder = s.crop_left;
  timing->HorAddrTime = s.crop_width;
  timing->HorRightBorder = s.crop_right;
  timing->VerTopBorder = s.crop_top;
  timing->VerAddrTime = s.crop_height;
  timing->VerBottomBorder = s.crop_bottom;
}

// Frame `frame` completes one period after it starts; frames are numbered on from
// `clock_first`, which starts at `clock_start_ns`.
int64_t Simulator::FrameCompleteNs(const Channel& ch, uint64_t frame) const {
  const uint64_t f = ch.mode->ver_frequency_mhz;
  const uint64_t n = frame - ch.clock_first + 1;
  const uint64_t whole = n / f, part = n % f;
  return ch.clock_start_ns +
         static_cast<int64_t>(whole * 1000000000000ULL + (part * 1000000000000ULL + f - 1) / f);
}

uint64_t Simulator::FrameInProgress(const Channel& ch, int64_t now_ns) const {
  int64_t elapsed = now_ns - ch.clock_start_ns;
  if (elapsed <= 0) return ch.clock_first;
  const uint64_t f = ch.mode->ver_frequency_mhz;
  const uint64_t seconds = static_cast<uint64_t>(elapsed) / 1000000000ULL;
  const uint64_t rest = static_cast<uint64_t>(elapsed) % 1000000000ULL;
  const uint64_t milli_frames = seconds * f + rest * f / 1000000000ULL;
  return ch.clock_first + milli_frames / 1000;
}

void Simulator::WaitOnePeriod(Lock& lock, HRGBCAPTURE handle, const Channel& ch) {
  auto deadline = AtNs(NowNs() + FramePeriodNs(*ch.mode));
  changed_.wait_until(lock, deadline, [&] { return handles_.count(handle) == 0; });
}

// Output pixel (x, y) shows source pixel (crop_left + x * crop_width / scaled_width
// + HorPosition, crop_top + y * crop_height / scaled_height + VerPosition): the
// crop window scaled, nearest neighbour, to the scaled size, and moved by the
// capture start. Source pixels outside the picture are black; the rest pass the
// front end (phase, then contrast, brightness and black level).
void Simulator::Render(Channel& ch, uint8_t* out, uint64_t frame) {
  const Settings& s = ch.settings;
  const PixelLayout layout = LayoutOf(s.pixel_format);
  const uint32_t bpp = static_cast<uint32_t>(BytesPerPixel(layout));
  const uint32_t width = ch.mode->width, height = ch.mode->height;
  const uint32_t out_w = static_cast<uint32_t>(s.scaled_width);
  const uint32_t out_h = static_cast<uint32_t>(s.scaled_height);
  const size_t row_bytes = size_t{out_w} * bpp;
  const uint32_t number = static_cast<uint32_t>(frame);
  const BlockRect block = MovingBlock(number, width, height);
  const FrontEnd front_end{s.phase, s.brightness, s.contrast, s.black_level};
  constexpr Rgb kBlack = {0, 0, 0};

  // The source line without or with the block; black outside the picture, also
  // as the phase's neighbour at its edges.
  auto source = [&](int64_t sx, bool with_block) {
    if (sx < 0 || sx >= int64_t{width}) return kBlack;
    const uint32_t x = static_cast<uint32_t>(sx);
    return with_block && x >= block.x && x < block.x + block.size ? kBlockColour
                                                                  : BarColour(x, width);
  };
  auto render_row = [&](std::vector<uint8_t>& row, bool with_block) {
    row.resize(row_bytes);
    for (uint32_t x = 0; x < out_w; ++x) {
      const int64_t sx = int64_t{s.crop_left} + int64_t{x} * s.crop_width / out_w + s.hor_position;
      Rgb c = kBlack;
      if (sx >= 0 && sx < int64_t{width}) {
        const int64_t side = front_end.phase < kNeutralPhase ? -1 : 1;
        c = AdjustColour(
            PhaseSample(source(sx, with_block), source(sx + side, with_block), front_end.phase),
            front_end);
      }
      StorePixel(&row[x * bpp], layout, c);
    }
  };
  render_row(ch.bar_row, false);
  render_row(ch.block_row, true);
  for (uint32_t y = 0; y < out_h; ++y) {
    const int64_t sy = int64_t{s.crop_top} + int64_t{y} * s.crop_height / out_h + s.ver_position;
    uint8_t* line = out + y * row_bytes;
    if (sy < 0 || sy >= int64_t{height}) {
      std::memset(line, 0, row_bytes);  // black in every layout
      continue;
    }
    const uint32_t row = static_cast<uint32_t>(sy);
    const bool in_block = row >= block.y && row < block.y + block.size;
    std::memcpy(line, in_block ? ch.block_row.data() : ch.bar_row.data(), row_bytes);
  }
  EncodeFrameNumber(out, layout, number);
  EncodeFrameNumber(out + (out_h - 1) * row_bytes, layout, number);
  if (time_code_) EncodeTimeCode(out, AdvanceTimeCode(time_code_start_, frame, time_code_fps_));
}

// --- Configuration ---------------------------------------------------------------

void Simulator::ApplyEnvironment() {
  if (environment_applied_) return;
  environment_applied_ = true;
  if (const char* config = std::getenv("ZELTOSIM")) ConfigureLocked(config);
}

uint32_t Simulator::ConfigureLocked(std::string_view config) {
  while (!config.empty()) {
    size_t end = config.find(';');
    std::string_view item = Trim(config.substr(0, end));
    config = end == std::string_view::npos ? std::string_view() : config.substr(end + 1);
    if (item.empty()) continue;
    size_t eq = item.find('=');
    if (eq == std::string_view::npos) return kRgbErrorInvalidFlags;
    uint32_t result = ApplyKey(Trim(item.substr(0, eq)), Trim(item.substr(eq + 1)));
    if (result != 0) return result;
  }
  return 0;
}

uint32_t Simulator::ApplyKey(std::string_view key, std::string_view value) {
  uint64_t number = 0;
  if (key == "channels") {
    if (!ParseNumber(value, &number) || number < 1 || number > kMaxChannels) {
      return kRgbErrorInvalidFlags;
    }
    ResizeChannels(static_cast<uint32_t>(number));
    return 0;
  }
  if (key == "pacing") {
    if (value == "realtime") {
      pacing_ = Pacing::kRealTime;
    } else if (value == "free") {
      pacing_ = Pacing::kFree;
    } else if (value == "static") {
      pacing_ = Pacing::kStatic;
    } else {
      return kRgbErrorInvalidFlags;
    }
    for (Channel& ch : channels_) RestartClock(ch);
    return 0;
  }
  if (key == "timecode") {
    if (!ParseNumber(value, &number) || number > 1) return kRgbErrorInvalidFlags;
    time_code_ = number == 1;
    return 0;
  }
  if (key == "timecode_fps") {
    if (!ParseNumber(value, &number) || number < 1 || number > 100) return kRgbErrorInvalidFlags;
    time_code_fps_ = static_cast<uint32_t>(number);
    return 0;
  }
  if (key == "timecode_start") {
    return ParseTimeCode(value, &time_code_start_) ? 0 : kRgbErrorInvalidFlags;
  }
  if (key == "inject") {
    if (value.empty() || value == "none") {
      rules_.clear();
      return 0;
    }
    // Name:code[:nth]
    size_t first = value.find(':');
    if (first == std::string_view::npos) return kRgbErrorInvalidFlags;
    std::string_view rest = value.substr(first + 1);
    size_t second = rest.find(':');
    uint64_t code = 0, nth = 0;
    if (!ParseNumber(rest.substr(0, second), &code) || code > 0xFFFFFFFFu) {
      return kRgbErrorInvalidFlags;
    }
    if (second != std::string_view::npos) {
      std::string_view n = rest.substr(second + 1);
      if (n != "every" && (!ParseNumber(n, &nth) || nth > 0xFFFFFFFFu)) {
        return kRgbErrorInvalidFlags;
      }
    }
    return InjectErrorLocked(value.substr(0, first), static_cast<uint32_t>(code),
                             static_cast<uint32_t>(nth));
  }
  if (key.substr(0, 2) == "ch") {
    size_t dot = key.find('.');
    if (dot != std::string_view::npos && ParseNumber(key.substr(2, dot - 2), &number)) {
      if (number >= channels_.size()) return kRgbErrorInvalidIndex;
      return ApplyChannelKey(channels_[number], key.substr(dot + 1), value);
    }
  }
  for (Channel& ch : channels_) {
    uint32_t result = ApplyChannelKey(ch, key, value);
    if (result != 0) return result;
  }
  return 0;
}

uint32_t Simulator::ApplyChannelKey(Channel& ch, std::string_view key, std::string_view value) {
  uint64_t number = 0;
  if (key == "signal") {
    SignalState state;
    if (value == "1" || value == "present") {
      state = SignalState::kPresent;
    } else if (value == "0" || value == "absent") {
      state = SignalState::kAbsent;
    } else if (value == "out_of_range") {
      state = SignalState::kOutOfRange;
    } else if (value == "unrecognisable") {
      state = SignalState::kUnrecognisable;
    } else {
      return kRgbErrorInvalidFlags;
    }
    SetSignalLocked(ch, state);
    return 0;
  }
  if (key == "mode" || key == "mode_change_to") {
    const VideoMode* mode = FindVideoMode(value);
    if (mode == nullptr) return kRgbErrorInvalidFlags;
    if (key == "mode_change_to") {
      ch.script.mode_change_to = mode;
    } else if (mode != ch.mode) {
      ChangeMode(ch, mode);
      if (ch.open_handles == 0) ch.mode_change_pending = false;
    }
    return 0;
  }
  if (key == "blanking") {
    if (value == "none") {
      ch.blanking.reset();
      return 0;
    }
    // h_front,h_sync,h_back,v_front,v_sync,v_back
    uint64_t parts[6];
    std::string_view rest = value;
    for (int i = 0; i < 6; ++i) {
      const size_t comma = rest.find(',');
      if ((i < 5) == (comma == std::string_view::npos)) return kRgbErrorInvalidFlags;
      if (!ParseNumber(Trim(rest.substr(0, comma)), &parts[i]) || parts[i] > 0xFFFF)
        return kRgbErrorInvalidFlags;
      rest = i < 5 ? rest.substr(comma + 1) : std::string_view();
    }
    ch.blanking = Blanking{static_cast<uint32_t>(parts[0]), static_cast<uint32_t>(parts[1]),
                           static_cast<uint32_t>(parts[2]), static_cast<uint32_t>(parts[3]),
                           static_cast<uint32_t>(parts[4]), static_cast<uint32_t>(parts[5])};
    return 0;
  }
  if (!ParseNumber(value, &number)) return kRgbErrorInvalidFlags;
  if (key == "sync_edge") {
    if (number > 1) return kRgbErrorInvalidFlags;
    ch.sync_edge = static_cast<uint32_t>(number);
  } else if (key == "timing_flags") {
    if (number > 0xFFFF) return kRgbErrorInvalidFlags;
    ch.timing_flags = static_cast<uint16_t>(number);
  } else if (key == "lose_signal_after") {
    ch.script.lose_signal_at = ch.frames_delivered + number;
  } else if (key == "find_signal_after") {
    ch.script.find_signal_at = ch.no_signal_answers + number;
  } else if (key == "mode_change_after") {
    ch.script.mode_change_at = ch.frames_delivered + number;
  } else if (key == "drop_every") {
    if (number == 1 || number > 0xFFFFFFFFu) return kRgbErrorInvalidFlags;
    ch.script.drop_every = static_cast<uint32_t>(number);
  } else {
    return kRgbErrorInvalidFlags;
  }
  return 0;
}

uint32_t Simulator::InjectErrorLocked(std::string_view entry_point, uint32_t code, uint32_t nth) {
  int index = EntryIndex(entry_point);
  if (index < 0) return kRgbErrorInvalidFlags;
  rules_.push_back({index, code, nth == 0, nth});
  return 0;
}

// --- Entry points ----------------------------------------------------------------

uint32_t Simulator::Initialise(uint32_t* device_count) {
  return Call(DriverEntry::kRGBCaptureInitialise, 0, 0, 0, [&](Lock&) -> uint32_t {
    if (device_count == nullptr) return kRgbErrorInvalidPointer;
    *device_count = static_cast<uint32_t>(channels_.size());
    return 0;
  });
}

uint32_t Simulator::Open(uint32_t channel, HRGBCAPTURE* handle) {
  return Call(DriverEntry::kRGBCaptureOpen, channel, 0, 0, [&](Lock&) -> uint32_t {
    if (handle == nullptr) return kRgbErrorInvalidPointer;
    if (channel >= channels_.size()) return kRgbErrorInvalidIndex;
    Channel& ch = channels_[channel];
    if (ch.open_handles == 0) OpenChannelSettings(ch);
    ++ch.open_handles;
    HRGBCAPTURE h = next_handle_++;
    handles_[h] = channel;
    ++counters_.open_handles;
    *handle = h;
    return 0;
  });
}

uint32_t Simulator::Close(HRGBCAPTURE handle) {
  return Call(DriverEntry::kRGBCaptureClose, handle, 0, 0, [&](Lock&) -> uint32_t {
    Channel* ch = ChannelOf(handle);
    if (ch == nullptr) return kRgbErrorInvalidHrgbcapture;
    // Buffers the caller did not free go with the handle, as on the card.
    size_t before = buffers_.size();
    std::erase_if(buffers_, [handle](const Buffer& b) { return b.handle == handle; });
    uint32_t released = static_cast<uint32_t>(before - buffers_.size());
    counters_.buffers_closed += released;
    counters_.live_buffers -= released;
    if (--ch->open_handles == 0) ch->enabled = false;
    handles_.erase(handle);
    --counters_.open_handles;
    ++generation_;
    changed_.notify_all();
    return 0;
  });
}

uint32_t Simulator::Enable(HRGBCAPTURE handle, uint32_t enable) {
  return Call(DriverEntry::kRGBCaptureEnable, handle, enable, 0, [&](Lock&) -> uint32_t {
    Channel* ch = ChannelOf(handle);
    if (ch == nullptr) return kRgbErrorInvalidHrgbcapture;
    bool on = enable != 0;
    if (on && !ch->enabled) RestartClock(*ch);
    ch->enabled = on;
    ++generation_;
    changed_.notify_all();
    return 0;
  });
}

uint32_t Simulator::GetCapabilities(HRGBCAPTURE handle, CaptureCaps* caps) {
  return Call(DriverEntry::kRGBCaptureGetCapabilities, handle, 0, 0, [&](Lock&) -> uint32_t {
    if (ChannelOf(handle) == nullptr) return kRgbErrorInvalidHrgbcapture;
    if (caps == nullptr) return kRgbErrorInvalidPointer;
    if (caps->Size != kCaptureCapsSize) return kRgbErrorInvalidSize;
    return 0;
  });
}

uint32_t Simulator::GetParameters(HRGBCAPTURE handle, CaptureParams* params, uint32_t query) {
  uint32_t flags = params != nullptr ? params->Flags : 0;
  return Call(DriverEntry::kRGBCaptureGetParameters, handle, flags, query, [&](Lock&) -> uint32_t {
    Channel* ch = ChannelOf(handle);
    if (ch == nullptr) return kRgbErrorInvalidHrgbcapture;
    if (params == nullptr) return kRgbErrorInvalidPointer;
    if (params->Size != kCaptureParamsSize) return kRgbErrorInvalidSize;
    RunScripts(*ch);
    const Select select = (query & kQueryMinimum)   ? Select::kMinimum
                          : (query & kQueryMaximum) ? Select::kMaximum
                                                    : Select::kCurrent;
    const Settings& s = ch->settings;
    const VideoMode m = TimingOf(*ch);
    if (flags & kFlagTiming) FillCurrentTiming(*ch, &params->Timing);
    if (flags & kFlagPhase) params->Phase = Pick(select, kPhase, s.phase);
    if (flags & kFlagBrightness) params->Brightness = Pick(select, kBrightness, s.brightness);
    if (flags & kFlagContrast) params->Contrast = Pick(select, kContrast, s.contrast);
    if (flags & kFlagBlackLevel) params->BlackLevel = Pick(select, kBlackLevel, s.black_level);
    if (flags & kFlagSampleRate) params->SampleRate = Pick(select, kSampleRate, s.sample_rate);
    if (flags & kFlagPixelFormat) {
      params->PixelFormat =
          static_cast<uint32_t>(Pick(select, kPixelFormat, static_cast<int32_t>(s.pixel_format)));
    }
    if (flags & kFlagPosition) {
      Range hor = {-static_cast<int32_t>(s.crop_left + m.h_back_porch + m.h_sync),
                   static_cast<int32_t>(s.crop_right + m.h_front_porch), 0};
      Range ver = {-static_cast<int32_t>(s.crop_top + m.v_back_porch + m.v_sync),
                   static_cast<int32_t>(s.crop_bottom + m.v_front_porch), 0};
      params->SyncEdge = ch->sync_edge;
      params->HorPosition = Pick(select, hor, s.hor_position);
      params->VerPosition = Pick(select, ver, s.ver_position);
    }
    if (flags & kFlagScaling) {
      params->ScaledWidth = Pick(select, kScaled, s.scaled_width);
      params->ScaledHeight = Pick(select, kScaled, s.scaled_height);
    }
    if (flags & kFlagOutputMode) {
      params->OutputMode =
          static_cast<uint32_t>(Pick(select, kOutputMode, static_cast<int32_t>(s.output_mode)));
    }
    if (ch->signal == SignalState::kAbsent) {
      ++ch->no_signal_answers;
      return kRgbErrorSignalNotDetected;
    }
    return 0;
  });
}

uint32_t Simulator::SetParameters(HRGBCAPTURE handle, CaptureParams* params, uint32_t query) {
  uint32_t flags = params != nullptr ? params->Flags : 0;
  return Call(DriverEntry::kRGBCaptureSetParameters, handle, flags, query, [&](Lock&) -> uint32_t {
    Channel* ch = ChannelOf(handle);
    if (ch == nullptr) return kRgbErrorInvalidHrgbcapture;
    if (params == nullptr) return kRgbErrorInvalidPointer;
    if (params->Size != kCaptureParamsSize) return kRgbErrorInvalidSize;
    const VideoMode m = TimingOf(*ch);
    // Every covered field is checked before any is applied.
    Settings s = ch->settings;
    if (flags & kFlagTiming) {
      if (ch->signal != SignalState::kPresent) return kRgbErrorSignalNotDetected;
      const VideoTiming& t = params->Timing;
      uint64_t h_sum = uint64_t{t.HorLeftBorder} + t.HorAddrTime + t.HorRightBorder;
      uint64_t v_sum = uint64_t{t.VerTopBorder} + t.VerAddrTime + t.VerBottomBorder;
      if (h_sum != m.width || v_sum != m.height || t.HorAddrTime == 0 || t.VerAddrTime == 0) {
        return kRgbErrorInvalidSize;
      }
      s.crop_left = t.HorLeftBorder;
      s.crop_width = t.HorAddrTime;
      s.crop_right = t.HorRightBorder;
      s.crop_top = t.VerTopBorder;
      s.crop_height = t.VerAddrTime;
      s.crop_bottom = t.VerBottomBorder;
    }
    if (flags & kFlagPhase) {
      if (!InRange(kPhase, params->Phase)) return kRgbErrorInvalidPhase;
      s.phase = params->Phase;
    }
    if (flags & kFlagBrightness) {
      if (!InRange(kBrightness, params->Brightness)) return kRgbErrorInvalidBrightness;
      s.brightness = params->Brightness;
    }
    if (flags & kFlagContrast) {
      if (!InRange(kContrast, params->Contrast)) return kRgbErrorInvalidContrast;
      s.contrast = params->Contrast;
    }
    if (flags & kFlagBlackLevel) {
      if (!InRange(kBlackLevel, params->BlackLevel)) return kRgbErrorInvalidBlackLevel;
      s.black_level = params->BlackLevel;
    }
    if (flags & kFlagSampleRate) {
      if (!InRange(kSampleRate, params->SampleRate)) return kRgbErrorInvalidSampleRate;
      s.sample_rate = params->SampleRate;
    }
    if (flags & kFlagPixelFormat) {
      if (params->PixelFormat < kPixelFormat555 || params->PixelFormat > kPixelFormat32) {
        return kRgbErrorInvalidPixelFormat;
      }
      s.pixel_format = params->PixelFormat;
    }
    if (flags & kFlagPosition) {
      // Positions are clamped to what the timing allows (SyncEdge is read only).
      int32_t hor_min = -static_cast<int32_t>(s.crop_left + m.h_back_porch + m.h_sync);
      int32_t hor_max = static_cast<int32_t>(s.crop_right + m.h_front_porch);
      int32_t ver_min = -static_cast<int32_t>(s.crop_top + m.v_back_porch + m.v_sync);
      int32_t ver_max = static_cast<int32_t>(s.crop_bottom + m.v_front_porch);
      s.hor_position = std::clamp(params->HorPosition, hor_min, hor_max);
      s.ver_position = std::clamp(params->VerPosition, ver_min, ver_max);
    }
    if (flags & kFlagScaling) {
      if (!InRange(kScaled, params->ScaledWidth)) return kRgbErrorHScaledOutOfRange;
      if (!InRange(kScaled, params->ScaledHeight)) return kRgbErrorVScaledOutOfRange;
      s.scaled_width = params->ScaledWidth;
      s.scaled_height = params->ScaledHeight;
    }
    if (flags & kFlagOutputMode) s.output_mode = params->OutputMode;
    ch->settings = s;
    ++generation_;
    changed_.notify_all();
    return 0;
  });
}

uint32_t Simulator::AllocateBuffer(HRGBCAPTURE handle, void** buffer, uint32_t size) {
  return Call(DriverEntry::kRGBCaptureAllocateBuffer, handle, size, 0, [&](Lock&) -> uint32_t {
    if (ChannelOf(handle) == nullptr) return kRgbErrorInvalidHrgbcapture;
    if (buffer == nullptr) return kRgbErrorInvalidPointer;
    if (size == 0) return kRgbErrorInvalidSize;
    if (size > kMaxBufferSize) return kRgbErrorInsufficientMemory;
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size]());
    if (!data) return kRgbErrorInsufficientMemory;
    *buffer = data.get();
    buffers_.push_back({handle, size, std::move(data)});
    ++counters_.live_buffers;
    return 0;
  });
}

uint32_t Simulator::FreeBuffer(HRGBCAPTURE handle, void** buffer) {
  return Call(DriverEntry::kRGBCaptureFreeBuffer, handle, 0, 0, [&](Lock&) -> uint32_t {
    if (ChannelOf(handle) == nullptr) return kRgbErrorInvalidHrgbcapture;
    if (buffer == nullptr || *buffer == nullptr) return kRgbErrorInvalidPointer;
    auto it = std::find_if(buffers_.begin(), buffers_.end(), [&](const Buffer& b) {
      return b.handle == handle && b.data.get() == *buffer;
    });
    if (it == buffers_.end()) return kRgbErrorBufferNotValid;
    buffers_.erase(it);
    --counters_.live_buffers;
    *buffer = nullptr;
    ++generation_;
    changed_.notify_all();
    return 0;
  });
}

uint32_t Simulator::FillBuffer(HRGBCAPTURE handle, uint32_t selector, uint32_t size) {
  return Call(DriverEntry::kRGBCaptureFillBuffer, handle, size, 0, [&](Lock& lock) -> uint32_t {
    if (selector != 0) return kRgbErrorInvalidIndex;
    std::optional<uint64_t> frame;
    // Every pass looks the channel up again: a wait releases the lock.
    for (;;) {
      Channel* ch = ChannelOf(handle);
      if (ch == nullptr) return kRgbErrorInvalidHrgbcapture;
      RunScripts(*ch);
      if (ch->mode_change_pending) {
        ch->mode_change_pending = false;
        return kStatusModeChange;
      }
      if (ch->signal != SignalState::kPresent) {
        ++ch->no_signal_answers;
        WaitOnePeriod(lock, handle, *ch);
        return kRgbErrorSignalNotDetected;
      }
      if (!ch->enabled) {
        WaitOnePeriod(lock, handle, *ch);
        return kRgbErrorCaptureDisabled;
      }
      Buffer* buffer = CurrentBuffer(handle);
      if (buffer == nullptr) {
        WaitOnePeriod(lock, handle, *ch);
        return kRgbErrorBufferNotValid;
      }
      const Settings& s = ch->settings;
      uint64_t needed = uint64_t(s.scaled_width) * uint64_t(s.scaled_height) *
                        uint64_t(BytesPerPixelOf(s.pixel_format));
      if (buffer->size < needed) {
        WaitOnePeriod(lock, handle, *ch);
        return kRgbErrorBufferTooSmall;
      }
      if (pacing_ == Pacing::kStatic) {
        if (ch->static_buffer != buffer->data.get() || ch->static_generation != generation_) {
          Render(*ch, buffer->data.get(), ch->next_frame);
          ch->static_buffer = buffer->data.get();
          ch->static_generation = generation_;
        }
        ++ch->frames_delivered;
        ++counters_.frames_delivered;
        return kStatusFrameCaptured;
      }
      if (!frame) {
        uint64_t k = ch->next_frame;
        if (pacing_ == Pacing::kRealTime) {
          uint64_t current = FrameInProgress(*ch, NowNs());
          if (current > k) {
            counters_.frames_dropped += static_cast<uint32_t>(current - k);
            k = current;
          }
        }
        while (ch->script.drop_every != 0 && (k + 1) % ch->script.drop_every == 0) {
          ++k;
          ++counters_.frames_dropped;
        }
        frame = k;
      }
      if (pacing_ == Pacing::kRealTime) {
        int64_t due = FrameCompleteNs(*ch, *frame);
        if (NowNs() < due) {
          changed_.wait_until(lock, AtNs(due));
          continue;
        }
      }
      Render(*ch, buffer->data.get(), *frame);
      ch->next_frame = *frame + 1 + static_cast<uint64_t>(std::max(0, s.sample_rate));
      ++ch->frames_delivered;
      ++counters_.frames_delivered;
      return kStatusFrameCaptured;
    }
  });
}

uint32_t Simulator::DetectVideoMode(HRGBCAPTURE handle, VideoTiming* timing) {
  return Call(DriverEntry::kRGBCaptureDetectVideoMode, handle, 0, 0, [&](Lock&) -> uint32_t {
    Channel* ch = ChannelOf(handle);
    if (ch == nullptr) return kRgbErrorInvalidHrgbcapture;
    if (timing == nullptr) return kRgbErrorInvalidPointer;
    if (ch->signal == SignalState::kPresent) {
      FillTiming(TimingOf(*ch), ch->timing_flags, timing);
    } else {
      FillCurrentTiming(*ch, timing);
    }
    return 0;
  });
}

uint32_t Simulator::Unsupported(DriverEntry entry) {
  return Call(entry, 0, 0, 0, [](Lock&) -> uint32_t { return kRgbErrorIllegalCall; });
}

// --- Control functions ---------------------------------------------------------------

void Simulator::Reset() {
  Lock lock(mutex_);
  ResetLocked();
}

uint32_t Simulator::Configure(std::string_view config) {
  Lock lock(mutex_);
  return ConfigureLocked(config);
}

uint32_t Simulator::SetSignal(uint32_t channel, uint32_t present) {
  Lock lock(mutex_);
  if (channel >= channels_.size()) return kRgbErrorInvalidIndex;
  SetSignalLocked(channels_[channel], present ? SignalState::kPresent : SignalState::kAbsent);
  return 0;
}

uint32_t Simulator::SetMode(uint32_t channel, std::string_view mode) {
  Lock lock(mutex_);
  if (channel >= channels_.size()) return kRgbErrorInvalidIndex;
  const VideoMode* found = FindVideoMode(mode);
  if (found == nullptr) return kRgbErrorInvalidFlags;
  ChangeMode(channels_[channel], found);
  return 0;
}

uint32_t Simulator::InjectError(std::string_view entry_point, uint32_t code, uint32_t nth) {
  Lock lock(mutex_);
  return InjectErrorLocked(entry_point, code, nth);
}

void Simulator::ClearErrors() {
  Lock lock(mutex_);
  rules_.clear();
}

void Simulator::GetCounters(ZeltoSimCounters* counters) {
  Lock lock(mutex_);
  *counters = counters_;
}

bool Simulator::GetLastCall(uint32_t entry, ZeltoSimCall* call) {
  Lock lock(mutex_);
  if (entry >= static_cast<uint32_t>(kDriverEntryCount) || counters_.calls[entry] == 0) {
    return false;
  }
  *call = last_calls_[entry];
  return true;
}

uint32_t Simulator::GetCallLog(ZeltoSimCall* calls, uint32_t capacity) {
  Lock lock(mutex_);
  uint32_t n = 0;
  for (const ZeltoSimCall& call : log_) {
    if (n >= capacity) break;
    calls[n++] = call;
  }
  return static_cast<uint32_t>(log_.size());
}

void Simulator::ClearCallLog() {
  Lock lock(mutex_);
  log_.clear();
}

uint32_t Simulator::GetFrameNumber(uint32_t channel) {
  Lock lock(mutex_);
  return channel < channels_.size() ? static_cast<uint32_t>(channels_[channel].next_frame) : 0;
}

}  // namespace zelto::sim
