// What a host does to reach the module without the system's COM: load the built
// library by path, resolve its exports and create objects through its factory.
#ifndef ZELTO_TESTS_E2E_MODULE_HOST_H_
#define ZELTO_TESTS_E2E_MODULE_HOST_H_

#include <stdexcept>
#include <string>

#include "../module/com_test_util.h"
#include "platform/dynamic_library.h"
#include "zeltorgb/zeltorgb.h"

namespace zelto::testing {

class ModuleHost {
 public:
  explicit ModuleHost(const std::string& path) {
    library_ = platform::LoadDynamicLibrary(path.c_str());
    if (library_ == nullptr) throw std::runtime_error("cannot load " + path);
    get_class_object_ = reinterpret_cast<ZeltoDllGetClassObjectFn>(
        platform::ResolveSymbol(library_, "DllGetClassObject"));
    can_unload_now_ = reinterpret_cast<ZeltoDllCanUnloadNowFn>(
        platform::ResolveSymbol(library_, "DllCanUnloadNow"));
    if (get_class_object_ == nullptr || can_unload_now_ == nullptr) {
      throw std::runtime_error("the module lacks its exports");
    }
    HRESULT hr = get_class_object_(CLSID_OrvaneZeltoRGB, IID_IClassFactory, factory_.put_void());
    if (hr != S_OK) throw std::runtime_error("no class factory");
  }
  ~ModuleHost() {
    factory_.Reset();
    platform::UnloadDynamicLibrary(library_);
  }
  ModuleHost(const ModuleHost&) = delete;
  ModuleHost& operator=(const ModuleHost&) = delete;

  IClassFactory* factory() const { return factory_.get(); }
  HRESULT CanUnloadNow() const { return can_unload_now_(); }
  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) const {
    return get_class_object_(clsid, riid, object);
  }

  // A new object asked for T (alone, not aggregated).
  template <typename T>
  ComPtr<T> Create(REFIID riid) const {
    ComPtr<T> object;
    if (factory_->CreateInstance(nullptr, riid, object.put_void()) != S_OK) {
      throw std::runtime_error("CreateInstance failed");
    }
    return object;
  }

 private:
  platform::LibraryHandle library_ = nullptr;
  ZeltoDllGetClassObjectFn get_class_object_ = nullptr;
  ZeltoDllCanUnloadNowFn can_unload_now_ = nullptr;
  ComPtr<IClassFactory> factory_;
};

}  // namespace zelto::testing

#endif  // ZELTO_TESTS_E2E_MODULE_HOST_H_
