// Names of driver result codes, for debug texts ending in " returned: %s".
#ifndef ZELTO_DRIVER_ERROR_NAMES_H_
#define ZELTO_DRIVER_ERROR_NAMES_H_

#include <cstdint>

namespace zelto {

// The constant name of a driver result code: "RGBERROR_NO_ERROR" for 0,
// "RGBERROR_DRIVER_NOT_FOUND" for 0x10000, the table's name for 0x10001..0x10030,
// and "RGBERROR_UNKNOWN_ERROR" for every other value and the unassigned codes of
// that range. Never fails; the text lives for the whole process.
const char* DriverErrorName(uint32_t code);

}  // namespace zelto

#endif  // ZELTO_DRIVER_ERROR_NAMES_H_
