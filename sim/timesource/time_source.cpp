#include "time_source.h"

#include <cstdlib>
#include <stdexcept>

#include "plugin_os.h"
#include "time_code.h"

namespace zelto::timesource {

namespace {

constexpr size_t kLogCapacity = 4096;
constexpr int64_t kMicrosPerSecond = 1000000;

int64_t RecordMicroseconds(const ImageRecord& r) {
  return int64_t{r.Seconds} * kMicrosPerSecond + int64_t{r.Milliseconds} * 1000 + r.Microseconds;
}

// Floor division, so that times before 1970 keep positive sub-second fields.
void SetRecordMicroseconds(ImageRecord* r, int64_t us) {
  int64_t s = us / kMicrosPerSecond;
  int64_t sub = us % kMicrosPerSecond;
  if (sub < 0) {
    sub += kMicrosPerSecond;
    --s;
  }
  r->Seconds = static_cast<int32_t>(s);
  r->Milliseconds = static_cast<uint16_t>(sub / 1000);
  r->Microseconds = static_cast<uint16_t>(sub % 1000);
}

PluginConfig ConfigFromEnvironment() {
  PluginConfig config;
  if (const char* text = std::getenv("ZELTO_TIMESOURCE")) {
    // A bad key leaves the keys before it applied; there is no one to tell.
    ApplyPluginConfig(text, &config, nullptr);
  }
  return config;
}

}  // namespace

TimeSource& TimeSource::Instance() {
  static TimeSource instance;
  return instance;
}

TimeSource::TimeSource() : config_(ConfigFromEnvironment()) { log_.reserve(kLogCapacity); }

void TimeSource::Count(TimeSourceEntry entry) {
  const auto index = static_cast<uint32_t>(entry);
  calls_[index].fetch_add(1, std::memory_order_relaxed);
  std::lock_guard<std::mutex> lock(log_mutex_);
  if (log_.size() < kLogCapacity) {
    log_.push_back(index);
  } else {
    log_[log_next_] = index;
    log_next_ = (log_next_ + 1) % kLogCapacity;
  }
}

const char* TimeSource::Name() const { return "ZeltoTimeSource"; }

const char* TimeSource::Info() {
  std::lock_guard<std::mutex> lock(mutex_);
  info_ = "Sample time source: SMPTE time code in bytes 0-3; " + DescribePluginConfig(config_);
  return info_.c_str();
}

bool TimeSource::Initialize() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (config_.init_fails) return false;
  initialized_ = true;
  initialized_at_us_ = PreciseUtcMicroseconds();
  filter_.Reset();
  return true;
}

uint32_t TimeSource::MicroSecond() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<uint32_t>(PreciseUtcMicroseconds() - initialized_at_us_);
}

bool TimeSource::Uninitialize() {
  gps_.Stop();
  std::lock_guard<std::mutex> lock(mutex_);
  const bool was = initialized_;
  initialized_ = false;
  return was;
}

bool TimeSource::ClearEvents() {
  std::lock_guard<std::mutex> lock(mutex_);
  filter_.Reset();
  dropped_ = 0;
  return true;
}

bool TimeSource::SetDroppedFrames(uint32_t dropped) {
  std::lock_guard<std::mutex> lock(mutex_);
  dropped_ = dropped;
  return true;
}

bool TimeSource::SetReference(int32_t seconds, uint16_t milliseconds) {
  if (milliseconds > 999) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  has_reference_ = true;
  reference_us_ = int64_t{seconds} * kMicrosPerSecond + int64_t{milliseconds} * 1000;
  return true;
}

bool TimeSource::GetReference(int32_t* seconds, uint16_t* milliseconds) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!has_reference_ || seconds == nullptr || milliseconds == nullptr) return false;
  ImageRecord r{};
  SetRecordMicroseconds(&r, reference_us_);
  *seconds = r.Seconds;
  *milliseconds = r.Milliseconds;
  return true;
}

bool TimeSource::GetReferenceTimeb(TimeSourceTimeb* reference) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!has_reference_ || reference == nullptr) return false;
  ImageRecord r{};
  SetRecordMicroseconds(&r, reference_us_);
  const LocalZone zone = LocalZoneAt(r.Seconds);
  reference->time = r.Seconds;
  reference->millitm = r.Milliseconds;
  // timeb's zone is the standard one; daylight saving shows in dstflag.
  reference->timezone = static_cast<int16_t>(-(zone.offset_seconds - (zone.dst ? 3600 : 0)) / 60);
  reference->dstflag = zone.dst ? 1 : 0;
  return true;
}

bool TimeSource::GetCurrentTimeStamp(ImageRecord* record) const {
  if (record == nullptr) return false;
  SetRecordMicroseconds(record, PreciseUtcMicroseconds());
  return true;
}

bool TimeSource::GetRelativeTimeStamp(ImageRecord* record) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (record == nullptr || !has_reference_) return false;
  SetRecordMicroseconds(record, PreciseUtcMicroseconds() - reference_us_);
  return true;
}

bool TimeSource::ProcessImageData(ImageRecord* record) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint32_t call =
      calls_[static_cast<int>(TimeSourceEntry::kProcessImageData)].load(std::memory_order_relaxed);
  if (config_.throw_from != 0 && call >= config_.throw_from) {
    ++exceptions_;
    throw std::runtime_error("ZeltoTimeSource: ProcessImageData fails as configured");
  }
  if (record == nullptr || record->Data == nullptr) return false;

  int64_t t = RecordMicroseconds(*record) + config_.shift_us;
  if (config_.discipline != Discipline::kOff) {
    last_offset_us_ = t - PreciseUtcMicroseconds();
    const int64_t filtered = filter_.Add(last_offset_us_);
    if (config_.discipline == Discipline::kCorrect) t -= filtered;
  }
  if (config_.shift_us != 0 || config_.discipline == Discipline::kCorrect) {
    SetRecordMicroseconds(record, t);
  }
  if (!config_.time_code) return true;

  int64_t seconds = t / kMicrosPerSecond;
  int64_t sub = t % kMicrosPerSecond;
  if (sub < 0) {
    sub += kMicrosPerSecond;
    --seconds;
  }
  if (config_.clock == TimeCodeClock::kLocal) seconds += LocalZoneAt(seconds).offset_seconds;
  WriteTimeCode(TimeCodeAt(seconds, static_cast<uint32_t>(sub), config_.rate),
                static_cast<uint8_t*>(record->Data));
  ++time_codes_;
  return true;
}

uint32_t TimeSource::SynchronizationStatus() const {
  const GpsSnapshot gps = gps_.Snapshot();
  SyncInputs in;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    in.measured = config_.discipline != Discipline::kOff && filter_.samples() > 0;
    in.offset_us = filter_.value();
  }
  in.gps_reading = gps.reading;
  in.gps_fix = gps.fix.valid;
  in.gps_quality = gps.fix.valid ? gps.fix.quality : 0;
  return EncodeSyncStatus(in);
}

bool TimeSource::GpsSupported() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !config_.gps.empty();
}

bool TimeSource::StartGps(uint32_t limit, bool restart) {
  PluginConfig config;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    config = config_;
  }
  if (config.gps.empty()) return false;
  return gps_.Start(config.gps, config.baud, config.gps_pace_ms, limit, restart);
}

bool TimeSource::StopGps() { return gps_.Stop(); }

void TimeSource::Reset() {
  gps_.Reset();
  PluginConfig config = ConfigFromEnvironment();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    config_ = config;
    initialized_ = false;
    initialized_at_us_ = 0;
    has_reference_ = false;
    reference_us_ = 0;
    dropped_ = 0;
    filter_.Reset();
    last_offset_us_ = 0;
    time_codes_ = 0;
    exceptions_ = 0;
  }
  for (auto& c : calls_) c.store(0, std::memory_order_relaxed);
  std::lock_guard<std::mutex> lock(log_mutex_);
  log_.clear();
  log_next_ = 0;
}

bool TimeSource::Configure(const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  return ApplyPluginConfig(text, &config_, nullptr);
}

void TimeSource::GetCounters(ZeltoTimeSourceCounters* counters) const {
  for (int i = 0; i < kTimeSourceEntryCount; ++i) {
    counters->calls[i] = calls_[i].load(std::memory_order_relaxed);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  counters->time_codes_written = time_codes_;
  counters->exceptions_thrown = exceptions_;
  counters->dropped_frames = dropped_;
}

uint32_t TimeSource::GetCallLog(uint32_t* entries, uint32_t capacity) const {
  std::lock_guard<std::mutex> lock(log_mutex_);
  const size_t n = log_.size();
  for (size_t i = 0; i < n && i < capacity; ++i) entries[i] = log_[(log_next_ + i) % n];
  return static_cast<uint32_t>(n);
}

void TimeSource::GetState(ZeltoTimeSourceState* state) const {
  std::lock_guard<std::mutex> lock(mutex_);
  state->rate = static_cast<uint32_t>(config_.rate);
  state->discipline = static_cast<uint32_t>(config_.discipline);
  state->initialized = initialized_ ? 1 : 0;
  state->samples = filter_.samples();
  state->last_offset_us = last_offset_us_;
  state->filtered_offset_us = filter_.value();
}

void TimeSource::GetGps(ZeltoTimeSourceGps* out) const {
  const GpsSnapshot s = gps_.Snapshot();
  *out = ZeltoTimeSourceGps{};
  out->configured = GpsSupported() ? 1 : 0;
  out->reading = s.reading;
  out->ended = s.ended;
  out->open_failed = s.open_failed;
  out->read_failed = s.read_failed;
  out->starts = s.starts;
  out->valid = s.fix.valid;
  out->quality = static_cast<uint32_t>(s.fix.quality);
  out->satellites = s.fix.satellites;
  out->has_time = s.fix.has_time;
  out->time_ms = s.fix.time_ms;
  out->has_date = s.fix.has_date;
  out->date = s.fix.date;
  out->has_position = s.fix.has_position;
  out->latitude_e6 = s.fix.latitude_e6;
  out->longitude_e6 = s.fix.longitude_e6;
  out->has_altitude = s.fix.has_altitude;
  out->altitude_cm = s.fix.altitude_cm;
  out->rmc_sentences = s.fix.rmc_count;
  out->gga_sentences = s.fix.gga_count;
  out->other_sentences = s.fix.other_count;
  out->rejected_lines = s.fix.rejected_count;
}

}  // namespace zelto::timesource
