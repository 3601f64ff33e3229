#include "image_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zelto::grab {
namespace {

// Records what the writers were given; holds them at a gate until the test
// opens it, so the slots stay busy for as long as the test needs.
class FakeDisk {
 public:
  ImageWriter::WriteFactory Factory(size_t bytes) {
    return [this, bytes] {
      return [this, bytes](int64_t index, const uint8_t* data, std::string* error) {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return open_; });
        if (index == fail_at_) {
          *error = "disk full";
          return false;
        }
        files_[index].assign(data, data + bytes);
        return true;
      };
    };
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    cv_.notify_all();
  }
  void FailAt(int64_t index) { fail_at_ = index; }
  std::map<int64_t, std::vector<uint8_t>> files() {
    std::lock_guard<std::mutex> lock(mutex_);
    return files_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
  int64_t fail_at_ = -1;
  std::map<int64_t, std::vector<uint8_t>> files_;
};

// The grab loop gives the card's buffer back right after Offer(): the writer
// must have taken its own copy by then.
TEST(ImageWriterTest, WritesACopyTakenAtOffer) {
  FakeDisk disk;
  ImageWriter writer(4, 4, 2, disk.Factory(4));
  std::vector<uint8_t> buffer = {1, 2, 3, 4};
  ASSERT_TRUE(writer.Offer(7, buffer.data()));
  buffer = {9, 9, 9, 9};  // the card refills it
  ASSERT_TRUE(writer.Offer(8, buffer.data()));
  disk.Open();
  std::string error;
  EXPECT_TRUE(writer.Finish(&error)) << error;
  const auto files = disk.files();
  ASSERT_EQ(2u, files.size());
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4}), files.at(7));
  EXPECT_EQ((std::vector<uint8_t>{9, 9, 9, 9}), files.at(8));
  EXPECT_EQ(2, writer.written());
  EXPECT_EQ(0, writer.behind());
}

// A slow disk costs frames on disk, counted, never a wait in the grab loop.
TEST(ImageWriterTest, TurnsFramesAwayWhenEverySlotIsBusy) {
  FakeDisk disk;
  ImageWriter writer(2, 2, 1, disk.Factory(2));
  const uint8_t frame[2] = {5, 6};
  EXPECT_TRUE(writer.Offer(0, frame));
  EXPECT_TRUE(writer.Offer(1, frame));
  EXPECT_FALSE(writer.Offer(2, frame));
  EXPECT_FALSE(writer.Offer(3, frame));
  EXPECT_EQ(2, writer.behind());
  EXPECT_FALSE(writer.failed());
  disk.Open();
  EXPECT_TRUE(writer.Finish(nullptr));
  EXPECT_EQ(2, writer.written());
  EXPECT_EQ(2u, disk.files().size());
  EXPECT_FALSE(writer.Offer(4, frame));  // finished: nothing more is taken
}

TEST(ImageWriterTest, AFailedWriteEndsTheWritingWithItsError) {
  FakeDisk disk;
  disk.FailAt(1);
  ImageWriter writer(1, 4, 1, disk.Factory(1));
  const uint8_t frame[1] = {3};
  ASSERT_TRUE(writer.Offer(0, frame));
  ASSERT_TRUE(writer.Offer(1, frame));
  disk.Open();
  // The failure shows once the writer reaches frame 1; until then the loop may
  // still offer frames.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!writer.failed() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  ASSERT_TRUE(writer.failed());
  EXPECT_FALSE(writer.Offer(2, frame));
  EXPECT_EQ(0, writer.behind());  // refused for the failure, not for a full queue
  std::string error;
  EXPECT_FALSE(writer.Finish(&error));
  EXPECT_EQ("disk full", error);
  EXPECT_EQ(1, writer.written());
}

}  // namespace
}  // namespace zelto::grab
