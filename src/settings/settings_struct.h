// The card's list of enumerated settings as the host reads it: entries in list
// order, each with its identifier, name, handler and options. The list is
// rebuilt from the card's state (FillSettings) after every set, so labels and
// entries follow that state. Host thread only; no lock.
#ifndef ZELTO_SETTINGS_SETTINGS_STRUCT_H_
#define ZELTO_SETTINGS_SETTINGS_STRUCT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelto {

// Reads and writes the current value of one setting.
class CGetSetSettings {
 public:
  virtual int32_t GetValue() = 0;
  virtual void SetValue(int32_t value) = 0;

 protected:
  ~CGetSetSettings() = default;
};

struct SettingOption {
  int32_t Value = 0;
  std::u16string Label;
  std::optional<std::u16string> Detail;  // never handed to the host
};

struct SettingEntry {
  int32_t Id = 0;
  std::u16string Name;
  CGetSetSettings* Handler = nullptr;  // not owned; null: the unhandled fallbacks
  std::vector<SettingOption> Options;
};

class CSettingsStruct {
 public:
  virtual ~CSettingsStruct() = default;
  // Clears and rebuilds the list from the owner's state.
  virtual bool FillSettings() = 0;
  virtual int32_t GetUnhandledValue(int32_t id);
  virtual void SetUnhandledValue(int32_t id, int32_t value);

  // Names, labels and details are ANSI text from the fill steps.
  void AddSetting(const char* name, int32_t id, CGetSetSettings* handler);
  // Appends to the first entry with `id`; nothing when there is none.
  void AddOption(int32_t id, const char* label, int32_t value, const char* detail);
  void ClearSettings() { Settings.clear(); }

  int32_t GetSettingsCount() const { return static_cast<int32_t>(Settings.size()); }
  // Of the first entry with `id`; 0 when there is none.
  int32_t GetOptionCount(int32_t id) const;
  // False, with the outputs untouched, for an index outside the list.
  bool GetSetting(int32_t index, std::u16string* name, int32_t* id) const;
  // Every entry with `id` writes its option `option` (the last one wins). False,
  // with the outputs untouched, when a matching entry has no such option; an
  // unknown id is not an error and leaves the outputs untouched too.
  bool GetOption(int32_t id, int32_t option, std::u16string* label, int32_t* value) const;
  // The first entry with `id`; 0 when there is none.
  int32_t GetSettingValue(int32_t id);
  // Sets every entry with `id`, then rebuilds the list whether one matched or not.
  void SetSettingValue(int32_t id, int32_t value);

  const std::vector<SettingEntry>& entries() const { return Settings; }

 private:
  std::vector<SettingEntry> Settings;
};

}  // namespace zelto

#endif  // ZELTO_SETTINGS_SETTINGS_STRUCT_H_
