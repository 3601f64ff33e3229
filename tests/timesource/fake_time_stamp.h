// A time source plug-in binding without a library: it records what it is asked
// and can change the record or throw, as a plug-in may.
#ifndef ZELTO_TESTS_TIMESOURCE_FAKE_TIME_STAMP_H_
#define ZELTO_TESTS_TIMESOURCE_FAKE_TIME_STAMP_H_

#include <functional>
#include <string>
#include <utility>

#include "timesource/time_stamp.h"

namespace zelto::testing {

// Outlives the fake, which the manager destroys when it unbinds it.
struct FakeTimeStampLog {
  int clear_events = 0;
  int process_image_data = 0;
  int uninitialize = 0;
  bool destroyed = false;
  std::string order;  // one letter per call: C ClearEvents, P ProcessImageData, U Uninitialize
};

class FakeTimeStamp : public CTimeStamp {
 public:
  using Work = std::function<void(ImageRecord*)>;
  explicit FakeTimeStamp(FakeTimeStampLog* log, Work work = nullptr)
      : log_(log), work_(std::move(work)) {}
  ~FakeTimeStamp() override { log_->destroyed = true; }
  void ClearEvents() override {
    ++log_->clear_events;
    log_->order += 'C';
  }
  bool ProcessImageData(ImageRecord* record) override {
    ++log_->process_image_data;
    log_->order += 'P';
    if (work_) work_(record);
    return true;
  }
  // Reads the object itself: a call on a destroyed binding is a use after free.
  uint32_t GetSynchronizationStatus() override { return status_; }
  void Uninitialize() override {
    ++log_->uninitialize;
    log_->order += 'U';
  }

 private:
  FakeTimeStampLog* log_;
  Work work_;
  uint32_t status_ = 7;
};

}  // namespace zelto::testing

#endif  // ZELTO_TESTS_TIMESOURCE_FAKE_TIME_STAMP_H_
