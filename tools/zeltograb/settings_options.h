// zeltograb's enumerated settings, the pure part: the options that choose a
// setting's value (grab --capture-format and --capture-rate, set NAME=VALUE),
// the settings as read from the module, how a name or a value given on the
// command line finds its setting and option, and the listing text.
#ifndef ZELTO_TOOLS_ZELTOGRAB_SETTINGS_OPTIONS_H_
#define ZELTO_TOOLS_ZELTOGRAB_SETTINGS_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelto::grab {

// The module's names of the settings the grab options set.
inline constexpr const char* kCaptureFormatSetting = "Capture Format";
inline constexpr const char* kCaptureRateSetting = "Capture Rate";

struct SettingsOptions {
  // grab
  std::optional<std::string> capture_format;  // --capture-format rgb24|555|565|888
  std::optional<int32_t> capture_rate;        // --capture-rate PERCENT
  // set NAME=VALUE
  std::optional<std::string> name;
  std::string value;
};

bool IsCaptureOption(const std::string& name);
// Stores grab option `name`'s `value`; false with a one-line `error` for a bad one.
bool ParseCaptureOption(const std::string& name, const std::string& value, SettingsOptions* options,
                        std::string* error);
// Takes "NAME=VALUE" for set; false with a one-line `error` when it is not one.
bool ParseAssignment(const std::string& text, SettingsOptions* options, std::string* error);

// The option lines of grab's usage, and the usage texts of settings and set.
std::string CaptureOptionsUsage();
std::string SettingsUsage();
std::string SetUsage();

// One setting as the module lists it through IOrvaneSettingsProp.
struct SettingOptionInfo {
  int32_t value = 0;
  std::string label;
};
struct SettingInfo {
  int32_t id = 0;
  std::string name;
  int32_t value = 0;  // current
  std::vector<SettingOptionInfo> options;
};

// Lower case without spaces, tabs, '_' and '-': how the tool compares the names
// and labels a user types with the module's ("capture_format", "Capture Format").
std::string FoldedName(const std::string& text);

// The setting called `name`, compared case-insensitively and without spaces,
// '_' and '-' ("capture_format" finds "Capture Format"); null when none is.
const SettingInfo* FindSetting(const std::vector<SettingInfo>& settings, const std::string& name);
// The value of the option `text` names: its label compared as names are
// ("rgb24" finds "RGB 24", "1024x768" finds "1024 x 768"), or the label's
// leading percent text ("50%"); else `text` as a number that is one of the
// options' values. A label wins over a number (Input Channel's "1" is value 0).
std::optional<int32_t> FindOptionValue(const SettingInfo& setting, const std::string& text);

// "Input Channel, Capture Format, ..." and "5-5-5 (0), 5-6-5 (1), ..." for the
// messages that name what would have been valid.
std::string SettingNames(const std::vector<SettingInfo>& settings);
std::string OptionList(const SettingInfo& setting);
// The label of the option with `value`, or the number when none has it.
std::string ValueText(const SettingInfo& setting, int32_t value);

// Every setting with its id, current value and options, the current one marked,
// in the manner of v4l2-ctl --list-ctrls-menus.
std::string FormatSettings(const std::vector<SettingInfo>& settings);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_SETTINGS_OPTIONS_H_
