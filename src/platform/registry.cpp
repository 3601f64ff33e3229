#include "platform/registry.h"

namespace zelto::platform {

RegistryKey::~RegistryKey() { Close(); }

RegistryKey::RegistryKey(RegistryKey&& other) noexcept : handle_(other.handle_) {
  other.handle_ = nullptr;
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

RegStatus RegistryKey::SetDword(const char* name, uint32_t value) {
  // REG_DWORD is little-endian, as both targets are.
  return SetValue(name, kRegTypeDword, &value, sizeof(value));
}

RegStatus RegistryKey::SetString(const char* name, const std::string& value) {
  return SetValue(name, kRegTypeSz, value.c_str(), static_cast<uint32_t>(value.size() + 1));
}

RegStatus RegistryKey::SetExpandString(const char* name, const std::string& value) {
  return SetValue(name, kRegTypeExpandSz, value.c_str(), static_cast<uint32_t>(value.size() + 1));
}

RegStatus RegistryKey::SetBinary(const char* name, const void* data, uint32_t size) {
  return SetValue(name, kRegTypeBinary, data, size);
}

}  // namespace zelto::platform
