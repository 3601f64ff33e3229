#include "timesource/time_source_manager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>

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
