// The sample plug-in's behaviour behind its exports: one instance per loaded
// library. Every method may be called from any thread; ProcessImageData runs on the
// module's capture thread while the status queries come from the host's.
#ifndef ZELTO_SIM_TIMESOURCE_TIME_SOURCE_H_
#define ZELTO_SIM_TIMESOURCE_TIME_SOURCE_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "gps_reader.h"
#include "plugin_config.h"
#include "sync_status.h"
#include "timesource/time_source_plugin.h"
#include "zelto_time_source_control.h"

namespace zelto::timesource {

class TimeSource {
 public:
  static TimeSource& Instance();

  // Every export counts itself first.
  void Count(TimeSourceEntry entry);

  const char* Name() const;
  const char* Info();
  bool Initialize();
  uint32_t MicroSecond() const;
  bool Uninitialize();
  bool ClearEvents();
  bool SetDroppedFrames(uint32_t dropped);
  bool SetReference(int32_t seconds, uint16_t milliseconds);
  bool GetReference(int32_t* seconds, uint16_t* milliseconds) const;
  bool GetReferenceTimeb(TimeSourceTimeb* reference) const;
  bool GetCurrentTimeStamp(ImageRecord* record) const;
  bool GetRelativeTimeStamp(ImageRecord* record) const;
  // Throws std::runtime_error in the throwing mode.
  bool ProcessImageData(ImageRecord* record);
  uint32_t SynchronizationStatus() const;
  bool GpsSupported() const;
  bool StartGps(uint32_t limit, bool restart);
  bool StopGps();

  void Reset();
  bool Configure(const char* text);
  void GetCounters(ZeltoTimeSourceCounters* counters) const;
  uint32_t GetCallLog(uint32_t* entries, uint32_t capacity) const;
  void GetState(ZeltoTimeSourceState* state) const;
  void GetGps(ZeltoTimeSourceGps* gps) const;

 private:
  TimeSource();

  mutable std::mutex mutex_;  // guards everything below but the counters
  PluginConfig config_;
  std::string info_;
  bool initialized_ = false;
  int64_t initialized_at_us_ = 0;
  bool has_reference_ = false;
  int64_t reference_us_ = 0;
  uint32_t dropped_ = 0;
  OffsetFilter filter_;
  int64_t last_offset_us_ = 0;
  uint32_t time_codes_ = 0;
  uint32_t exceptions_ = 0;

  std::array<std::atomic<uint32_t>, kTimeSourceEntryCount> calls_{};
  mutable std::mutex log_mutex_;
  std::vector<uint32_t> log_;  // ring of the latest kLogCapacity entries
  size_t log_next_ = 0;

  GpsReader gps_;
};

}  // namespace zelto::timesource

#endif  // ZELTO_SIM_TIMESOURCE_TIME_SOURCE_H_
