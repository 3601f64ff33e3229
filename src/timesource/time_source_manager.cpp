#include "timesource/time_source_manager.h"

#include <utility>

#include "timesource/time_offsets.h"

namespace zelto {

void CTimeSourceManager::BindTimeSource(const std::string& /*host_key_path*/) {}

void CTimeSourceManager::SetTimeSource(std::unique_ptr<CTimeStamp> time_source) {
  TimeSource = std::move(time_source);
}

void CTimeSourceManager::ClearEvents() {
  if (TimeSource) TimeSource->ClearEvents();
}

void CTimeSourceManager::Uninitialize() {
  if (TimeSource) TimeSource->Uninitialize();
}

void CTimeSourceManager::ProcessFrame(ImageRecord* record, int32_t image_bytes) {
  if (TimeSource) {
    try {
      PassToTimeSource(record);
    } catch (...) {
      // Dropped for good; later frames keep the timebase's stamp.
      TimeSource.reset();
    }
  }
  if (TimeSourceOffset != 0) ApplyTimeSourceOffset(record, TimeSourceOffset);
  if (LTCTimeSourceOffset != 0 && record->Data != nullptr && image_bytes >= 4) {
    ApplyLtcOffset(static_cast<uint8_t*>(record->Data), LTCTimeSourceOffset, LTCFrameRate);
  }
}

bool CTimeSourceManager::PassToTimeSource(ImageRecord* record) {
  return TimeSource ? TimeSource->ProcessImageData(record) : false;
}

void CTimeSourceManager::SetOffsets(int32_t time_source_offset_us, int32_t ltc_offset_frames,
                                    int32_t ltc_frame_rate) {
  TimeSourceOffset = time_source_offset_us;
  LTCTimeSourceOffset = ltc_offset_frames;
  LTCFrameRate = ltc_frame_rate;
}

}  // namespace zelto
