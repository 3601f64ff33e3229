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

// Set split in two, as the frame queue uses it: the mark alone is what a later
// Wait sees, a wake alone sets nothing, and mark then wake releases a waiter
// whether it was already waiting or not.
TEST(ManualResetEventTest, MarkSetThenWakeWaitersIsSet) {
  ManualResetEvent event;
  event.WakeWaiters();
  EXPECT_FALSE(event.IsSet());
  event.MarkSet();
  EXPECT_TRUE(event.IsSet());
  event.Wait();  // returns at once: marked, never woken
  event.Reset();

  std::atomic<bool> released{false};
  std::thread waiter([&] {
    event.Wait();
    released = true;
  });
  event.MarkSet();
  event.WakeWaiters();
  waiter.join();
  EXPECT_TRUE(released);
}

}  // namespace
}  // namespace zelto::platform
