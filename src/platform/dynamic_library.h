// Loading a dynamic library at run time and resolving its exports.
#ifndef ZELTO_PLATFORM_DYNAMIC_LIBRARY_H_
#define ZELTO_PLATFORM_DYNAMIC_LIBRARY_H_

namespace zelto::platform {

// Opaque handle of a loaded library; null means none.
using LibraryHandle = void*;

// Loads by path (narrow: the ANSI code page on Windows, bytes on POSIX; wide:
// UTF-16). A failed load returns null and traces the path and the OS's reason.
LibraryHandle LoadDynamicLibrary(const char* path);
LibraryHandle LoadDynamicLibraryWide(const char16_t* path);

// Resolves an export by its exact, case-sensitive name; null when absent.
void* ResolveSymbol(LibraryHandle library, const char* name);

// Unloads a library that Load* returned; null is ignored.
void UnloadDynamicLibrary(LibraryHandle library);

}  // namespace zelto::platform

#endif  // ZELTO_PLATFORM_DYNAMIC_LIBRARY_H_
