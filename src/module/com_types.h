// The COM declarations of the module: the system's on Windows, com_posix.h
// elsewhere, plus the host-facing interfaces.
#ifndef ZELTO_MODULE_COM_TYPES_H_
#define ZELTO_MODULE_COM_TYPES_H_

#include "zeltorgb/zeltorgb.h"

#ifdef _WIN32
#include <olectl.h>  // SELFREG_E_*, the property frame
#endif

#endif  // ZELTO_MODULE_COM_TYPES_H_
