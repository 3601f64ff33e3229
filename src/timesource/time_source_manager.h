// CTimeSourceManager: the frame queue's time-source work in one place. It owns
// the binding slot for the time source plug-in (empty: the system clock, i.e. the
// shared timebase alone), the two offsets applied to every frame and the frame
// rate of the LTC time code, and does the per-frame work that follows the stamp.
//
// Binding. BindTimeSource re-reads the settings under HKEY_CURRENT_USER\<host
// key> (never writing them) at every EnableGrab. A plug-in it names replaces the
// earlier binding, which is destroyed (its library unloaded) once no call is using
// it; the new library is loaded before the old one goes, so a plug-in named again
// keeps its process state. Whenever the settings end on the system clock ("System",
// empty, absent, unreadable, or a plug-in that failed), no binding is left: an
// earlier plug-in was told Uninitialize at DisableGrab and is not called again.
//
// Threads. ProcessFrame runs on the capture thread (and on the host's for the
// commits in EnableGrab/DisableGrab); the forwarders run on the host's thread at
// any time. Every call takes a shared reference to the binding under a small lock
// and calls outside it, so a binding dropped meanwhile (by BindTimeSource, or by
// ProcessFrame after a throw) is destroyed only when the last call using it has
// returned. The offsets and the frame rate are atomic and may be read at any time.
#ifndef ZELTO_TIMESOURCE_TIME_SOURCE_MANAGER_H_
#define ZELTO_TIMESOURCE_TIME_SOURCE_MANAGER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
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

  // Reads "TimeSourceDLL", "TimeSourceOffset", "LTCTimeSourceOffset" and
  // "LTCTimeSourceMode" under HKEY_CURRENT_USER\`host_key_path` (opened, and
  // created when missing), binds and initialises the plug-in named, and sets the
  // offsets and the LTC frame rate (mode 0: 30, 1: 20, other: 24). Each failure
  // traces and falls back to the system clock.
  void BindTimeSource(const std::string& host_key_path);

  // Replaces the binding (null: the system clock); see the header comment for
  // when the earlier one is destroyed.
  void SetTimeSource(std::shared_ptr<CTimeStamp> time_source);
  void Unbind() { SetTimeSource(nullptr); }
  bool IsBound() const;

  // The bound plug-in's ClearEvents (EnableGrab) and Uninitialize (DisableGrab);
  // nothing without one. A plug-in that throws here is unbound for good, as from
  // ProcessFrame; one that throws out of Initialize is refused like one that
  // returns false.
  void ClearEvents();
  void Uninitialize();

  // Everything done to a committed frame after its stamp: the bound plug-in's
  // ProcessImageData (a plug-in that throws is unbound for good and the frame
  // keeps what the record then holds), then TimeSourceOffset on the frame time,
  // then the LTC offset on the time code in the first four of the image's
  // `image_bytes` bytes (an image with fewer, or without data, carries none). In
  // that order, so the offsets apply to whatever the plug-in left in the record.
  void ProcessFrame(ImageRecord* record, int32_t image_bytes);

  // The bound plug-in's ProcessImageData; false when none is bound. May throw.
  bool PassToTimeSource(ImageRecord* record);

  // The host's queries (IOrvaneTimeSourceProp). Without a plug-in: status 0, GPS
  // not supported, GetGPSData does nothing and reports true, StopReadingGPSData
  // reports false. A plug-in that throws here is answered as if none were bound
  // (it stays bound): no exception reaches the host.
  uint32_t GetSynchronizationStatus();
  bool IsGPSSupported();
  bool GetGPSData(uint32_t value, bool flag);
  bool StopReadingGPSData();

  // Sets what BindTimeSource reads: microseconds added to every frame time, frames
  // added to the time code (a signed 8-bit value), and the time code's frames per
  // second.
  void SetOffsets(int32_t time_source_offset_us, int32_t ltc_offset_frames, int32_t ltc_frame_rate);
  int32_t GetTimeSourceOffset() const { return TimeSourceOffset.load(); }
  int32_t GetLtcTimeSourceOffset() const { return LTCTimeSourceOffset.load(); }
  int32_t GetLtcFrameRate() const { return LTCFrameRate.load(); }

 private:
  std::shared_ptr<CTimeStamp> Snapshot() const;
  // Empties the slot if it still holds `source`.
  void UnbindIfCurrent(const std::shared_ptr<CTimeStamp>& source);
  void CallOrUnbind(void (CTimeStamp::*call)());

  mutable std::mutex binding_lock_;  // guards TimeSource itself, never held in a call
  std::shared_ptr<CTimeStamp> TimeSource;
  std::atomic<int32_t> TimeSourceOffset{0};
  std::atomic<int32_t> LTCTimeSourceOffset{0};
  std::atomic<int32_t> LTCFrameRate{30};
};

}  // namespace zelto

#endif  // ZELTO_TIMESOURCE_TIME_SOURCE_MANAGER_H_
