#include "driver/driver_binding.h"

#include "driver/capture_channel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry.h"
#include "test_support.h"
#include "zeltosim_control.h"

namespace zelto {
namespace {

using platform::RegistryRoot;
using testing::ArtifactPath;
using testing::TraceCapture;

constexpr char kVendorKey[] = "SOFTWARE\\KTS Imaging";
constexpr char kUnreadable[] =
    "Movandi - KTS ZeltoRGB - Unable to read path from Registry\nCannot connect the ZeltoRGB DLL.";

// The driver key under HKEY_LOCAL_MACHINE for one test. Natively the registry is
// a temporary store; under Wine it is the prefix's, so what was there is put back.
class DriverKey {
 public:
  DriverKey() {
#ifdef _WIN32
    platform::RegistryKey key;
    vendor_existed_ = key.Open(RegistryRoot::kLocalMachine, kVendorKey) == platform::kRegSuccess;
    if (key.Open(RegistryRoot::kLocalMachine, kDriverKeyPath) == platform::kRegSuccess) {
      uint32_t size = sizeof(saved_);
      value_saved_ =
          key.QueryValue(kDriverPathValue, &saved_type_, saved_, &size) == platform::kRegSuccess;
      saved_size_ = size;
    }
#endif
    platform::DeleteRegistryTree(RegistryRoot::kLocalMachine, kDriverKeyPath);
  }

  ~DriverKey() {
    platform::DeleteRegistryTree(RegistryRoot::kLocalMachine,
                                 vendor_existed_ ? kDriverKeyPath : kVendorKey);
    if (value_saved_) {
      platform::RegistryKey key;
      key.Create(RegistryRoot::kLocalMachine, kDriverKeyPath);
      key.SetValue(kDriverPathValue, saved_type_, saved_, saved_size_);
    }
  }

  platform::RegistryKey Create() {
    platform::RegistryKey key;
    EXPECT_EQ(key.Create(RegistryRoot::kLocalMachine, kDriverKeyPath), platform::kRegSuccess);
    return key;
  }

  void SetPath(const std::string& path) {
    EXPECT_EQ(Create().SetString(kDriverPathValue, path), platform::kRegSuccess);
  }

 private:
  testing::ScopedTempRegistry registry_;
  bool vendor_existed_ = false;
  bool value_saved_ = false;
  uint32_t saved_type_ = 0;
  uint32_t saved_size_ = 0;
  char saved_[1024] = {};
};

uint32_t ZELTO_DRIVER_CALL MarkerOpen(uint32_t, HRGBCAPTURE*) { return 0; }

class DriverBindingTest : public ::testing::Test {
 protected:
  static constexpr PFN_RGBCaptureOpen kMarker = &MarkerOpen;

  // Binds, expecting failure with exactly one message box.
  std::string BindFailure() {
    // A failed binding leaves the caller's table as it was.
    DriverEntryTable table;
    table.RGBCaptureOpen = kMarker;
    platform::ScopedLibrary library = BindDriver(&table);
    EXPECT_FALSE(library.is_valid());
    EXPECT_EQ(table.RGBCaptureOpen, kMarker);
    EXPECT_EQ(table.RGBCaptureInitialise, nullptr);
    std::vector<std::string> boxes = capture_.MessageBoxes();
    EXPECT_EQ(boxes.size(), 1u);
    return boxes.empty() ? std::string() : boxes.front();
  }

  DriverKey key_;
  TraceCapture capture_;
};

TEST_F(DriverBindingTest, KeyMissing) { EXPECT_EQ(BindFailure(), kUnreadable); }

TEST_F(DriverBindingTest, ValueMissing) {
  key_.Create().SetString("SomethingElse", ArtifactPath(ZELTOSIM_PATH));
  EXPECT_EQ(BindFailure(), kUnreadable);
}

// Only a REG_SZ value names the library; a path stored under another type is
// not used even when it names a good driver.
TEST_F(DriverBindingTest, ValueOfAnotherTypeIsUnreadable) {
  key_.Create().SetExpandString(kDriverPathValue, ArtifactPath(ZELTOSIM_PATH));
  EXPECT_EQ(BindFailure(), kUnreadable);
  capture_.Clear();
  key_.Create().SetDword(kDriverPathValue, 1);
  EXPECT_EQ(BindFailure(), kUnreadable);
}

TEST_F(DriverBindingTest, PathThatDoesNotLoadIsNamed) {
#ifdef _WIN32
  const std::string path = "C:\\no\\such\\dir\\ZeltoDriver.dll";
#else
  const std::string path = "/no/such/dir/ZeltoDriver.so";
#endif
  key_.SetPath(path);
  EXPECT_EQ(BindFailure(), "Movandi - KTS ZeltoRGB - Unable to load " + path + ". Aborting.");
}

TEST_F(DriverBindingTest, LibraryMissingOneEntryPointIsIncompatible) {
  const std::string path = ArtifactPath(FAKE_DRIVER_PARTIAL_PATH);
  key_.SetPath(path);
  EXPECT_EQ(BindFailure(),
            "Movandi - KTS ZeltoRGB - Incompatible version of " + path + ". Aborting.");
}

// Every name is resolved and the version is never asked for.
TEST_F(DriverBindingTest, LibraryWithAllEntryPointsBindsWhateverItsVersion) {
  const std::string path = ArtifactPath(FAKE_DRIVER_FULL_PATH);
  key_.SetPath(path);
  DriverEntryTable table;
  platform::ScopedLibrary library = BindDriver(&table);
  ASSERT_TRUE(library.is_valid());
  EXPECT_TRUE(capture_.MessageBoxes().empty());
  uint32_t devices = 0;
  EXPECT_EQ(table.RGBCaptureInitialise(&devices), 0u);
  EXPECT_EQ(devices, 42u);
  EXPECT_NE(table.RGBCaptureGetADCColourCorrection, nullptr);
  auto version_calls =
      reinterpret_cast<uint32_t (*)()>(library.GetFunctionPointer("FakeDriverVersionCalls"));
  ASSERT_NE(version_calls, nullptr);
  EXPECT_EQ(version_calls(), 0u);
}

// A path that fills the whole 260-byte buffer is read back intact.
TEST_F(DriverBindingTest, LongestPathIsReadWhole) {
  const std::string path = ArtifactPath(FAKE_DRIVER_FULL_PATH);
  std::string padded = path;
#ifdef _WIN32
  const std::string separator = "\\.";
#else
  const std::string separator = "/.";
#endif
  std::string dir = path.substr(0, path.find_last_of("/\\"));
  std::string file = path.substr(path.find_last_of("/\\"));
  while (dir.size() + file.size() + separator.size() <= 259) dir += separator;
  // One short (the padding comes in pairs): a doubled separator names the same file.
  if (dir.size() + file.size() < 259) dir += separator.substr(0, 1);
  padded = dir + file;
  ASSERT_EQ(padded.size(), 259u);
  key_.SetPath(padded);
  DriverEntryTable table;
  EXPECT_TRUE(BindDriver(&table).is_valid());
  EXPECT_TRUE(capture_.MessageBoxes().empty());
}

// 260 bytes without a terminator used to be cut to 259 characters, and that
// other file was loaded: here the cut path names a driver that binds. The value
// is refused as unreadable.
TEST_F(DriverBindingTest, FullLengthPathWithoutTerminatorIsUnreadable) {
  const std::string path = ArtifactPath(FAKE_DRIVER_FULL_PATH);
#ifdef _WIN32
  const std::string separator = "\\.";
#else
  const std::string separator = "/.";
#endif
  std::string dir = path.substr(0, path.find_last_of("/\\"));
  const std::string file = path.substr(path.find_last_of("/\\"));
  while (dir.size() + file.size() + separator.size() <= 259) dir += separator;
  if (dir.size() + file.size() < 259) dir += separator.substr(0, 1);
  const std::string unterminated = dir + file + "x";
  ASSERT_EQ(unterminated.size(), 260u);
  EXPECT_EQ(
      key_.Create().SetValue(kDriverPathValue, platform::kRegTypeSz, unterminated.data(), 260),
      platform::kRegSuccess);
  EXPECT_EQ(BindFailure(), kUnreadable);
}

// A card's channel against ZeltoSim, which the test also holds loaded to read
// its counters.
class CaptureChannelTest : public DriverBindingTest {
 protected:
  void SetUp() override {
    sim_ = platform::LoadDynamicLibrary(ArtifactPath(ZELTOSIM_PATH).c_str());
    ASSERT_NE(sim_, nullptr);
    reset_ = reinterpret_cast<PFN_ZeltoSim_Reset>(platform::ResolveSymbol(sim_, "ZeltoSim_Reset"));
    counters_ = reinterpret_cast<PFN_ZeltoSim_GetCounters>(
        platform::ResolveSymbol(sim_, "ZeltoSim_GetCounters"));
    call_log_ = reinterpret_cast<PFN_ZeltoSim_GetCallLog>(
        platform::ResolveSymbol(sim_, "ZeltoSim_GetCallLog"));
    ASSERT_TRUE(reset_ && counters_ && call_log_);
    reset_();
    key_.SetPath(ArtifactPath(ZELTOSIM_PATH));
  }
  void TearDown() override {
    if (sim_ != nullptr) {
      reset_();
      platform::UnloadDynamicLibrary(sim_);
    }
  }
  ZeltoSimCounters Counters() {
    ZeltoSimCounters c;
    counters_(&c);
    return c;
  }
  // Opens channel 0 and gives it a capture buffer of 4096 bytes.
  void OpenWithBuffer(CaptureChannel& channel) {
    HRGBCAPTURE handle = 0;
    ASSERT_EQ(channel.Driver().RGBCaptureOpen(0, &handle), 0u);
    channel.SetHandle(handle);
    ASSERT_EQ(channel.ReplaceFrameBuffer(4096), 0u);
    ASSERT_EQ(Counters().live_buffers, 1u);
  }

  platform::LibraryHandle sim_ = nullptr;
  PFN_ZeltoSim_Reset reset_ = nullptr;
  PFN_ZeltoSim_GetCounters counters_ = nullptr;
  PFN_ZeltoSim_GetCallLog call_log_ = nullptr;
};

TEST_F(CaptureChannelTest, ZeltoSimBindsThroughTheRegistry) {
  CaptureChannel channel;
  ASSERT_TRUE(channel.Bind());
  uint32_t devices = 0;
  EXPECT_EQ(channel.Driver().RGBCaptureInitialise(&devices), 0u);
  EXPECT_EQ(devices, 2u);
}

TEST_F(CaptureChannelTest, ReleaseFreesTheBufferThenClosesTheChannel) {
  CaptureChannel channel;
  ASSERT_TRUE(channel.Bind());
  OpenWithBuffer(channel);

  channel.ReleaseDriver();
  EXPECT_FALSE(channel.has_driver());
  EXPECT_EQ(channel.handle(), 0u);
  ZeltoSimCounters c = Counters();
  EXPECT_EQ(c.live_buffers, 0u);
  EXPECT_EQ(c.buffers_closed, 0u);  // freed, not swept up by the close
  EXPECT_EQ(c.open_handles, 0u);
  ZeltoSimCall log[8];
  uint32_t n = call_log_(log, 8);
  ASSERT_EQ(n, 4u);
  EXPECT_EQ(log[2].entry, static_cast<uint32_t>(DriverEntry::kRGBCaptureFreeBuffer));
  EXPECT_EQ(log[3].entry, static_cast<uint32_t>(DriverEntry::kRGBCaptureClose));
  // Released twice, or destroyed afterwards: nothing more is called.
  channel.ReleaseDriver();
  EXPECT_EQ(call_log_(nullptr, 0), 4u);
}

TEST_F(CaptureChannelTest, DestructionFreesClosesAndUnloadsInThatOrder) {
  {
    CaptureChannel channel;
    ASSERT_TRUE(channel.Bind());
    OpenWithBuffer(channel);
  }
  ZeltoSimCall log[8];
  ASSERT_EQ(call_log_(log, 8), 4u);
  EXPECT_EQ(log[2].entry, static_cast<uint32_t>(DriverEntry::kRGBCaptureFreeBuffer));
  EXPECT_EQ(log[3].entry, static_cast<uint32_t>(DriverEntry::kRGBCaptureClose));
  EXPECT_EQ(Counters().open_handles, 0u);
}

// The capture buffer's size is what was asked for; a refused allocation holds none.
TEST_F(CaptureChannelTest, ReplacedBufferKnowsItsSize) {
  CaptureChannel channel;
  ASSERT_TRUE(channel.Bind());
  OpenWithBuffer(channel);
  size_t size = 0;
  channel.ReadFrameBuffer([&](const uint8_t* data, size_t bytes) {
    EXPECT_NE(data, nullptr);
    size = bytes;
  });
  EXPECT_EQ(size, 4096u);
  EXPECT_EQ(channel.ReplaceFrameBuffer(100), 0u);
  EXPECT_EQ(Counters().live_buffers, 1u);  // the old one was freed first
  channel.ReadFrameBuffer([&](const uint8_t*, size_t bytes) { size = bytes; });
  EXPECT_EQ(size, 100u);
}

TEST_F(CaptureChannelTest, RebindHoldsTheNewLibraryAndNoHandle) {
  CaptureChannel channel;
  ASSERT_TRUE(channel.Bind());
  OpenWithBuffer(channel);
  channel.ReleaseDriver();
  channel.RebindDriver();
  EXPECT_TRUE(channel.has_driver());
  EXPECT_EQ(channel.handle(), 0u);
  EXPECT_FALSE(capture_.HasTrace("KTS DLL SETUP failed. Serious Error"));
  uint32_t devices = 0;
  EXPECT_EQ(channel.Driver().RGBCaptureInitialise(&devices), 0u);
}

TEST_F(CaptureChannelTest, RebindWithoutADriverTracesTheFailure) {
  CaptureChannel channel;
  ASSERT_TRUE(channel.Bind());
  channel.ReleaseDriver();
  platform::DeleteRegistryTree(RegistryRoot::kLocalMachine, kDriverKeyPath);
  channel.RebindDriver();
  EXPECT_FALSE(channel.has_driver());
  EXPECT_EQ(channel.handle(), 0u);
  EXPECT_TRUE(capture_.HasTrace("KTS DLL SETUP failed. Serious Error"));
  EXPECT_EQ(capture_.MessageBoxes(), std::vector<std::string>{kUnreadable});
}

// Each channel binds its own table: another channel's failed binding (which
// resolves 20 names from a library it then unloads) must not reach this one's
// entry points. With one shared table this called into an unloaded library.
TEST_F(CaptureChannelTest, AnotherChannelsFailedBindingLeavesThisOneWorking) {
  CaptureChannel first;
  ASSERT_TRUE(first.Bind());
  key_.SetPath(ArtifactPath(FAKE_DRIVER_PARTIAL_PATH));
  {
    CaptureChannel second;
    EXPECT_FALSE(second.Bind());
  }
  uint32_t devices = 0;
  EXPECT_EQ(first.Driver().RGBCaptureInitialise(&devices), 0u);
  EXPECT_EQ(devices, 2u);  // still ZeltoSim, not the stand-in's 42
}

}  // namespace
}  // namespace zelto
