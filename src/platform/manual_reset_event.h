// A manual-reset event on the standard library: stays signalled from Set() until
// Reset(); Wait() returns at once while it is signalled. Any thread may call any
// method.
#ifndef ZELTO_PLATFORM_MANUAL_RESET_EVENT_H_
#define ZELTO_PLATFORM_MANUAL_RESET_EVENT_H_

#include <condition_variable>
#include <mutex>

namespace zelto::platform {

class ManualResetEvent {
 public:
  ManualResetEvent() = default;
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  void Set();
  // Set in two steps: MarkSet makes the event signalled without waking anyone,
  // WakeWaiters wakes the threads in Wait. A caller marks under its own lock and
  // wakes after letting go of it, so a woken thread does not block on that lock
  // at once. A thread woken while the event is not (or no longer) set waits on.
  void MarkSet();
  void WakeWaiters();
  void Reset();
  void Wait();
  bool IsSet() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable signalled_cv_;
  bool signalled_ = false;
};

}  // namespace zelto::platform

#endif  // ZELTO_PLATFORM_MANUAL_RESET_EVENT_H_
