// The little the tool needs from the operating system beyond the module: its own
// path, whether stdout is a terminal, Ctrl-C, thread priority, the environment,
// and COM set-up.
// One implementation per OS (host_os_posix.cpp, host_os_win.cpp).
#ifndef ZELTO_TOOLS_ZELTOGRAB_HOST_OS_H_
#define ZELTO_TOOLS_ZELTOGRAB_HOST_OS_H_

#include <string>

#include "zeltorgb/zeltorgb.h"

namespace zelto::grab {

// Full path of the running executable; empty when the OS will not say.
std::string ExecutablePath();

bool StdoutIsTerminal();

// From now on the first Ctrl-C (or SIGTERM) only sets the flag Interrupted()
// reads; a second one ends the process the usual way.
void InstallInterruptHandler();
bool Interrupted();

// Lowers the calling thread's scheduling priority a step, so that it yields the
// CPU to the grab loop and the module's capture thread. Best effort.
void LowerThisThreadPriority();

// Sets an environment variable for this process and the libraries it loads.
void SetEnvironment(const char* name, const std::string& value);

// COM for the calling thread: an apartment on Windows, nothing on POSIX.
class ComScope {
 public:
  ComScope();
  ~ComScope();
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialized_ = false;
};

// Creates the registered class (CoCreateInstance, in-process) on Windows; on POSIX
// there is no class registry to ask and this fails.
HRESULT CreateRegisteredObject(REFIID riid, void** object);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_HOST_OS_H_
