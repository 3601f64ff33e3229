// zeltograb adjust: the card's adjustments as a host's slider page sees them,
// listed and, with NAME=VALUE, one of them set first.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "card_session.h"
#include "commands.h"
#include "settings_options.h"

namespace zelto::grab {
namespace {

struct Adjustment {
  int32_t id = 0;
  std::string name;
  int32_t min = 0, max = 0;
  int32_t value = 0;
};

std::vector<Adjustment> ReadAdjustments(IOrvaneAdjustment* adjustments) {
  std::vector<Adjustment> out;
  int32_t count = 0;
  if (FAILED(adjustments->GetAdjustmentCount(&count))) return out;
  for (int32_t i = 0; i < count; ++i) {
    Adjustment a;
    BSTR name = nullptr;
    double real_min = 0, real_max = 0;
    int32_t is_integer = 0, words[4] = {};
    if (SUCCEEDED(adjustments->GetAdjustmentInfo(i, &a.id, &name, &a.min, &a.max, &real_min,
                                                 &real_max, &is_integer, &words[0], &words[1],
                                                 &words[2], &words[3]))) {
      a.name = NarrowBstr(name);
      adjustments->GetIntegerValue(a.id, &a.value);
      out.push_back(a);
    }
    SysFreeString(name);
  }
  return out;
}

bool ParseValue(const std::string& text, int32_t* value) {
  if (text.empty() || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size() || v < INT32_MIN || v > INT32_MAX)
    return false;
  *value = static_cast<int32_t>(v);
  return true;
}

const Adjustment* Find(const std::vector<Adjustment>& list, const std::string& key) {
  int32_t id = 0;
  const bool numeric = ParseValue(key, &id);
  for (const Adjustment& a : list) {
    if (numeric ? a.id == id : FoldedName(a.name) == FoldedName(key)) return &a;
  }
  return nullptr;
}

void PrintAdjustments(const std::vector<Adjustment>& list) {
  std::printf("adjustments\n");
  std::printf("  %3s  %-20s %-14s %s\n", "id", "name", "range", "value");
  for (const Adjustment& a : list) {
    const std::string range = std::to_string(a.min) + ".." + std::to_string(a.max);
    std::printf("  %3d  %-20s %-14s %d\n", a.id, a.name.c_str(), range.c_str(), a.value);
  }
}

}  // namespace

int RunAdjust(const Options& options) {
  std::string key;
  int32_t value = 0;
  if (!options.adjustment.empty()) {
    const size_t eq = options.adjustment.rfind('=');
    key = options.adjustment.substr(0, eq);
    if (key.empty() || !ParseValue(options.adjustment.substr(eq + 1), &value)) {
      std::fprintf(stderr, "zeltograb: adjust wants NAME=VALUE with a whole number, not '%s'\n",
                   options.adjustment.c_str());
      return kExitUsage;
    }
  }

  CardSession s;
  int status = OpenCard(options, &s);
  ComPtr<IOrvaneAdjustment> adjustments;
  if (status == kExitOk) {
    HRESULT hr = s.grabber->QueryInterface(IID_IOrvaneAdjustment, adjustments.PutVoid());
    if (FAILED(hr)) status = ReportComFailure("QueryInterface(IOrvaneAdjustment)", hr);
  }
  // The module builds its lists at a property page or a setting's change; a set
  // of an id no setting has changes nothing and rebuilds them.
  if (status == kExitOk && s.settings) s.settings->SetSettingValue(-1, 0);

  std::vector<Adjustment> list;
  if (status == kExitOk) list = ReadAdjustments(adjustments.Get());
  if (status == kExitOk && !key.empty()) {
    const Adjustment* target = Find(list, key);
    if (target == nullptr) {
      std::fprintf(stderr, "zeltograb: no adjustment '%s'; the card has:\n", key.c_str());
      for (const Adjustment& a : list) std::fprintf(stderr, "  %d %s\n", a.id, a.name.c_str());
      status = kExitUsage;
    } else {
      if (value < target->min || value > target->max) {
        std::fprintf(stderr,
                     "zeltograb: warning: %d is outside %s's range %d..%d; passed on as given\n",
                     value, target->name.c_str(), target->min, target->max);
      }
      const HRESULT hr = adjustments->SetIntegerValue(target->id, value);
      if (FAILED(hr)) {
        status = ReportComFailure("SetIntegerValue", hr);
      } else {
        int32_t now = 0;
        adjustments->GetIntegerValue(target->id, &now);
        std::printf("%s: %d -> %d (set %d)\n", target->name.c_str(), target->value, now, value);
        list = ReadAdjustments(adjustments.Get());
      }
    }
  }
  if (status == kExitOk) PrintAdjustments(list);
  adjustments.Reset();
  CloseCard(&s);
  return status;
}

}  // namespace zelto::grab
