// Control functions of the sample time source plug-in: extra exports that tests and
// tools call (the module never does). Load the library by the same path as the
// module's binding; the loader then hands back the same instance, and while the
// test holds it the state below survives the module's unloads.
//
// All use the C calling convention (cdecl on 32-bit Windows) and may be called from
// any thread at any time, also while the module is calling the entry points.
#ifndef ZELTO_SIM_TIMESOURCE_ZELTO_TIME_SOURCE_CONTROL_H_
#define ZELTO_SIM_TIMESOURCE_ZELTO_TIME_SOURCE_CONTROL_H_

#include <cstdint>

extern "C" {

inline constexpr uint32_t kZeltoTimeSourceEntries = 17;

struct ZeltoTimeSourceCounters {
  uint32_t calls[kZeltoTimeSourceEntries];  // per entry point, in lookup order
  uint32_t time_codes_written;              // ProcessImageData calls that wrote one
  uint32_t exceptions_thrown;               // by ProcessImageData in its throwing mode
  uint32_t dropped_frames;                  // the last SetDroppedFrames value
};

struct ZeltoTimeSourceState {
  uint32_t rate;               // time-code frames per second
  uint32_t discipline;         // 0 off, 1 measure, 2 correct
  uint32_t initialized;        // Initialize succeeded and no Uninitialize since
  uint32_t samples;            // offsets measured since Initialize or ClearEvents
  int64_t last_offset_us;      // the latest record time minus the UTC clock
  int64_t filtered_offset_us;  // what the status reports
};

struct ZeltoTimeSourceGps {
  uint32_t configured;   // a source is named (IsGPSSupported)
  uint32_t reading;      // the reader thread is reading
  uint32_t ended;        // a file was read to its end, or the sentence limit reached
  uint32_t open_failed;  // the last GetGPSData could not open the source
  uint32_t read_failed;  // reading stopped on an error of the source
  uint32_t starts;       // reader threads started
  uint32_t valid;        // the last RMC/GGA reported a fix
  uint32_t quality;      // GGA fix quality; RMC 'A' alone gives 1
  int32_t satellites;    // -1 unknown
  uint32_t has_time;
  int32_t time_ms;  // UTC milliseconds since midnight
  uint32_t has_date;
  int32_t date;  // yyyymmdd
  uint32_t has_position;
  int32_t latitude_e6;   // millionths of a degree, north positive
  int32_t longitude_e6;  // east positive
  uint32_t has_altitude;
  int32_t altitude_cm;
  uint32_t rmc_sentences;
  uint32_t gga_sentences;
  uint32_t other_sentences;
  uint32_t rejected_lines;  // bad checksum or malformed
};

// Back to a fresh load: GPS stopped, counters, log and state cleared, configuration
// read again from ZELTO_TIMESOURCE.
void ZeltoTimeSource_Reset(void);

// Applies "key=value;..." over the current configuration (README.md). 0 on
// success; 1 on a bad key or value (the keys before it stay applied).
uint32_t ZeltoTimeSource_Configure(const char* config);

void ZeltoTimeSource_GetCounters(ZeltoTimeSourceCounters* counters);

// Copies up to `capacity` entry-point positions (0 = GetName ... 16 =
// StopReadingGPSData), oldest first, and returns how many are logged (the latest
// 4096 are kept).
uint32_t ZeltoTimeSource_GetCallLog(uint32_t* entries, uint32_t capacity);

void ZeltoTimeSource_GetState(ZeltoTimeSourceState* state);
void ZeltoTimeSource_GetGps(ZeltoTimeSourceGps* gps);

}  // extern "C"

using PFN_ZeltoTimeSource_Reset = void (*)(void);
using PFN_ZeltoTimeSource_Configure = uint32_t (*)(const char*);
using PFN_ZeltoTimeSource_GetCounters = void (*)(ZeltoTimeSourceCounters*);
using PFN_ZeltoTimeSource_GetCallLog = uint32_t (*)(uint32_t*, uint32_t);
using PFN_ZeltoTimeSource_GetState = void (*)(ZeltoTimeSourceState*);
using PFN_ZeltoTimeSource_GetGps = void (*)(ZeltoTimeSourceGps*);

#endif  // ZELTO_SIM_TIMESOURCE_ZELTO_TIME_SOURCE_CONTROL_H_
