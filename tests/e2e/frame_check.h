// Checks a delivered frame against ZeltoSim's pattern through what the host
// learns from IOrvaneImageProp.
#ifndef ZELTO_TESTS_E2E_FRAME_CHECK_H_
#define ZELTO_TESTS_E2E_FRAME_CHECK_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>

#include "zeltorgb/zeltorgb.h"
#include "zeltosim_pattern.h"

namespace zelto::testing {

struct FrameFormat {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bits_per_pixel = 0;
  int32_t format = 0;
  sim::PixelLayout layout = sim::PixelLayout::kBgrx32;
};

inline ::testing::AssertionResult LayoutOf(int32_t format, sim::PixelLayout* layout) {
  switch (format) {
    case kZeltoImageFormat555: *layout = sim::PixelLayout::kRgb555; break;
    case kZeltoImageFormat565: *layout = sim::PixelLayout::kRgb565; break;
    case kZeltoImageFormat888: *layout = sim::PixelLayout::kBgrx32; break;
    case kZeltoImageFormatRgb24: *layout = sim::PixelLayout::kBgr24; break;
    default: return ::testing::AssertionFailure() << "unknown image format " << format;
  }
  return ::testing::AssertionSuccess();
}

// The frame number that the first and the last line both carry.
inline ::testing::AssertionResult DecodeFrame(const ImageRecord& record, const FrameFormat& f,
                                              uint32_t* number) {
  if (record.Data == nullptr) return ::testing::AssertionFailure() << "no pixel data";
  const auto* data = static_cast<const uint8_t*>(record.Data);
  size_t stride = static_cast<size_t>(f.width) * static_cast<size_t>(f.bits_per_pixel / 8);
  uint32_t first = 0, last = 0;
  if (!sim::DecodeFrameNumber(data, f.layout, &first)) {
    return ::testing::AssertionFailure() << "first line holds no frame code";
  }
  if (!sim::DecodeFrameNumber(data + stride * static_cast<size_t>(f.height - 1), f.layout, &last)) {
    return ::testing::AssertionFailure() << "last line holds no frame code";
  }
  if (first != last) {
    return ::testing::AssertionFailure() << "torn frame: " << first << " / " << last;
  }
  *number = first;
  return ::testing::AssertionSuccess();
}

// Frame time in microseconds since 1970; checks the fields' ranges and that the
// time is close to now.
inline ::testing::AssertionResult FrameTime(const ImageRecord& record, int64_t* micros) {
  if (record.Milliseconds > 999 || record.Microseconds > 999) {
    return ::testing::AssertionFailure()
           << "bad sub-second fields " << record.Milliseconds << "/" << record.Microseconds;
  }
  int64_t now = static_cast<int64_t>(std::time(nullptr));
  if (record.Seconds < now - 120 || record.Seconds > now + 120) {
    return ::testing::AssertionFailure() << "frame time " << record.Seconds << " vs now " << now;
  }
  *micros = static_cast<int64_t>(record.Seconds) * 1000000 + record.Milliseconds * 1000 +
            record.Microseconds;
  return ::testing::AssertionSuccess();
}

// The host's loop: `buffers` buffers, grab `frames` frames with the buffers kept
// armed, and check order, content, times and the usage counters.
inline void GrabAndCheck(IOrvaneGenericGrabber* grabber, IOrvaneImageProp* image,
                         IOrvaneBufferUsageProp* usage, int buffers, int frames) {
  FrameFormat f;
  int32_t offset_x = 0, offset_y = 0;
  ASSERT_EQ(image->GetImageGeometry(&f.width, &f.height, &offset_x, &offset_y), S_OK);
  ASSERT_EQ(image->GetBitsPerPixel(&f.bits_per_pixel), S_OK);
  ASSERT_EQ(image->GetImageFormat(&f.format), S_OK);
  ASSERT_TRUE(LayoutOf(f.format, &f.layout));
  ASSERT_EQ(f.bits_per_pixel / 8, sim::BytesPerPixel(f.layout));
  ASSERT_GT(f.width, 0);
  ASSERT_GT(f.height, 0);
  int32_t bytes = 0;
  ASSERT_EQ(image->GetImageBytes(&bytes), S_OK);
  EXPECT_EQ(bytes, f.width * f.height * f.bits_per_pixel / 8);

  ASSERT_EQ(grabber->AllocateBuffers(static_cast<int16_t>(buffers)), S_OK);
  int16_t count = 0;
  ASSERT_EQ(grabber->GetBufferCount(&count), S_OK);
  ASSERT_EQ(count, buffers);
  ASSERT_EQ(grabber->EnableGrab(), S_OK);
  int32_t total = 0;
  ASSERT_EQ(usage->GetTotalBuffers(&total), S_OK);
  EXPECT_EQ(total, buffers);
  for (int i = 0; i < buffers; ++i) {
    ASSERT_TRUE(SUCCEEDED(grabber->ArmBuffer()));
  }

  uint32_t previous_number = 0;
  int64_t previous_time = 0;
  for (int i = 0; i < frames; ++i) {
    ImageRecord* record = nullptr;
    HRESULT hr = grabber->GetFrame(&record);
    ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
    ASSERT_NE(record, nullptr) << "frame " << i;
    EXPECT_EQ(record->Reserved1, 0u);
    EXPECT_EQ(record->Reserved2, 0u);
    uint32_t number = 0;
    ASSERT_TRUE(DecodeFrame(*record, f, &number)) << "frame " << i;
    int64_t time = 0;
    ASSERT_TRUE(FrameTime(*record, &time)) << "frame " << i;
    if (i > 0) {
      // Oldest first, none twice; the card may drop frames while no buffer is armed.
      EXPECT_GT(number, previous_number) << "frame " << i;
      EXPECT_GE(time, previous_time) << "frame " << i;
    }
    previous_number = number;
    previous_time = time;
    int32_t ready = -1, peak = -1;
    ASSERT_EQ(usage->GetReadyCount(&ready), S_OK);
    ASSERT_EQ(usage->GetPeakReadyCount(&peak), S_OK);
    EXPECT_GE(ready, 0);
    EXPECT_LE(ready, buffers);
    EXPECT_LE(peak, buffers);
    ASSERT_EQ(grabber->ReleaseCurrentFrame(), S_OK);
    ASSERT_TRUE(SUCCEEDED(grabber->ArmBuffer()));
  }
  ASSERT_EQ(grabber->DisableGrab(), S_OK);
  int32_t peak = 0;
  ASSERT_EQ(usage->GetPeakReadyCount(&peak), S_OK);
  EXPECT_GE(peak, 1);
  // Grabbing stopped: what was still armed comes back as frames or not at all.
  ASSERT_EQ(grabber->ReleaseAllFrames(), S_OK);
  ASSERT_EQ(grabber->FreeAllBuffers(), S_OK);
  ASSERT_EQ(grabber->GetBufferCount(&count), S_OK);
  EXPECT_EQ(count, 0);
}

}  // namespace zelto::testing

#endif  // ZELTO_TESTS_E2E_FRAME_CHECK_H_
