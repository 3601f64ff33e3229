// The type library that describes IOrvaneZeltoRGB. On Windows it is resource 1 of
// the module and is registered with the server; the POSIX build has none, so its
// registration is a no-op and the dual interface's IDispatch reports no type
// information.
#ifndef ZELTO_MODULE_TYPE_LIBRARY_H_
#define ZELTO_MODULE_TYPE_LIBRARY_H_

#include <string>

#include "module/com_types.h"

namespace zelto {

// Registers the type library embedded in the module at `module_path`.
HRESULT RegisterModuleTypeLibrary(const std::string& module_path);
// Removes the registration of LIBID_ZELTORGBLib 1.0; S_OK when it was absent.
HRESULT UnregisterModuleTypeLibrary();

// IDispatch of the dual interface: `self` is the object's IOrvaneZeltoRGB.
HRESULT DualGetTypeInfoCount(uint32_t* count);
HRESULT DualGetTypeInfo(uint32_t index, ITypeInfo** info);
HRESULT DualGetIDsOfNames(LPOLESTR* names, uint32_t count, DISPID* ids);
HRESULT DualInvoke(IOrvaneZeltoRGB* self, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, uint32_t* arg_error);

}  // namespace zelto

#endif  // ZELTO_MODULE_TYPE_LIBRARY_H_
