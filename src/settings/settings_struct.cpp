#include "settings/settings_struct.h"

#include "base/utf_convert.h"

namespace zelto {

int32_t CSettingsStruct::GetUnhandledValue(int32_t) { return 0; }

void CSettingsStruct::SetUnhandledValue(int32_t, int32_t) {}

void CSettingsStruct::AddSetting(const char* name, int32_t id, CGetSetSettings* handler) {
  SettingEntry entry;
  entry.Id = id;
  entry.Name = Utf8ToUtf16(name);
  entry.Handler = handler;
  Settings.push_back(std::move(entry));
}

void CSettingsStruct::AddOption(int32_t id, const char* label, int32_t value, const char* detail) {
  for (SettingEntry& entry : Settings) {
    if (entry.Id != id) continue;
    SettingOption option;
    option.Value = value;
    option.Label = Utf8ToUtf16(label);
    if (detail != nullptr) option.Detail = Utf8ToUtf16(detail);
    entry.Options.push_back(std::move(option));
    return;
  }
}

int32_t CSettingsStruct::GetOptionCount(int32_t id) const {
  for (const SettingEntry& entry : Settings) {
    if (entry.Id == id) return static_cast<int32_t>(entry.Options.size());
  }
  return 0;
}

bool CSettingsStruct::GetSetting(int32_t index, std::u16string* name, int32_t* id) const {
  if (index < 0 || index >= GetSettingsCount()) return false;
  *name = Settings[index].Name;
  *id = Settings[index].Id;
  return true;
}

bool CSettingsStruct::GetOption(int32_t id, int32_t option, std::u16string* label,
                                int32_t* value) const {
  bool in_range = true;
  for (const SettingEntry& entry : Settings) {
    if (entry.Id != id) continue;
    if (option < 0 || option >= static_cast<int32_t>(entry.Options.size())) {
      in_range = false;
      continue;
    }
    *label = entry.Options[option].Label;
    *value = entry.Options[option].Value;
  }
  return in_range;
}

int32_t CSettingsStruct::GetSettingValue(int32_t id) {
  for (const SettingEntry& entry : Settings) {
    if (entry.Id != id) continue;
    return entry.Handler != nullptr ? entry.Handler->GetValue() : GetUnhandledValue(id);
  }
  return 0;
}

void CSettingsStruct::SetSettingValue(int32_t id, int32_t value) {
  // Every match is set, not only the first. A throwing set leaves the list as
  // it was (the handlers stay valid: they belong to the owner).
  for (size_t i = 0; i < Settings.size(); ++i) {
    if (Settings[i].Id != id) continue;
    if (Settings[i].Handler != nullptr) {
      Settings[i].Handler->SetValue(value);
    } else {
      SetUnhandledValue(id, value);
    }
  }
  ClearSettings();
  FillSettings();
}

}  // namespace zelto
