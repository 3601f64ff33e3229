// Writes image files off the grab loop. The loop hands each frame it wants on
// disk to Offer(), which copies it into one of a fixed number of slots and
// returns at once; writer threads turn the copies into files. When every slot
// is still waiting for the disk or the encoder, the frame is not written and
// counted as "writer behind": the card's buffers go back at once either way, so
// a slow disk never makes the module drop a frame.
#ifndef ZELTO_TOOLS_ZELTOGRAB_IMAGE_WRITER_H_
#define ZELTO_TOOLS_ZELTOGRAB_IMAGE_WRITER_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zelto::grab {

class ImageWriter {
 public:
  // Writes the frame numbered `index` from `data`; false with `*error` set on
  // failure. Each writer thread calls the factory once, on itself, before its
  // first write, and keeps what it returns.
  using Write = std::function<bool(int64_t index, const uint8_t* data, std::string* error)>;
  using WriteFactory = std::function<Write()>;

  // `frame_bytes` per copy, `slots` copies at most in flight (at least 1),
  // `threads` writers (at least 1).
  ImageWriter(size_t frame_bytes, int slots, int threads, const WriteFactory& factory);
  // Finish(), discarding its error.
  ~ImageWriter();
  ImageWriter(const ImageWriter&) = delete;
  ImageWriter& operator=(const ImageWriter&) = delete;

  // Copies frame_bytes of `data` and queues them as frame `index`. False, with
  // nothing queued and the frame counted as behind, when no slot is free; false
  // too once a write has failed (see failed()).
  bool Offer(int64_t index, const uint8_t* data);

  // Writes what is queued, stops the writers and returns false with the first
  // write error in `*error` (when not null) if any write failed. Idempotent.
  bool Finish(std::string* error);

  // A write failed: nothing more is queued.
  bool failed() const;
  int64_t written() const;
  // Frames Offer() turned away because every slot was busy.
  int64_t behind() const;

 private:
  struct Job {
    int64_t index;
    size_t slot;
  };
  void Run(Write write);

  const size_t frame_bytes_;
  std::vector<std::unique_ptr<uint8_t[]>> slots_;
  mutable std::mutex mutex_;
  std::condition_variable work_;
  std::vector<size_t> free_;  // slots not holding a queued or written frame
  std::deque<Job> queue_;
  bool stopping_ = false;
  std::string error_;
  int64_t written_ = 0;
  int64_t behind_ = 0;
  std::vector<std::thread> threads_;
};

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_IMAGE_WRITER_H_
