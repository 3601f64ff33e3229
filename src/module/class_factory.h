// The class factory of COrvaneZeltoRGB and the server's class table.
#ifndef ZELTO_MODULE_CLASS_FACTORY_H_
#define ZELTO_MODULE_CLASS_FACTORY_H_

#include "module/com_types.h"

namespace zelto {

// DllGetClassObject: the factory for CLSID_OrvaneZeltoRGB, asked for `riid`
// (IUnknown or IClassFactory); CLASS_E_CLASSNOTAVAILABLE for any other class.
// The factory is static: its references do not hold the module, LockServer does.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);

// DllCanUnloadNow: S_OK when no object is alive and no server lock is held.
HRESULT CanUnloadNow();

}  // namespace zelto

#endif  // ZELTO_MODULE_CLASS_FACTORY_H_
