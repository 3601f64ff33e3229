#include "geometry/registry_values.h"

namespace zelto {

using platform::RegistryKey;
using platform::RegistryRoot;

platform::RegStatus ReadDwordValue(const RegistryKey& key, const char* name, int32_t* value) {
  uint32_t data = 0;
  const platform::RegStatus status = key.ReadDword(name, &data);
  if (status == platform::kRegSuccess) *value = static_cast<int32_t>(data);
  return status;
}

RegistryKey OpenUserKey(const std::string& key_path) {
  RegistryKey key;
  key.Create(RegistryRoot::kCurrentUser, key_path);
  return key;
}

void StoreDwordAt(const std::string& key_path, const char* name, int32_t value) {
  RegistryKey key = OpenUserKey(key_path);
  if (key.is_open()) key.SetDword(name, static_cast<uint32_t>(value));
}

void StoreStringAt(const std::string& key_path, const char* name, const char* text) {
  if (text == nullptr) return;
  RegistryKey key = OpenUserKey(key_path);
  if (key.is_open()) key.SetString(name, text);
}

void StoreBinaryAt(const std::string& key_path, const char* name, const void* bytes,
                   uint32_t size) {
  RegistryKey key = OpenUserKey(key_path);
  if (key.is_open()) key.SetBinary(name, bytes, size);
}

std::string ChannelKey(const std::string& base_settings_key, int32_t channel) {
  return base_settings_key + "\\" + std::to_string(channel);
}

}  // namespace zelto
