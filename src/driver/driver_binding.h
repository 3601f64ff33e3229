// Binding the capture driver library at run time.
//
// The library's path is read from HKEY_LOCAL_MACHINE (kDriverKeyPath, value
// kDriverPathValue); the 21 entry points are resolved into one process-wide table
// that every card object and thread shares. Binding runs on the thread that builds
// the card or changes its channel, while no other thread calls the driver; the
// table is read without a lock.
#ifndef ZELTO_DRIVER_DRIVER_BINDING_H_
#define ZELTO_DRIVER_DRIVER_BINDING_H_

#include "driver/capture_driver.h"
#include "platform/dynamic_library.h"

namespace zelto {

inline constexpr char kDriverKeyPath[] = "SOFTWARE\\KTS Imaging\\ZeltoRGB driver";
inline constexpr char kDriverPathValue[] = "RGBCaptureDLLName";

// The 21 entry points in resolution order. Filled by each successful binding and
// never cleared; a failed binding may leave it partly overwritten.
struct DriverEntryTable {
#define ZELTO_DRIVER_TABLE_MEMBER(name) PFN_##name name = nullptr;
  ZELTO_DRIVER_ENTRY_POINTS(ZELTO_DRIVER_TABLE_MEMBER)
#undef ZELTO_DRIVER_TABLE_MEMBER
};

// The process-wide table.
DriverEntryTable& Driver();

// Reads the path from the registry, loads the library and resolves every entry
// point in order. Returns the loaded library, or null after showing one of three
// error message boxes (path unreadable, library not loadable, an entry point
// missing). A library that did not bind completely is unloaded again at once.
platform::LibraryHandle BindDriver();

// Undoes what the card holds of the driver, each step only when held: frees the
// frame buffer (RGBCaptureFreeBuffer with its address) and clears the pointer,
// closes the channel and clears the handle, unloads the library and clears it.
void ReleaseDriver(platform::LibraryHandle& module, HRGBCAPTURE& handle, void*& frame_buffer);

// Binds again into `module` (tracing "KTS DLL SETUP failed. Serious Error" when
// that fails) and clears the handle and the buffer pointer. The caller releases
// first and clears its own grab flag.
void RebindDriver(platform::LibraryHandle& module, HRGBCAPTURE& handle, void*& frame_buffer);

}  // namespace zelto

#endif  // ZELTO_DRIVER_DRIVER_BINDING_H_
