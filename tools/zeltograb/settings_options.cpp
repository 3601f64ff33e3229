#include "settings_options.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "options.h"

namespace zelto::grab {

std::string FoldedName(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '_' || c == '-' || c == '\t') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

namespace {

// The label's first word when it is a percent text ("  50%   30.00 fps": "50%").
std::string PercentText(const std::string& label) {
  const size_t start = label.find_first_not_of(' ');
  if (start == std::string::npos) return {};
  const size_t end = label.find(' ', start);
  std::string word = label.substr(start, end == std::string::npos ? end : end - start);
  return !word.empty() && word.back() == '%' ? word : std::string();
}

// Runs of spaces as one, none at either end: labels in messages.
std::string Collapsed(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

bool ParseNumber(const std::string& text, int64_t min, int64_t max, int64_t* value) {
  if (text.empty() || text[0] == ' ' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size() || v < min || v > max) return false;
  *value = v;
  return true;
}

}  // namespace

bool IsCaptureOption(const std::string& name) {
  return name == "--capture-format" || name == "--capture-rate";
}

bool ParseCaptureOption(const std::string& name, const std::string& value, SettingsOptions* options,
                        std::string* error) {
  if (name == "--capture-format") {
    const std::string format = FoldedName(value);
    if (format != "rgb24" && format != "555" && format != "565" && format != "888") {
      *error = "--capture-format wants rgb24, 555, 565 or 888";
      return false;
    }
    options->capture_format = format;
    return true;
  }
  if (name == "--capture-rate") {
    std::string percent = value;
    if (!percent.empty() && percent.back() == '%') percent.pop_back();
    int64_t n = 0;
    if (!ParseNumber(percent, 1, 100, &n)) {
      *error = "--capture-rate wants a percent of the source's frames, 1 to 100";
      return false;
    }
    options->capture_rate = static_cast<int32_t>(n);
    return true;
  }
  *error = "unknown option '" + name + "'";
  return false;
}

bool ParseAssignment(const std::string& text, SettingsOptions* options, std::string* error) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
    *error = "set wants NAME=VALUE, as \"Capture Format=RGB 24\", not '" + text + "'";
    return false;
  }
  if (options->name) {
    *error = "set changes one setting; '" + text + "' is a second";
    return false;
  }
  options->name = text.substr(0, equals);
  options->value = text.substr(equals + 1);
  return true;
}

std::string CaptureOptionsUsage() {
  return "  --capture-format F  set the module's Capture Format first: rgb24, 555, 565\n"
         "                  or 888 (stored for the next start, as a host's setting)\n"
         "  --capture-rate P  set its Capture Rate: P percent of the source's frames\n"
         "                  (100, 50, 33, 25, 20, 15, 10, 5 or 1)\n";
}

std::string SettingsUsage() {
  return "usage: zeltograb settings [options]\n"
         "Opens the card and lists every enumerated setting through the module's\n"
         "settings interface: its id, its current value and its options, the current\n"
         "one marked with *.\n"
         "\n" +
         CardOptionsUsage() +
         "\n"
         "Exit status: 0 done, 2 usage, 3 the module or the driver failed.\n";
}

std::string SetUsage() {
  return "usage: zeltograb set NAME=VALUE [options]\n"
         "Changes one enumerated setting through the module, which stores it for the\n"
         "next start, then lists the settings as `settings` does. NAME is a setting's\n"
         "name in any case, spaces optional or written as _ (capture_format); VALUE an\n"
         "option's label the same way (\"RGB 24\", rgb24, 1024x768, 50%) or its number.\n"
         "A label is matched before a number: Input Channel=1 is the first channel.\n"
         "\n" +
         CardOptionsUsage() +
         "\n"
         "Exit status: 0 done, 2 usage or an unknown name or value (the valid ones are\n"
         "listed), 3 the module or the driver failed.\n";
}

const SettingInfo* FindSetting(const std::vector<SettingInfo>& settings, const std::string& name) {
  const std::string wanted = FoldedName(name);
  for (const SettingInfo& setting : settings) {
    if (FoldedName(setting.name) == wanted) return &setting;
  }
  return nullptr;
}

std::optional<int32_t> FindOptionValue(const SettingInfo& setting, const std::string& text) {
  const std::string wanted = FoldedName(text);
  if (wanted.empty()) return std::nullopt;
  for (const SettingOptionInfo& option : setting.options) {
    if (FoldedName(option.label) == wanted) return option.value;
  }
  for (const SettingOptionInfo& option : setting.options) {
    const std::string percent = PercentText(option.label);
    if (!percent.empty() && FoldedName(percent) == wanted) return option.value;
  }
  int64_t number = 0;
  if (ParseNumber(text, INT32_MIN, INT32_MAX, &number)) {
    for (const SettingOptionInfo& option : setting.options) {
      if (option.value == number) return option.value;
    }
  }
  return std::nullopt;
}

std::string SettingNames(const std::vector<SettingInfo>& settings) {
  std::string out;
  for (const SettingInfo& setting : settings) out += (out.empty() ? "" : ", ") + setting.name;
  return out;
}

std::string OptionList(const SettingInfo& setting) {
  std::string out;
  for (const SettingOptionInfo& option : setting.options) {
    out += (out.empty() ? "" : ", ") + Collapsed(option.label) + " (" +
           std::to_string(option.value) + ")";
  }
  return out.empty() ? "(none)" : out;
}

std::string ValueText(const SettingInfo& setting, int32_t value) {
  for (const SettingOptionInfo& option : setting.options) {
    if (option.value == value) return Collapsed(option.label);
  }
  return std::to_string(value);
}

std::string FormatSettings(const std::vector<SettingInfo>& settings) {
  std::string out;
  char line[512];
  for (const SettingInfo& setting : settings) {
    std::snprintf(line, sizeof line, "%24s id %-3d (menu)   : value=%d (%s)\n",
                  setting.name.c_str(), setting.id, setting.value,
                  ValueText(setting, setting.value).c_str());
    out += line;
    for (const SettingOptionInfo& option : setting.options) {
      std::snprintf(line, sizeof line, "%26s %5d: %s\n", option.value == setting.value ? "*" : "",
                    option.value, option.label.c_str());
      out += line;
    }
  }
  return out;
}

}  // namespace zelto::grab
