#include "timesource/time_source_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

#include "test_support.h"

#include "fake_time_stamp.h"

namespace zelto {
namespace {

using testing::FakeTimeStamp;
using testing::FakeTimeStampLog;

// A stamped frame whose image starts with the time code 10:20:30 frame 5.
struct Frame {
  Frame() {
    const uint8_t code[4] = {0x05, 0x30, 0x20, 0x10};
    std::memcpy(pixels, code, 4);
    record.Data = pixels;
    record.Seconds = 10;
    record.Milliseconds = 999;
    record.Microseconds = 999;
  }
  uint8_t pixels[16] = {};
  ImageRecord record{};
};

// The offsets act on what the plug-in left in the record, not on the stamp
// before it: a manager that applied them first would lose them to the plug-in.
TEST(TimeSourceManagerTest, OffsetsApplyAfterThePlugInsWork) {
  CTimeSourceManager manager;
  FakeTimeStampLog log;
  manager.SetTimeSource(std::make_unique<FakeTimeStamp>(&log, [](ImageRecord* r) {
    r->Seconds = 100;
    r->Milliseconds = 0;
    r->Microseconds = 0;
    static_cast<uint8_t*>(r->Data)[0] = 0x09;  // frame 9
  }));
  manager.SetOffsets(1, 2, 30);
  Frame frame;
  manager.ProcessFrame(&frame.record, sizeof(frame.pixels));
  EXPECT_EQ(log.process_image_data, 1);
  EXPECT_EQ(frame.record.Seconds, 100);
  EXPECT_EQ(frame.record.Milliseconds, 0);
  EXPECT_EQ(frame.record.Microseconds, 1);
  EXPECT_EQ(frame.pixels[0], 0x11);  // frame 11
}

// The offset moves the stamp the plug-in left by exactly its microseconds, with
// the carry and borrow across the second.
TEST(TimeSourceManagerTest, TimeOffsetMovesThePlugInsStampExactly) {
  struct Case {
    int32_t offset_us;
    ImageRecord stamp;
    ImageRecord expected;
  };
  const Case cases[] = {
      {-1, {nullptr, 0, 0, 10, 0, 0}, {nullptr, 0, 0, 9, 999, 999}},
      {1'000'000, {nullptr, 0, 0, 10, 999, 999}, {nullptr, 0, 0, 11, 999, 999}},
      {1'000'000, {nullptr, 0, 0, -1, 0, 1}, {nullptr, 0, 0, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    CTimeSourceManager manager;
    FakeTimeStampLog log;
    const ImageRecord stamp = c.stamp;
    manager.SetTimeSource(std::make_unique<FakeTimeStamp>(&log, [stamp](ImageRecord* r) {
      r->Seconds = stamp.Seconds;
      r->Milliseconds = stamp.Milliseconds;
      r->Microseconds = stamp.Microseconds;
    }));
    manager.SetOffsets(c.offset_us, 0, 30);
    Frame frame;
    manager.ProcessFrame(&frame.record, sizeof(frame.pixels));
    EXPECT_EQ(frame.record.Seconds, c.expected.Seconds) << c.offset_us;
    EXPECT_EQ(frame.record.Milliseconds, c.expected.Milliseconds) << c.offset_us;
    EXPECT_EQ(frame.record.Microseconds, c.expected.Microseconds) << c.offset_us;
  }
}

TEST(TimeSourceManagerTest, ThrowingPlugInIsUnboundForGoodAndOffsetsStillApply) {
  CTimeSourceManager manager;
  FakeTimeStampLog log;
  manager.SetTimeSource(std::make_unique<FakeTimeStamp>(
      &log, [](ImageRecord*) { throw std::runtime_error("plug-in failure"); }));
  manager.SetOffsets(1, 0, 30);
  Frame frame;
  manager.ProcessFrame(&frame.record, sizeof(frame.pixels));
  EXPECT_TRUE(log.destroyed);
  EXPECT_FALSE(manager.IsBound());
  EXPECT_EQ(frame.record.Seconds, 11);  // 10 s 999 ms 999 us + 1 us
  EXPECT_EQ(frame.record.Milliseconds, 0);
  EXPECT_EQ(frame.record.Microseconds, 0);
  // The system clock from then on: no call reaches the plug-in again.
  Frame next;
  manager.ProcessFrame(&next.record, sizeof(next.pixels));
  EXPECT_EQ(log.process_image_data, 1);
  manager.ClearEvents();
  manager.Uninitialize();
  EXPECT_EQ(log.clear_events, 0);
  EXPECT_EQ(log.uninitialize, 0);
}

// The host's queries run while the capture side unbinds a throwing plug-in: each
// query keeps the binding it took alive until it returns (ASan, TSan).
TEST(TimeSourceManagerTest, QueriesDuringAThrowNeverReachADestroyedBinding) {
  for (int round = 0; round < 50; ++round) {
    CTimeSourceManager manager;
    FakeTimeStampLog log;
    manager.SetTimeSource(std::make_unique<FakeTimeStamp>(&log, [&log](ImageRecord*) {
      if (log.process_image_data == 5) throw std::runtime_error("plug-in failure");
    }));
    std::atomic<int> answered{0};
    std::thread host([&] {
      while (manager.GetSynchronizationStatus() == 7) ++answered;
    });
    ASSERT_TRUE(testing::WaitUntil([&] { return answered > 0; }));
    Frame frame;
    for (int i = 0; i < 10; ++i) manager.ProcessFrame(&frame.record, sizeof(frame.pixels));
    host.join();  // ends once the binding is gone
    EXPECT_TRUE(log.destroyed);
    EXPECT_EQ(log.process_image_data, 5);
  }
}

// A throw out of the grab's start or end calls unbinds like one out of a frame.
TEST(TimeSourceManagerTest, ThrowingClearEventsOrUninitializeUnbinds) {
  struct Throwing : FakeTimeStamp {
    using FakeTimeStamp::FakeTimeStamp;
    void ClearEvents() override { throw std::runtime_error("clear"); }
    void Uninitialize() override { throw std::runtime_error("uninitialize"); }
  };
  for (void (CTimeSourceManager::*call)() :
       {&CTimeSourceManager::ClearEvents, &CTimeSourceManager::Uninitialize}) {
    CTimeSourceManager manager;
    FakeTimeStampLog log;
    manager.SetTimeSource(std::make_unique<Throwing>(&log));
    (manager.*call)();
    EXPECT_TRUE(log.destroyed);
    EXPECT_FALSE(manager.IsBound());
  }
}

TEST(TimeSourceManagerTest, TimeCodeOffsetNeedsFourBytesOfImage) {
  CTimeSourceManager manager;
  manager.SetOffsets(0, 1, 30);
  Frame frame;
  manager.ProcessFrame(&frame.record, 3);
  EXPECT_EQ(frame.pixels[0], 0x05);
  manager.ProcessFrame(&frame.record, 4);
  EXPECT_EQ(frame.pixels[0], 0x06);
}

}  // namespace
}  // namespace zelto
