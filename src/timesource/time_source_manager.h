// CTimeSourceManager: the frame queue's time-source work in one place. It owns
// the binding slot for the time source plug-in (empty: the system clock, i.e. the
// shared timebase alone), the two offsets applied to every frame and the frame
// rate of the LTC time code, and does the per-frame work that follows the stamp.
//
// Threads: the owning queue commits one frame at a time (ProcessFrame runs under
// its ReadyLock and PendingLock, on the capture thread or the host's). The binding
// changes only while no other thread commits: BindTimeSource, ClearEvents,
// Uninitialize and SetTimeSource run on the host's thread inside EnableGrab and
// DisableGrab before the capture thread starts or after it stopped. The offsets
// and the frame rate are atomic and may be read at any time.
#ifndef ZELTO_TIMESOURCE_TIME_SOURCE_MANAGER_H_
#define ZELTO_TIMESOURCE_TIME_SOURCE_MANAGER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "timesource/time_stamp.h"
#include "zeltorgb/image_record.h"

namespace zelto {

class CTimeSourceManager {
 public:
  CTimeSourceManager() = default;
  ~CTimeSourceManager() = default;  // destroys a bound plug-in
  CTimeSourceManager(const CTimeSourceManager&) = delete;
  CTimeSourceManager& operator=(const CTimeSourceManager&) = delete;

  // Re-reads the time source settings under HKEY_CURRENT_USER\`host_key_path` and
  // binds the plug-in they name. Binds nothing and reads nothing until plug-in
  // binding exists: the system clock and the offsets as they are stay in place.
  void BindTimeSource(const std::string& host_key_path);

  // Replaces the binding (null: the system clock); the earlier plug-in is destroyed.
  void SetTimeSource(std::unique_ptr<CTimeStamp> time_source);
  // Destroys the bound plug-in, if any; frames use the system clock from then on.
  void Unbind() { SetTimeSource(nullptr); }
  bool IsBound() const { return TimeSource != nullptr; }

  // The bound plug-in's ClearEvents (EnableGrab) and Uninitialize (DisableGrab);
  // nothing without one.
  void ClearEvents();
  void Uninitialize();

  // Everything done to a committed frame after its stamp: the bound plug-in's
  // ProcessImageData (a plug-in that throws is unbound for good and the frame
  // keeps the timebase's stamp), then TimeSourceOffset on the frame time, then the
  // LTC offset on the time code in the first four of the image's `image_bytes`
  // bytes (an image with fewer, or without data, carries none). In that order, so
  // the offsets apply to whatever the plug-in left in the record.
  void ProcessFrame(ImageRecord* record, int32_t image_bytes);

  // The bound plug-in's ProcessImageData; false when none is bound. May throw.
  bool PassToTimeSource(ImageRecord* record);

  // What BindTimeSource will read: microseconds added to every frame time, frames
  // added to the time code (a signed 8-bit value), and the time code's frames per
  // second.
  void SetOffsets(int32_t time_source_offset_us, int32_t ltc_offset_frames,
                  int32_t ltc_frame_rate);
  int32_t GetTimeSourceOffset() const { return TimeSourceOffset.load(); }
  int32_t GetLtcTimeSourceOffset() const { return LTCTimeSourceOffset.load(); }
  int32_t GetLtcFrameRate() const { return LTCFrameRate.load(); }

 private:
  std::unique_ptr<CTimeStamp> TimeSource;
  std::atomic<int32_t> TimeSourceOffset{0};
  std::atomic<int32_t> LTCTimeSourceOffset{0};
  std::atomic<int32_t> LTCFrameRate{30};
};

}  // namespace zelto

#endif  // ZELTO_TIMESOURCE_TIME_SOURCE_MANAGER_H_
