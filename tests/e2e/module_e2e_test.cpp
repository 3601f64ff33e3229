// The built module as a host meets it: loaded by path, objects from its factory,
// frames from ZeltoSim through the host interfaces only.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "../module/com_test_util.h"
#include "frame_check.h"
#include "module_host.h"
#include "sim_card.h"

namespace zelto {
namespace {

using testing::ComPtr;
using testing::TakeErrorInfo;
using testing::TestBstr;

template <typename T>
ComPtr<T> Query(IUnknown* object, REFIID riid) {
  ComPtr<T> result;
  EXPECT_EQ(object->QueryInterface(riid, result.put_void()), S_OK);
  return result;
}

// An outer object that hands out the inner object's interfaces, as a host's
// aggregating wrapper does.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown)) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  std::atomic<ULONG> references{1};
  IUnknown* inner = nullptr;
};

class ModuleEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override { sim_.Configure("pacing=free"); }

  void CreateCard(IOrvaneGenericGrabber* grabber) {
    TestBstr key(sim_.host_key());
    ASSERT_EQ(grabber->CreateCard(key.get()), S_OK);
  }

  // Starts grabbing with `buffers` buffers and none armed.
  void StartGrab(IOrvaneGenericGrabber* grabber, int16_t buffers) {
    CreateCard(grabber);
    ASSERT_EQ(grabber->AllocateBuffers(buffers), S_OK);
    ASSERT_EQ(grabber->EnableGrab(), S_OK);
  }

  testing::SimCard sim_{ZELTOSIM_PATH};
  testing::ModuleHost host_{testing::ArtifactPath(ZELTO_MODULE_PATH)};
};

TEST_F(ModuleEndToEndTest, GrabsHundredsOfFramesAndUnloadsClean) {
  {
    auto grabber = host_.Create<IOrvaneGenericGrabber>(IID_IOrvaneGenericGrabber);
    EXPECT_EQ(host_.CanUnloadNow(), S_FALSE);
    CreateCard(grabber.get());
    auto image = Query<IOrvaneImageProp>(grabber.get(), IID_IOrvaneImageProp);
    auto usage = Query<IOrvaneBufferUsageProp>(grabber.get(), IID_IOrvaneBufferUsageProp);
    testing::GrabAndCheck(grabber.get(), image.get(), usage.get(), 6, 300);
  }
  EXPECT_EQ(host_.CanUnloadNow(), S_OK);
  // Releasing the object closed the card: no channel and no driver buffer left.
  ZeltoSimCounters counters = sim_.Counters();
  EXPECT_EQ(counters.open_handles, 0u);
  EXPECT_EQ(counters.live_buffers, 0u);
  EXPECT_GE(counters.frames_delivered, 300u);
}

TEST_F(ModuleEndToEndTest, AggregatedObjectGrabsUnderItsOuter) {
  Outer outer;
  ASSERT_EQ(host_.factory()->CreateInstance(&outer, IID_IUnknown,
                                            reinterpret_cast<void**>(&outer.inner)),
            S_OK);
  {
    ComPtr<IOrvaneGenericGrabber> grabber;
    ASSERT_EQ(outer.QueryInterface(IID_IOrvaneGenericGrabber, grabber.put_void()), S_OK);
    // References taken through the inner object's interfaces are the outer's.
    EXPECT_EQ(outer.references, 2u);
    CreateCard(grabber.get());
    auto image = Query<IOrvaneImageProp>(grabber.get(), IID_IOrvaneImageProp);
    auto usage = Query<IOrvaneBufferUsageProp>(grabber.get(), IID_IOrvaneBufferUsageProp);
    testing::GrabAndCheck(grabber.get(), image.get(), usage.get(), 3, 100);
  }
  EXPECT_EQ(outer.references, 1u);
  EXPECT_EQ(host_.CanUnloadNow(), S_FALSE);
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(host_.CanUnloadNow(), S_OK);
  EXPECT_EQ(sim_.Counters().open_handles, 0u);
}

TEST_F(ModuleEndToEndTest, FailedStartUpIsAComErrorAndLeavesNoCard) {
  sim_.UnregisterDriver();
  auto grabber = host_.Create<IOrvaneGenericGrabber>(IID_IOrvaneGenericGrabber);
  TestBstr key(sim_.host_key());
  EXPECT_EQ(grabber->CreateCard(key.get()), DISP_E_EXCEPTION);
  testing::ErrorInfoText info = TakeErrorInfo();
  ASSERT_TRUE(info.present);
  EXPECT_EQ(info.description, "Camera Initialization FAILED...");
  EXPECT_EQ(info.source, "ZeltoRGB.OrvaneZeltoRGB.1");
  EXPECT_TRUE(IsEqualGUID(info.guid, GUID_NULL));
  EXPECT_EQ(grabber->AllocateBuffers(2), E_FAIL);
  EXPECT_EQ(grabber->EnableGrab(), E_FAIL);

  // The same object starts once the driver is there.
  sim_.RegisterDriver(sim_.path());
  EXPECT_EQ(grabber->CreateCard(key.get()), S_OK);
  EXPECT_EQ(grabber->AllocateBuffers(2), S_OK);
}

TEST_F(ModuleEndToEndTest, NegativeBufferCountAllocatesNothing) {
  auto grabber = host_.Create<IOrvaneGenericGrabber>(IID_IOrvaneGenericGrabber);
  CreateCard(grabber.get());
  int16_t count = -1;
  EXPECT_EQ(grabber->AllocateBuffers(-1), S_OK);
  ASSERT_EQ(grabber->GetBufferCount(&count), S_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(grabber->AllocateBuffers(3), S_OK);
  EXPECT_EQ(grabber->AllocateBuffers(0), S_OK);
  ASSERT_EQ(grabber->GetBufferCount(&count), S_OK);
  EXPECT_EQ(count, 3);
}

TEST_F(ModuleEndToEndTest, GetFrameThatWaitedReportsOverrunAndDeliversTheFrame) {
  auto grabber = host_.Create<IOrvaneGenericGrabber>(IID_IOrvaneGenericGrabber);
  StartGrab(grabber.get(), 2);
  // Nothing is armed, so GetFrame must wait until the arm below lets a frame in.
  std::atomic<bool> returned{false};
  HRESULT hr = E_FAIL;
  ImageRecord* record = nullptr;
  testing::ErrorInfoText info;
  std::thread host_thread([&] {
    hr = grabber->GetFrame(&record);
    info = TakeErrorInfo();  // error information is per thread
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(returned);
  EXPECT_EQ(grabber->ArmBuffer(), S_OK);
  host_thread.join();
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_NE(record, nullptr);
  EXPECT_TRUE(info.present);
  EXPECT_EQ(info.description, "overrun");
  EXPECT_EQ(info.source, "ZeltoRGB.OrvaneZeltoRGB.1");
  EXPECT_EQ(grabber->ReleaseCurrentFrame(), S_OK);

  // A frame that is ready at once is no overrun.
  ASSERT_EQ(grabber->ArmBuffer(), S_OK);
  int32_t ready = 0;
  auto usage = Query<IOrvaneBufferUsageProp>(grabber.get(), IID_IOrvaneBufferUsageProp);
  for (int i = 0; i < 2000 && ready == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(usage->GetReadyCount(&ready), S_OK);
  }
  ASSERT_GT(ready, 0);
  record = nullptr;
  EXPECT_EQ(grabber->GetFrame(&record), S_OK);
  EXPECT_NE(record, nullptr);
  EXPECT_EQ(grabber->DisableGrab(), S_OK);
}

TEST_F(ModuleEndToEndTest, ArmBufferThatWaitedReportsOverrun) {
  auto grabber = host_.Create<IOrvaneGenericGrabber>(IID_IOrvaneGenericGrabber);
  StartGrab(grabber.get(), 1);
  ASSERT_EQ(grabber->ArmBuffer(), S_OK);
  // The one buffer is armed: a second arm waits until the frame is released.
  std::atomic<bool> returned{false};
  HRESULT hr = E_FAIL;
  testing::ErrorInfoText info;
  std::thread host_thread([&] {
    hr = grabber->ArmBuffer();
    info = TakeErrorInfo();
    returned = true;
  });
  ImageRecord* record = nullptr;
  ASSERT_TRUE(SUCCEEDED(grabber->GetFrame(&record)));
  ASSERT_NE(record, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(returned);
  EXPECT_EQ(grabber->ReleaseCurrentFrame(), S_OK);
  host_thread.join();
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_EQ(info.description, "overrun");
  EXPECT_EQ(grabber->DisableGrab(), S_OK);
}

TEST_F(ModuleEndToEndTest, SignalReadEventEndsAWaitWithoutAFrame) {
  auto grabber = host_.Create<IOrvaneGenericGrabber>(IID_IOrvaneGenericGrabber);
  StartGrab(grabber.get(), 2);
  std::atomic<bool> returned{false};
  HRESULT hr = E_FAIL;
  ImageRecord* record = reinterpret_cast<ImageRecord*>(0x1);
  std::thread host_thread([&] {
    hr = grabber->GetFrame(&record);
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(returned);
  EXPECT_EQ(grabber->SignalReadEvent(), S_OK);
  host_thread.join();
  EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
  EXPECT_EQ(record, nullptr);
  EXPECT_EQ(grabber->DisableGrab(), S_OK);
}

TEST_F(ModuleEndToEndTest, ShowPropertiesAnswersWithACard) {
  auto grabber = host_.Create<IOrvaneGenericGrabber>(IID_IOrvaneGenericGrabber);
  CreateCard(grabber.get());
  // No display here: the frame (Windows) or the trace (POSIX) returns at once.
  EXPECT_EQ(grabber->ShowProperties(nullptr, 0), S_OK);
  EXPECT_EQ(grabber->ShowProperties(nullptr, 1), S_OK);
}

}  // namespace
}  // namespace zelto
