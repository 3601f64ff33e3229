// IDispatch of IOrvaneZeltoRGB, the dual interface: served from the type library
// embedded in the module where there is one (module/type_library.h).
#include "module/orvane_zeltorgb.h"
#include "module/type_library.h"

namespace zelto {

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetTypeInfoCount(uint32_t* count) {
  return DualGetTypeInfoCount(count);
}
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetTypeInfo(uint32_t index, LCID /*lcid*/,
                                                       ITypeInfo** info) {
  return DualGetTypeInfo(index, info);
}
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetIDsOfNames(REFIID /*riid*/, LPOLESTR* names,
                                                         uint32_t count, LCID /*lcid*/,
                                                         DISPID* ids) {
  return DualGetIDsOfNames(names, count, ids);
}
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::Invoke(DISPID id, REFIID /*riid*/, LCID /*lcid*/,
                                                  WORD flags, DISPPARAMS* params, VARIANT* result,
                                                  EXCEPINFO* exception, uint32_t* arg_error) {
  return DualInvoke(static_cast<IOrvaneZeltoRGB*>(this), id, flags, params, result, exception,
                    arg_error);
}

}  // namespace zelto
