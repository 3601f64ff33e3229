// ScopedLibrary owns a loaded dynamic library and unloads it in its destructor,
// as Chromium's ScopedNativeLibrary does. Movable, not copyable; an empty one
// holds nothing and unloads nothing. Not thread-safe: one owner at a time.
#ifndef ZELTO_PLATFORM_SCOPED_LIBRARY_H_
#define ZELTO_PLATFORM_SCOPED_LIBRARY_H_

#include "platform/dynamic_library.h"

namespace zelto::platform {

class ScopedLibrary {
 public:
  ScopedLibrary() = default;
  // Takes ownership of `library` (from LoadDynamicLibrary*; null is empty).
  explicit ScopedLibrary(LibraryHandle library) : library_(library) {}
  ~ScopedLibrary() { reset(); }

  ScopedLibrary(ScopedLibrary&& other) noexcept : library_(other.release()) {}
  ScopedLibrary& operator=(ScopedLibrary&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;

  bool is_valid() const { return library_ != nullptr; }
  LibraryHandle get() const { return library_; }

  // The export `name`, or null when absent or when nothing is held.
  void* GetFunctionPointer(const char* name) const {
    return library_ != nullptr ? ResolveSymbol(library_, name) : nullptr;
  }

  // Unloads what is held (unless it is `library` itself) and holds `library`.
  void reset(LibraryHandle library = nullptr) {
    if (library_ != nullptr && library_ != library) UnloadDynamicLibrary(library_);
    library_ = library;
  }

  // Gives up ownership without unloading.
  [[nodiscard]] LibraryHandle release() {
    LibraryHandle library = library_;
    library_ = nullptr;
    return library;
  }

 private:
  LibraryHandle library_ = nullptr;
};

}  // namespace zelto::platform

#endif  // ZELTO_PLATFORM_SCOPED_LIBRARY_H_
