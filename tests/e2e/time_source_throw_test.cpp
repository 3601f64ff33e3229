// A plug-in whose ProcessImageData throws, natively only: there the module and
// the plug-in share one C++ runtime and the module catches it. (The Windows builds
// link their runtimes statically, so the throw ends the process there; see
// timesource/time_source_plugin.h.)
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "../module/com_test_util.h"
#include "module_host.h"
#include "sample_time_source.h"
#include "sim_card.h"

namespace zelto {
namespace {

using testing::ComPtr;
using testing::TestBstr;
using E = TimeSourceEntry;

// The grab goes on without the plug-in, which is unbound and unloaded, while
// a host thread keeps asking the interface for its state: the binding stays alive
// for each of those calls (TSan and ASan watch).
TEST(TimeSourceThrowTest, ThrowingPlugInIsUnboundAndTheGrabGoesOn) {
  testing::SimCard sim(ZELTOSIM_PATH);
  sim.Configure("pacing=free");
  // Configured at load: the test must not hold the library, so that its unload
  // after the throw is real.
  setenv("ZELTO_TIMESOURCE", "throw=3;discipline=1", 1);
  testing::WriteTimeSourceSettings(sim.host_key(),
                                   testing::ArtifactPath(ZELTO_TIMESOURCE_PATH).c_str());
  {
    testing::ModuleHost host(testing::ArtifactPath(ZELTO_MODULE_PATH));
    auto grabber = host.Create<IOrvaneGenericGrabber>(IID_IOrvaneGenericGrabber);
    ComPtr<IOrvaneTimeSourceProp> prop;
    ASSERT_EQ(grabber->QueryInterface(IID_IOrvaneTimeSourceProp, prop.put_void()), S_OK);
    TestBstr key(sim.host_key());
    ASSERT_EQ(grabber->CreateCard(key.get()), S_OK);
    ASSERT_EQ(grabber->AllocateBuffers(3), S_OK);
    ASSERT_EQ(grabber->EnableGrab(), S_OK);

    std::atomic<bool> stop{false};
    std::atomic<int> queries{0};
    std::thread host_thread([&] {
      while (!stop) {
        int32_t status = 0;
        int32_t supported = 0;
        int32_t value = 0;
        prop->GetSynchronizationStatus(&status);
        prop->IsGPSSupported(&supported);
        prop->GetGPSData(&value, 1);
        prop->StopReadingGPSData();
        ++queries;
      }
    });
    auto take_frame = [&] {
      EXPECT_TRUE(SUCCEEDED(grabber->ArmBuffer()));
      ImageRecord* record = nullptr;
      EXPECT_TRUE(SUCCEEDED(grabber->GetFrame(&record)));
      EXPECT_NE(record, nullptr);
      EXPECT_EQ(grabber->ReleaseCurrentFrame(), S_OK);
    };
    take_frame();
    int32_t status = 0;
    ASSERT_EQ(prop->GetSynchronizationStatus(&status), S_OK);
    EXPECT_NE(static_cast<uint32_t>(status) & (1u << 31), 0u);  // measured: bound
    for (int i = 0; i < 30; ++i) take_frame();
    ASSERT_EQ(prop->GetSynchronizationStatus(&status), S_OK);
    EXPECT_EQ(status, 0);  // the system clock from the third frame on
    ASSERT_TRUE(testing::WaitUntil([&] { return queries > 100; }));
    stop = true;
    host_thread.join();
    ASSERT_EQ(grabber->DisableGrab(), S_OK);
  }
  unsetenv("ZELTO_TIMESOURCE");
  // Unloaded: a fresh load starts from zero.
  testing::SampleTimeSource reloaded(ZELTO_TIMESOURCE_PATH);
  EXPECT_EQ(reloaded.Calls(E::kProcessImageData), 0u);
}

}  // namespace
}  // namespace zelto
