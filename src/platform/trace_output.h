// The OS end of trace.h: each backend writes a trace or shows a message box here
// after the hook has seen it. Internal to the platform seam.
#ifndef ZELTO_PLATFORM_TRACE_OUTPUT_H_
#define ZELTO_PLATFORM_TRACE_OUTPUT_H_

namespace zelto::platform::detail {

void WriteDebugOutput(const char* text);
void ShowMessageBox(const char* text);

}  // namespace zelto::platform::detail

#endif  // ZELTO_PLATFORM_TRACE_OUTPUT_H_
