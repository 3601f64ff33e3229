// The value GetSynchronizationStatus reports, and the offset filter behind it.
//
//   bits 0-23   |offset| in microseconds, saturated at 0xFFFFFF (bit 31 set only)
//   bit 24      the offset is negative: the record's time is behind the UTC clock
//   bits 25-27  fix quality of the GPS receiver (GGA: 1 GPS, 2 DGPS, ...), 0 without
//   bit 29      the GPS source is being read
//   bit 30      a valid GPS fix is held
//   bit 31      the record's time was compared with the system's UTC clock
// 0 therefore means not synchronised: nothing measured and no GPS activity.
#ifndef ZELTO_SIM_TIMESOURCE_SYNC_STATUS_H_
#define ZELTO_SIM_TIMESOURCE_SYNC_STATUS_H_

#include <cstdint>

namespace zelto::timesource {

inline constexpr uint32_t kSyncMagnitudeMask = 0x00FFFFFF;
inline constexpr uint32_t kSyncNegative = 1u << 24;
inline constexpr uint32_t kSyncQualityShift = 25;
inline constexpr uint32_t kSyncQualityMask = 7u << kSyncQualityShift;
inline constexpr uint32_t kSyncGpsReading = 1u << 29;
inline constexpr uint32_t kSyncGpsFix = 1u << 30;
inline constexpr uint32_t kSyncClockMeasured = 1u << 31;

struct SyncInputs {
  bool measured = false;
  int64_t offset_us = 0;  // record time minus UTC clock, filtered
  bool gps_reading = false;
  bool gps_fix = false;
  int gps_quality = 0;
};

uint32_t EncodeSyncStatus(const SyncInputs& in);

// Smooths the measured offsets: the first sample is taken as it is, later ones move
// the estimate by an eighth of their difference, so one late frame barely moves it
// while a real step is followed within a few dozen frames.
class OffsetFilter {
 public:
  void Reset() { samples_ = 0; }
  int64_t Add(int64_t offset_us);
  uint32_t samples() const { return samples_; }
  int64_t value() const { return value_; }

 private:
  uint32_t samples_ = 0;
  int64_t value_ = 0;
};

}  // namespace zelto::timesource

#endif  // ZELTO_SIM_TIMESOURCE_SYNC_STATUS_H_
