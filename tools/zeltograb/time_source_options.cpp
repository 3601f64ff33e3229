#include "time_source_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace zelto::grab {
namespace {

bool ParseSigned(const std::string& text, int64_t min, int64_t max, int64_t* value) {
  if (text.empty() || text[0] == ' ' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size() || v < min || v > max) return false;
  *value = v;
  return true;
}

// A BCD field: units in bits 0-3, tens from bit 4 in `tens_bits` bits (two for
// frames and hours, three for seconds and minutes, whose tens reach 5); the bits
// above are flags. -1 when a digit is out of range.
int Bcd(uint8_t byte, int tens_bits) {
  const int units = byte & 0x0F;
  const int tens = (byte >> 4) & ((1 << tens_bits) - 1);
  return units > 9 ? -1 : tens * 10 + units;
}

}  // namespace

bool IsTimeSourceOption(const std::string& name) {
  return name == "--time-source" || name == "--time-offset" || name == "--ltc-offset" ||
         name == "--ltc-mode";
}

bool ParseTimeSourceOption(const std::string& name, const std::string& value,
                           TimeSourceOptions* options, std::string* error) {
  int64_t n = 0;
  if (name == "--time-source") {
    if (value.empty()) {
      *error = "--time-source wants a plug-in path or System";
      return false;
    }
    options->dll = value;
  } else if (name == "--time-offset") {
    if (!ParseSigned(value, INT32_MIN, INT32_MAX, &n)) {
      *error = "--time-offset wants microseconds, a signed 32-bit number";
      return false;
    }
    options->offset_us = static_cast<int32_t>(n);
  } else if (name == "--ltc-offset") {
    if (!ParseSigned(value, -128, 127, &n)) {
      *error = "--ltc-offset wants frames, -128 to 127";
      return false;
    }
    options->ltc_offset = static_cast<int32_t>(n);
  } else if (name == "--ltc-mode") {
    if (!ParseSigned(value, 0, 2, &n)) {
      *error = "--ltc-mode wants 0 (30 fps), 1 (20 fps) or 2 (24 fps)";
      return false;
    }
    options->ltc_mode = static_cast<uint32_t>(n);
  } else {
    *error = "unknown option '" + name + "'";
    return false;
  }
  return true;
}

std::string TimeSourceUsage() {
  return "  --time-source P  store P (a plug-in path, or System) as the host's\n"
         "                   TimeSourceDLL; the module binds it at every grab\n"
         "  --time-offset US store US microseconds (signed) as TimeSourceOffset\n"
         "  --ltc-offset N   store N frames (-128..127) as LTCTimeSourceOffset\n"
         "  --ltc-mode M     store M as LTCTimeSourceMode: 0 30 fps, 1 20 fps, 2 24 fps\n";
}

std::optional<std::string> DecodeTimeCode(const uint8_t bytes[4], int32_t frame_rate) {
  const int frames = Bcd(bytes[0], 2);
  const int seconds = Bcd(bytes[1], 3);
  const int minutes = Bcd(bytes[2], 3);
  const int hours = Bcd(bytes[3], 2);
  if (frames < 0 || frames >= frame_rate || seconds < 0 || seconds > 59 || minutes < 0 ||
      minutes > 59 || hours < 0 || hours > 23) {
    return std::nullopt;
  }
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", hours, minutes, seconds, frames);
  return std::string(text);
}

}  // namespace zelto::grab
