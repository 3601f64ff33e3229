// The judgements of `zeltograb selftest` that need no card: which checks to run,
// how a result line reads, and what counts as a good run of frames. Pure.
#ifndef ZELTO_TOOLS_ZELTOGRAB_SELFTEST_RULES_H_
#define ZELTO_TOOLS_ZELTOGRAB_SELFTEST_RULES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelto::grab {

enum class CheckOutcome { kOk, kFail, kSkip };

struct CheckResult {
  CheckOutcome outcome = CheckOutcome::kOk;
  std::string detail;  // one line: what was found, or why it failed or was skipped
};

inline CheckResult CheckOk(std::string detail) { return {CheckOutcome::kOk, std::move(detail)}; }
inline CheckResult CheckFail(std::string detail) {
  return {CheckOutcome::kFail, std::move(detail)};
}
inline CheckResult CheckSkip(std::string detail) {
  return {CheckOutcome::kSkip, std::move(detail)};
}

// "ok    name        detail", the outcome word padded so the names line up.
std::string ResultLine(const std::string& name, const CheckResult& result);

// The names of `all` that `only` selects, in the order of `all`; every name in
// `only` must be one of them (else `error` names it and the result is empty). An
// empty `only` selects every check.
std::vector<std::string> SelectChecks(const std::vector<std::string>& all,
                                      const std::vector<std::string>& only, std::string* error);

// The host key selftest works on: a sibling of the user's key (never below it),
// so nothing selftest writes can land among the user's values.
std::string SelfTestHostKey(const std::string& user_key);

// One frame as the selftest saw it.
struct ObservedFrame {
  int64_t stamp_us = 0;                // the ImageRecord's time, microseconds since 1970
  int64_t received_us = 0;             // the wall clock when GetFrame returned it
  std::optional<uint32_t> first_line;  // ZeltoSim frame code of the first line
  std::optional<uint32_t> last_line;   // and of the last line
};

// Frames arrive at `nominal_hz` within `tolerance` (0.1 = 10 %). With frame
// numbers the source rate is measured across the numbers, so dropped frames do
// not count against it; without, the delivered rate is measured.
CheckResult JudgeFrameRate(const std::vector<ObservedFrame>& frames, double nominal_hz,
                           double tolerance);

// Stamps rise strictly, and each lies within `window_us` of the wall clock at
// receipt once `offset_us` (the configured time offset) is taken off.
CheckResult JudgeTimeStamps(const std::vector<ObservedFrame>& frames, int64_t offset_us,
                            int64_t window_us);

// Every frame whose both lines carry a code shows the same number on both, and
// the numbers rise. Skips when the picture carries no frame code.
CheckResult JudgeTearing(const std::vector<ObservedFrame>& frames);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_SELFTEST_RULES_H_
