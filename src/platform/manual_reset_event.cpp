#include "platform/manual_reset_event.h"

namespace zelto::platform {

void ManualResetEvent::Set() {
  MarkSet();
  WakeWaiters();
}

void ManualResetEvent::MarkSet() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = true;
}

void ManualResetEvent::WakeWaiters() { signalled_cv_.notify_all(); }

void ManualResetEvent::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

void ManualResetEvent::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  signalled_cv_.wait(lock, [this] { return signalled_; });
}

bool ManualResetEvent::IsSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

}  // namespace zelto::platform
