#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/trace_output.h"

namespace zelto::platform {
namespace {

constexpr size_t kTraceBufferSize = 1024;

// The hook runs under this lock, so once SetTraceHook returns the previous hook is
// no longer running anywhere (a test's capture object may then go away). Recursive
// because a hook may trace.
std::recursive_mutex& HookMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

TraceHook& Hook() {
  static TraceHook hook;
  return hook;
}

void PassToHook(TraceKind kind, const char* text) {
  std::lock_guard<std::recursive_mutex> lock(HookMutex());
  if (Hook()) Hook()(kind, text);
}

}  // namespace

TraceHook SetTraceHook(TraceHook hook) {
  std::lock_guard<std::recursive_mutex> lock(HookMutex());
  return std::exchange(Hook(), std::move(hook));
}

void Trace(const char* text) {
  if (text == nullptr) text = "";
  PassToHook(TraceKind::kDebugOutput, text);
  detail::WriteDebugOutput(text);
}

void TraceFormat(const char* format, ...) {
  char buffer[kTraceBufferSize];
  va_list args;
  va_start(args, format);
  int written = std::vsnprintf(buffer, sizeof(buffer), format != nullptr ? format : "", args);
  va_end(args);
  if (written < 0) buffer[0] = '\0';  // an encoding error: trace nothing rather than garbage
  Trace(buffer);
}

void ShowErrorMessage(const char* text) {
  if (text == nullptr) text = "";
  PassToHook(TraceKind::kMessageBox, text);
  detail::ShowMessageBox(text);
}

}  // namespace zelto::platform
