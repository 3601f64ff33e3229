#include "platform/manual_reset_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace zelto::platform {
namespace {

TEST(ManualResetEventTest, StaysSignalledUntilReset) {
  ManualResetEvent event;
  EXPECT_FALSE(event.IsSet());
  event.Set();
  event.Wait();  // returns at once, also the second time
  event.Wait();
  EXPECT_TRUE(event.IsSet());
  event.Reset();
  EXPECT_FALSE(event.IsSet());
}

TEST(ManualResetEventTest, SetReleasesEveryWaiter) {
  ManualResetEvent event;
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      event.Wait();
      ++released;
    });
  }
  EXPECT_EQ(released, 0);
  event.Set();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(released, 3);
}

}  // namespace
}  // namespace zelto::platform
