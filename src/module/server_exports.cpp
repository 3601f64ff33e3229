// The four exports of the in-process server. Nothing thrown inside gets out.
#include "module/class_factory.h"
#include "module/com_error.h"
#include "module/module_path.h"
#include "module/registration.h"

#ifdef _WIN32
#define ZELTO_SERVER_EXPORT extern "C"
#else
#define ZELTO_SERVER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

ZELTO_SERVER_EXPORT HRESULT STDMETHODCALLTYPE DllCanUnloadNow() { return zelto::CanUnloadNow(); }

ZELTO_SERVER_EXPORT HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid,
                                                                void** object) {
  return zelto::GuardedCall([&] { return zelto::GetClassObject(clsid, riid, object); });
}

ZELTO_SERVER_EXPORT HRESULT STDMETHODCALLTYPE DllRegisterServer() {
  return zelto::GuardedCall([] {
    std::string path = zelto::ModulePath();
    return path.empty() ? SELFREG_E_CLASS : zelto::RegisterServer(path);
  });
}

ZELTO_SERVER_EXPORT HRESULT STDMETHODCALLTYPE DllUnregisterServer() {
  return zelto::GuardedCall([] { return zelto::UnregisterServer(); });
}
