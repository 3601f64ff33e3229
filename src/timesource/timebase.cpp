#include "timesource/timebase.h"

#include <bit>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/clock.h"
#include "platform/trace.h"

namespace zelto {
namespace {

static_assert(std::endian::native == std::endian::little, "the block is little-endian");
static_assert(sizeof(double) == 8);

// Above this, (ticks mod frequency) x 1,000,000 no longer fits 64 bits.
constexpr int64_t kMaxFrequency = INT64_MAX / 1000000;

template <typename T>
T Load(const uint8_t* view, size_t offset) {
  T value;
  std::memcpy(&value, view + offset, sizeof(T));
  return value;
}

template <typename T>
void Store(uint8_t* view, size_t offset, T value) {
  std::memcpy(view + offset, &value, sizeof(T));
}

// The view is page-aligned, so offset 32 holds an aligned 32-bit word.
uint32_t LoadReadyMarker(const uint8_t* view) {
  return __atomic_load_n(reinterpret_cast<const uint32_t*>(view + kTimebaseReadyOffset),
                         __ATOMIC_ACQUIRE);
}

uint8_t LoadUserCount(const uint8_t* view) {
  return __atomic_load_n(view + kTimebaseUserCountOffset, __ATOMIC_ACQUIRE);
}

TimebaseOrigin OriginOfBlock(const uint8_t* view) {
  TimebaseOrigin origin;
  origin.frequency = Load<double>(view, kTimebaseFrequencyOffset);
  origin.base_seconds = Load<int32_t>(view, kTimebaseBaseSecondsOffset);
  origin.base_milliseconds = Load<uint16_t>(view, kTimebaseBaseMillisecondsOffset);
  origin.base_counter = Load<int64_t>(view, kTimebaseBaseCounterOffset);
  return origin;
}

// Stamps for attachments without a view; taken once per process so that all of
// them agree.
const TimebaseOrigin& ProcessLocalOrigin() {
  static const TimebaseOrigin origin = [] {
    TimebaseOrigin o;
    o.frequency = static_cast<double>(platform::PerformanceFrequency());
    const platform::WallClockTime now = platform::UtcNow();
    o.base_counter = platform::PerformanceCounter();
    o.base_seconds = static_cast<int32_t>(now.seconds);
    o.base_milliseconds = now.milliseconds;
    return o;
  }();
  return origin;
}

}  // namespace

FrameTime FrameTimeFromCounter(const TimebaseOrigin& origin, int64_t counter_now) {
  const int64_t frequency = static_cast<int64_t>(origin.frequency);
  int64_t seconds = 0;
  int64_t milliseconds = origin.base_milliseconds;
  int64_t microseconds = 0;
  if (frequency >= 1 && frequency <= kMaxFrequency) {
    // Wrapping subtraction: a garbage base counter must not overflow.
    const auto elapsed = static_cast<int64_t>(static_cast<uint64_t>(counter_now) -
                                              static_cast<uint64_t>(origin.base_counter));
    // Whole seconds by integer division: the same as truncating elapsed / Frequency
    // for a whole-number frequency, and consistent with the remainder below.
    seconds = elapsed / frequency;
    int64_t sub_us = (elapsed % frequency) * 1000000 / frequency;
    if (sub_us < 0) {
      sub_us += 1000000;
      --seconds;
    }
    milliseconds += sub_us / 1000;
    microseconds = sub_us % 1000;
  }
  seconds += milliseconds / 1000;
  milliseconds %= 1000;
  return FrameTime{static_cast<int32_t>(static_cast<uint32_t>(origin.base_seconds) +
                                        static_cast<uint32_t>(seconds)),
                   static_cast<uint16_t>(milliseconds), static_cast<uint16_t>(microseconds)};
}

TimebaseBlock DecodeTimebaseBlock(const uint8_t* view) {
  TimebaseBlock block;
  block.user_count = LoadUserCount(view);
  block.frequency = Load<double>(view, kTimebaseFrequencyOffset);
  block.base_seconds = Load<int32_t>(view, kTimebaseBaseSecondsOffset);
  block.base_milliseconds = Load<uint16_t>(view, kTimebaseBaseMillisecondsOffset);
  block.base_time_zone = Load<int16_t>(view, kTimebaseBaseTimeZoneOffset);
  block.base_dst_flag = Load<int16_t>(view, kTimebaseBaseDstFlagOffset);
  block.base_counter = Load<int64_t>(view, kTimebaseBaseCounterOffset);
  return block;
}

Timebase::Timebase(std::string name, std::chrono::milliseconds init_wait)
    : Name(std::move(name)), InitWait(init_wait), Origin(ProcessLocalOrigin()) {}

Timebase::~Timebase() { DetachTimebase(); }

void Timebase::AttachTimebase() {
  if (View != nullptr) return;
  Created = false;
  Origin = ProcessLocalOrigin();

  bool existed = false;
  if (!Mapping.CreateOrOpen(Name.c_str(), kTimebaseCreateBytes, &existed)) {
    platform::Trace("Allocating shared timebase");
    platform::Trace("Critical Error : could not create shared timebase");
    return;
  }
  platform::Trace(existed ? "Connecting to shared timebase" : "Allocating shared timebase");
  View = static_cast<uint8_t*>(Mapping.Map(kTimebaseViewBytes));
  if (View == nullptr) {
    platform::Trace("Critical Error : could not access shared timebase");
    Mapping.Close();
    return;
  }

  if (!existed) {
    // A new mapping is zero-filled: UserCount starts at 0 without writing it, so
    // a peer that counts itself early is not wiped out.
    Created = true;
    Store(View, kTimebaseFrequencyOffset, static_cast<double>(platform::PerformanceFrequency()));
    WriteTimebaseBase();
    __atomic_store_n(reinterpret_cast<uint32_t*>(View + kTimebaseReadyOffset), kTimebaseReadyMarker,
                     __ATOMIC_RELEASE);
  } else if (!WaitUntilInitialised()) {
    platform::Trace("Critical Error : could not access shared timebase");
    View = nullptr;
    Mapping.Close();
    return;
  }
  Origin = OriginOfBlock(View);
  __atomic_fetch_add(View + kTimebaseUserCountOffset, 1, __ATOMIC_ACQ_REL);
}

bool Timebase::WaitUntilInitialised() const {
  const auto deadline = std::chrono::steady_clock::now() + InitWait;
  for (;;) {
    if (LoadReadyMarker(View) == kTimebaseReadyMarker || LoadUserCount(View) != 0) return true;
    if (std::chrono::steady_clock::now() >= deadline) {
      return OriginOfBlock(View).frequency >= 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool Timebase::GetFrameTime(int32_t* seconds, uint16_t* milliseconds,
                            uint16_t* microseconds) const {
  const FrameTime time = FrameTimeFromCounter(Origin, platform::PerformanceCounter());
  if (seconds != nullptr) *seconds = time.seconds;
  if (milliseconds != nullptr) *milliseconds = time.milliseconds;
  if (microseconds != nullptr) *microseconds = time.microseconds;
  return true;
}

void Timebase::DetachTimebase() {
  if (View == nullptr) return;
  __atomic_fetch_sub(View + kTimebaseUserCountOffset, 1, __ATOMIC_ACQ_REL);
  // Every attachment lets go of its own view and handle, last or not; the system
  // (or, on POSIX, the platform layer) removes the block with its last handle.
  View = nullptr;
  Mapping.Close();
  Created = false;
}

void Timebase::WriteTimebaseBase() {
  if (View == nullptr) return;
  const platform::RuntimeTimeZone zone = platform::CurrentTimeZone();
  const platform::WallClockTime now = platform::UtcNow();
  const int64_t counter = platform::PerformanceCounter();
  // The 32-bit timeb record: time, millitm, timezone, dstflag, 2 bytes padding.
  Store(View, kTimebaseBaseSecondsOffset, static_cast<int32_t>(now.seconds));
  Store(View, kTimebaseBaseMillisecondsOffset, now.milliseconds);
  Store(View, kTimebaseBaseTimeZoneOffset, zone.minutes_west);
  Store(View, kTimebaseBaseDstFlagOffset, zone.dst_flag);
  Store(View, kTimebaseBaseDstFlagOffset + 2, static_cast<uint16_t>(0));
  Store(View, kTimebaseBaseCounterOffset, counter);
}

std::optional<TimebaseBlock> Timebase::ReadBlock() const {
  if (View == nullptr) return std::nullopt;
  return DecodeTimebaseBlock(View);
}

}  // namespace zelto
