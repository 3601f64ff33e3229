#include "module.h"

#include <cstdio>
#include <string_view>

#include "base/utf_convert.h"
#include "platform/dynamic_library.h"

namespace zelto::grab {

ModuleLibrary::~ModuleLibrary() {
  // A library with live objects stays: unloading it would pull code from under them.
  if (library_ != nullptr && CanUnloadNow() == S_OK) {
    platform::UnloadDynamicLibrary(library_);
  }
}

bool ModuleLibrary::Load(const std::string& path, std::string* error) {
  library_ = platform::LoadDynamicLibrary(path.c_str());
  if (library_ == nullptr) {
    *error = "cannot load the module " + path;
    return false;
  }
  get_class_object_ = reinterpret_cast<ZeltoDllGetClassObjectFn>(
      platform::ResolveSymbol(library_, "DllGetClassObject"));
  can_unload_now_ = reinterpret_cast<ZeltoDllCanUnloadNowFn>(
      platform::ResolveSymbol(library_, "DllCanUnloadNow"));
  if (get_class_object_ == nullptr || can_unload_now_ == nullptr) {
    *error = path + " is not the ZeltoRGB module (no DllGetClassObject / DllCanUnloadNow)";
    platform::UnloadDynamicLibrary(library_);
    library_ = nullptr;
    return false;
  }
  return true;
}

HRESULT ModuleLibrary::CreateObject(REFIID riid, void** object) {
  *object = nullptr;
  if (get_class_object_ == nullptr) return E_UNEXPECTED;
  ComPtr<IClassFactory> factory;
  HRESULT hr = get_class_object_(CLSID_OrvaneZeltoRGB, IID_IClassFactory, factory.PutVoid());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, riid, object);
}

HRESULT ModuleLibrary::CanUnloadNow() {
  return can_unload_now_ != nullptr ? can_unload_now_() : S_OK;
}

std::string TakeErrorDescription() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) return {};
  BSTR description = nullptr;
  if (FAILED(info->GetDescription(&description)) || description == nullptr) return {};
  std::string text = NarrowBstr(description);
  SysFreeString(description);
  return text;
}

std::string DescribeHresult(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX",
                static_cast<unsigned long>(static_cast<uint32_t>(hr)));
  const char* name = nullptr;
  switch (static_cast<uint32_t>(hr)) {
    case 0x80020009u: name = "DISP_E_EXCEPTION"; break;
    case 0x80004005u: name = "E_FAIL"; break;
    case 0x80004002u: name = "E_NOINTERFACE"; break;
    case 0x80004003u: name = "E_POINTER"; break;
    case 0x80004001u: name = "E_NOTIMPL"; break;
    case 0x8007000Eu: name = "E_OUTOFMEMORY"; break;
    case 0x80070057u: name = "E_INVALIDARG"; break;
    case 0x80040111u: name = "CLASS_E_CLASSNOTAVAILABLE"; break;
    case 0x80040154u: name = "REGDB_E_CLASSNOTREG"; break;
    default: break;
  }
  return name != nullptr ? std::string(code) + " " + name : std::string(code);
}

BSTR AllocBstr(const std::string& text) {
  std::u16string wide = Utf8ToUtf16(text);
  // OLECHAR is wchar_t on Windows: copied unit by unit, not reinterpreted.
  std::basic_string<OLECHAR> units(wide.begin(), wide.end());
  return SysAllocStringLen(units.data(), static_cast<unsigned>(units.size()));
}

std::string NarrowBstr(const OLECHAR* text) {
  if (text == nullptr) return {};
  std::basic_string_view<OLECHAR> units(text);
  return Utf16ToUtf8(std::u16string(units.begin(), units.end()));
}

}  // namespace zelto::grab
