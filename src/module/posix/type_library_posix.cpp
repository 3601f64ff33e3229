#include "module/type_library.h"

namespace zelto {

HRESULT RegisterModuleTypeLibrary(const std::string& /*module_path*/) { return S_OK; }
HRESULT UnregisterModuleTypeLibrary() { return S_OK; }

HRESULT DualGetTypeInfoCount(uint32_t* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT DualGetTypeInfo(uint32_t /*index*/, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return E_NOTIMPL;
}

HRESULT DualGetIDsOfNames(LPOLESTR* /*names*/, uint32_t /*count*/, DISPID* /*ids*/) {
  return E_NOTIMPL;
}

HRESULT DualInvoke(IOrvaneZeltoRGB* /*self*/, DISPID /*id*/, WORD /*flags*/, DISPPARAMS* /*params*/,
                   VARIANT* /*result*/, EXCEPINFO* /*exception*/, uint32_t* /*arg_error*/) {
  return E_NOTIMPL;
}

}  // namespace zelto
