#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/trace_output.h"

namespace zelto::platform::detail {
namespace {

void WriteLine(const char* prefix, const char* text) {
  size_t length = std::strlen(text);
  bool has_newline = length > 0 && text[length - 1] == '\n';
  // One call, so lines of two threads do not interleave.
  std::fprintf(stderr, "%s%s%s", prefix, text, has_newline ? "" : "\n");
}

}  // namespace

void WriteDebugOutput(const char* text) {
  const char* enabled = std::getenv("ZELTO_TRACE");
  if (enabled == nullptr || enabled[0] == '\0') return;
  WriteLine("", text);
}

void ShowMessageBox(const char* text) { WriteLine("[message box] ", text); }

}  // namespace zelto::platform::detail
