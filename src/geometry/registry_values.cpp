#include "geometry/registry_values.h"

namespace zelto {

using platform::RegistryKey;
using platform::RegistryRoot;

platform::RegStatus ReadDwordValue(const RegistryKey& key, int32_t* value, const char* name) {
  if (!key.is_open()) return platform::kRegInvalidHandle;
  uint32_t type = 0;
  uint32_t data = 0;
  uint32_t size = sizeof(data);
  const platform::RegStatus status = key.QueryValue(name, &type, &data, &size);
  if (status != platform::kRegSuccess) return status;
  if (type != platform::kRegTypeDword || size != sizeof(data)) return kReadWrongType;
  *value = static_cast<int32_t>(data);
  return platform::kRegSuccess;
}

RegistryKey OpenUserKey(const std::string& key_path) {
  RegistryKey key;
  key.Create(RegistryRoot::kCurrentUser, key_path);
  return key;
}

void StoreDwordAt(const std::string& key_path, int32_t value, const char* name) {
  RegistryKey key = OpenUserKey(key_path);
  if (key.is_open()) key.SetDword(name, static_cast<uint32_t>(value));
}

void StoreStringAt(const std::string& key_path, const char* text, const char* name) {
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
