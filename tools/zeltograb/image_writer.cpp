#include "image_writer.h"

#include <algorithm>
#include <cstring>

namespace zelto::grab {

ImageWriter::ImageWriter(size_t frame_bytes, int slots, int threads, const WriteFactory& factory)
    : frame_bytes_(frame_bytes) {
  const int slot_count = std::max(1, slots);
  for (int i = 0; i < slot_count; ++i) {
    slots_.push_back(std::make_unique<uint8_t[]>(std::max<size_t>(1, frame_bytes)));
    free_.push_back(static_cast<size_t>(i));
  }
  for (int i = 0; i < std::max(1, threads); ++i) {
    threads_.emplace_back([this, factory] { Run(factory()); });
  }
}

ImageWriter::~ImageWriter() { Finish(nullptr); }

bool ImageWriter::Offer(int64_t index, const uint8_t* data) {
  size_t slot;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!error_.empty() || stopping_) return false;
    if (free_.empty()) {
      ++behind_;
      return false;
    }
    slot = free_.back();
    free_.pop_back();
  }
  // The slot is ours alone until it is queued.
  if (frame_bytes_ > 0) std::memcpy(slots_[slot].get(), data, frame_bytes_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({index, slot});
  }
  work_.notify_one();
  return true;
}

void ImageWriter::Run(Write write) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, nothing left
    const Job job = queue_.front();
    queue_.pop_front();
    // After a failure the rest is dropped: the grab is ending anyway.
    const bool skip = !error_.empty();
    lock.unlock();
    std::string error;
    const bool ok = skip || write(job.index, slots_[job.slot].get(), &error);
    lock.lock();
    free_.push_back(job.slot);
    if (skip) continue;
    if (ok) {
      ++written_;
    } else if (error_.empty()) {
      error_ = error.empty() ? "writing an image failed" : error;
    }
  }
}

bool ImageWriter::Finish(std::string* error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!error_.empty() && error != nullptr) *error = error_;
  return error_.empty();
}

bool ImageWriter::failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !error_.empty();
}

int64_t ImageWriter::written() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

int64_t ImageWriter::behind() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return behind_;
}

}  // namespace zelto::grab
