#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <thread>

#include "plugin_os.h"

namespace zelto::timesource {

int64_t PreciseUtcMicroseconds() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
}

LocalZone LocalZoneAt(int64_t utc_seconds) {
  tzset();
  const time_t t = static_cast<time_t>(utc_seconds);
  tm local{};
  LocalZone zone;
  if (localtime_r(&t, &local) == nullptr) return zone;
  zone.offset_seconds = static_cast<int32_t>(local.tm_gmtoff);
  zone.dst = local.tm_isdst > 0;
  return zone;
}

namespace {

speed_t BaudConstant(uint32_t baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B4800;
  }
}

class PosixGpsPort : public GpsPort {
 public:
  PosixGpsPort(int fd, bool stream) : fd_(fd), stream_(stream) {}
  ~PosixGpsPort() override { close(fd_); }

  ReadResult Read(char* buffer, size_t size, uint32_t timeout_ms, size_t* count) override {
    *count = 0;
    if (stream_) {
      pollfd p{fd_, POLLIN, 0};
      const int ready = poll(&p, 1, static_cast<int>(timeout_ms));
      if (ready == 0) return ReadResult::kTimeout;
      if (ready < 0) return errno == EINTR ? ReadResult::kTimeout : ReadResult::kError;
    }
    const ssize_t n = read(fd_, buffer, size);
    if (n > 0) {
      *count = static_cast<size_t>(n);
      return ReadResult::kData;
    }
    if (n == 0) return stream_ ? ReadResult::kTimeout : ReadResult::kEnd;
    if (errno == EAGAIN || errno == EINTR) return ReadResult::kTimeout;
    return ReadResult::kError;
  }
  bool IsStream() const override { return stream_; }

 private:
  int fd_;
  bool stream_;
};

}  // namespace

std::unique_ptr<GpsPort> OpenGpsPort(const std::string& path, uint32_t baud, std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return nullptr;
  }
  struct stat st {};
  fstat(fd, &st);
  const bool stream = !S_ISREG(st.st_mode);
  if (isatty(fd)) {
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
      cfmakeraw(&tio);
      cfsetispeed(&tio, BaudConstant(baud));
      cfsetospeed(&tio, BaudConstant(baud));
      tio.c_cflag |= CLOCAL | CREAD;
      tcsetattr(fd, TCSANOW, &tio);
    }
  }
  return std::make_unique<PosixGpsPort>(fd, stream);
}

struct ReaderThread::Impl {
  std::thread thread;
};

ReaderThread::ReaderThread() : impl_(std::make_unique<Impl>()) {}
ReaderThread::~ReaderThread() { Join(); }

bool ReaderThread::Start(std::function<void()> body) {
  if (impl_->thread.joinable()) return false;
  impl_->thread = std::thread(std::move(body));
  return true;
}

void ReaderThread::Join() {
  if (impl_->thread.joinable()) impl_->thread.join();
}

}  // namespace zelto::timesource
