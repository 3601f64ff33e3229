#include "gps_reader.h"

#include <chrono>

namespace zelto::timesource {

namespace {

// NMEA sentences are at most 82 characters; anything far longer is noise.
constexpr size_t kMaxLine = 256;
constexpr uint32_t kPollMs = 50;

}  // namespace

GpsReader::~GpsReader() { Stop(); }

bool GpsReader::Start(const std::string& path, uint32_t baud, uint32_t pace_ms, uint32_t limit,
                      bool restart) {
  std::lock_guard<std::mutex> serial(thread_mutex_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (snapshot_.reading && !restart) return true;
    stop_ = true;
  }
  stop_cv_.notify_all();
  thread_.Join();

  std::string error;
  std::unique_ptr<GpsPort> port = OpenGpsPort(path, baud, &error);
  std::lock_guard<std::mutex> lock(mutex_);
  if (restart) snapshot_.fix = GpsFix();
  snapshot_.ended = false;
  snapshot_.read_failed = false;
  snapshot_.open_failed = port == nullptr;
  if (port == nullptr) return false;
  stop_ = false;
  snapshot_.reading = true;
  ++snapshot_.starts;
  GpsPort* raw = port.release();
  if (!thread_.Start(
          [this, raw, pace_ms, limit] { Run(std::unique_ptr<GpsPort>(raw), pace_ms, limit); })) {
    delete raw;
    snapshot_.reading = false;
    return false;
  }
  return true;
}

bool GpsReader::Stop() {
  std::lock_guard<std::mutex> serial(thread_mutex_);
  bool was_reading;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    was_reading = snapshot_.reading;
    stop_ = true;
  }
  stop_cv_.notify_all();
  thread_.Join();
  return was_reading;
}

void GpsReader::Reset() {
  Stop();
  std::lock_guard<std::mutex> lock(mutex_);
  snapshot_ = GpsSnapshot();
}

GpsSnapshot GpsReader::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return snapshot_;
}

bool GpsReader::TakeLine(const std::string& line, uint32_t limit, uint32_t* taken) {
  if (line.empty() || line == "\r") return true;
  const NmeaSentence sentence = ParseNmeaSentence(line);
  std::lock_guard<std::mutex> lock(mutex_);
  ApplyNmeaSentence(sentence, &snapshot_.fix);
  ++*taken;
  return limit == 0 || *taken < limit;
}

void GpsReader::Run(std::unique_ptr<GpsPort> port, uint32_t pace_ms, uint32_t limit) {
  std::string line;
  bool overlong = false;
  uint32_t taken = 0;
  char buffer[512];
  bool end = false;
  bool failed = false;
  bool stopped = false;
  bool more = true;  // false once the sentence limit is reached
  while (more && !end && !failed) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) {
        stopped = true;
        break;
      }
    }
    size_t count = 0;
    switch (port->Read(buffer, sizeof buffer, kPollMs, &count)) {
      case GpsPort::ReadResult::kData: break;
      case GpsPort::ReadResult::kTimeout: continue;
      case GpsPort::ReadResult::kEnd: end = true; break;
      case GpsPort::ReadResult::kError: failed = true; break;
    }
    for (size_t i = 0; i < count && more; ++i) {
      const char c = buffer[i];
      if (c != '\n') {
        if (line.size() < kMaxLine) {
          line += c;
        } else {
          overlong = true;
        }
        continue;
      }
      if (overlong) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++snapshot_.fix.rejected_count;
        ++taken;
        more = limit == 0 || taken < limit;
      } else {
        more = TakeLine(line, limit, &taken);
      }
      line.clear();
      overlong = false;
      if (more && pace_ms > 0 && !port->IsStream()) {
        std::unique_lock<std::mutex> lock(mutex_);
        stopped =
            stop_cv_.wait_for(lock, std::chrono::milliseconds(pace_ms), [this] { return stop_; });
        if (stopped) break;
      }
    }
    if (stopped) break;
  }
  // A last line without its newline (a file cut short) counts too.
  if (end && more && !stopped && !line.empty()) more = TakeLine(line, limit, &taken);
  std::lock_guard<std::mutex> lock(mutex_);
  snapshot_.reading = false;
  snapshot_.ended = !stopped && (end || !more);
  snapshot_.read_failed = failed;
}

}  // namespace zelto::timesource
