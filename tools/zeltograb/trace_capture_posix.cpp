#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "trace_capture.h"

namespace zelto::grab {

// The module traces to the process's stderr when ZELTO_TRACE is set: stderr goes
// to a temporary file meanwhile, and what else the tool writes there is kept too.
TraceCapture::TraceCapture() {
  if (const char* previous = std::getenv("ZELTO_TRACE")) {
    had_trace_ = true;
    saved_trace_ = previous;
  }
  char path[] = "/tmp/zeltograb-trace.XXXXXX";
  file_fd_ = mkstemp(path);
  if (file_fd_ < 0) return;
  unlink(path);
  std::fflush(stderr);
  saved_fd_ = dup(2);
  if (saved_fd_ < 0 || dup2(file_fd_, 2) < 0) return;
  setenv("ZELTO_TRACE", "1", 1);
  available_ = true;
}

TraceCapture::~TraceCapture() {
  std::string text = Text();
  if (saved_fd_ >= 0) {
    dup2(saved_fd_, 2);
    close(saved_fd_);
  }
  if (file_fd_ >= 0) close(file_fd_);
  if (had_trace_) {
    setenv("ZELTO_TRACE", saved_trace_.c_str(), 1);
    // What came with the traces because the user asked for them goes on.
    std::fputs(text.c_str(), stderr);
  } else {
    unsetenv("ZELTO_TRACE");
  }
}

std::string TraceCapture::Text() {
  if (!available_) return {};
  std::fflush(stderr);
  std::string text;
  char buffer[4096];
  off_t at = 0;
  for (;;) {
    const ssize_t n = pread(file_fd_, buffer, sizeof buffer, at);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
    at += n;
  }
  return text;
}

}  // namespace zelto::grab
