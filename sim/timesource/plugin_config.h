// The sample plug-in's configuration: a "key=value;key=value" text, from the
// ZELTO_TIMESOURCE environment variable or the ZeltoTimeSource_Configure control.
// README.md lists the keys.
#ifndef ZELTO_SIM_TIMESOURCE_PLUGIN_CONFIG_H_
#define ZELTO_SIM_TIMESOURCE_PLUGIN_CONFIG_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace zelto::timesource {

enum class TimeCodeClock { kUtc, kLocal };

enum class Discipline {
  kOff,      // the record's time is used as it is
  kMeasure,  // its offset from the system's UTC clock is measured and reported
  kCorrect,  // ... and the record's time is moved onto the UTC clock
};

struct PluginConfig {
  int rate = 30;  // time-code frames per second
  TimeCodeClock clock = TimeCodeClock::kUtc;
  bool time_code = true;  // write the time code into the image
  Discipline discipline = Discipline::kOff;
  int64_t shift_us = 0;      // added to every record's time first
  std::string gps;           // NMEA source: file or serial device
  uint32_t baud = 4800;      // serial devices only
  uint32_t gps_pace_ms = 0;  // files: pause between sentences
  bool init_fails = false;   // Initialize returns false
  uint32_t throw_from = 0;   // ProcessImageData throws from this call on
};

// Applies `text` over `config`, key by key in order. Unknown keys and bad values
// stop it: the keys before stay applied, the message names the offending one.
bool ApplyPluginConfig(std::string_view text, PluginConfig* config, std::string* error);

// A one-line summary ("rate=30 clock=utc ...") for GetInfo.
std::string DescribePluginConfig(const PluginConfig& config);

}  // namespace zelto::timesource

#endif  // ZELTO_SIM_TIMESOURCE_PLUGIN_CONFIG_H_
