#include <windows.h>

#include <mutex>

#include "trace_capture.h"

namespace zelto::grab {
namespace {

// OutputDebugStringA raises this with the text's length and address.
constexpr DWORD kDebugPrintException = 0x40010006;

std::mutex g_mutex;
std::string* g_text = nullptr;

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode == kDebugPrintException && record->NumberParameters >= 2) {
    const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    const size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_text != nullptr && text != nullptr && length > 0) {
      g_text->append(text, length - 1);
      if (g_text->empty() || g_text->back() != '\n') g_text->push_back('\n');
    }
  }
  // The system still delivers the text to a debugger or DebugView.
  return EXCEPTION_CONTINUE_SEARCH;
}

PVOID g_handler = nullptr;

}  // namespace

TraceCapture::TraceCapture() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_text = new std::string;
  g_handler = AddVectoredExceptionHandler(1, &OnException);
  available_ = g_handler != nullptr;
}

TraceCapture::~TraceCapture() {
  if (g_handler != nullptr) RemoveVectoredExceptionHandler(g_handler);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_handler = nullptr;
  delete g_text;
  g_text = nullptr;
}

std::string TraceCapture::Text() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_text != nullptr ? *g_text : std::string();
}

}  // namespace zelto::grab
