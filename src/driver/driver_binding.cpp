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
#define ZELTO_DRIVER_SLOT(name)                                         \
  {#name, [](DriverEntryTable& table, void* address) {                  \
     table.name = reinterpret_cast<PFN_##name>(address);                \
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
  // A stored string need not carry its terminator.
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

DriverEntryTable& Driver() {
  static DriverEntryTable table;
  return table;
}

platform::LibraryHandle BindDriver() {
  char path[kPathBufferSize] = {};
  if (!ReadDriverPath(path)) {
    platform::ShowErrorMessage(
        "Movandi - KTS ZeltoRGB - Unable to read path from Registry\n"
        "Cannot connect the ZeltoRGB DLL.");
    return nullptr;
  }
  platform::LibraryHandle library = platform::LoadDynamicLibrary(path);
  if (library == nullptr) {
    ShowPathMessage("Movandi - KTS ZeltoRGB - Unable to load %s. Aborting.", path);
    return nullptr;
  }
  DriverEntryTable& table = Driver();
  for (const EntrySlot& slot : kSlots) {
    void* address = platform::ResolveSymbol(library, slot.name);
    if (address == nullptr) {
      platform::UnloadDynamicLibrary(library);
      ShowPathMessage("Movandi - KTS ZeltoRGB - Incompatible version of %s. Aborting.", path);
      return nullptr;
    }
    slot.assign(table, address);
  }
  return library;
}

void ReleaseDriver(platform::LibraryHandle& module, HRGBCAPTURE& handle, void*& frame_buffer) {
  // Without a module the table may point into a library that is gone: the fields
  // are cleared but nothing is called.
  DriverEntryTable& table = Driver();
  if (frame_buffer != nullptr) {
    if (module != nullptr) table.RGBCaptureFreeBuffer(handle, &frame_buffer);
    frame_buffer = nullptr;
  }
  if (handle != 0) {
    if (module != nullptr) table.RGBCaptureClose(handle);
    handle = 0;
  }
  if (module != nullptr) {
    platform::UnloadDynamicLibrary(module);
    module = nullptr;
  }
}

void RebindDriver(platform::LibraryHandle& module, HRGBCAPTURE& handle, void*& frame_buffer) {
  module = BindDriver();
  if (module == nullptr) platform::Trace("KTS DLL SETUP failed. Serious Error");
  handle = 0;
  frame_buffer = nullptr;
}

}  // namespace zelto
