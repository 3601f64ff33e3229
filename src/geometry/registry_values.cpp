#include "geometry/registry_values.h"

#include "platform/trace.h"

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

namespace {

// Opens the key and runs `write` on it; traces a value that was not written.
template <typename Write>
bool StoreAt(const std::string& key_path, const char* name, Write&& write) {
  RegistryKey key;
  platform::RegStatus status = key.Create(RegistryRoot::kCurrentUser, key_path);
  if (status == platform::kRegSuccess) status = write(key);
  if (status == platform::kRegSuccess) return true;
  platform::TraceFormat("Registry value %s\\%s not written (%ld)", key_path.c_str(), name,
                        static_cast<long>(status));
  return false;
}

}  // namespace

bool StoreDwordAt(const std::string& key_path, const char* name, int32_t value) {
  return StoreAt(key_path, name, [&](RegistryKey& key) {
    return key.SetDword(name, static_cast<uint32_t>(value));
  });
}

bool StoreStringAt(const std::string& key_path, const char* name, const char* text) {
  if (text == nullptr) return false;
  return StoreAt(key_path, name, [&](RegistryKey& key) { return key.SetString(name, text); });
}

bool StoreBinaryAt(const std::string& key_path, const char* name, const void* bytes,
                   uint32_t size) {
  return StoreAt(key_path, name,
                 [&](RegistryKey& key) { return key.SetBinary(name, bytes, size); });
}

std::string ChannelKey(const std::string& base_settings_key, int32_t channel) {
  return base_settings_key + "\\" + std::to_string(channel);
}

}  // namespace zelto
