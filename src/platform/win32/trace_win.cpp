#include <windows.h>

#include "platform/trace_output.h"

namespace zelto::platform::detail {

void WriteDebugOutput(const char* text) { OutputDebugStringA(text); }

void ShowMessageBox(const char* text) { MessageBoxA(nullptr, text, nullptr, MB_OK | MB_ICONERROR); }

}  // namespace zelto::platform::detail
