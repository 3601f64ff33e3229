#include "module/type_library.h"

#include <string>

#include "module/com_ptr.h"
#include "module/module_path.h"

namespace zelto {
namespace {

std::wstring WidePath(const std::string& path) {
  int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}

// The type information of IOrvaneZeltoRGB from the module's own resource.
HRESULT LoadDualTypeInfo(ITypeInfo** info) {
  ComPtr<ITypeLib> library;
  std::wstring path = WidePath(ModulePath());
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put());
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(IID_IOrvaneZeltoRGB, info);
}

}  // namespace

HRESULT RegisterModuleTypeLibrary(const std::string& module_path) {
  ComPtr<ITypeLib> library;
  std::wstring path = WidePath(module_path);
  return LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, library.Put());
}

HRESULT UnregisterModuleTypeLibrary() {
  // Absent already: nothing to undo.
  BSTR registered_path = nullptr;
  if (FAILED(QueryPathOfRegTypeLib(LIBID_ZELTORGBLib, 1, 0, LOCALE_NEUTRAL, &registered_path))) {
    return S_OK;
  }
  SysFreeString(registered_path);
  return UnRegisterTypeLib(LIBID_ZELTORGBLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN32);
}

HRESULT DualGetTypeInfoCount(uint32_t* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT DualGetTypeInfo(uint32_t index, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return LoadDualTypeInfo(info);
}

HRESULT DualGetIDsOfNames(LPOLESTR* names, uint32_t count, DISPID* ids) {
  ComPtr<ITypeInfo> info;
  HRESULT hr = LoadDualTypeInfo(info.Put());
  if (FAILED(hr)) return hr;
  return DispGetIDsOfNames(info.Get(), names, count, ids);
}

HRESULT DualInvoke(IOrvaneZeltoRGB* self, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, uint32_t* arg_error) {
  ComPtr<ITypeInfo> info;
  HRESULT hr = LoadDualTypeInfo(info.Put());
  if (FAILED(hr)) return hr;
  return DispInvoke(self, info.Get(), id, flags, params, result, exception, arg_error);
}

}  // namespace zelto
