// Debug output and message boxes.
//
// Every trace and every message box first passes through one process-wide hook,
// which tests install to capture them; then it goes to the OS: OutputDebugStringA
// and MessageBoxA (no owner, default caption, error icon) on Windows; on POSIX
// traces go to stderr when ZELTO_TRACE is set (non-empty), message boxes always.
#ifndef ZELTO_PLATFORM_TRACE_H_
#define ZELTO_PLATFORM_TRACE_H_

#include <functional>
#include <string>

namespace zelto::platform {

enum class TraceKind { kDebugOutput, kMessageBox };

using TraceHook = std::function<void(TraceKind kind, const std::string& text)>;

// Installs (or, with an empty hook, removes) the hook; returns the previous one.
// Safe to call from any thread. The hook may be called from any thread, one call
// at a time, and may itself trace; it must not call SetTraceHook. Once
// SetTraceHook returns, the previous hook is no longer running anywhere.
TraceHook SetTraceHook(TraceHook hook);

void Trace(const char* text);
// printf-style with the C99 conversions on both targets (%zu, %lld, ... also on
// Windows); formatted per call into a local 1024-character buffer (longer texts
// are cut), so two threads never share a buffer.
void TraceFormat(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Modal error message box; returns when it is closed.
void ShowErrorMessage(const char* text);

}  // namespace zelto::platform

#endif  // ZELTO_PLATFORM_TRACE_H_
