#include "platform/trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace zelto::platform {
namespace {

TEST(TraceTest, TheHookSeesEveryTraceAndMessageBox) {
  testing::TraceCapture capture;
  Trace("plain");
  TraceFormat("CZeltoRGBCard::GetCapabilities() - %s(%d) returned: %s", "RGBCaptureGetParameters",
              1, "RGBERROR_SIGNAL_NOT_DETECTED");
  ShowErrorMessage("Cannot find the capture driver");

  EXPECT_EQ(capture.Traces(), (std::vector<std::string>{"plain",
                                                        "CZeltoRGBCard::GetCapabilities() - "
                                                        "RGBCaptureGetParameters(1) returned: "
                                                        "RGBERROR_SIGNAL_NOT_DETECTED"}));
  EXPECT_EQ(capture.MessageBoxes(), std::vector<std::string>{"Cannot find the capture driver"});
}

TEST(TraceTest, RemovingTheHookStopsDeliveryAndReturnsIt) {
  std::atomic<int> calls{0};
  TraceHook previous = SetTraceHook([&](TraceKind, const std::string&) { ++calls; });
  Trace("one");
  TraceHook mine = SetTraceHook(previous);
  Trace("two");
  EXPECT_EQ(calls, 1);
  ASSERT_TRUE(mine);
  mine(TraceKind::kDebugOutput, "direct");
  EXPECT_EQ(calls, 2);
}

// The compiler checks formats as C99 ones; the Windows runtime must format them
// the same way, not with the old msvcrt rules.
TEST(TraceTest, FormatsC99ConversionsOnEveryTarget) {
  testing::TraceCapture capture;
  TraceFormat("%zu|%lld|%llu|%hu|%5.2f|%-4s|%08lX", size_t{4096}, -5000000000LL,
              18000000000000000000ULL, static_cast<unsigned short>(65535), 3.14159, "ab",
              0x1001CUL);
  EXPECT_EQ(
      capture.Traces(),
      std::vector<std::string>{"4096|-5000000000|18000000000000000000|65535| 3.14|ab  |0001001C"});
}

TEST(TraceTest, LongFormattedTextIsCutNotOverrun) {
  testing::TraceCapture capture;
  std::string long_text(5000, 'x');
  TraceFormat("[%s]", long_text.c_str());
  std::vector<std::string> traces = capture.Traces();
  ASSERT_EQ(traces.size(), 1u);
  const std::string& text = traces[0];
  EXPECT_EQ(text.size(), 1023u);
  EXPECT_EQ(text, "[" + std::string(1022, 'x'));
}

// Threads that trace at once each get their own text, never a mix.
TEST(TraceTest, ConcurrentTracesAreFormattedSeparately) {
  constexpr int kThreads = 4;
  constexpr int kTraces = 200;
  testing::TraceCapture capture;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      std::string filler(100 + 50 * t, static_cast<char>('a' + t));
      for (int i = 0; i < kTraces; ++i) TraceFormat("%d:%d:%s", t, i, filler.c_str());
    });
  }
  for (auto& thread : threads) thread.join();

  std::set<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    std::string filler(100 + 50 * t, static_cast<char>('a' + t));
    for (int i = 0; i < kTraces; ++i) {
      expected.insert(std::to_string(t) + ":" + std::to_string(i) + ":" + filler);
    }
  }
  std::vector<std::string> traces = capture.Traces();
  EXPECT_EQ(traces.size(), expected.size());
  EXPECT_EQ(std::set<std::string>(traces.begin(), traces.end()), expected);
}

// A capture object may go away while another thread keeps tracing: once
// SetTraceHook has returned, the old hook must not run any more.
TEST(TraceTest, ReplacingTheHookWhileAnotherThreadTracesIsSafe) {
  std::atomic<bool> stop{false};
  std::thread tracer([&] {
    while (!stop) Trace("background");
  });
  for (int i = 0; i < 200; ++i) {
    testing::TraceCapture capture;
    Trace("foreground");
  }
  stop = true;
  tracer.join();
}

#ifndef _WIN32
TEST(TraceTest, StderrGetsTracesOnlyWhenAskedAndMessageBoxesAlways) {
  const char* old = std::getenv("ZELTO_TRACE");
  std::string saved = old != nullptr ? old : "";

  unsetenv("ZELTO_TRACE");
  ::testing::internal::CaptureStderr();
  Trace("quiet trace");
  ShowErrorMessage("loud box");
  std::string quiet = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(quiet.find("quiet trace"), std::string::npos);
  EXPECT_NE(quiet.find("loud box"), std::string::npos);

  setenv("ZELTO_TRACE", "1", 1);
  ::testing::internal::CaptureStderr();
  Trace("visible trace");
  std::string visible = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(visible.find("visible trace\n"), std::string::npos);

  if (old != nullptr) {
    setenv("ZELTO_TRACE", saved.c_str(), 1);
  } else {
    unsetenv("ZELTO_TRACE");
  }
}
#endif

}  // namespace
}  // namespace zelto::platform
