#include "acquisition/triple_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

#include "../timesource/fake_time_stamp.h"
#include "test_support.h"

namespace zelto {
namespace {

using namespace std::chrono_literals;

// The queue on its own: buffers of a fixed size, no driver.
class TestQueue : public CTripleList {
 public:
  explicit TestQueue(int32_t image_bytes = 1000) { ImageBytes = image_bytes; }
  void AllocateBuffers(int32_t count) override {
    if (count >= 1) AddFreeBuffers(count, ImageBytes);
  }
  void ReallocateBuffers() override {
    const int32_t n = GetBufferCount();
    FreeAllBuffers();
    AllocateBuffers(n);
  }
  bool ArmBuffer() override {
    bool waited = false;
    return TakeFreeBuffer(&waited) != nullptr && waited;
  }
  // Arms one buffer, marks its first byte and commits it: a frame.
  void Deliver(uint8_t mark) {
    ASSERT_FALSE(ArmBuffer());
    CZeltoRGBImage* image = FirstPendingImage();
    ASSERT_NE(image, nullptr);
    image->data()[0] = mark;
    ASSERT_TRUE(CommitFrame());
  }
  uint8_t FrameMark() {
    bool waited = false;
    ImageRecord* r = GetFrame(&waited);
    return r == nullptr ? 0xFF : static_cast<uint8_t*>(r->Data)[0];
  }
  using CTripleList::ImageBytes;
};

// GetFrame that is woken at once when nothing is ready: null then.
ImageRecord* GetFrameNow(CTripleList& q) {
  std::atomic<bool> done{false};
  std::thread waker([&] {
    while (!done) {
      q.SignalReadEvent();
      std::this_thread::sleep_for(1ms);
    }
  });
  bool waited = false;
  ImageRecord* record = q.GetFrame(&waited);
  done = true;
  waker.join();
  return record;
}

TEST(TripleListTest, BufferSizeIsRoundedUpWithEightBytesSpare) {
  EXPECT_EQ(CTripleList::RoundUpBufferSize(1'228'800), 1'229'312);
  EXPECT_EQ(CTripleList::RoundUpBufferSize(504), 512);
  EXPECT_EQ(CTripleList::RoundUpBufferSize(505), 1024);
  EXPECT_EQ(CTripleList::RoundUpBufferSize(0), 512);
}

TEST(TripleListTest, AllocationZeroesTheImageAndIgnoresNonPositiveCounts) {
  TestQueue q(700);
  q.AllocateBuffers(0);
  q.AllocateBuffers(-1);
  EXPECT_EQ(q.GetBufferCount(), 0);
  q.AllocateBuffers(2);
  EXPECT_EQ(q.GetBufferCount(), 2);
  ASSERT_FALSE(q.ArmBuffer());
  CZeltoRGBImage* image = q.FirstPendingImage();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->capacity(), 1024u);
  for (int i = 0; i < 700; ++i) ASSERT_EQ(image->data()[i], 0) << i;
}

TEST(TripleListTest, GetFrameReturnsTheOldestUntilReleased) {
  TestQueue q;
  q.AllocateBuffers(3);
  q.Deliver(1);
  q.Deliver(2);
  q.Deliver(3);
  EXPECT_EQ(q.FrameMark(), 1);
  EXPECT_EQ(q.FrameMark(), 1);  // same record, still ready
  q.ReleaseCurrentFrame();
  // A second release without GetFrame releases the frame that followed.
  q.ReleaseCurrentFrame();
  EXPECT_EQ(q.FrameMark(), 3);
  EXPECT_EQ(q.GetBufferCount(), 3);
}

TEST(TripleListTest, ReleaseBeforeAnyGetFrameDoesNothing) {
  TestQueue q;
  q.AllocateBuffers(2);
  q.Deliver(7);
  q.ReleaseCurrentFrame();
  q.DeleteCurrentFrame();
  EXPECT_EQ(q.FrameMark(), 7);
  EXPECT_EQ(q.GetBufferCount(), 2);
}

TEST(TripleListTest, DeleteCurrentFrameEndsTheBuffer) {
  TestQueue q;
  q.AllocateBuffers(2);
  q.Deliver(1);
  q.Deliver(2);
  EXPECT_EQ(q.FrameMark(), 1);
  q.DeleteCurrentFrame();
  EXPECT_EQ(q.GetBufferCount(), 1);
  // The frame after the deleted one is current now.
  q.ReleaseCurrentFrame();
  EXPECT_EQ(q.GetBufferCount(), 1);
  EXPECT_EQ(GetFrameNow(q), nullptr);
}

TEST(TripleListTest, FreeAllBuffersLeavesPendingBuffers) {
  TestQueue q;
  q.AllocateBuffers(3);
  q.Deliver(1);
  ASSERT_FALSE(q.ArmBuffer());  // one pending
  q.FreeAllBuffers();
  EXPECT_EQ(q.GetBufferCount(), 0);
  EXPECT_NE(q.FirstPendingImage(), nullptr);
  EXPECT_TRUE(q.CommitFrame());
  EXPECT_EQ(q.GetBufferCount(), 1);
}

TEST(TripleListTest, EnableGrabReturnsPendingAndReadyBuffersToFree) {
  TestQueue q;
  q.AllocateBuffers(6);
  q.Deliver(1);
  q.Deliver(2);
  ASSERT_FALSE(q.ArmBuffer());
  ASSERT_FALSE(q.ArmBuffer());
  q.EnableGrab();
  EXPECT_EQ(q.GetTotalBuffers(), 6);
  EXPECT_EQ(q.FirstPendingImage(), nullptr);
  EXPECT_EQ(q.GetBufferCount(), 6);
  EXPECT_EQ(q.GetPeakReadyCount(), 0);
  // Nothing is ready any more.
  EXPECT_EQ(GetFrameNow(q), nullptr);
}

TEST(TripleListTest, CommitCountsReadyFramesAndStamps) {
  TestQueue q;
  q.AllocateBuffers(3);
  q.Deliver(1);
  q.Deliver(2);
  EXPECT_EQ(q.GetReadyCount(), 2);
  EXPECT_EQ(q.GetPeakReadyCount(), 2);
  bool waited = false;
  ImageRecord* r = q.GetFrame(&waited);
  ASSERT_NE(r, nullptr);
  EXPECT_FALSE(waited);
  EXPECT_GT(r->Seconds, 1'500'000'000);  // stamped from the wall clock
  EXPECT_LT(r->Milliseconds, 1000);
  EXPECT_LT(r->Microseconds, 1000);
  EXPECT_EQ(r->Reserved1, 0u);
  q.ReleaseCurrentFrame();
  q.Deliver(3);
  EXPECT_EQ(q.GetReadyCount(), 2);
  EXPECT_EQ(q.GetPeakReadyCount(), 2);
  EXPECT_FALSE(q.CommitFrame());  // nothing pending: no move
}

// The waits below are proved by the queue's waiter counts, never by time: a
// thread counted as waiting has reset its event and found its list empty.
TEST(TripleListTest, SignalGrabEventEndsAnArmWaitWithoutBuffer) {
  TestQueue q;
  q.AllocateBuffers(1);
  ASSERT_FALSE(q.ArmBuffer());
  auto armed = std::async(std::launch::async, [&q] {
    bool waited = false;
    CImageWrapper* image = q.TakeFreeBuffer(&waited);
    return std::make_pair(image, waited);
  });
  EXPECT_TRUE(testing::WaitUntil([&] { return q.GetGrabWaiterCount() == 1; }));
  EXPECT_EQ(armed.wait_for(0s), std::future_status::timeout);
  q.SignalGrabEvent();
  auto [image, waited] = armed.get();
  EXPECT_EQ(image, nullptr);
  EXPECT_TRUE(waited);
  EXPECT_EQ(q.GetGrabWaiterCount(), 0);
}

TEST(TripleListTest, ArmWaitEndsWhenTheHostReleasesAFrame) {
  TestQueue q;
  q.AllocateBuffers(1);
  q.Deliver(1);
  auto armed = std::async(std::launch::async, [&q] { return q.ArmBuffer(); });
  EXPECT_TRUE(testing::WaitUntil([&] { return q.GetGrabWaiterCount() == 1; }));
  EXPECT_EQ(armed.wait_for(0s), std::future_status::timeout);
  EXPECT_EQ(q.FrameMark(), 1);
  q.ReleaseCurrentFrame();
  EXPECT_TRUE(armed.get());  // armed after waiting: the host's "overrun"
  EXPECT_NE(q.FirstPendingImage(), nullptr);
  EXPECT_EQ(q.GetGrabWaiterCount(), 0);
}

TEST(TripleListTest, GetFrameWaitsForACommitAndReportsTheWait) {
  TestQueue q;
  q.AllocateBuffers(1);
  auto got = std::async(std::launch::async, [&q] {
    bool waited = false;
    ImageRecord* r = q.GetFrame(&waited);
    return std::make_pair(r, waited);
  });
  EXPECT_TRUE(testing::WaitUntil([&] { return q.GetReadWaiterCount() == 1; }));
  EXPECT_EQ(got.wait_for(0s), std::future_status::timeout);
  q.Deliver(9);
  auto [record, waited] = got.get();
  ASSERT_NE(record, nullptr);
  EXPECT_TRUE(waited);
  EXPECT_EQ(static_cast<uint8_t*>(record->Data)[0], 9);
  EXPECT_EQ(q.GetReadWaiterCount(), 0);
}

TEST(TripleListTest, SignalReadEventEndsAGetFrameWaitWithNull) {
  TestQueue q;
  auto got = std::async(std::launch::async, [&q] {
    bool waited = false;
    return q.GetFrame(&waited);
  });
  EXPECT_TRUE(testing::WaitUntil([&] { return q.GetReadWaiterCount() == 1; }));
  EXPECT_EQ(got.wait_for(0s), std::future_status::timeout);
  q.SignalReadEvent();
  EXPECT_EQ(got.get(), nullptr);
  EXPECT_EQ(q.GetReadWaiterCount(), 0);
}

// Destroying the queue used to destroy the events a host thread slept on: the
// waiter hung for ever (or woke inside freed memory). Every waiter now wakes and
// leaves with nothing before the queue goes, and a later call does not wait.
TEST(TripleListTest, DestructionWakesEveryWaiterWithNothing) {
  auto q = std::make_unique<TestQueue>();
  auto read = std::async(std::launch::async, [&q] {
    bool waited = false;
    ImageRecord* r = q->GetFrame(&waited);
    return std::make_pair(r, waited);
  });
  auto arm = std::async(std::launch::async, [&q] {
    bool waited = false;
    CImageWrapper* image = q->TakeFreeBuffer(&waited);
    return std::make_pair(image, waited);
  });
  ASSERT_TRUE(testing::WaitUntil(
      [&] { return q->GetReadWaiterCount() == 1 && q->GetGrabWaiterCount() == 1; }));
  q.reset();
  const auto [record, read_waited] = read.get();
  EXPECT_EQ(record, nullptr);
  EXPECT_TRUE(read_waited);
  const auto [image, arm_waited] = arm.get();
  EXPECT_EQ(image, nullptr);
  EXPECT_TRUE(arm_waited);
}

TEST(TripleListTest, ClosedQueueAnswersAtOnce) {
  TestQueue q;
  q.AllocateBuffers(2);
  q.Deliver(3);
  q.CloseQueue();
  bool waited = false;
  EXPECT_EQ(q.GetFrame(&waited), nullptr);
  EXPECT_TRUE(waited);
  EXPECT_EQ(q.TakeFreeBuffer(&waited), nullptr);
  EXPECT_TRUE(waited);
}

// Guards against a commit whose read event is set apart from its move: the host
// takes that frame, waits again and is woken by the late set to an empty list,
// so GetFrame returns null while frames flow.
TEST(TripleListTest, WaitingGetFrameWakesOnlyToAFrameWhileFramesFlow) {
  TestQueue q;
  q.AllocateBuffers(3);
  std::atomic<bool> done{false};
  std::thread capture([&] {
    while (!done) {
      if (q.FirstPendingImage() != nullptr) {
        q.CommitFrame();
      } else {
        std::this_thread::yield();
      }
    }
  });
  for (int i = 0; i < 2; ++i) q.ArmBuffer();
  int null_frames = 0;
  for (int i = 0; i < 20000 && null_frames == 0; ++i) {
    bool waited = false;
    if (q.GetFrame(&waited) == nullptr) {
      ++null_frames;
      break;
    }
    q.ReleaseCurrentFrame();
    q.ArmBuffer();
  }
  done = true;
  capture.join();
  EXPECT_EQ(null_frames, 0);
}

// The same for the other event: a release whose grab event is set apart from its
// move lets an arming host thread wake to an empty free list and arm nothing
// while buffers keep coming back.
TEST(TripleListTest, WaitingArmWakesOnlyToAFreeBufferWhileFramesReturn) {
  TestQueue q;
  q.AllocateBuffers(2);
  std::atomic<bool> done{false};
  std::thread capture([&] {
    while (!done) {
      if (q.FirstPendingImage() != nullptr) {
        q.CommitFrame();
      } else {
        std::this_thread::yield();
      }
    }
  });
  std::atomic<bool> reader_done{false};
  std::thread reader([&] {
    while (!done) {
      bool waited = false;
      if (q.GetFrame(&waited) != nullptr) q.ReleaseCurrentFrame();
    }
    reader_done = true;
  });
  int empty_arms = 0;
  for (int i = 0; i < 20000; ++i) {
    bool waited = false;
    if (q.TakeFreeBuffer(&waited) == nullptr) {
      ++empty_arms;
      break;
    }
  }
  done = true;
  while (!reader_done) {
    q.SignalReadEvent();
    std::this_thread::sleep_for(1ms);
  }
  reader.join();
  capture.join();
  EXPECT_EQ(empty_arms, 0);
}

TEST(TripleListTest, ReallocateKeepsFreeAndReadyCountAtTheNewSize) {
  TestQueue q(100);
  q.AllocateBuffers(4);
  q.Deliver(1);
  ASSERT_FALSE(q.ArmBuffer());  // pending: neither counted nor freed
  EXPECT_EQ(q.GetBufferCount(), 3);
  q.ImageBytes = 5000;
  q.ReallocateBuffers();
  EXPECT_EQ(q.GetBufferCount(), 3);
  ASSERT_TRUE(q.CommitFrame());  // the old pending buffer, still small
  EXPECT_EQ(q.FrameMark(), 0);
  q.ReleaseCurrentFrame();
  ASSERT_FALSE(q.ArmBuffer());
  EXPECT_EQ(q.FirstPendingImage()->capacity(), 5120u);
}

TEST(TripleListTest, OffsetsApplyOnCommit) {
  TestQueue q(16);
  q.AllocateBuffers(2);
  q.TimeSources().SetOffsets(0, 1, 30);
  ASSERT_FALSE(q.ArmBuffer());
  uint8_t* data = q.FirstPendingImage()->data();
  const uint8_t code[4] = {0x29, 0x59, 0x59, 0x23};
  std::memcpy(data, code, 4);
  ASSERT_TRUE(q.CommitFrame());
  EXPECT_EQ(data[0], 0);
  EXPECT_EQ(data[3], 0);
}

// The queue hands a bound plug-in every committed frame and tells it of the
// grab's start and end; destroying the queue destroys the binding.
TEST(TripleListTest, BoundTimeSourceSeesEveryCommitAndTheGrab) {
  testing::FakeTimeStampLog log;
  {
    TestQueue q;
    q.AllocateBuffers(3);
    q.TimeSources().SetTimeSource(std::make_unique<testing::FakeTimeStamp>(&log));
    q.Deliver(1);
    q.Deliver(2);
    EXPECT_EQ(log.process_image_data, 2);
    ASSERT_FALSE(q.ArmBuffer());
    q.EnableGrab();  // told, and the pending buffer committed on the way
    EXPECT_EQ(log.clear_events, 1);
    EXPECT_EQ(log.process_image_data, 3);
    ASSERT_FALSE(q.ArmBuffer());
    q.DisableGrab();
    EXPECT_EQ(log.uninitialize, 1);
    EXPECT_EQ(log.process_image_data, 4);
    EXPECT_FALSE(log.destroyed);
  }
  EXPECT_TRUE(log.destroyed);
}

TEST(TripleListTest, TimeCodeOffsetSkipsImagesSmallerThanATimeCode) {
  TestQueue q(2);
  q.AllocateBuffers(1);
  q.TimeSources().SetOffsets(0, 1, 30);
  ASSERT_FALSE(q.ArmBuffer());
  uint8_t* data = q.FirstPendingImage()->data();
  const uint8_t code[4] = {0x29, 0x59, 0x59, 0x23};
  std::memcpy(data, code, 4);
  ASSERT_TRUE(q.CommitFrame());
  EXPECT_EQ(0, std::memcmp(data, code, 4));
}

}  // namespace
}  // namespace zelto
