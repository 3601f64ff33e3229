#include "settings_command.h"

#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "settings_options.h"

namespace zelto::grab {
namespace {

// A BSTR the tool owns for one call.
class ScopedBstr {
 public:
  ScopedBstr() = default;
  ~ScopedBstr() { SysFreeString(text_); }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  BSTR* Out() { return &text_; }
  std::string Narrow() const { return NarrowBstr(text_); }

 private:
  BSTR text_ = nullptr;
};

int NoSettingsInterface() {
  std::fprintf(stderr, "zeltograb: this module has no settings interface (IOrvaneSettingsProp)\n");
  return kExitModuleError;
}

// Sets `setting` to `value` and says when the module kept another value (a
// capture format waits for the stored source size, for one).
int ChangeSetting(IOrvaneSettingsProp* settings, const SettingInfo& setting, int32_t value) {
  const HRESULT hr = settings->SetSettingValue(setting.id, value);
  if (FAILED(hr)) return ReportComFailure(("setting " + setting.name).c_str(), hr);
  int32_t now = value;
  if (SUCCEEDED(settings->GetSettingValue(setting.id, &now)) && now != value) {
    std::printf("zeltograb: note: %s reads back as %s, not %s\n", setting.name.c_str(),
                ValueText(setting, now).c_str(), ValueText(setting, value).c_str());
  }
  return kExitOk;
}

// The setting `name` and its option `text`, or kExitUsage after naming the
// valid ones.
int ResolveChoice(const std::vector<SettingInfo>& list, const std::string& name,
                  const std::string& text, const SettingInfo** setting, int32_t* value) {
  *setting = FindSetting(list, name);
  if (*setting == nullptr) {
    std::fprintf(stderr, "zeltograb: the module has no setting '%s'; its settings are: %s\n",
                 name.c_str(), SettingNames(list).c_str());
    return kExitUsage;
  }
  const std::optional<int32_t> found = FindOptionValue(**setting, text);
  if (!found) {
    std::fprintf(stderr, "zeltograb: %s has no option '%s'; its options are: %s\n",
                 (*setting)->name.c_str(), text.c_str(), OptionList(**setting).c_str());
    return kExitUsage;
  }
  *value = *found;
  return kExitOk;
}

}  // namespace

HRESULT ReadSettingEntries(IOrvaneSettingsProp* settings, std::vector<SettingInfo>* out,
                           std::string* failed_call) {
  out->clear();
  int32_t count = 0;
  HRESULT hr = settings->GetSettingsCount(&count);
  if (FAILED(hr)) {
    *failed_call = "GetSettingsCount";
    return hr;
  }
  for (int32_t index = 0; index < count; ++index) {
    SettingInfo setting;
    ScopedBstr name;
    hr = settings->GetSetting(index, name.Out(), &setting.id);
    if (FAILED(hr)) {
      *failed_call = "GetSetting";
      return hr;
    }
    setting.name = name.Narrow();
    int32_t options = 0;
    hr = settings->GetOptionCount(setting.id, &options);
    for (int32_t k = 0; SUCCEEDED(hr) && k < options; ++k) {
      SettingOptionInfo option;
      ScopedBstr label;
      hr = settings->GetOption(setting.id, k, label.Out(), &option.value);
      option.label = label.Narrow();
      setting.options.push_back(option);
    }
    if (SUCCEEDED(hr)) hr = settings->GetSettingValue(setting.id, &setting.value);
    if (FAILED(hr)) {
      *failed_call = "reading the setting " + setting.name;
      return hr;
    }
    out->push_back(std::move(setting));
  }
  return S_OK;
}

int ReadSettingsList(IOrvaneSettingsProp* settings, std::vector<SettingInfo>* out) {
  // An id that no setting has sets nothing and has the list rebuilt from the
  // card's state, without the property pages that ShowProperties would open.
  HRESULT hr = settings->SetSettingValue(-1, 0);
  if (FAILED(hr)) return ReportComFailure("SetSettingValue (rebuilding the list)", hr);
  std::string failed_call;
  hr = ReadSettingEntries(settings, out, &failed_call);
  return FAILED(hr) ? ReportComFailure(failed_call.c_str(), hr) : kExitOk;
}

int RunSettings(const Options& options) {
  CardSession s;
  int status = OpenCard(options, &s);
  std::vector<SettingInfo> list;
  if (status == kExitOk)
    status = s.settings ? ReadSettingsList(s.settings.Get(), &list) : NoSettingsInterface();
  if (status == kExitOk) std::fputs(FormatSettings(list).c_str(), stdout);
  CloseCard(&s);
  return status;
}

int RunSet(const Options& options) {
  CardSession s;
  int status = OpenCard(options, &s);
  std::vector<SettingInfo> list;
  if (status == kExitOk)
    status = s.settings ? ReadSettingsList(s.settings.Get(), &list) : NoSettingsInterface();
  const SettingInfo* setting = nullptr;
  int32_t value = 0;
  if (status == kExitOk) {
    status = ResolveChoice(list, *options.settings.name, options.settings.value, &setting, &value);
  }
  if (status == kExitOk) {
    std::printf("zeltograb: %s = %d (%s)\n", setting->name.c_str(), value,
                ValueText(*setting, value).c_str());
    status = ChangeSetting(s.settings.Get(), *setting, value);
  }
  // The list as the module rebuilt it: a change may add or remove settings.
  if (status == kExitOk) status = ReadSettingsList(s.settings.Get(), &list);
  if (status == kExitOk) std::fputs(FormatSettings(list).c_str(), stdout);
  CloseCard(&s);
  return status;
}

int ApplyCaptureOptions(const Options& options, CardSession& s) {
  const SettingsOptions& wanted = options.settings;
  if (!wanted.capture_format && !wanted.capture_rate) return kExitOk;
  if (!s.settings) return NoSettingsInterface();
  std::vector<SettingInfo> list;
  int status = ReadSettingsList(s.settings.Get(), &list);
  const SettingInfo* setting = nullptr;
  int32_t value = 0;
  if (status == kExitOk && wanted.capture_format) {
    status = ResolveChoice(list, kCaptureFormatSetting, *wanted.capture_format, &setting, &value);
    if (status == kExitOk) status = ChangeSetting(s.settings.Get(), *setting, value);
  }
  if (status == kExitOk && wanted.capture_rate) {
    status = ResolveChoice(list, kCaptureRateSetting, std::to_string(*wanted.capture_rate) + "%",
                           &setting, &value);
    if (status == kExitOk) status = ChangeSetting(s.settings.Get(), *setting, value);
  }
  return status;
}

}  // namespace zelto::grab
