// The object with a card behind it (ZeltoSim): what CreateCard and ShowProperties
// trace, how a failed start-up is reported, and that the object owns one card.
#include <gtest/gtest.h>

#include <future>

#include "card/zelto_rgb_card.h"
#include "com_test_util.h"
#include "module/orvane_zeltorgb.h"
#include "sim_card.h"

namespace zelto {
namespace {

using testing::ComPtr;
using testing::TestBstr;

class COrvaneZeltoRGBCardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.Configure("pacing=free");
    ASSERT_EQ(
        COrvaneZeltoRGB::CreateInstance(nullptr, IID_IOrvaneGenericGrabber, grabber_.put_void()),
        S_OK);
  }

  testing::TraceCapture traces_;
  testing::SimCard sim_{ZELTOSIM_PATH};
  ComPtr<IOrvaneGenericGrabber> grabber_;
};

TEST_F(COrvaneZeltoRGBCardTest, CreateCardTracesAndOpensOneChannel) {
  TestBstr key(sim_.host_key());
  ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  EXPECT_TRUE(traces_.HasTrace("ZeltoRGB - Loading ZeltoRGB"));
  EXPECT_EQ(sim_.Counters().open_handles, 1u);
  // A second CreateCard replaces the card instead of leaking the first one's channel.
  ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  EXPECT_EQ(sim_.Counters().open_handles, 1u);
  grabber_.Reset();
  EXPECT_EQ(sim_.Counters().open_handles, 0u);
  EXPECT_EQ(sim_.Counters().live_buffers, 0u);
}

TEST_F(COrvaneZeltoRGBCardTest, FailedStartUpShowsItsMessageAndReportsTheText) {
  sim_.UnregisterDriver();
  TestBstr key(sim_.host_key());
  EXPECT_EQ(grabber_->CreateCard(key.get()), DISP_E_EXCEPTION);
  EXPECT_EQ(testing::TakeErrorInfo().description, "Camera Initialization FAILED...");
  EXPECT_FALSE(traces_.MessageBoxes().empty());
  EXPECT_EQ(grabber_->ReallocateBuffers(), E_FAIL);
}

// Every channel held by another program: CreateCard used to answer S_OK for a
// card with no channel open, and AllocateBuffers and EnableGrab followed suit.
TEST_F(COrvaneZeltoRGBCardTest, CreateCardFailsWhenNoChannelOpens) {
  sim_.InjectError("RGBCaptureOpen", 0x10004, 0);  // RGBERROR_DEVICE_IN_USE
  TestBstr key(sim_.host_key());
  EXPECT_EQ(grabber_->CreateCard(key.get()), DISP_E_EXCEPTION);
  EXPECT_EQ(testing::TakeErrorInfo().description, "Camera Initialization FAILED...");
  EXPECT_EQ(grabber_->AllocateBuffers(2), E_FAIL);
  EXPECT_EQ(grabber_->EnableGrab(), E_FAIL);
  EXPECT_EQ(sim_.Counters().open_handles, 0u);
}

// A second CreateCard, or the last Release, while host threads wait in GetFrame
// and ArmBuffer used to destroy the events they slept on: they hung for ever.
// Each now returns without a frame: GetFrame S_FALSE with a null record,
// ArmBuffer S_OK having armed nothing.
TEST_F(COrvaneZeltoRGBCardTest, DestroyingTheCardReleasesWaitingHostThreads) {
  for (const bool by_release : {false, true}) {
    SCOPED_TRACE(by_release);
    ComPtr<IOrvaneGenericGrabber> grabber;
    ASSERT_EQ(
        COrvaneZeltoRGB::CreateInstance(nullptr, IID_IOrvaneGenericGrabber, grabber.put_void()),
        S_OK);
    TestBstr key(sim_.host_key());
    ASSERT_EQ(grabber->CreateCard(key.get()), S_OK);
    ASSERT_EQ(grabber->AllocateBuffers(1), S_OK);
    ASSERT_EQ(grabber->ArmBuffer(), S_OK);  // no buffer is free after this
    IOrvaneGenericGrabber* raw = grabber.get();
    CZeltoRGBCard* card = static_cast<COrvaneZeltoRGB*>(raw)->card_for_testing();
    auto frame = std::async(std::launch::async, [raw] {
      ImageRecord* record = reinterpret_cast<ImageRecord*>(1);
      const HRESULT hr = raw->GetFrame(&record);
      return std::make_pair(hr, record);
    });
    auto arm = std::async(std::launch::async, [raw] { return raw->ArmBuffer(); });
    ASSERT_TRUE(testing::WaitUntil(
        [card] { return card->GetReadWaiterCount() == 1 && card->GetGrabWaiterCount() == 1; }));
    if (by_release) {
      grabber.Reset();
    } else {
      EXPECT_EQ(grabber->CreateCard(key.get()), S_OK);
    }
    const auto [hr, record] = frame.get();
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(arm.get(), S_OK);
  }
}

TEST_F(COrvaneZeltoRGBCardTest, ImagePropertiesComeFromTheCard) {
  TestBstr key(sim_.host_key());
  ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  ComPtr<IOrvaneImageProp> image;
  ASSERT_EQ(grabber_->QueryInterface(IID_IOrvaneImageProp, image.put_void()), S_OK);
  int32_t width = 0, height = 0, x = -1, y = -1, bits = 0, depth = 0, bytes = 0, format = 0;
  ASSERT_EQ(image->GetImageGeometry(&width, &height, &x, &y), S_OK);
  ASSERT_EQ(image->GetBitsPerPixel(&bits), S_OK);
  ASSERT_EQ(image->GetBitDepth(&depth), S_OK);
  ASSERT_EQ(image->GetImageBytes(&bytes), S_OK);
  ASSERT_EQ(image->GetImageFormat(&format), S_OK);
  EXPECT_GT(width, 0);
  EXPECT_GT(height, 0);
  EXPECT_EQ(bytes, width * height * bits / 8);
  EXPECT_EQ(depth, bits == 16 ? 16 : 8);
  EXPECT_NE(format, 0);
  // The region of interest is not served yet.
  EXPECT_EQ(image->SetROI(640, 480, 0, 0), E_NOTIMPL);
}

TEST_F(COrvaneZeltoRGBCardTest, ShowPropertiesTracesAndReturnsWithoutADisplay) {
  TestBstr key(sim_.host_key());
  ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  traces_.Clear();
  EXPECT_EQ(grabber_->ShowProperties(nullptr, 0), S_OK);
  EXPECT_TRUE(traces_.HasTrace("****************Show properties pages******************"));
  EXPECT_EQ(grabber_->ShowProperties(nullptr, 1), S_OK);
}

}  // namespace
}  // namespace zelto
