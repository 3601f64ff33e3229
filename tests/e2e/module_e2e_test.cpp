// The built module as a host meets it: loaded by path, objects from its factory,
// frames from ZeltoSim through the host interfaces only.
#include <gtest/gtest.h>

#include <atomic>
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
  ASSERT_EQ(
      host_.factory()->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
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

// A host call made on a thread of its own, with what it returned.
struct HostCall {
  HRESULT hr = E_FAIL;
  testing::ErrorInfoText info;  // error information is per thread
  std::atomic<bool> returned{false};
};

// Whether GetFrame or ArmBuffer had to wait turns on whether it looked at its list
// before the frame or buffer came, which nothing outside the module shows (the
// queue's own tests prove the wait through its waiter counts). So these tests let
// the host thread race the delivery, check each outcome in full, and repeat until
// the host thread was the one to wait; kAttempts only ends a pathological run.
constexpr int kAttempts = 1000;

TEST_F(ModuleEndToEndTest, GetFrameThatWaitedReportsOverrunAndDeliversTheFrame) {
  auto grabber = host_.Create<IOrvaneGenericGrabber>(IID_IOrvaneGenericGrabber);
  StartGrab(grabber.get(), 2);
  bool overrun_seen = false;
  for (int attempt = 0; attempt < kAttempts && !overrun_seen; ++attempt) {
    // Nothing is armed, so nothing can be ready before the arm below.
    HostCall call;
    ImageRecord* record = nullptr;
    std::thread host_thread([&] {
      call.hr = grabber->GetFrame(&record);
      call.info = TakeErrorInfo();
    });
    EXPECT_EQ(grabber->ArmBuffer(), S_OK);
    host_thread.join();
    ASSERT_NE(record, nullptr) << attempt;
    if (call.hr == S_FALSE) {
      overrun_seen = true;
      EXPECT_TRUE(call.info.present);
      EXPECT_EQ(call.info.description, "overrun");
      EXPECT_EQ(call.info.source, "ZeltoRGB.OrvaneZeltoRGB.1");
    } else {
      // The frame was there before GetFrame looked: no wait, no overrun.
      ASSERT_EQ(call.hr, S_OK) << attempt;
    }
    EXPECT_EQ(grabber->ReleaseCurrentFrame(), S_OK);
  }
  EXPECT_TRUE(overrun_seen) << "GetFrame never had to wait";

  // A frame that is ready at once is no overrun. The buffer count (ready plus
  // free) leaves out the armed buffer until its frame is committed; the ready
  // count would not do, it still tells of the frame released above.
  ASSERT_EQ(grabber->ArmBuffer(), S_OK);
  int16_t buffers = 0;
  ASSERT_TRUE(testing::WaitUntil(
      [&] { return grabber->GetBufferCount(&buffers) == S_OK && buffers == 2; }));
  ImageRecord* record = nullptr;
  EXPECT_EQ(grabber->GetFrame(&record), S_OK);
  EXPECT_NE(record, nullptr);
  EXPECT_EQ(grabber->DisableGrab(), S_OK);
}

TEST_F(ModuleEndToEndTest, ArmBufferThatWaitedReportsOverrun) {
  auto grabber = host_.Create<IOrvaneGenericGrabber>(IID_IOrvaneGenericGrabber);
  StartGrab(grabber.get(), 1);
  ASSERT_EQ(grabber->ArmBuffer(), S_OK);
  bool overrun_seen = false;
  for (int attempt = 0; attempt < kAttempts && !overrun_seen; ++attempt) {
    // The one buffer is armed: this arm can only go on once the frame is released.
    HostCall call;
    std::thread host_thread([&] {
      call.hr = grabber->ArmBuffer();
      call.info = TakeErrorInfo();
      call.returned = true;
    });
    ImageRecord* record = nullptr;
    ASSERT_TRUE(SUCCEEDED(grabber->GetFrame(&record)));
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(call.returned) << "armed while no buffer was free";
    EXPECT_EQ(grabber->ReleaseCurrentFrame(), S_OK);
    host_thread.join();
    if (call.hr == S_FALSE) {
      overrun_seen = true;
      EXPECT_EQ(call.info.description, "overrun");
    } else {
      // The buffer was free before ArmBuffer looked; it is armed again.
      ASSERT_EQ(call.hr, S_OK) << attempt;
    }
  }
  EXPECT_TRUE(overrun_seen) << "ArmBuffer never had to wait";
  EXPECT_EQ(grabber->DisableGrab(), S_OK);
}

TEST_F(ModuleEndToEndTest, SignalReadEventEndsAWaitWithoutAFrame) {
  auto grabber = host_.Create<IOrvaneGenericGrabber>(IID_IOrvaneGenericGrabber);
  StartGrab(grabber.get(), 2);
  HostCall call;
  ImageRecord* record = reinterpret_cast<ImageRecord*>(0x1);
  std::thread host_thread([&] {
    call.hr = grabber->GetFrame(&record);
    call.returned = true;
  });
  // Nothing is armed, so GetFrame can only return once a signal finds it waiting;
  // a signal sent before it waits is lost, so keep signalling until it returns.
  EXPECT_TRUE(testing::WaitUntil([&] {
    if (call.returned) return true;
    EXPECT_EQ(grabber->SignalReadEvent(), S_OK);
    return false;
  }));
  host_thread.join();
  EXPECT_EQ(call.hr, S_FALSE) << std::hex << call.hr;  // it waited
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
