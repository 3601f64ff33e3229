#include "plugin_config.h"

#include <charconv>

#include "time_code.h"

namespace zelto::timesource {

namespace {

template <typename T>
bool ParseNumber(std::string_view text, T min, T max, T* out) {
  T v{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < min || v > max) return false;
  *out = v;
  return true;
}

bool ParseFlag(std::string_view text, bool* out) {
  if (text == "1" || text == "on") {
    *out = true;
  } else if (text == "0" || text == "off") {
    *out = false;
  } else {
    return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool ApplyKey(std::string_view key, std::string_view value, PluginConfig* c) {
  if (key == "rate") return ParseNumber(value, kMinTimeCodeRate, kMaxTimeCodeRate, &c->rate);
  if (key == "clock") {
    if (value == "utc") {
      c->clock = TimeCodeClock::kUtc;
    } else if (value == "local") {
      c->clock = TimeCodeClock::kLocal;
    } else {
      return false;
    }
    return true;
  }
  if (key == "timecode") return ParseFlag(value, &c->time_code);
  if (key == "discipline") {
    int d = 0;
    if (!ParseNumber(value, 0, 2, &d)) return false;
    c->discipline = static_cast<Discipline>(d);
    return true;
  }
  if (key == "shift") {
    // Within a day either way.
    return ParseNumber<int64_t>(value, -86400000000, 86400000000, &c->shift_us);
  }
  if (key == "gps") {
    c->gps = std::string(value);
    return true;
  }
  if (key == "baud") return ParseNumber<uint32_t>(value, 50, 4000000, &c->baud);
  if (key == "gpspace") return ParseNumber<uint32_t>(value, 0, 60000, &c->gps_pace_ms);
  if (key == "init") {
    if (value == "fail") {
      c->init_fails = true;
    } else if (value == "ok") {
      c->init_fails = false;
    } else {
      return false;
    }
    return true;
  }
  if (key == "throw") return ParseNumber<uint32_t>(value, 0, UINT32_MAX, &c->throw_from);
  return false;
}

}  // namespace

bool ApplyPluginConfig(std::string_view text, PluginConfig* config, std::string* error) {
  while (!text.empty()) {
    const size_t semi = text.find(';');
    const std::string_view item = Trim(text.substr(0, semi));
    text = semi == std::string_view::npos ? std::string_view() : text.substr(semi + 1);
    if (item.empty()) continue;
    const size_t eq = item.find('=');
    const std::string_view key = Trim(item.substr(0, eq));
    const std::string_view value =
        eq == std::string_view::npos ? std::string_view() : Trim(item.substr(eq + 1));
    if (eq == std::string_view::npos || !ApplyKey(key, value, config)) {
      if (error != nullptr) *error = "bad setting \"" + std::string(item) + "\"";
      return false;
    }
  }
  return true;
}

std::string DescribePluginConfig(const PluginConfig& c) {
  std::string s = "rate=" + std::to_string(c.rate);
  s += c.clock == TimeCodeClock::kUtc ? " clock=utc" : " clock=local";
  if (!c.time_code) s += " timecode=off";
  s += " discipline=" + std::to_string(static_cast<int>(c.discipline));
  if (c.shift_us != 0) s += " shift=" + std::to_string(c.shift_us);
  if (!c.gps.empty()) s += " gps=" + c.gps;
  if (c.init_fails) s += " init=fail";
  if (c.throw_from != 0) s += " throw=" + std::to_string(c.throw_from);
  return s;
}

}  // namespace zelto::timesource
