// Binding the capture driver library at run time.
//
// The library's path is read from HKEY_LOCAL_MACHINE (kDriverKeyPath, value
// kDriverPathValue) and the 21 entry points are resolved into a table that the
// caller owns: each CaptureChannel binds its own, so one card's binding never
// touches another card's entry points.
#ifndef ZELTO_DRIVER_DRIVER_BINDING_H_
#define ZELTO_DRIVER_DRIVER_BINDING_H_

#include "driver/capture_driver.h"
#include "platform/scoped_library.h"

namespace zelto {

inline constexpr char kDriverKeyPath[] = "SOFTWARE\\KTS Imaging\\ZeltoRGB driver";
inline constexpr char kDriverPathValue[] = "RGBCaptureDLLName";

// The 21 entry points in resolution order.
struct DriverEntryTable {
#define ZELTO_DRIVER_TABLE_MEMBER(name) PFN_##name name = nullptr;
  ZELTO_DRIVER_ENTRY_POINTS(ZELTO_DRIVER_TABLE_MEMBER)
#undef ZELTO_DRIVER_TABLE_MEMBER
};

// Reads the path from the registry (a REG_SZ of at most 260 bytes; one of 260
// bytes without its terminator counts as unreadable), loads the library and
// resolves every entry point in order. On success fills `*table` completely and returns the loaded
// library. Otherwise shows one of three error message boxes (path unreadable,
// library not loadable, an entry point missing), leaves `*table` untouched and
// returns an empty library; a library that did not bind completely is unloaded
// again at once.
platform::ScopedLibrary BindDriver(DriverEntryTable* table);

}  // namespace zelto

#endif  // ZELTO_DRIVER_DRIVER_BINDING_H_
