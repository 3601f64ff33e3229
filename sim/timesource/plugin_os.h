// What the plug-in needs from the operating system, one file per OS
// (plugin_os_posix.cpp, plugin_os_win32.cpp): the precise UTC clock, the local
// zone's offset, reading a GPS source, and the reader's thread.
#ifndef ZELTO_SIM_TIMESOURCE_PLUGIN_OS_H_
#define ZELTO_SIM_TIMESOURCE_PLUGIN_OS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zelto::timesource {

// Microseconds since 1970-01-01 00:00:00 UTC from the finest system clock
// (GetSystemTimePreciseAsFileTime where there is one, CLOCK_REALTIME).
int64_t PreciseUtcMicroseconds();

// The C runtime's zone at UTC instant `utc_seconds` (TZ read afresh).
struct LocalZone {
  int32_t offset_seconds = 0;  // added to UTC gives local time, daylight saving included
  bool dst = false;            // daylight saving time in effect then
};
LocalZone LocalZoneAt(int64_t utc_seconds);

// A GPS source opened for reading: a regular file (replayed, ends at its end) or a
// character device / pipe (a serial receiver, read until stopped).
class GpsPort {
 public:
  enum class ReadResult { kData, kTimeout, kEnd, kError };
  virtual ~GpsPort() = default;
  // Reads what is there, waiting at most `timeout_ms` for more; `*count` bytes.
  virtual ReadResult Read(char* buffer, size_t size, uint32_t timeout_ms, size_t* count) = 0;
  virtual bool IsStream() const = 0;
};

// Null when `path` cannot be opened; `error` then says why. Serial devices are set
// to `baud`, 8 data bits, no parity, one stop bit.
std::unique_ptr<GpsPort> OpenGpsPort(const std::string& path, uint32_t baud, std::string* error);

// The reader's thread. Join() waits for `body` to return. On Windows the thread
// holds a reference to the plug-in library while it runs, so that FreeLibrary
// cannot unmap the code under it; the library goes when the thread ends.
class ReaderThread {
 public:
  ReaderThread();
  ~ReaderThread();  // joins
  ReaderThread(const ReaderThread&) = delete;
  ReaderThread& operator=(const ReaderThread&) = delete;
  bool Start(std::function<void()> body);
  void Join();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zelto::timesource

#endif  // ZELTO_SIM_TIMESOURCE_PLUGIN_OS_H_
