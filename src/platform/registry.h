// The system registry: HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT.
//
// On Windows this is the real registry. On POSIX it is a persistent store with the
// same semantics in one SQLite database: its path comes from ZELTO_REGISTRY, else
// $XDG_CONFIG_HOME/zeltorgb/registry.db (~/.config/... when unset). Key paths are
// backslash-separated; key and value names are case-insensitive and keep the case
// they were created with. The store is safe for several threads and processes at
// once, and a write that returned survives a crash of the writing process.
//
// Every call returns a Win32 status code (both backends speak that vocabulary); a
// failed read leaves its outputs untouched.
#ifndef ZELTO_PLATFORM_REGISTRY_H_
#define ZELTO_PLATFORM_REGISTRY_H_

#include <cstdint>
#include <string>

namespace zelto::platform {

enum class RegistryRoot { kCurrentUser, kLocalMachine, kClassesRoot };

using RegStatus = long;
inline constexpr RegStatus kRegSuccess = 0;            // ERROR_SUCCESS
inline constexpr RegStatus kRegNotFound = 2;           // ERROR_FILE_NOT_FOUND
inline constexpr RegStatus kRegAccessDenied = 5;       // ERROR_ACCESS_DENIED
inline constexpr RegStatus kRegInvalidHandle = 6;      // ERROR_INVALID_HANDLE
inline constexpr RegStatus kRegInvalidData = 13;       // ERROR_INVALID_DATA
inline constexpr RegStatus kRegInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
inline constexpr RegStatus kRegMoreData = 234;         // ERROR_MORE_DATA
inline constexpr RegStatus kRegBadKey = 1010;          // ERROR_BADKEY: the store failed
inline constexpr RegStatus kRegKeyDeleted = 1018;      // ERROR_KEY_DELETED: through another handle

inline constexpr uint32_t kRegTypeSz = 1;        // REG_SZ
inline constexpr uint32_t kRegTypeExpandSz = 2;  // REG_EXPAND_SZ
inline constexpr uint32_t kRegTypeBinary = 3;    // REG_BINARY
inline constexpr uint32_t kRegTypeDword = 4;     // REG_DWORD

// An open key. Not copyable; closes itself when destroyed. One RegistryKey may be
// used by one thread at a time; distinct keys may be used from any threads.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey();
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens the key, creating it and any missing parents, with read and write
  // access (RegCreateKeyEx, non-volatile, KEY_READ | KEY_WRITE). Empty path
  // components, as from a trailing backslash, are ignored. Either call closes what
  // this object held before. Once the key has been deleted (DeleteRegistryTree or
  // another process), calls on an open handle fail (kRegKeyDeleted on POSIX).
  RegStatus Create(RegistryRoot root, const std::string& path);
  // Opens an existing key; kRegNotFound when it does not exist.
  RegStatus Open(RegistryRoot root, const std::string& path);
  void Close();
  bool is_open() const { return handle_ != nullptr; }

  // Reads value `name` ("" or null: the key's default value). `size` holds the
  // capacity of `data` on entry and the stored size on return. A null `data` only
  // asks for type and size (either may be null too). A buffer too small gives
  // kRegMoreData with the needed size in `size`, the type in `type` and `data`
  // untouched, as RegQueryValueEx does; a non-null `data` needs a `size`
  // (kRegInvalidParameter). The type is reported, never checked: callers that want
  // a REG_DWORD compare it themselves.
  RegStatus QueryValue(const char* name, uint32_t* type, void* data, uint32_t* size) const;

  // Typed reads on top of QueryValue. They succeed only for a value of the
  // wanted type: a REG_DWORD of 4 bytes, or a REG_SZ (whose text ends at its
  // first zero; a stored string need not carry its terminator). A value of any
  // other type or size gives kRegInvalidData; an absent value or a closed key
  // gives QueryValue's status. On every failure `*out` is left untouched.
  RegStatus ReadDword(const char* name, uint32_t* out) const;
  RegStatus ReadString(const char* name, std::string* out) const;

  // Writes value `name` with the given type and bytes, replacing any old value.
  RegStatus SetValue(const char* name, uint32_t type, const void* data, uint32_t size);
  RegStatus SetDword(const char* name, uint32_t value);
  // REG_SZ / REG_EXPAND_SZ; the stored size counts the terminating zero.
  RegStatus SetString(const char* name, const std::string& value);
  RegStatus SetExpandString(const char* name, const std::string& value);
  RegStatus SetBinary(const char* name, const void* data, uint32_t size);

  RegStatus DeleteValue(const char* name);

 private:
  void* handle_ = nullptr;
};

// Deletes a key with all its subkeys and values; kRegNotFound when it is absent,
// kRegAccessDenied for a whole root (empty path).
RegStatus DeleteRegistryTree(RegistryRoot root, const std::string& path);

}  // namespace zelto::platform

#endif  // ZELTO_PLATFORM_REGISTRY_H_
