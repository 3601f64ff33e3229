#include "module.h"

#include <cstdio>
#include <vector>

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
  ComRef<IClassFactory> factory;
  HRESULT hr = get_class_object_(CLSID_OrvaneZeltoRGB, IID_IClassFactory, factory.out());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, riid, object);
}

HRESULT ModuleLibrary::CanUnloadNow() {
  return can_unload_now_ != nullptr ? can_unload_now_() : S_OK;
}

std::string TakeErrorDescription() {
  ComRef<IErrorInfo> info;
  if (GetErrorInfo(0, reinterpret_cast<IErrorInfo**>(info.out())) != S_OK || !info) return {};
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
  // UTF-8 to UTF-16.
  std::vector<OLECHAR> wide;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t cp = c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra > 0) cp = c & (0x3F >> extra);
    ++i;
    for (int k = 0; k < extra && i < text.size(); ++k, ++i) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      wide.push_back(static_cast<OLECHAR>(0xD800 + (cp >> 10)));
      wide.push_back(static_cast<OLECHAR>(0xDC00 + (cp & 0x3FF)));
    } else {
      wide.push_back(static_cast<OLECHAR>(cp));
    }
  }
  return SysAllocStringLen(wide.data(), static_cast<unsigned>(wide.size()));
}

std::string NarrowBstr(const OLECHAR* text) {
  std::string out;
  if (text == nullptr) return out;
  for (const OLECHAR* p = text; *p != 0; ++p) {
    uint32_t cp = static_cast<uint16_t>(*p);
    if (cp >= 0xD800 && cp < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint16_t>(p[1]) - 0xDC00);
      ++p;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

}  // namespace zelto::grab
