#include "timesource/timebase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/shared_memory.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace zelto {
namespace {

using namespace std::chrono_literals;

// ---------------------------------------------------------------------------
// Frame time arithmetic.

TimebaseOrigin Origin(double frequency, int32_t seconds, uint16_t milliseconds, int64_t counter) {
  TimebaseOrigin origin;
  origin.frequency = frequency;
  origin.base_seconds = seconds;
  origin.base_milliseconds = milliseconds;
  origin.base_counter = counter;
  return origin;
}

void ExpectTime(const FrameTime& t, int32_t seconds, uint16_t milliseconds, uint16_t microseconds) {
  EXPECT_EQ(seconds, t.seconds);
  EXPECT_EQ(milliseconds, t.milliseconds);
  EXPECT_EQ(microseconds, t.microseconds);
}

TEST(FrameTimeFromCounterTest, WorkedExample) {
  // 5,369,318 ticks at 3,579,545 Hz are 1.5 s; 900 ms + 500 ms carries.
  const int64_t base_counter = 1'000'000'000;
  ExpectTime(
      FrameTimeFromCounter(Origin(3579545, 1300000000, 900, base_counter), base_counter + 5369318),
      1300000002, 400, 0);
}

TEST(FrameTimeFromCounterTest, MillisecondsCarryExactlyOneSecondAt1000) {
  const auto origin = Origin(1000000, 100, 999, 0);
  ExpectTime(FrameTimeFromCounter(origin, 999), 100, 999, 999);  // just below the carry
  ExpectTime(FrameTimeFromCounter(origin, 1000), 101, 0, 0);
  ExpectTime(FrameTimeFromCounter(origin, 1999999), 102, 998, 999);
}

TEST(FrameTimeFromCounterTest, MicrosecondsComeFromTheTickRemainder) {
  ExpectTime(FrameTimeFromCounter(Origin(1e9, 7, 0, 5), 5 + 3'234'567'891), 10, 234, 567);
  // The counter may hold any value: elapsed ticks across its wrap still count.
  const int64_t near_end = INT64_MAX - 10;
  const auto wrapped = static_cast<int64_t>(static_cast<uint64_t>(near_end) + 2'000'000);
  ExpectTime(FrameTimeFromCounter(Origin(1e9, 7, 0, near_end), wrapped), 7, 2, 0);
}

// A counter behind the base (another process's clock reading racing the
// creator's) must not produce milliseconds beyond 999 through a negative part.
TEST(FrameTimeFromCounterTest, CounterBeforeTheBaseBorrows) {
  ExpectTime(FrameTimeFromCounter(Origin(1000000, 100, 0, 50), 49), 99, 999, 999);
  ExpectTime(FrameTimeFromCounter(Origin(1000000, 100, 500, 3000000), 0), 97, 500, 0);
}

// A block whose creator never wrote a frequency must not divide by zero.
TEST(FrameTimeFromCounterTest, UnusableFrequencyGivesTheBaseTime) {
  ExpectTime(FrameTimeFromCounter(Origin(0, 42, 7, 0), 123456789), 42, 7, 0);
  ExpectTime(FrameTimeFromCounter(Origin(0.5, 42, 7, 0), 123456789), 42, 7, 0);
}

// ---------------------------------------------------------------------------
// Attachments to a real block. Each test uses a block name of its own, so that
// test processes running in parallel (and the real "OrvTimebase") do not meet.

std::string UniqueBlockName() {
  static std::atomic<int> counter{0};
  std::ostringstream name;
#ifdef _WIN32
  name << "ZeltoTestTimebase." << GetCurrentProcessId();
#else
  name << "ZeltoTestTimebase." << getpid();
#endif
  name << "." << counter++ << "." << std::chrono::steady_clock::now().time_since_epoch().count();
  return name.str();
}

// An independent view of a block, to check what attachments wrote.
struct RawBlock {
  platform::SharedMemory memory;
  uint8_t* view = nullptr;
  bool Open(const std::string& name, size_t bytes = kTimebaseViewBytes) {
    if (!memory.OpenExisting(name.c_str())) return false;
    view = static_cast<uint8_t*>(memory.Map(bytes));
    return view != nullptr;
  }
};

bool BlockExists(const std::string& name) {
  platform::SharedMemory memory;
  return memory.OpenExisting(name.c_str());
}

int64_t ToMilliseconds(int64_t seconds, int64_t milliseconds) {
  return seconds * 1000 + milliseconds;
}

int64_t FrameTimeMilliseconds(const Timebase& timebase) {
  int32_t s = 0;
  uint16_t ms = 0, us = 0;
  EXPECT_TRUE(timebase.GetFrameTime(&s, &ms, &us));
  EXPECT_LT(ms, 1000);
  EXPECT_LT(us, 1000);
  return ToMilliseconds(s, ms);
}

int64_t UtcNowMilliseconds() {
  const auto now = platform::UtcNow();
  return ToMilliseconds(now.seconds, now.milliseconds);
}

void ExpectSameOrigin(const TimebaseOrigin& a, const TimebaseOrigin& b) {
  EXPECT_EQ(a.frequency, b.frequency);
  EXPECT_EQ(a.base_seconds, b.base_seconds);
  EXPECT_EQ(a.base_milliseconds, b.base_milliseconds);
  EXPECT_EQ(a.base_counter, b.base_counter);
}

TEST(TimebaseTest, CreatorWritesTheBlockByteForByte) {
  testing::TraceCapture traces;
  const std::string name = UniqueBlockName();
  Timebase timebase(name);
  const auto wall_before = platform::UtcNow();
  const int64_t counter_before = platform::PerformanceCounter();
  timebase.AttachTimebase();
  const int64_t counter_after = platform::PerformanceCounter();
  const auto wall_after = platform::UtcNow();

  EXPECT_TRUE(traces.HasTrace("Allocating shared timebase"));
  EXPECT_FALSE(traces.HasTrace("Connecting to shared timebase"));
  ASSERT_TRUE(timebase.has_view());
  EXPECT_TRUE(timebase.created());

  RawBlock raw;
  ASSERT_TRUE(raw.Open(name, kTimebaseCreateBytes)) << "the block has 4096 bytes";
  const uint8_t* v = raw.view;
  uint8_t count;
  double frequency;
  int32_t seconds;
  uint16_t milliseconds;
  int16_t zone, dst;
  int64_t counter;
  std::memcpy(&count, v + 0, 1);
  std::memcpy(&frequency, v + 1, 8);
  std::memcpy(&seconds, v + 9, 4);
  std::memcpy(&milliseconds, v + 13, 2);
  std::memcpy(&zone, v + 15, 2);
  std::memcpy(&dst, v + 17, 2);
  std::memcpy(&counter, v + 21, 8);

  EXPECT_EQ(1, count);
  EXPECT_EQ(static_cast<double>(platform::PerformanceFrequency()), frequency);
  EXPECT_LT(milliseconds, 1000);
  const int64_t base_ms = ToMilliseconds(seconds, milliseconds);
  EXPECT_GE(base_ms, ToMilliseconds(wall_before.seconds, wall_before.milliseconds));
  EXPECT_LE(base_ms, ToMilliseconds(wall_after.seconds, wall_after.milliseconds));
  EXPECT_GE(counter, counter_before);
  EXPECT_LE(counter, counter_after);
  const auto zone_now = platform::CurrentTimeZone();
  EXPECT_EQ(zone_now.minutes_west, zone);
  EXPECT_EQ(zone_now.dst_flag != 0, dst != 0);

  // Frames are stamped from that base: the frame time follows the wall clock.
  EXPECT_NEAR(static_cast<double>(UtcNowMilliseconds()),
              static_cast<double>(FrameTimeMilliseconds(timebase)), 2000.0);
}

TEST(TimebaseTest, SecondAttachmentConnectsAndLeavesTheBaseAlone) {
  const std::string name = UniqueBlockName();
  Timebase first(name);
  first.AttachTimebase();
  RawBlock raw;
  ASSERT_TRUE(raw.Open(name));
  uint8_t before[28];
  std::memcpy(before, raw.view + 1, sizeof(before));

  testing::TraceCapture traces;
  Timebase second(name);
  second.AttachTimebase();
  EXPECT_TRUE(traces.HasTrace("Connecting to shared timebase"));
  EXPECT_FALSE(traces.HasTrace("Allocating shared timebase"));
  EXPECT_FALSE(second.created());
  EXPECT_EQ(2, raw.view[0]);
  EXPECT_EQ(0, std::memcmp(before, raw.view + 1, sizeof(before)));
  ExpectSameOrigin(first.origin(), second.origin());
}

TEST(TimebaseTest, DetachCountsDownAndTheLastUserTakesTheBlockAway) {
  const std::string name = UniqueBlockName();
  auto first = std::make_unique<Timebase>(name);
  auto second = std::make_unique<Timebase>(name);
  first->AttachTimebase();
  second->AttachTimebase();
  const TimebaseOrigin old_origin = first->origin();

  second->DetachTimebase();
  ASSERT_TRUE(first->ReadBlock().has_value());
  EXPECT_EQ(1, first->ReadBlock()->user_count);
  EXPECT_TRUE(BlockExists(name));
  second->DetachTimebase();  // a second detach changes nothing
  EXPECT_EQ(1, first->ReadBlock()->user_count);

  first.reset();  // the destructor detaches
  EXPECT_FALSE(BlockExists(name));

  testing::TraceCapture traces;
  Timebase again(name);
  again.AttachTimebase();
  EXPECT_TRUE(traces.HasTrace("Allocating shared timebase"));
  EXPECT_TRUE(again.created());
  EXPECT_EQ(1, again.ReadBlock()->user_count);
  EXPECT_GT(again.origin().base_counter, old_origin.base_counter) << "a new base pair";
}

// Every thread races to create the block; exactly one may, and the count must
// not lose an increment or a decrement.
// Lets n threads go at once. (std::barrier of this libstdc++ has hung under Wine.)
class StartLine {
 public:
  explicit StartLine(int threads) : waiting_for_(threads) {}
  void ArriveAndWait() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (--waiting_for_ == 0) {
      all_arrived_.notify_all();
    } else {
      all_arrived_.wait(lock, [this] { return waiting_for_ == 0; });
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable all_arrived_;
  int waiting_for_;
};

TEST(TimebaseTest, ConcurrentAttachAndDetachCountExactly) {
  constexpr int kThreads = 6;
  for (int round = 0; round < 10; ++round) {
    const std::string name = UniqueBlockName();
    std::vector<std::unique_ptr<Timebase>> timebases;
    for (int i = 0; i < kThreads; ++i) timebases.push_back(std::make_unique<Timebase>(name));
    StartLine attach_line(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        attach_line.ArriveAndWait();
        timebases[i]->AttachTimebase();
      });
    }
    for (auto& t : threads) t.join();
    threads.clear();

    int creators = 0;
    for (const auto& timebase : timebases) {
      ASSERT_TRUE(timebase->has_view());
      creators += timebase->created() ? 1 : 0;
      ExpectSameOrigin(timebases[0]->origin(), timebase->origin());
    }
    EXPECT_EQ(1, creators) << "round " << round;
    EXPECT_EQ(kThreads, timebases[0]->ReadBlock()->user_count) << "round " << round;

    // All but one detach at once.
    StartLine detach_line(kThreads - 1);
    for (int i = 1; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        detach_line.ArriveAndWait();
        timebases[i]->DetachTimebase();
      });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(1, timebases[0]->ReadBlock()->user_count) << "round " << round;
    timebases[0]->DetachTimebase();
    EXPECT_FALSE(BlockExists(name));
  }
}

// A block whose creator has not finished writing: the attach waits for it and
// then takes the creator's base, not zeros. The creator signals either with our
// ready marker or, like a module that predates it, by counting itself.
TEST(TimebaseTest, AttachWaitsForACreatorStillWritingTheBase) {
  for (bool with_marker : {true, false}) {
    SCOPED_TRACE(with_marker ? "ready marker" : "user count");
    const std::string name = UniqueBlockName();
    platform::SharedMemory creator;
    bool existed = true;
    ASSERT_TRUE(creator.CreateOrOpen(name.c_str(), kTimebaseCreateBytes, &existed));
    ASSERT_FALSE(existed);
    auto* view = static_cast<uint8_t*>(creator.Map(kTimebaseViewBytes));
    ASSERT_NE(nullptr, view);

    Timebase late(name, 30s);
    testing::TraceCapture traces;
    std::atomic<bool> attached{false};
    std::thread attacher([&] {
      late.AttachTimebase();
      attached = true;
    });
    // Traced once it has opened the block, before it waits for the base.
    EXPECT_TRUE(
        testing::WaitUntil([&] { return traces.HasTrace("Connecting to shared timebase"); }));
    EXPECT_FALSE(attached.load()) << "attached to a block without a base";

    const double frequency = 3579545;
    const int32_t seconds = 1300000000;
    const uint16_t milliseconds = 900;
    const int64_t counter = 123456789;
    std::memcpy(view + 1, &frequency, 8);
    std::memcpy(view + 9, &seconds, 4);
    std::memcpy(view + 13, &milliseconds, 2);
    std::memcpy(view + 21, &counter, 8);
    if (with_marker) {
      __atomic_store_n(reinterpret_cast<uint32_t*>(view + kTimebaseReadyOffset),
                       kTimebaseReadyMarker, __ATOMIC_RELEASE);
    } else {
      __atomic_fetch_add(view, 1, __ATOMIC_ACQ_REL);
    }
    attacher.join();

    ASSERT_TRUE(late.has_view());
    ExpectSameOrigin(Origin(frequency, seconds, milliseconds, counter), late.origin());
    EXPECT_EQ(with_marker ? 1 : 2, view[0]);
  }
}

// A creator that died before writing anything leaves a block of zeros; the attach
// gives up on it and still stamps frames, from the process-local base.
TEST(TimebaseTest, AttachmentWithoutAViewStillStamps) {
  const std::string name = UniqueBlockName();
  platform::SharedMemory dead_creator;
  bool existed = true;
  ASSERT_TRUE(dead_creator.CreateOrOpen(name.c_str(), kTimebaseCreateBytes, &existed));
  auto* view = static_cast<uint8_t*>(dead_creator.Map(kTimebaseViewBytes));
  ASSERT_NE(nullptr, view);

  testing::TraceCapture traces;
  Timebase timebase(name, 50ms);
  timebase.AttachTimebase();
  EXPECT_TRUE(traces.HasTrace("Connecting to shared timebase"));
  EXPECT_TRUE(traces.HasTrace("Critical Error : could not access shared timebase"));
  EXPECT_FALSE(timebase.has_view());
  EXPECT_FALSE(timebase.ReadBlock().has_value());
  EXPECT_EQ(0, view[0]) << "a failed attach is not counted";

  EXPECT_NEAR(static_cast<double>(UtcNowMilliseconds()),
              static_cast<double>(FrameTimeMilliseconds(timebase)), 2000.0);
  // Two failed attachments of one process stamp alike.
  Timebase other(name, 1ms);
  other.AttachTimebase();
  ExpectSameOrigin(timebase.origin(), other.origin());
  timebase.DetachTimebase();  // harmless without a view
  EXPECT_EQ(0, view[0]);
}

TEST(TimebaseTest, DefaultBlockIsOrvTimebase) {
  Timebase timebase;
  timebase.AttachTimebase();
  ASSERT_TRUE(timebase.has_view());
  EXPECT_TRUE(BlockExists("OrvTimebase"));
}

// ---------------------------------------------------------------------------
// Two processes.

class Child {
 public:
  bool Start(const std::vector<std::string>& args) {
#ifdef _WIN32
    std::string command;
    for (const auto& arg : args) command += "\"" + arg + "\" ";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(args[0].c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
      return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    return true;
#else
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    return posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
#endif
  }

  int Wait() {
#ifdef _WIN32
    WaitForSingleObject(process_, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process_, &code);
    CloseHandle(process_);
    return static_cast<int>(code);
#else
    int status = 0;
    waitpid(pid_, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
#endif
  }

 private:
#ifdef _WIN32
  HANDLE process_ = nullptr;
#else
  pid_t pid_ = 0;
#endif
};

TEST(TimebaseTest, TwoProcessesShareOneBase) {
  const std::string name = UniqueBlockName();
  Timebase mine(name);
  mine.AttachTimebase();
  ASSERT_TRUE(mine.created());

  testing::ScopedTempDir dir;
  const std::string report = dir.path() + "/report.txt";
  const std::string release = dir.path() + "/release";
  Child child;
  ASSERT_TRUE(child.Start({testing::ArtifactPath(TIMEBASE_PEER_PATH), name, report, release}));

  testing::WaitUntil([&] { return std::filesystem::exists(report); });
  std::ifstream in(report);
  int created = -1;
  unsigned count = 0, milliseconds = 0;
  double frequency = 0;
  int32_t seconds = 0;
  int64_t counter = 0;
  in >> created >> count >> frequency >> seconds >> milliseconds >> counter;
  const bool read = static_cast<bool>(in);
  in.close();
  std::ofstream(release).put('x');
  const int exit_code = child.Wait();
  ASSERT_TRUE(read) << "no report from the child";
  EXPECT_EQ(0, exit_code);

  EXPECT_EQ(0, created) << "the child must connect, not create";
  EXPECT_EQ(2u, count);
  ExpectSameOrigin(mine.origin(),
                   Origin(frequency, seconds, static_cast<uint16_t>(milliseconds), counter));
  EXPECT_EQ(1, mine.ReadBlock()->user_count) << "the child's detach counts down";
}

}  // namespace
}  // namespace zelto
