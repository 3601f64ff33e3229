// Where the module itself lives, for the registry's InprocServer32 value and the
// type library.
#ifndef ZELTO_MODULE_MODULE_PATH_H_
#define ZELTO_MODULE_MODULE_PATH_H_

#include <string>

namespace zelto {

// The full path of the library (or program) that contains this code.
std::string ModulePath();

#ifdef _WIN32
// DllMain hands over the DLL's instance handle; without it (a test program that
// links the object code) the path is the program's.
void SetModuleInstance(void* instance);
void* ModuleInstance();
#endif

}  // namespace zelto

#endif  // ZELTO_MODULE_MODULE_PATH_H_
