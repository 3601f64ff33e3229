// Reading and writing the user's values under HKEY_CURRENT_USER. Every writer
// opens its key with create semantics, writes one value and closes the key again;
// no handle stays open. Registry failures are not reported: a failed open or
// write loses that one value.
#ifndef ZELTO_GEOMETRY_REGISTRY_VALUES_H_
#define ZELTO_GEOMETRY_REGISTRY_VALUES_H_

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace zelto {

// Status 13 (kRegInvalidData) for a value stored with a type other than REG_DWORD.
inline constexpr platform::RegStatus kReadWrongType = platform::kRegInvalidData;

// Reads REG_DWORD `name` of an open key into `value`; on any failure (absent,
// other type, key not open) returns non-zero and leaves `value` unchanged.
platform::RegStatus ReadDwordValue(const platform::RegistryKey& key, int32_t* value,
                                   const char* name);

// Opens (creating) HKEY_CURRENT_USER\`key_path` with read and write access.
platform::RegistryKey OpenUserKey(const std::string& key_path);

void StoreDwordAt(const std::string& key_path, int32_t value, const char* name);
// REG_SZ with the terminating zero counted; a null text writes nothing.
void StoreStringAt(const std::string& key_path, const char* text, const char* name);
void StoreBinaryAt(const std::string& key_path, const char* name, const void* bytes,
                   uint32_t size);

// `BaseSettingsKey` + "\" + channel in decimal.
std::string ChannelKey(const std::string& base_settings_key, int32_t channel);

}  // namespace zelto

#endif  // ZELTO_GEOMETRY_REGISTRY_VALUES_H_
