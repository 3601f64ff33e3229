// LoadingFlag: the card's LoadingSettings. While it reads true, a setter applies
// its value without writing it to the registry, so stored values that are being
// loaded are not written back. Set with `= true` / `= false` it holds for every
// thread (the whole of a start-up). A ThisThread guard makes it read true on the
// calling thread only: the capture thread loading the stored values when a
// signal first arrives, while a host thread's changes meanwhile still persist.
#ifndef ZELTO_SETTINGS_LOADING_FLAG_H_
#define ZELTO_SETTINGS_LOADING_FLAG_H_

#include <atomic>

namespace zelto {

class LoadingFlag {
 public:
  LoadingFlag() = default;
  LoadingFlag(const LoadingFlag&) = delete;
  LoadingFlag& operator=(const LoadingFlag&) = delete;

  LoadingFlag& operator=(bool on) {
    on_ = on;
    return *this;
  }
  operator bool() const { return on_ || this_thread_ == this; }

  // `flag` reads true on the constructing thread until destruction.
  class ThisThread {
   public:
    explicit ThisThread(const LoadingFlag& flag) : previous_(this_thread_) { this_thread_ = &flag; }
    ~ThisThread() { this_thread_ = previous_; }
    ThisThread(const ThisThread&) = delete;
    ThisThread& operator=(const ThisThread&) = delete;

   private:
    const LoadingFlag* previous_;
  };

 private:
  std::atomic<bool> on_{false};
  static inline thread_local const LoadingFlag* this_thread_ = nullptr;
};

}  // namespace zelto

#endif  // ZELTO_SETTINGS_LOADING_FLAG_H_
