#include "platform/registry.h"

#include <vector>

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

RegStatus RegistryKey::ReadDword(const char* name, uint32_t* out) const {
  uint32_t type = 0;
  uint32_t data = 0;
  uint32_t size = sizeof(data);
  const RegStatus status = QueryValue(name, &type, &data, &size);
  // A value longer than four bytes is no DWORD, whatever its type.
  if (status == kRegMoreData) return kRegInvalidData;
  if (status != kRegSuccess) return status;
  if (type != kRegTypeDword || size != sizeof(data)) return kRegInvalidData;
  *out = data;
  return kRegSuccess;
}

RegStatus RegistryKey::ReadString(const char* name, std::string* out) const {
  // The value may grow between asking for its size and reading it (another
  // thread or process writing): ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    uint32_t type = 0;
    uint32_t size = 0;
    RegStatus status = QueryValue(name, &type, nullptr, &size);
    if (status != kRegSuccess) return status;
    if (type != kRegTypeSz) return kRegInvalidData;
    std::vector<char> buffer(size + 1, '\0');
    status = QueryValue(name, &type, buffer.data(), &size);
    if (status == kRegMoreData) continue;
    if (status != kRegSuccess) return status;
    if (type != kRegTypeSz) return kRegInvalidData;
    *out = std::string(buffer.data());  // up to the first zero; buffer[size] is one
    return kRegSuccess;
  }
  return kRegMoreData;
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
