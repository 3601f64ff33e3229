// The timebase that every grabber module of the host shares, so that their frame
// times are comparable: the named block "OrvTimebase" holds the performance
// counter's frequency and one base pair (a UTC wall-clock reading and the counter
// value read right after it). A frame's time is the base wall-clock time plus the
// counter ticks elapsed since the base counter value.
//
// Block layout (little-endian, packed, byte offsets into the mapped view):
//   0 u8 UserCount, 1 double Frequency, 9 s32 BaseSeconds, 13 u16 BaseMilliseconds,
//   15 s16 BaseTimeZone, 17 s16 BaseDstFlag, 19 two unused bytes, 21 s64 BaseCounter.
// Bytes 9..20 are the C runtime's 32-bit `timeb` record. The block is created with
// 4096 bytes; each attachment maps the first 512.
//
// Races between attachments, in one process or several:
// - The creator is whoever really created the mapping (decided atomically by the
//   platform), never "whoever failed to open it first".
// - UserCount changes by atomic increment and decrement of the shared byte.
// - The creator writes Frequency and the base pair, then a ready marker at offset
//   32 (in the unused bytes), then counts itself. Others wait until the marker is
//   there, or until UserCount is non-zero (a creator that predates the marker
//   counts itself only after writing its base), for at most `init_wait`; past
//   that, a block with a Frequency is taken as it is and one without fails the
//   attach (its creator died half-way).
// An attachment without a view (any failed attach) still stamps frames, from a
// frequency and base pair that this process takes once, for all its attachments.
#ifndef ZELTO_TIMESOURCE_TIMEBASE_H_
#define ZELTO_TIMESOURCE_TIMEBASE_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/shared_memory.h"

namespace zelto {

inline constexpr char kTimebaseName[] = "OrvTimebase";
inline constexpr size_t kTimebaseCreateBytes = 4096;
inline constexpr size_t kTimebaseViewBytes = 512;

inline constexpr size_t kTimebaseUserCountOffset = 0;
inline constexpr size_t kTimebaseFrequencyOffset = 1;
inline constexpr size_t kTimebaseBaseSecondsOffset = 9;
inline constexpr size_t kTimebaseBaseMillisecondsOffset = 13;
inline constexpr size_t kTimebaseBaseTimeZoneOffset = 15;
inline constexpr size_t kTimebaseBaseDstFlagOffset = 17;
inline constexpr size_t kTimebaseBaseCounterOffset = 21;
// Ours, in bytes the layout leaves unused: set once the creator has written the rest.
inline constexpr size_t kTimebaseReadyOffset = 32;
inline constexpr uint32_t kTimebaseReadyMarker = 0x5242544F;  // "OTBR"

inline constexpr std::chrono::milliseconds kTimebaseInitWait{2000};

// What frame times are computed from.
struct TimebaseOrigin {
  double frequency = 0;  // counter ticks per second
  int32_t base_seconds = 0;
  uint16_t base_milliseconds = 0;
  int64_t base_counter = 0;
};

struct FrameTime {
  int32_t seconds;        // since 1970-01-01 00:00:00 UTC
  uint16_t milliseconds;  // 0..999
  uint16_t microseconds;  // 0..999
};

// The time at counter value `counter_now`: the base time plus the elapsed ticks.
// The sub-second part carries into the seconds at 1000 ms. A counter before the
// base borrows instead (the time is never "negative milliseconds"). A frequency
// below 1 tick per second (a block no one initialised) gives the base time.
FrameTime FrameTimeFromCounter(const TimebaseOrigin& origin, int64_t counter_now);

// Every field of a mapped block, decoded.
struct TimebaseBlock {
  uint8_t user_count;
  double frequency;
  int32_t base_seconds;
  uint16_t base_milliseconds;
  int16_t base_time_zone;
  int16_t base_dst_flag;
  int64_t base_counter;
};
// `view`: at least kTimebaseViewBytes of a mapped block.
TimebaseBlock DecodeTimebaseBlock(const uint8_t* view);

// One attachment, held by a frame queue from its construction to its
// destruction. Attach and detach from one thread at a time; GetFrameTime may run
// on several threads at once between them.
class Timebase {
 public:
  // Attaches to nothing until AttachTimebase(). `name` other than "OrvTimebase"
  // is for tests that need a block of their own.
  Timebase() : Timebase(kTimebaseName) {}
  explicit Timebase(std::string name, std::chrono::milliseconds init_wait = kTimebaseInitWait);
  ~Timebase();  // Detaches.
  Timebase(const Timebase&) = delete;
  Timebase& operator=(const Timebase&) = delete;

  // Creates or connects to the block and counts this attachment, tracing
  // "Allocating shared timebase" or "Connecting to shared timebase". A failure is
  // traced ("Critical Error : could not create shared timebase" or
  // "Critical Error : could not access shared timebase") and leaves the
  // attachment without a view and uncounted. Does nothing when already attached.
  void AttachTimebase();

  // The frame time now. Always true; a null pointer is skipped.
  bool GetFrameTime(int32_t* seconds, uint16_t* milliseconds, uint16_t* microseconds) const;

  // Uncounts this attachment and releases its view and mapping; the block
  // disappears when its last user has let go. Safe to call when not attached.
  void DetachTimebase();

  // Reads the wall clock, the time zone and then the counter into the block's base
  // fields. Only the creator calls it, before the block is marked ready; no-op
  // without a view.
  void WriteTimebaseBase();

  bool has_view() const { return View != nullptr; }
  // True when this attachment created the block.
  bool created() const { return Created; }
  const TimebaseOrigin& origin() const { return Origin; }
  // The shared block as it is now; none without a view.
  std::optional<TimebaseBlock> ReadBlock() const;

 private:
  bool WaitUntilInitialised() const;

  std::string Name;
  std::chrono::milliseconds InitWait;
  platform::SharedMemory Mapping;
  uint8_t* View = nullptr;
  bool Created = false;
  // Copied from the block once it is initialised (it never changes afterwards),
  // or the process-local origin without a view.
  TimebaseOrigin Origin;
};

}  // namespace zelto

#endif  // ZELTO_TIMESOURCE_TIMEBASE_H_
