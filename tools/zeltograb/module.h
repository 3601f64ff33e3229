// Reaching the ZeltoRGB module the way a host does: load it by path and ask its
// DllGetClassObject for the class factory (or, on Windows, let COM create the
// registered class), then talk to the object only through its interfaces.
#ifndef ZELTO_TOOLS_ZELTOGRAB_MODULE_H_
#define ZELTO_TOOLS_ZELTOGRAB_MODULE_H_

#include <string>

#include "module/com_ptr.h"
#include "zeltorgb/zeltorgb.h"

namespace zelto::grab {

// The loaded module library and its server exports.
class ModuleLibrary {
 public:
  ModuleLibrary() = default;
  ~ModuleLibrary();  // unloads only when DllCanUnloadNow agrees
  ModuleLibrary(const ModuleLibrary&) = delete;
  ModuleLibrary& operator=(const ModuleLibrary&) = delete;

  // Loads the library and resolves DllGetClassObject and DllCanUnloadNow.
  bool Load(const std::string& path, std::string* error);
  bool loaded() const { return library_ != nullptr; }

  // A new COrvaneZeltoRGB through the class factory, as interface `riid`.
  HRESULT CreateObject(REFIID riid, void** object);
  // The module's DllCanUnloadNow: S_OK once every object is gone.
  HRESULT CanUnloadNow();

 private:
  void* library_ = nullptr;
  ZeltoDllGetClassObjectFn get_class_object_ = nullptr;
  ZeltoDllCanUnloadNowFn can_unload_now_ = nullptr;
};

// The calling thread's COM error description (GetErrorInfo), taken and cleared;
// empty when there is none.
std::string TakeErrorDescription();

// "0x80020009" and, for the codes a host meets, their name.
std::string DescribeHresult(HRESULT hr);

// BSTRs: the tool's strings are UTF-8.
BSTR AllocBstr(const std::string& text);
std::string NarrowBstr(const OLECHAR* text);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_MODULE_H_
