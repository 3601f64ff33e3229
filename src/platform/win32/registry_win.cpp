#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/registry.h"

namespace zelto::platform {
namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::kCurrentUser: break;
  }
  return HKEY_CURRENT_USER;
}

// Host keys end in a backslash; the registry wants none at the end.
std::string TrimmedPath(const std::string& path) {
  size_t end = path.find_last_not_of('\\');
  return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

HKEY Key(void* handle) { return static_cast<HKEY>(handle); }

}  // namespace

RegStatus RegistryKey::Create(RegistryRoot root, const std::string& path) {
  Close();
  HKEY key = nullptr;
  LONG status =
      RegCreateKeyExA(RootKey(root), TrimmedPath(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) handle_ = key;
  return status;
}

RegStatus RegistryKey::Open(RegistryRoot root, const std::string& path) {
  Close();
  HKEY key = nullptr;
  LONG status =
      RegOpenKeyExA(RootKey(root), TrimmedPath(path).c_str(), 0, KEY_READ | KEY_WRITE, &key);
  if (status == ERROR_SUCCESS) handle_ = key;
  return status;
}

void RegistryKey::Close() {
  if (handle_ == nullptr) return;
  RegCloseKey(Key(handle_));
  handle_ = nullptr;
}

RegStatus RegistryKey::QueryValue(const char* name, uint32_t* type, void* data,
                                  uint32_t* size) const {
  if (handle_ == nullptr) return kRegInvalidHandle;
  if (data != nullptr && size == nullptr) return kRegInvalidParameter;
  DWORD stored_type = 0;
  DWORD stored_size = 0;
  LONG status = RegQueryValueExA(Key(handle_), name, nullptr, &stored_type, nullptr, &stored_size);
  if (status != ERROR_SUCCESS) return status;
  if (data != nullptr) {
    // Read through a buffer of our own: the system leaves the caller's buffer
    // undefined on ERROR_MORE_DATA, and the value may grow between the two calls.
    std::vector<BYTE> buffer(*size);
    DWORD read_size = *size;
    status = RegQueryValueExA(Key(handle_), name, nullptr, &stored_type,
                              buffer.empty() ? nullptr : buffer.data(), &read_size);
    if (buffer.empty() && status == ERROR_SUCCESS && read_size > 0) status = ERROR_MORE_DATA;
    if (status == ERROR_MORE_DATA) {
      if (type != nullptr) *type = stored_type;
      *size = read_size;
      return kRegMoreData;
    }
    if (status != ERROR_SUCCESS) return status;
    std::memcpy(data, buffer.data(), read_size);
    stored_size = read_size;
  }
  if (type != nullptr) *type = stored_type;
  if (size != nullptr) *size = stored_size;
  return kRegSuccess;
}

RegStatus RegistryKey::SetValue(const char* name, uint32_t type, const void* data, uint32_t size) {
  if (handle_ == nullptr) return kRegInvalidHandle;
  if (data == nullptr && size != 0) return kRegInvalidParameter;
  return RegSetValueExA(Key(handle_), name, 0, type, static_cast<const BYTE*>(data), size);
}

RegStatus RegistryKey::DeleteValue(const char* name) {
  if (handle_ == nullptr) return kRegInvalidHandle;
  return RegDeleteValueA(Key(handle_), name);
}

RegStatus DeleteRegistryTree(RegistryRoot root, const std::string& path) {
  std::string trimmed = TrimmedPath(path);
  // Never a whole root.
  if (trimmed.empty()) return kRegAccessDenied;
  return RegDeleteTreeA(RootKey(root), trimmed.c_str());
}

}  // namespace zelto::platform
