#include "module/registration.h"

#include <cstdio>

#include "module/type_library.h"
#include "platform/registry.h"
#include "platform/trace.h"

namespace zelto {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;
using platform::RegStatus;

constexpr RegistryRoot kRoot = RegistryRoot::kClassesRoot;

// One key with an optional default value and one optional named value.
RegStatus WriteKey(const std::string& path, const char* default_value,
                   const char* value_name = nullptr, const char* value = nullptr) {
  RegistryKey key;
  RegStatus status = key.Create(kRoot, path);
  if (status == platform::kRegSuccess && default_value != nullptr) {
    status = key.SetString("", default_value);
  }
  if (status == platform::kRegSuccess && value_name != nullptr) {
    status = key.SetString(value_name, value);
  }
  return status;
}

RegStatus RemoveTree(const std::string& path) {
  RegStatus status = platform::DeleteRegistryTree(kRoot, path);
  return status == platform::kRegNotFound ? platform::kRegSuccess : status;
}

std::string ClassKeyPath() { return "CLSID\\" + GuidToString(CLSID_OrvaneZeltoRGB); }

}  // namespace

std::string GuidToString(const GUID& guid) {
  char text[40];
  std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

HRESULT RegisterServer(const std::string& module_path) {
  const std::string clsid = GuidToString(CLSID_OrvaneZeltoRGB);
  const std::string progid = ZELTORGB_PROGID;
  const std::string independent = ZELTORGB_VERSION_INDEPENDENT_PROGID;
  const std::string class_key = ClassKeyPath();

  RegStatus status = platform::kRegSuccess;
  auto step = [&status](RegStatus result) {
    if (status == platform::kRegSuccess) status = result;
  };
  step(WriteKey(progid, kClassDescription));
  step(WriteKey(progid + "\\CLSID", clsid.c_str()));
  step(WriteKey(independent, kClassDescription));
  step(WriteKey(independent + "\\CLSID", clsid.c_str()));
  step(WriteKey(independent + "\\CurVer", progid.c_str()));
  // The class key is replaced whole, so nothing of an older registration survives.
  step(RemoveTree(class_key));
  step(WriteKey(class_key, kClassDescription));
  step(WriteKey(class_key + "\\ProgID", progid.c_str()));
  step(WriteKey(class_key + "\\VersionIndependentProgID", independent.c_str()));
  step(WriteKey(class_key + "\\Programmable", nullptr));
  step(
      WriteKey(class_key + "\\InprocServer32", module_path.c_str(), "ThreadingModel", "Apartment"));
  step(WriteKey(class_key + "\\TypeLib", GuidToString(LIBID_ZELTORGBLib).c_str()));
  if (status != platform::kRegSuccess) {
    platform::TraceFormat("ZeltoRGB - registration failed: registry status %ld", status);
    return SELFREG_E_CLASS;
  }
  HRESULT hr = RegisterModuleTypeLibrary(module_path);
  if (FAILED(hr)) {
    platform::TraceFormat("ZeltoRGB - type library registration failed: 0x%08lX",
                          static_cast<unsigned long>(hr));
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

HRESULT UnregisterServer() {
  RegStatus status = platform::kRegSuccess;
  for (const std::string& path :
       {std::string(ZELTORGB_PROGID), std::string(ZELTORGB_VERSION_INDEPENDENT_PROGID),
        ClassKeyPath()}) {
    RegStatus result = RemoveTree(path);
    if (status == platform::kRegSuccess) status = result;
  }
  HRESULT hr = UnregisterModuleTypeLibrary();
  if (status != platform::kRegSuccess) return SELFREG_E_CLASS;
  return FAILED(hr) ? SELFREG_E_TYPELIB : S_OK;
}

}  // namespace zelto
