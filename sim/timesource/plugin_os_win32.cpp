#include <windows.h>

#include <ctime>

#include "plugin_os.h"

namespace zelto::timesource {

namespace {

// 100 ns intervals from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 116444736000000000LL;

using PreciseTimeFn = VOID(WINAPI*)(LPFILETIME);

PreciseTimeFn PreciseTimeFunction() {
  // Windows 8 and later; older systems get the ordinary clock.
  static const PreciseTimeFn fn = reinterpret_cast<PreciseTimeFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
  return fn;
}

}  // namespace

int64_t PreciseUtcMicroseconds() {
  FILETIME ft{};
  if (PreciseTimeFn fn = PreciseTimeFunction()) {
    fn(&ft);
  } else {
    GetSystemTimeAsFileTime(&ft);
  }
  const int64_t t = (int64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
  return (t - kEpochDifference) / 10;
}

LocalZone LocalZoneAt(int64_t utc_seconds) {
  _tzset();
  const __time64_t t = utc_seconds;
  tm local{};
  tm utc{};
  LocalZone zone;
  if (_localtime64_s(&local, &t) != 0 || _gmtime64_s(&utc, &t) != 0) return zone;
  zone.dst = local.tm_isdst > 0;
  // The difference of the two broken-down times, both read as UTC.
  utc.tm_isdst = 0;
  local.tm_isdst = 0;
  zone.offset_seconds = static_cast<int32_t>(_mkgmtime64(&local) - _mkgmtime64(&utc));
  return zone;
}

namespace {

class WinGpsPort : public GpsPort {
 public:
  WinGpsPort(HANDLE h, bool stream) : h_(h), stream_(stream) {}
  ~WinGpsPort() override { CloseHandle(h_); }

  ReadResult Read(char* buffer, size_t size, uint32_t timeout_ms, size_t* count) override {
    *count = 0;
    if (stream_ && timeout_ms != timeout_ms_) {
      // A read returns when bytes pause, or after timeout_ms without any.
      COMMTIMEOUTS t{};
      t.ReadIntervalTimeout = 20;
      t.ReadTotalTimeoutConstant = timeout_ms;
      SetCommTimeouts(h_, &t);
      timeout_ms_ = timeout_ms;
    }
    DWORD n = 0;
    if (!ReadFile(h_, buffer, static_cast<DWORD>(size), &n, nullptr)) {
      return GetLastError() == ERROR_HANDLE_EOF ? ReadResult::kEnd : ReadResult::kError;
    }
    *count = n;
    if (n > 0) return ReadResult::kData;
    return stream_ ? ReadResult::kTimeout : ReadResult::kEnd;
  }
  bool IsStream() const override { return stream_; }

 private:
  HANDLE h_;
  bool stream_;
  uint32_t timeout_ms_ = 0;
};

}  // namespace

std::unique_ptr<GpsPort> OpenGpsPort(const std::string& path, uint32_t baud, std::string* error) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = "error " + std::to_string(GetLastError());
    return nullptr;
  }
  const bool stream = GetFileType(h) == FILE_TYPE_CHAR;
  if (stream) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (GetCommState(h, &dcb)) {
      dcb.BaudRate = baud;
      dcb.ByteSize = 8;
      dcb.Parity = NOPARITY;
      dcb.StopBits = ONESTOPBIT;
      SetCommState(h, &dcb);
    }
  }
  return std::make_unique<WinGpsPort>(h, stream);
}

struct ReaderThread::Impl {
  HANDLE thread = nullptr;
  DWORD thread_id = 0;
  std::function<void()> body;
  HMODULE pin = nullptr;

  static DWORD WINAPI Main(void* arg) {
    Impl* self = static_cast<Impl*>(arg);
    HMODULE pin = self->pin;
    try {
      self->body();
    } catch (...) {
    }
    // Ends the thread without returning into the library that this may unload.
    FreeLibraryAndExitThread(pin, 0);
    return 0;
  }
};

ReaderThread::ReaderThread() : impl_(std::make_unique<Impl>()) {}
ReaderThread::~ReaderThread() { Join(); }

bool ReaderThread::Start(std::function<void()> body) {
  if (impl_->thread != nullptr) return false;
  HMODULE pin = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&Impl::Main), &pin)) {
    return false;
  }
  impl_->body = std::move(body);
  impl_->pin = pin;
  impl_->thread = CreateThread(nullptr, 0, &Impl::Main, impl_.get(), 0, &impl_->thread_id);
  if (impl_->thread == nullptr) {
    FreeLibrary(pin);
    return false;
  }
  return true;
}

void ReaderThread::Join() {
  if (impl_->thread == nullptr) return;
  // The reader's last reference unloads the library on the reader itself.
  if (GetCurrentThreadId() != impl_->thread_id) WaitForSingleObject(impl_->thread, INFINITE);
  CloseHandle(impl_->thread);
  impl_->thread = nullptr;
  impl_->body = nullptr;
}

}  // namespace zelto::timesource
