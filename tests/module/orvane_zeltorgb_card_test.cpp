// The object with a card behind it (ZeltoSim): what CreateCard and ShowProperties
// trace, how a failed start-up is reported, and that the object owns one card.
#include <gtest/gtest.h>

#include <array>
#include <future>

#include "base/text_exception.h"
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
}

// Both image interfaces reach one geometry: a region set through one is read back
// through the other, aligned as the card aligns it.
TEST_F(COrvaneZeltoRGBCardTest, BothImageInterfacesShareTheRegion) {
  TestBstr key(sim_.host_key());
  ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  ComPtr<IOrvaneImageProp> image;
  ComPtr<IOrvaneZeltoRGBImageProp> card_image;
  ASSERT_EQ(grabber_->QueryInterface(IID_IOrvaneImageProp, image.put_void()), S_OK);
  ASSERT_EQ(grabber_->QueryInterface(IID_IOrvaneZeltoRGBImageProp, card_image.put_void()), S_OK);

  ASSERT_EQ(image->SetROI(639, 480, 2, 0), S_OK);
  int32_t w = 0, h = 0, x = 0, y = 0;
  ASSERT_EQ(card_image->GetRoi(&w, &h, &x, &y), S_OK);
  EXPECT_EQ((std::array<int32_t, 4>{w, h, x, y}), (std::array<int32_t, 4>{640, 480, 4, 0}));
  ASSERT_EQ(card_image->GetImageGeometry(&w, &h, &x, &y), S_OK);
  EXPECT_EQ((std::array<int32_t, 4>{w, h, x, y}), (std::array<int32_t, 4>{640, 480, 4, 0}));
  int32_t bytes = 0, bits = 0;
  ASSERT_EQ(card_image->GetImageBytes(&bytes), S_OK);
  ASSERT_EQ(card_image->GetBitsPerPixel(&bits), S_OK);
  EXPECT_EQ(bytes, 640 * 480 * bits / 8);
  int32_t mode = -1;
  ASSERT_EQ(card_image->GetScalingMode(&mode), S_OK);
  EXPECT_EQ(mode, 0);

  ASSERT_EQ(card_image->SetScalingMode(1), S_OK);
  ASSERT_EQ(card_image->SetScaling(800, 600), S_OK);
  ASSERT_EQ(card_image->GetScaling(&w, &h), S_OK);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 600);
  ASSERT_EQ(image->GetImageGeometry(&w, &h, &x, &y), S_OK);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 600);
}

TEST_F(COrvaneZeltoRGBCardTest, FrameRateAndConstants) {
  ComPtr<IOrvaneZeltoRGBImageProp> card_image;
  ASSERT_EQ(grabber_->QueryInterface(IID_IOrvaneZeltoRGBImageProp, card_image.put_void()), S_OK);
  int32_t value = -1;
  // Before CreateCard only the constant that never reaches the card answers.
  EXPECT_EQ(card_image->GetFrameRate(&value), E_FAIL);
  EXPECT_EQ(card_image->QueryConstantOne(&value), E_FAIL);
  EXPECT_EQ(card_image->QueryConstantZero(&value), S_OK);
  EXPECT_EQ(value, 0);

  TestBstr key(sim_.host_key());
  ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  ASSERT_EQ(card_image->SetFrameRate(7), S_OK);
  ASSERT_EQ(card_image->GetFrameRate(&value), S_OK);
  EXPECT_EQ(value, 7);
  ASSERT_EQ(card_image->GetFixedRateMode(&value), S_OK);
  EXPECT_EQ(value, 1);
  ASSERT_EQ(card_image->SetFixedRateMode(0), S_OK);
  ASSERT_EQ(card_image->GetFixedRateMode(&value), S_OK);
  EXPECT_EQ(value, 0);
  ASSERT_EQ(card_image->QueryConstantOne(&value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(card_image->GetRoi(nullptr, &value, &value, &value), E_POINTER);
  EXPECT_EQ(card_image->GetScaling(&value, nullptr), E_POINTER);
}

// A host SetROI while grabbing would re-create buffers the host may hold: it is
// refused with the error's text, and the frame the host holds stays intact.
TEST_F(COrvaneZeltoRGBCardTest, RegionWhileGrabbingIsRefusedAndHeldFrameSurvives) {
  TestBstr key(sim_.host_key());
  ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  ComPtr<IOrvaneImageProp> image;
  ASSERT_EQ(grabber_->QueryInterface(IID_IOrvaneImageProp, image.put_void()), S_OK);
  ASSERT_EQ(grabber_->AllocateBuffers(2), S_OK);
  ASSERT_EQ(grabber_->EnableGrab(), S_OK);
  ASSERT_EQ(grabber_->ArmBuffer(), S_OK);
  ImageRecord* record = nullptr;
  ASSERT_TRUE(SUCCEEDED(grabber_->GetFrame(&record)));  // S_FALSE when it had to wait
  ASSERT_NE(record, nullptr);
  auto* data = static_cast<volatile uint8_t*>(record->Data);

  EXPECT_EQ(image->SetROI(320, 240, 0, 0), DISP_E_EXCEPTION);
  EXPECT_EQ(testing::TakeErrorInfo().description, kBuffersInUseText);
  data[0] = data[0];  // ASan: the held buffer is still allocated
  int32_t w = 0, h = 0, x = 0, y = 0;
  ASSERT_EQ(image->GetImageGeometry(&w, &h, &x, &y), S_OK);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 768);
  ASSERT_EQ(grabber_->ReleaseCurrentFrame(), S_OK);
  ASSERT_EQ(grabber_->DisableGrab(), S_OK);
  EXPECT_EQ(image->SetROI(320, 240, 0, 0), S_OK);
}

TEST_F(COrvaneZeltoRGBCardTest, ShowPropertiesTracesAndReturnsWithoutADisplay) {
  TestBstr key(sim_.host_key());
  ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  traces_.Clear();
  EXPECT_EQ(grabber_->ShowProperties(nullptr, 0), S_OK);
  EXPECT_TRUE(traces_.HasTrace("****************Show properties pages******************"));
  EXPECT_EQ(grabber_->ShowProperties(nullptr, 1), S_OK);
}

// The settings list through IOrvaneSettingsProp: unbound before CreateCard,
// filled by ShowProperties, strings out into the caller's BSTR, rebuilt by a set.
TEST_F(COrvaneZeltoRGBCardTest, SettingsInterfaceForwardsToTheCardsList) {
  ComPtr<IOrvaneSettingsProp> settings;
  ASSERT_EQ(grabber_->QueryInterface(IID_IOrvaneSettingsProp, settings.put_void()), S_OK);
  int32_t count = -1;
  EXPECT_EQ(settings->GetSettingsCount(&count), E_FAIL);
  EXPECT_EQ(settings->SetSettingValue(6, 1), E_FAIL);

  TestBstr key(sim_.host_key());
  ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  EXPECT_EQ(settings->GetSettingsCount(&count), S_OK);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(grabber_->ShowProperties(nullptr, 0), S_OK);
  EXPECT_EQ(settings->GetSettingsCount(&count), S_OK);
  EXPECT_EQ(count, 4);

  BSTR text = SysAllocString(reinterpret_cast<const OLECHAR*>(u"old"));
  int32_t id = -1;
  ASSERT_EQ(settings->GetSetting(2, &text, &id), S_OK);
  EXPECT_EQ(testing::NarrowTestText(text), "Capture Rate");
  EXPECT_EQ(id, 4);
  int32_t value = -1;
  ASSERT_EQ(settings->GetOption(2, 3, &text, &value), S_OK);
  EXPECT_EQ(testing::NarrowTestText(text), "RGB 24");
  EXPECT_EQ(value, 3);
  EXPECT_EQ(settings->GetOption(2, 4, &text, &value), E_INVALIDARG);
  EXPECT_EQ(settings->GetSetting(4, &text, &id), E_INVALIDARG);
  EXPECT_EQ(settings->GetOption(99, 0, &text, &value), S_OK);
  EXPECT_EQ(testing::NarrowTestText(text), "RGB 24");
  EXPECT_EQ(value, 3);
  SysFreeString(text);

  ASSERT_EQ(settings->SetSettingValue(6, 1), S_OK);
  EXPECT_EQ(settings->GetSettingsCount(&count), S_OK);
  EXPECT_EQ(count, 6);
  EXPECT_EQ(settings->GetSettingValue(6, &value), S_OK);
  EXPECT_EQ(value, 1);
}

// The adjustment list through IOrvaneAdjustment: unbound before CreateCard,
// filled with the settings, the name into the caller's BSTR, an index outside
// the list refused with the outputs untouched, values by id.
TEST_F(COrvaneZeltoRGBCardTest, AdjustmentInterfaceForwardsToTheCardsList) {
  ComPtr<IOrvaneAdjustment> adjustments;
  ASSERT_EQ(grabber_->QueryInterface(IID_IOrvaneAdjustment, adjustments.put_void()), S_OK);
  int32_t count = -1;
  int32_t value = -1;
  double real = -1;
  EXPECT_EQ(adjustments->GetAdjustmentCount(&count), E_FAIL);
  EXPECT_EQ(adjustments->GetIntegerValue(0, &value), E_FAIL);
  EXPECT_EQ(adjustments->SetIntegerValue(0, 1), E_FAIL);
  EXPECT_EQ(adjustments->GetRealValue(0, &real), E_FAIL);
  EXPECT_EQ(adjustments->Trigger(0), E_FAIL);

  TestBstr key(sim_.host_key());
  ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  EXPECT_EQ(adjustments->GetAdjustmentCount(&count), S_OK);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(grabber_->ShowProperties(nullptr, 0), S_OK);
  EXPECT_EQ(adjustments->GetAdjustmentCount(&count), S_OK);
  EXPECT_EQ(count, 6);

  BSTR name = SysAllocString(reinterpret_cast<const OLECHAR*>(u"old"));
  int32_t id = -1, int_min = -1, int_max = -1, is_integer = -1;
  int32_t words[4] = {-1, -1, -1, -1};
  double real_min = -1, real_max = -1;
  ASSERT_EQ(adjustments->GetAdjustmentInfo(5, &id, &name, &int_min, &int_max, &real_min, &real_max,
                                           &is_integer, &words[0], &words[1], &words[2], &words[3]),
            S_OK);
  EXPECT_EQ(testing::NarrowTestText(name), "Vertical Position");
  EXPECT_EQ(id, 10);
  EXPECT_EQ(int_min, 0);
  EXPECT_EQ(int_max, 803);
  EXPECT_EQ(real_min, 0.0);
  EXPECT_EQ(real_max, 0.0);
  EXPECT_EQ(is_integer, 1);
  EXPECT_EQ((std::array<int32_t, 4>{words[0], words[1], words[2], words[3]}),
            (std::array<int32_t, 4>{0, 1, 0, 0}));
  for (int32_t index : {6, -1}) {
    EXPECT_EQ(
        adjustments->GetAdjustmentInfo(index, &id, &name, &int_min, &int_max, &real_min, &real_max,
                                       &is_integer, &words[0], &words[1], &words[2], &words[3]),
        E_INVALIDARG);
  }
  EXPECT_EQ(testing::NarrowTestText(name), "Vertical Position");
  EXPECT_EQ(id, 10);
  EXPECT_EQ(
      adjustments->GetAdjustmentInfo(0, &id, nullptr, &int_min, &int_max, &real_min, &real_max,
                                     &is_integer, &words[0], &words[1], &words[2], &words[3]),
      E_POINTER);
  SysFreeString(name);

  EXPECT_EQ(adjustments->SetIntegerValue(2, 40), S_OK);
  EXPECT_EQ(adjustments->GetIntegerValue(2, &value), S_OK);
  EXPECT_EQ(value, 40);
  EXPECT_EQ(adjustments->GetIntegerValue(3, &value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(adjustments->GetRealValue(2, &real), S_OK);
  EXPECT_EQ(real, 0.0);
  EXPECT_EQ(adjustments->GetAuxValue(2, &value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(adjustments->SetAuxValue(2, 5), S_OK);
  EXPECT_EQ(adjustments->SetRealValue(2, 5.0), S_OK);
  EXPECT_EQ(adjustments->Trigger(2), S_OK);
  EXPECT_EQ(adjustments->GetIntegerValue(2, nullptr), E_POINTER);
  EXPECT_EQ(adjustments->GetIntegerValue(2, &value), S_OK);
  EXPECT_EQ(value, 40);
}

// A capture format change while grabbing would free frames the host holds: it
// is refused with the text, and the object stays usable.
TEST_F(COrvaneZeltoRGBCardTest, SettingThatReallocatesIsRefusedWhileGrabbing) {
  ComPtr<IOrvaneSettingsProp> settings;
  ASSERT_EQ(grabber_->QueryInterface(IID_IOrvaneSettingsProp, settings.put_void()), S_OK);
  TestBstr key(sim_.host_key());
  ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  ASSERT_EQ(grabber_->ShowProperties(nullptr, 0), S_OK);
  ASSERT_EQ(grabber_->AllocateBuffers(2), S_OK);
  ASSERT_EQ(grabber_->EnableGrab(), S_OK);
  EXPECT_EQ(settings->SetSettingValue(2, 1), DISP_E_EXCEPTION);
  EXPECT_EQ(testing::TakeErrorInfo().description, kBuffersInUseText);
  ASSERT_EQ(grabber_->DisableGrab(), S_OK);
  EXPECT_EQ(settings->SetSettingValue(2, 1), S_OK);
  int32_t value = -1;
  EXPECT_EQ(settings->GetSettingValue(2, &value), S_OK);
  EXPECT_EQ(value, 1);
}

// A failed re-initialisation after an input channel change comes out as the
// start-up failure's text; the object answers afterwards and holds no channel.
TEST_F(COrvaneZeltoRGBCardTest, FailedChannelChangeIsReportedAndLeavesNoChannelOpen) {
  sim_.Configure("pacing=free;channels=2");
  ComPtr<IOrvaneSettingsProp> settings;
  ASSERT_EQ(grabber_->QueryInterface(IID_IOrvaneSettingsProp, settings.put_void()), S_OK);
  TestBstr key(sim_.host_key());
  ASSERT_EQ(grabber_->CreateCard(key.get()), S_OK);
  ASSERT_EQ(grabber_->ShowProperties(nullptr, 0), S_OK);
  sim_.InjectError("RGBCaptureOpen", 0x10004, 0);  // RGBERROR_DEVICE_IN_USE
  EXPECT_EQ(settings->SetSettingValue(0, 1), DISP_E_EXCEPTION);
  EXPECT_EQ(testing::TakeErrorInfo().description, "Camera Initialization FAILED...");
  EXPECT_EQ(sim_.Counters().open_handles, 0u);
  int32_t count = -1;
  EXPECT_EQ(settings->GetSettingsCount(&count), S_OK);
  sim_.ClearErrors();
  grabber_.Reset();
  EXPECT_EQ(sim_.Counters().open_handles, 0u);
  EXPECT_EQ(sim_.Counters().live_buffers, 0u);
}

}  // namespace
}  // namespace zelto
