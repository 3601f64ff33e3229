// Reading and writing the user's values under HKEY_CURRENT_USER. Every writer
// opens its key with create semantics, writes one value and closes the key again;
// no handle stays open. A failed open or write loses that one value: the writer
// traces "Registry value <key>\<name> not written (<status>)" and returns false.
#ifndef ZELTO_GEOMETRY_REGISTRY_VALUES_H_
#define ZELTO_GEOMETRY_REGISTRY_VALUES_H_

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace zelto {

// Reads REG_DWORD `name` of an open key into `value` (RegistryKey::ReadDword: a
// value of another type gives kRegInvalidData); on any failure returns non-zero
// and leaves `value` unchanged.
platform::RegStatus ReadDwordValue(const platform::RegistryKey& key, const char* name,
                                   int32_t* value);

// Opens (creating) HKEY_CURRENT_USER\`key_path` with read and write access.
platform::RegistryKey OpenUserKey(const std::string& key_path);

// The writers, each taking the key path, the value name and then the value.
// True only when the value was written.
bool StoreDwordAt(const std::string& key_path, const char* name, int32_t value);
// REG_SZ with the terminating zero counted; a null text writes nothing (false).
bool StoreStringAt(const std::string& key_path, const char* name, const char* text);
bool StoreBinaryAt(const std::string& key_path, const char* name, const void* bytes, uint32_t size);

// `BaseSettingsKey` + "\" + channel in decimal.
std::string ChannelKey(const std::string& base_settings_key, int32_t channel);

}  // namespace zelto

#endif  // ZELTO_GEOMETRY_REGISTRY_VALUES_H_
