#include "sync_status.h"

namespace zelto::timesource {

uint32_t EncodeSyncStatus(const SyncInputs& in) {
  uint32_t status = 0;
  if (in.measured) {
    status |= kSyncClockMeasured;
    const int64_t magnitude = in.offset_us < 0 ? -in.offset_us : in.offset_us;
    status |=
        magnitude > kSyncMagnitudeMask ? kSyncMagnitudeMask : static_cast<uint32_t>(magnitude);
    if (in.offset_us < 0) status |= kSyncNegative;
  }
  if (in.gps_reading) status |= kSyncGpsReading;
  if (in.gps_fix) status |= kSyncGpsFix;
  const int quality = in.gps_quality < 0 ? 0 : (in.gps_quality > 7 ? 7 : in.gps_quality);
  status |= static_cast<uint32_t>(quality) << kSyncQualityShift;
  return status;
}

int64_t OffsetFilter::Add(int64_t offset_us) {
  if (samples_ == 0) {
    value_ = offset_us;
  } else {
    value_ += (offset_us - value_) / 8;
  }
  if (samples_ < UINT32_MAX) ++samples_;
  return value_;
}

}  // namespace zelto::timesource
