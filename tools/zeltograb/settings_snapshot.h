// A copy of the user's values under a host key, for work on a copy of them and
// for proving that they stayed as they were.
#ifndef ZELTO_TOOLS_ZELTOGRAB_SETTINGS_SNAPSHOT_H_
#define ZELTO_TOOLS_ZELTOGRAB_SETTINGS_SNAPSHOT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace zelto::grab {

// The user's values as the registry holds them: the host key's time source
// values, the module key's channel choice and every channel key's values.
struct StoredValue {
  std::string key;  // below the host key: "", "ZELTORGB" or "ZELTORGB\<channel>"
  std::string name;
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
};
struct SettingsSnapshot {
  std::vector<std::string> keys;  // the keys that exist, as `StoredValue::key`
  std::vector<StoredValue> values;
};
SettingsSnapshot TakeSnapshot(const std::string& host_key);
// Replaces everything below `host_key` with the snapshot's values.
void WriteSnapshot(const SettingsSnapshot& snapshot, const std::string& host_key);
// "" when both are the same, else the first difference.
std::string CompareSnapshots(const SettingsSnapshot& before, const SettingsSnapshot& after);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_SETTINGS_SNAPSHOT_H_
