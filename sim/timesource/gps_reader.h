// Reads NMEA sentences from a GPS source on a thread of its own and keeps the
// latest fix. Start and Stop come from any thread; Snapshot may be called at any
// time, also while the reader runs.
#ifndef ZELTO_SIM_TIMESOURCE_GPS_READER_H_
#define ZELTO_SIM_TIMESOURCE_GPS_READER_H_

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "nmea.h"
#include "plugin_os.h"

namespace zelto::timesource {

struct GpsSnapshot {
  GpsFix fix;
  bool reading = false;      // the reader thread is reading
  bool ended = false;        // a file was read to its end, or the sentence limit reached
  bool open_failed = false;  // the last Start could not open the source
  bool read_failed = false;  // reading stopped on an error of the source
  uint32_t starts = 0;       // reader threads started since the last Reset
};

class GpsReader {
 public:
  GpsReader() = default;
  ~GpsReader();  // stops and joins
  GpsReader(const GpsReader&) = delete;
  GpsReader& operator=(const GpsReader&) = delete;

  // Starts reading `path`, stopping after `limit` sentences (0: no limit). Already
  // reading and not `restart`: nothing changes. `restart` forgets the fix and the
  // counts and opens the source again (a file replays from its start). Files pause
  // `pace_ms` between sentences. False when the source cannot be opened.
  bool Start(const std::string& path, uint32_t baud, uint32_t pace_ms, uint32_t limit,
             bool restart);
  // Asks the reader to stop and joins it; true when it was reading.
  bool Stop();
  // Stop, and forget the fix and every count.
  void Reset();
  GpsSnapshot Snapshot() const;

 private:
  void Run(std::unique_ptr<GpsPort> port, uint32_t pace_ms, uint32_t limit);
  // Parses one complete line; false when the sentence limit is reached.
  bool TakeLine(const std::string& line, uint32_t limit, uint32_t* taken);

  mutable std::mutex mutex_;  // guards snapshot_ and stop_
  std::condition_variable stop_cv_;
  bool stop_ = false;
  GpsSnapshot snapshot_;
  std::mutex thread_mutex_;  // serialises Start and Stop
  ReaderThread thread_;
};

}  // namespace zelto::timesource

#endif  // ZELTO_SIM_TIMESOURCE_GPS_READER_H_
