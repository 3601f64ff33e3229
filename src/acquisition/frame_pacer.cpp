#include "acquisition/frame_pacer.h"

#include <algorithm>

namespace zelto {

int64_t FramePacer::CounterMilliseconds(int64_t count, int64_t frequency) {
  if (frequency <= 0) return 0;
  return count / frequency * 1000 + count % frequency * 1000 / frequency;
}

int32_t FramePacer::Restart(int32_t rate, int32_t source_rate) {
  if (source_rate < 1) return 0;
  const int32_t clamped = std::clamp(rate, 1, source_rate);
  PacingRequested = true;
  PacingArmed = false;
  PacingDelay = 0;
  FramePeriod = 1000 / clamped;
  return clamped;
}

void FramePacer::BeginStep(int64_t counter, int64_t frequency) {
  if (!PacingArmed) return;
  CounterFrequency = frequency;
  PacingStart = CounterMilliseconds(counter, frequency);
}

void FramePacer::FrameArrived(int64_t counter) {
  if (PacingArmed) {
    PacingEnd = CounterMilliseconds(counter, CounterFrequency);
    // The low 32 bits of the difference, as the delay is kept.
    PacingDelay = static_cast<int32_t>(PacingEnd - PacingStart);
    FramePeriod = std::max(0, FramePeriod - PacingDelay);
    PacingArmed = false;
  }
  if (PacingRequested) {
    PacingRequested = false;
    PacingArmed = true;
  }
}

}  // namespace zelto
