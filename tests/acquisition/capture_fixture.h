// Helpers for tests that run the capture thread against ZeltoSim.
#ifndef ZELTO_TESTS_ACQUISITION_CAPTURE_FIXTURE_H_
#define ZELTO_TESTS_ACQUISITION_CAPTURE_FIXTURE_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "card/zelto_rgb_card.h"
#include "zeltosim_pattern.h"

namespace zelto {

using namespace std::chrono_literals;

class CaptureCard : public CZeltoRGBCard {
 public:
  using CZeltoRGBCard::Channel;
  using CZeltoRGBCard::CZeltoRGBCard;
  using CZeltoRGBCard::Pacer;
  using CZeltoRGBCard::SetFramePacing;
  using CZeltoRGBCard::SignalPresent;

  // What the capture format setting will do: renegotiate for the driver's pixel
  // format and, for "RGB 24", convert the 32-bit pixels.
  void UseFormat(sim::PixelLayout layout) {
    Format.CaptureFormat =
        layout == sim::PixelLayout::kRgb565 ? 1 : (layout == sim::PixelLayout::kRgb555 ? 0 : 2);
    GetCapabilities();
    Format.ConvertTo24 = layout == sim::PixelLayout::kBgr24;
    if (Format.ConvertTo24) Format.BytesPerPixel = 3;
    GetImageBytes();
  }
};

// Ends every wait of the host after a deadline so a broken capture path fails
// the test instead of hanging it.
class Watchdog {
 public:
  Watchdog(CTripleList& queue, std::chrono::seconds limit)
      : thread_([this, &queue, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_cv_.wait_for(lock, limit, [this] { return done_; })) {
            fired_ = true;
            lock.unlock();
            while (!done_flag_) {
              queue.SignalReadEvent();
              queue.SignalGrabEvent();
              std::this_thread::sleep_for(10ms);
            }
          }
        }) {}
  ~Watchdog() { Stop(); }
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_flag_ = true;
    done_cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  bool fired() const { return fired_; }

 private:
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::atomic<bool> done_flag_{false};
  std::atomic<bool> fired_{false};
  std::thread thread_;
};

}  // namespace zelto

#endif  // ZELTO_TESTS_ACQUISITION_CAPTURE_FIXTURE_H_
