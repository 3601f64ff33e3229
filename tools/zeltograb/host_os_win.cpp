#include <windows.h>

#include <io.h>
#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "host_os.h"

namespace zelto::grab {
namespace {

std::atomic<bool> g_interrupted{false};

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  // The next one ends the process.
  if (g_interrupted.exchange(true)) return FALSE;
  return TRUE;
}

}  // namespace

std::string ExecutablePath() {
  char path[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return {};
  return std::string(path, n);
}

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

bool Interrupted() { return g_interrupted.load(); }

void SetEnvironment(const char* name, const std::string& value) {
  // Both copies: the C runtime's (getenv in the driver) and the process's.
  _putenv_s(name, value.c_str());
  SetEnvironmentVariableA(name, value.c_str());
}

ComScope::ComScope() {
  initialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}
ComScope::~ComScope() {
  if (initialized_) CoUninitialize();
}

HRESULT CreateRegisteredObject(REFIID riid, void** object) {
  return CoCreateInstance(CLSID_OrvaneZeltoRGB, nullptr, CLSCTX_INPROC_SERVER, riid, object);
}

void LowerThisThreadPriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace zelto::grab
