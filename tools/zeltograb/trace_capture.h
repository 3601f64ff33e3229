// Reads the module's debug output from inside the host process, for as long as a
// TraceCapture lives: on Windows the OutputDebugStringA texts (a vectored
// exception handler sees each before the system does), on POSIX what the module
// writes to stderr with ZELTO_TRACE set. One capture at a time.
#ifndef ZELTO_TOOLS_ZELTOGRAB_TRACE_CAPTURE_H_
#define ZELTO_TOOLS_ZELTOGRAB_TRACE_CAPTURE_H_

#include <string>

namespace zelto::grab {

class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // False when this process cannot read the traces; Text() is then empty.
  bool available() const { return available_; }
  // Every trace so far, one a line.
  std::string Text();

 private:
  bool available_ = false;
  int saved_fd_ = -1;
  int file_fd_ = -1;
  std::string saved_trace_;
  bool had_trace_ = false;
};

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_TRACE_CAPTURE_H_
