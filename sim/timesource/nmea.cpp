#include "nmea.h"

#include <vector>

namespace zelto::timesource {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits [pos, pos + count) of `s` as a number; false unless all are digits.
bool Digits(std::string_view s, size_t pos, size_t count, int* out) {
  if (pos + count > s.size()) return false;
  int v = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (!IsDigit(s[i])) return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

// An optional fraction ".ddd" from `pos` to the end, in millionths; empty is 0.
bool Fraction(std::string_view s, size_t pos, int64_t* millionths) {
  *millionths = 0;
  if (pos == s.size()) return true;
  if (s[pos] != '.') return false;
  int64_t scale = 100000;
  for (size_t i = pos + 1; i < s.size(); ++i) {
    if (!IsDigit(s[i])) return false;
    *millionths += (s[i] - '0') * scale;
    scale /= 10;
  }
  return true;
}

// hhmmss[.sss]
bool ParseTime(std::string_view s, int32_t* ms) {
  int h, m, sec;
  int64_t frac;
  if (!Digits(s, 0, 2, &h) || !Digits(s, 2, 2, &m) || !Digits(s, 4, 2, &sec)) return false;
  if (!Fraction(s, 6, &frac)) return false;
  if (h > 23 || m > 59 || sec > 60) return false;  // 60: a leap second
  *ms = ((h * 60 + m) * 60 + sec) * 1000 + static_cast<int32_t>(frac / 1000);
  return true;
}

// ddmmyy; two-digit years from 80 are 19yy, below 80 20yy.
bool ParseDate(std::string_view s, int32_t* date) {
  int d, m, y;
  if (s.size() != 6 || !Digits(s, 0, 2, &d) || !Digits(s, 2, 2, &m) || !Digits(s, 4, 2, &y)) {
    return false;
  }
  if (d < 1 || d > 31 || m < 1 || m > 12) return false;
  *date = ((y < 80 ? 2000 + y : 1900 + y) * 100 + m) * 100 + d;
  return true;
}

// (d)ddmm.mmmm with hemisphere; `degree_digits` is 2 for latitude, 3 for longitude.
bool ParseAngle(std::string_view value, std::string_view hemisphere, size_t degree_digits,
                char positive, char negative, int32_t* e6) {
  int degrees, minutes;
  int64_t frac;
  if (!Digits(value, 0, degree_digits, &degrees) || !Digits(value, degree_digits, 2, &minutes) ||
      !Fraction(value, degree_digits + 2, &frac)) {
    return false;
  }
  const int max_degrees = degree_digits == 2 ? 90 : 180;
  if (minutes > 59 || degrees > max_degrees) return false;
  if (hemisphere.size() != 1 || (hemisphere[0] != positive && hemisphere[0] != negative)) {
    return false;
  }
  // Minutes in millionths of a minute, divided by 60 to millionths of a degree.
  const int64_t minute_e6 = int64_t{minutes} * 1000000 + frac;
  int64_t v = int64_t{degrees} * 1000000 + minute_e6 / 60;
  if (v > int64_t{max_degrees} * 1000000) return false;
  *e6 = static_cast<int32_t>(hemisphere[0] == negative ? -v : v);
  return true;
}

// [-]digits[.digits] in hundredths.
bool ParseDecimal(std::string_view s, int32_t* hundredths) {
  bool negative = false;
  size_t pos = 0;
  if (pos < s.size() && s[pos] == '-') {
    negative = true;
    ++pos;
  }
  size_t start = pos;
  int64_t whole = 0;
  while (pos < s.size() && IsDigit(s[pos])) {
    whole = whole * 10 + (s[pos] - '0');
    if (whole > 10000000) return false;
    ++pos;
  }
  if (pos == start) return false;
  int64_t frac;
  if (!Fraction(s, pos, &frac)) return false;
  const int64_t v = whole * 100 + frac / 10000;
  *hundredths = static_cast<int32_t>(negative ? -v : v);
  return true;
}

bool ParseSmallInt(std::string_view s, int max, int* out) {
  if (s.empty() || s.size() > 3) return false;
  int v;
  if (!Digits(s, 0, s.size(), &v) || v > max) return false;
  *out = v;
  return true;
}

std::vector<std::string_view> SplitFields(std::string_view body) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t comma = body.find(',', start);
    fields.push_back(body.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

// The fields shared by both sentences: time (may be empty), position (both halves
// empty or both valid).
bool ParseTimeField(std::string_view field, NmeaSentence* out) {
  if (field.empty()) return true;
  if (!ParseTime(field, &out->time_ms)) return false;
  out->has_time = true;
  return true;
}

bool ParsePosition(std::string_view lat, std::string_view ns, std::string_view lon,
                   std::string_view ew, NmeaSentence* out) {
  if (lat.empty() && ns.empty() && lon.empty() && ew.empty()) return true;
  if (!ParseAngle(lat, ns, 2, 'N', 'S', &out->latitude_e6) ||
      !ParseAngle(lon, ew, 3, 'E', 'W', &out->longitude_e6)) {
    return false;
  }
  out->has_position = true;
  return true;
}

// $xxRMC,time,status,lat,N/S,lon,E/W,speed,course,date[,variation,E/W[,mode]]
bool ParseRmc(const std::vector<std::string_view>& f, NmeaSentence* out) {
  if (f.size() < 10) return false;
  if (!ParseTimeField(f[1], out)) return false;
  if (f[2] != "A" && f[2] != "V") return false;
  out->valid = f[2] == "A";
  out->quality = out->valid ? 1 : 0;
  if (!ParsePosition(f[3], f[4], f[5], f[6], out)) return false;
  if (!f[9].empty()) {
    if (!ParseDate(f[9], &out->date)) return false;
    out->has_date = true;
  }
  return true;
}

// $xxGGA,time,lat,N/S,lon,E/W,quality,satellites,hdop,altitude,M,...
bool ParseGga(const std::vector<std::string_view>& f, NmeaSentence* out) {
  if (f.size() < 8) return false;
  if (!ParseTimeField(f[1], out)) return false;
  if (!ParsePosition(f[2], f[3], f[4], f[5], out)) return false;
  if (!ParseSmallInt(f[6], 8, &out->quality)) return false;
  out->valid = out->quality > 0;
  if (!f[7].empty() && !ParseSmallInt(f[7], 99, &out->satellites)) return false;
  if (f.size() > 9 && !f[9].empty()) {
    if (!ParseDecimal(f[9], &out->altitude_cm)) return false;
    out->has_altitude = true;
  }
  return true;
}

}  // namespace

NmeaSentence ParseNmeaSentence(std::string_view line) {
  NmeaSentence out;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  if (line.size() < 4 || line[0] != '$') return out;
  const size_t star = line.rfind('*');
  if (star == std::string_view::npos || star + 3 != line.size()) return out;
  const int hi = HexDigit(line[star + 1]);
  const int lo = HexDigit(line[star + 2]);
  if (hi < 0 || lo < 0) return out;
  const std::string_view body = line.substr(1, star - 1);
  uint8_t sum = 0;
  for (char c : body) {
    if (c == '$' || c == '*' || static_cast<unsigned char>(c) < 0x20 ||
        static_cast<unsigned char>(c) > 0x7E) {
      return out;
    }
    sum ^= static_cast<uint8_t>(c);
  }
  if (sum != (hi << 4 | lo)) {
    out.kind = NmeaKind::kBadChecksum;
    return out;
  }
  const std::vector<std::string_view> fields = SplitFields(body);
  const std::string_view address = fields[0];
  if (address.size() != 5) return out;
  const std::string_view type = address.substr(2);
  NmeaSentence parsed;
  if (type == "RMC") {
    if (!ParseRmc(fields, &parsed)) return out;
    parsed.kind = NmeaKind::kRmc;
  } else if (type == "GGA") {
    if (!ParseGga(fields, &parsed)) return out;
    parsed.kind = NmeaKind::kGga;
  } else {
    parsed.kind = NmeaKind::kOther;
  }
  return parsed;
}

void ApplyNmeaSentence(const NmeaSentence& s, GpsFix* fix) {
  switch (s.kind) {
    case NmeaKind::kBadChecksum:
    case NmeaKind::kMalformed: ++fix->rejected_count; return;
    case NmeaKind::kOther: ++fix->other_count; return;
    case NmeaKind::kRmc:
      ++fix->rmc_count;
      if (s.has_date) {
        fix->has_date = true;
        fix->date = s.date;
      }
      // GGA's quality is finer; RMC only turns it on or off.
      if (!s.valid) {
        fix->quality = 0;
      } else if (fix->quality == 0) {
        fix->quality = 1;
      }
      break;
    case NmeaKind::kGga:
      ++fix->gga_count;
      fix->quality = s.quality;
      if (s.satellites >= 0) fix->satellites = s.satellites;
      if (s.has_altitude) {
        fix->has_altitude = true;
        fix->altitude_cm = s.altitude_cm;
      }
      break;
  }
  fix->valid = s.valid;
  if (s.has_time) {
    fix->has_time = true;
    fix->time_ms = s.time_ms;
  }
  if (s.has_position) {
    fix->has_position = true;
    fix->latitude_e6 = s.latitude_e6;
    fix->longitude_e6 = s.longitude_e6;
  }
}

}  // namespace zelto::timesource
