// Self-registration of the server under HKEY_CLASSES_ROOT:
//
//   ZeltoRGB.OrvaneZeltoRGB.1     = "OrvaneZeltoRGB Class"; CLSID = {class}
//   ZeltoRGB.OrvaneZeltoRGB       = "OrvaneZeltoRGB Class"; CLSID = {class};
//                                   CurVer = "ZeltoRGB.OrvaneZeltoRGB.1"
//   CLSID\{class}                 = "OrvaneZeltoRGB Class" (replaced whole), with
//     ProgID, VersionIndependentProgID, Programmable (empty),
//     InprocServer32 = <module path>, ThreadingModel = "Apartment",
//     TypeLib = {type library}
//
// plus the type library on Windows. Unregistration removes the two ProgID keys and
// the class key with everything below them, and the type library; "CLSID" itself
// stays.
#ifndef ZELTO_MODULE_REGISTRATION_H_
#define ZELTO_MODULE_REGISTRATION_H_

#include <string>

#include "module/com_types.h"

namespace zelto {

inline constexpr char kClassDescription[] = "OrvaneZeltoRGB Class";

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as the registry holds it.
std::string GuidToString(const GUID& guid);

// DllRegisterServer with the module's path: SELFREG_E_CLASS when a key cannot be
// written, SELFREG_E_TYPELIB when the type library cannot be registered.
HRESULT RegisterServer(const std::string& module_path);
// DllUnregisterServer: SELFREG_E_CLASS when a key cannot be removed; keys that are
// already absent are no failure.
HRESULT UnregisterServer();

}  // namespace zelto

#endif  // ZELTO_MODULE_REGISTRATION_H_
