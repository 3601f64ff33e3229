#include "driver/driver_binding.h"

#include <cstdio>
#include <cstring>

#include "platform/registry.h"
#include "platform/trace.h"

namespace zelto {
namespace {

constexpr uint32_t kPathBufferSize = 260;

using Assign = void (*)(DriverEntryTable&, void*);

struct EntrySlot {
  const char* name;
  Assign assign;
};

constexpr EntrySlot kSlots[kDriverEntryCount] = {
#define ZELTO_DRIVER_SLOT(name)                          \
  {#name, [](DriverEntryTable& table, void* address) {   \
     table.name = reinterpret_cast<PFN_##name>(address); \
   }},
    ZELTO_DRIVER_ENTRY_POINTS(ZELTO_DRIVER_SLOT)
#undef ZELTO_DRIVER_SLOT
};

// Reads the library path; false when the key or a REG_SZ value is missing.
bool ReadDriverPath(char (&path)[kPathBufferSize]) {
  platform::RegistryKey key;
  if (key.Open(platform::RegistryRoot::kLocalMachine, kDriverKeyPath) != platform::kRegSuccess) {
    return false;
  }
  char buffer[kPathBufferSize] = {};
  uint32_t type = 0;
  uint32_t size = sizeof(buffer);
  if (key.QueryValue(kDriverPathValue, &type, buffer, &size) != platform::kRegSuccess ||
      type != platform::kRegTypeSz) {
    return false;
  }
  // A stored string need not carry its terminator, but one that fills the whole
  // buffer without it is longer than a path can be: cutting it would name
  // another file.
  if (size == kPathBufferSize && buffer[kPathBufferSize - 1] != '\0') return false;
  buffer[size < kPathBufferSize ? size : kPathBufferSize - 1] = '\0';
  std::memcpy(path, buffer, sizeof(buffer));
  return true;
}

void ShowPathMessage(const char* format, const char* path) {
  char text[512];
  std::snprintf(text, sizeof(text), format, path);
  platform::ShowErrorMessage(text);
}

}  // namespace

platform::ScopedLibrary BindDriver(DriverEntryTable* table) {
  char path[kPathBufferSize] = {};
  if (!ReadDriverPath(path)) {
    platform::ShowErrorMessage(
        "Movandi - KTS ZeltoRGB - Unable to read path from Registry\n"
        "Cannot connect the ZeltoRGB DLL.");
    return platform::ScopedLibrary();
  }
  platform::ScopedLibrary library(platform::LoadDynamicLibrary(path));
  if (!library.is_valid()) {
    ShowPathMessage("Movandi - KTS ZeltoRGB - Unable to load %s. Aborting.", path);
    return library;
  }
  // Resolved into a table of its own: the caller's is filled only when all 21 are there.
  DriverEntryTable resolved;
  for (const EntrySlot& slot : kSlots) {
    void* address = library.GetFunctionPointer(slot.name);
    if (address == nullptr) {
      library.reset();
      ShowPathMessage("Movandi - KTS ZeltoRGB - Incompatible version of %s. Aborting.", path);
      return library;
    }
    slot.assign(resolved, address);
  }
  *table = resolved;
  return library;
}

}  // namespace zelto
