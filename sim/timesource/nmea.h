// NMEA 0183 sentences from a GPS receiver: the checksum, the two sentences the
// plug-in uses (RMC and GGA, from any talker: GP, GN, GL, ...), and the fix they
// add up to. Pure functions of the text.
#ifndef ZELTO_SIM_TIMESOURCE_NMEA_H_
#define ZELTO_SIM_TIMESOURCE_NMEA_H_

#include <cstdint>
#include <string_view>

namespace zelto::timesource {

enum class NmeaKind {
  kRmc,
  kGga,
  kOther,        // well formed, checksum right, a sentence we do not use
  kBadChecksum,  // "*HH" present but not the XOR of the characters between '$' and '*'
  kMalformed,    // no '$', no checksum, a field out of range, too few fields
};

struct NmeaSentence {
  NmeaKind kind = NmeaKind::kMalformed;
  bool has_time = false;
  int32_t time_ms = 0;  // UTC milliseconds since midnight
  bool has_date = false;
  int32_t date = 0;     // RMC: yyyymmdd
  bool valid = false;   // RMC status 'A'; GGA quality above 0
  int quality = 0;      // GGA fix quality (0 invalid, 1 GPS, 2 DGPS, ...); RMC 'A' gives 1
  int satellites = -1;  // GGA; -1 when not given
  bool has_position = false;
  int32_t latitude_e6 = 0;   // millionths of a degree, north positive
  int32_t longitude_e6 = 0;  // millionths of a degree, east positive
  bool has_altitude = false;
  int32_t altitude_cm = 0;  // GGA, above mean sea level
};

// Parses one line, with or without its CR LF. Trailing text after the checksum
// makes it malformed.
NmeaSentence ParseNmeaSentence(std::string_view line);

// The latest fix, merged from the sentences in the order they arrive.
struct GpsFix {
  bool valid = false;  // the last RMC or GGA reported a fix
  int quality = 0;
  int satellites = -1;
  bool has_time = false;
  int32_t time_ms = 0;
  bool has_date = false;
  int32_t date = 0;
  bool has_position = false;
  int32_t latitude_e6 = 0;
  int32_t longitude_e6 = 0;
  bool has_altitude = false;
  int32_t altitude_cm = 0;
  uint32_t rmc_count = 0;
  uint32_t gga_count = 0;
  uint32_t other_count = 0;
  uint32_t rejected_count = 0;  // bad checksum or malformed
};

// Adds one parsed sentence to `fix`: RMC and GGA update what they carry, the others
// only count.
void ApplyNmeaSentence(const NmeaSentence& sentence, GpsFix* fix);

}  // namespace zelto::timesource

#endif  // ZELTO_SIM_TIMESOURCE_NMEA_H_
