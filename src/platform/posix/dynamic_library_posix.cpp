#include <dlfcn.h>

#include <string>

#include "base/utf_convert.h"
#include "platform/dynamic_library.h"
#include "platform/trace.h"

namespace zelto::platform {

LibraryHandle LoadDynamicLibrary(const char* path) {
  if (path == nullptr) path = "";
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    TraceFormat("Cannot load dynamic library \"%s\": %s", path,
                reason != nullptr ? reason : "unknown error");
  }
  return library;
}

LibraryHandle LoadDynamicLibraryWide(const char16_t* path) {
  return LoadDynamicLibrary(path != nullptr ? Utf16ToUtf8(path).c_str() : "");
}

void* ResolveSymbol(LibraryHandle library, const char* name) {
  if (library == nullptr || name == nullptr) return nullptr;
  return dlsym(library, name);
}

void UnloadDynamicLibrary(LibraryHandle library) {
  if (library != nullptr) dlclose(library);
}

}  // namespace zelto::platform
