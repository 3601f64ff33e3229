// Ends a benchmark host's waits when frames stop flowing, so a broken capture
// path fails the run instead of hanging it: every 5 s without a new frame it
// marks the run stalled and wakes GetFrame and ArmBuffer.
#ifndef ZELTO_BENCH_STALL_GUARD_H_
#define ZELTO_BENCH_STALL_GUARD_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "acquisition/triple_list.h"

namespace zelto {

class StallGuard {
 public:
  StallGuard(CTripleList& queue, const std::atomic<int64_t>& frames)
      : thread_([this, &queue, &frames] {
          std::unique_lock<std::mutex> lock(mutex_);
          int64_t seen = -1;
          while (!done_) {
            if (cv_.wait_for(lock, std::chrono::seconds(5), [this] { return done_; })) break;
            if (frames.load() != seen) {
              seen = frames.load();
              continue;
            }
            stalled_ = true;
            queue.SignalReadEvent();
            queue.SignalGrabEvent();
          }
        }) {}
  ~StallGuard() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  StallGuard(const StallGuard&) = delete;
  StallGuard& operator=(const StallGuard&) = delete;

  bool stalled() const { return stalled_; }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::atomic<bool> stalled_{false};
  std::thread thread_;
};

}  // namespace zelto

#endif  // ZELTO_BENCH_STALL_GUARD_H_
