// FramePacer: the module-paced fixed-rate mode. While FixedRateMode is set the
// capture thread sleeps FramePeriod milliseconds per pass and runs each capture
// step on a worker. After a new frame rate the first worker that takes a frame
// whole arms a measurement; the next one measures from its own start to the
// arrival of its frame and shortens FramePeriod by that once, so sleep plus
// frame wait come close to the wanted period.
//
// The arithmetic takes performance-counter readings as arguments; the callers
// read the clock. Threads: the host's thread sets the mode and restarts the
// pacing, the capture thread and its workers read the period and measure; every
// field is atomic, and at most one worker measures at a time.
#ifndef ZELTO_ACQUISITION_FRAME_PACER_H_
#define ZELTO_ACQUISITION_FRAME_PACER_H_

#include <atomic>
#include <cstdint>

namespace zelto {

class FramePacer {
 public:
  // count x 1000 / frequency without overflowing the product; 0 for a
  // frequency of 0 or less.
  static int64_t CounterMilliseconds(int64_t count, int64_t frequency);

  // A new frame rate. With `source_rate` below 1 returns 0 and leaves the pacing
  // alone. Otherwise clamps `rate` to 1..source_rate, sets FramePeriod to 1000 /
  // that rate, asks for a new measurement and returns the clamped rate.
  int32_t Restart(int32_t rate, int32_t source_rate);

  // A worker starts its step at `counter` (`frequency` ticks a second): when
  // armed, the measurement starts here.
  void BeginStep(int64_t counter, int64_t frequency);
  // A worker's frame arrived whole at `counter`: when armed, FramePeriod is
  // shortened by the milliseconds since BeginStep (not below 0) and the
  // measurement ends; then a requested measurement is armed for the next worker.
  void FrameArrived(int64_t counter);

  std::atomic<int32_t> FixedRateMode{0};
  std::atomic<int32_t> FramePeriod{0};  // milliseconds slept per pass
  std::atomic<bool> PacingRequested{false};
  std::atomic<bool> PacingArmed{false};
  std::atomic<int64_t> CounterFrequency{0};
  std::atomic<int64_t> PacingStart{0};  // milliseconds
  std::atomic<int64_t> PacingEnd{0};    // milliseconds
  std::atomic<int32_t> PacingDelay{0};  // milliseconds from step start to frame
};

}  // namespace zelto

#endif  // ZELTO_ACQUISITION_FRAME_PACER_H_
