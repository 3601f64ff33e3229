#include "selftest_rules.h"

#include <cmath>
#include <cstdio>

namespace zelto::grab {

std::string ResultLine(const std::string& name, const CheckResult& result) {
  const char* word = result.outcome == CheckOutcome::kOk     ? "ok"
                     : result.outcome == CheckOutcome::kFail ? "FAIL"
                                                             : "skip";
  char head[64];
  std::snprintf(head, sizeof head, "%-5s %-21s", word, name.c_str());
  std::string line = head;
  if (result.detail.empty()) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
  } else {
    line += " " + result.detail;
  }
  return line;
}

std::vector<std::string> SelectChecks(const std::vector<std::string>& all,
                                      const std::vector<std::string>& only, std::string* error) {
  for (const std::string& name : only) {
    bool known = false;
    for (const std::string& a : all) known = known || a == name;
    if (!known) {
      *error = "no check named '" + name + "' (zeltograb selftest --list shows them)";
      return {};
    }
  }
  std::vector<std::string> selected;
  for (const std::string& a : all) {
    bool wanted = only.empty();
    for (const std::string& name : only) wanted = wanted || a == name;
    if (wanted) selected.push_back(a);
  }
  return selected;
}

std::string SelfTestHostKey(const std::string& user_key) {
  std::string base = user_key;
  while (!base.empty() && base.back() == '\\') base.pop_back();
  return base + "-selftest\\";
}

CheckResult JudgeFrameRate(const std::vector<ObservedFrame>& frames, double nominal_hz,
                           double tolerance) {
  if (nominal_hz <= 0) return CheckFail("the card reports no source frame rate");
  if (frames.size() < 3) {
    return CheckFail(std::to_string(frames.size()) + " frames, too few to measure a rate");
  }
  const ObservedFrame& first = frames.front();
  const ObservedFrame& last = frames.back();
  const double span_s = static_cast<double>(last.stamp_us - first.stamp_us) / 1e6;
  if (span_s <= 0) return CheckFail("the stamps span no time");
  const bool numbered = first.last_line && last.last_line && *last.last_line > *first.last_line;
  const double intervals = numbered ? static_cast<double>(*last.last_line - *first.last_line)
                                    : static_cast<double>(frames.size() - 1);
  const double measured = intervals / span_s;
  char text[160];
  std::snprintf(text, sizeof text, "%.2f fps %s against %.0f Hz (%zu frames, tolerance %.0f%%)",
                measured, numbered ? "at the source" : "delivered", nominal_hz, frames.size(),
                tolerance * 100);
  if (std::fabs(measured - nominal_hz) > nominal_hz * tolerance) return CheckFail(text);
  return CheckOk(text);
}

CheckResult JudgeTimeStamps(const std::vector<ObservedFrame>& frames, int64_t offset_us,
                            int64_t window_us) {
  if (frames.empty()) return CheckFail("no frames");
  int64_t worst = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (i > 0 && frames[i].stamp_us <= frames[i - 1].stamp_us) {
      return CheckFail("frame " + std::to_string(i) + " is not stamped after frame " +
                       std::to_string(i - 1));
    }
    const int64_t off = frames[i].stamp_us - offset_us - frames[i].received_us;
    if (std::llabs(off) > std::llabs(worst)) worst = off;
  }
  char text[160];
  std::snprintf(text, sizeof text, "%zu stamps rising, at most %.1f ms from the wall clock",
                frames.size(), static_cast<double>(worst) / 1000.0);
  if (std::llabs(worst) > window_us) {
    std::snprintf(text, sizeof text, "a stamp lies %.3f s from the wall clock (allowed %.3f s)",
                  static_cast<double>(worst) / 1e6, static_cast<double>(window_us) / 1e6);
    return CheckFail(text);
  }
  return CheckOk(text);
}

CheckResult JudgeTearing(const std::vector<ObservedFrame>& frames) {
  size_t compared = 0;
  std::optional<uint32_t> previous;
  for (size_t i = 0; i < frames.size(); ++i) {
    const ObservedFrame& f = frames[i];
    if (!f.last_line) continue;
    if (previous && *f.last_line <= *previous) {
      return CheckFail("frame " + std::to_string(*f.last_line) + " came after frame " +
                       std::to_string(*previous));
    }
    previous = f.last_line;
    if (!f.first_line) continue;
    ++compared;
    if (*f.first_line != *f.last_line) {
      return CheckFail("frame " + std::to_string(i) + " is torn: first line " +
                       std::to_string(*f.first_line) + ", last line " +
                       std::to_string(*f.last_line));
    }
  }
  if (!previous) return CheckSkip("the picture carries no ZeltoSim frame code");
  if (compared == 0) return CheckSkip("a time code covers the first line's frame code");
  return CheckOk(std::to_string(compared) + " frames whole and in order");
}

}  // namespace zelto::grab
