#include "module/module_path.h"

#include <windows.h>

namespace zelto {
namespace {
HINSTANCE g_instance = nullptr;
}  // namespace

void SetModuleInstance(void* instance) { g_instance = static_cast<HINSTANCE>(instance); }
void* ModuleInstance() { return g_instance; }

std::string ModulePath() {
  char path[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(g_instance, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return std::string(path, length);
}

}  // namespace zelto
