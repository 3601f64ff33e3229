#include <windows.h>

#include <string>

#include "base/utf_convert.h"
#include "platform/dynamic_library.h"
#include "platform/trace.h"

namespace zelto::platform {
namespace {

std::string SystemMessage(DWORD error) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 ? std::string(text, length) : "unknown error";
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message + " (error " + std::to_string(error) + ")";
}

void TraceLoadFailure(const std::string& path, DWORD error) {
  TraceFormat("Cannot load dynamic library \"%s\": %s", path.c_str(), SystemMessage(error).c_str());
}

}  // namespace

LibraryHandle LoadDynamicLibrary(const char* path) {
  if (path == nullptr) path = "";
  HMODULE library = LoadLibraryA(path);
  if (library == nullptr) TraceLoadFailure(path, GetLastError());
  return library;
}

LibraryHandle LoadDynamicLibraryWide(const char16_t* path) {
  static const char16_t kEmpty[] = u"";
  if (path == nullptr) path = kEmpty;
  const auto* wide = reinterpret_cast<const wchar_t*>(path);
  HMODULE library = LoadLibraryW(wide);
  if (library == nullptr) {
    DWORD error = GetLastError();  // before the conversion allocates
    TraceLoadFailure(Utf16ToUtf8(path), error);
  }
  return library;
}

void* ResolveSymbol(LibraryHandle library, const char* name) {
  if (library == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void UnloadDynamicLibrary(LibraryHandle library) {
  if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace zelto::platform
