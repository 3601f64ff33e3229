// BindTimeSource against the sample plug-in and its variants: what the settings
// under the host's key select, the traces of every fallback, the offsets, and that
// a replaced or dropped binding lets go of its library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/registry.h"
#include "sample_time_source.h"
#include "test_support.h"
#include "timesource/time_source_manager.h"
#include "timesource/time_source_settings.h"

namespace zelto {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;
using testing::SampleTimeSource;

constexpr const char* kFallbackLoad = "Loading the time source failed. Defaulting to system clock.";
constexpr const char* kFallbackInit =
    "Could not initialize the time source. Defaulting to system clock.";

class TimeSourceBindingTest : public ::testing::Test {
 protected:
  ~TimeSourceBindingTest() override {
    platform::DeleteRegistryTree(RegistryRoot::kCurrentUser, host_key_);
  }

  RegistryKey HostKey() {
    RegistryKey key;
    EXPECT_EQ(key.Create(RegistryRoot::kCurrentUser, host_key_), platform::kRegSuccess);
    return key;
  }
  void SetName(const std::string& name, uint32_t type = platform::kRegTypeSz) {
    HostKey().SetValue(kTimeSourceDllValue, type, name.c_str(),
                       static_cast<uint32_t>(name.size() + 1));
  }
  bool HasLoadTrace() const {
    for (const std::string& text : traces_.Traces()) {
      if (text.rfind("Time Source", 0) == 0 || text == kFallbackLoad || text == kFallbackInit) {
        return true;
      }
    }
    return false;
  }

  testing::ScopedTempRegistry registry_;
  std::string host_key_ = testing::UniqueHostKey();
  SampleTimeSource plugin_{ZELTO_TIMESOURCE_PATH};
  testing::TraceCapture traces_;
  CTimeSourceManager manager_;
};

// Absent, empty and "System" all mean the system clock: nothing loaded, and only
// "System", a value read, is traced. The offsets are read all the same.
TEST_F(TimeSourceBindingTest, SystemClockSettingsLoadNothingAndStillReadTheOffsets) {
  testing::WriteTimeSourceSettings(host_key_, nullptr, -7, 3, 1);
  manager_.BindTimeSource(host_key_);
  EXPECT_FALSE(manager_.IsBound());
  EXPECT_FALSE(HasLoadTrace());
  EXPECT_EQ(manager_.GetTimeSourceOffset(), -7);
  EXPECT_EQ(manager_.GetLtcTimeSourceOffset(), 3);
  EXPECT_EQ(manager_.GetLtcFrameRate(), 20);

  SetName("");
  manager_.BindTimeSource(host_key_);
  EXPECT_FALSE(manager_.IsBound());
  EXPECT_FALSE(HasLoadTrace());

  SetName("System");
  manager_.BindTimeSource(host_key_);
  EXPECT_FALSE(manager_.IsBound());
  EXPECT_EQ(traces_.Traces(), std::vector<std::string>{"Time Source: System"});
  EXPECT_EQ(plugin_.Calls(TimeSourceEntry::kInitialize), 0u);
}

// The host's key itself, not the module's ZELTORGB sub-key, and created when
// missing; the settings are never written.
TEST_F(TimeSourceBindingTest, ReadsTheHostKeyItselfAndWritesNothing) {
  RegistryKey module_key;
  ASSERT_EQ(module_key.Create(RegistryRoot::kCurrentUser, host_key_ + "ZELTORGB"),
            platform::kRegSuccess);
  module_key.SetString(kTimeSourceDllValue, plugin_.path());
  module_key.SetDword(kTimeSourceOffsetValue, 5);
  manager_.BindTimeSource(host_key_);
  EXPECT_FALSE(manager_.IsBound());
  EXPECT_EQ(manager_.GetTimeSourceOffset(), 0);
  EXPECT_TRUE(testing::RegistryKeyExists(RegistryRoot::kCurrentUser, host_key_));
  uint32_t size = 0;
  EXPECT_EQ(HostKey().QueryValue(kTimeSourceDllValue, nullptr, nullptr, &size),
            platform::kRegNotFound);
  EXPECT_EQ(HostKey().QueryValue(kTimeSourceOffsetValue, nullptr, nullptr, &size),
            platform::kRegNotFound);
}

// Case matters: "system" is a library name, which does not load.
TEST_F(TimeSourceBindingTest, LowerCaseSystemIsALibraryThatFailsToLoad) {
  SetName("system");
  manager_.BindTimeSource(host_key_);
  EXPECT_FALSE(manager_.IsBound());
  EXPECT_TRUE(traces_.HasTrace("Time Source: system"));
  EXPECT_TRUE(traces_.HasTrace("Time Source Manager: Failed to load system"));
  EXPECT_TRUE(traces_.HasTrace(kFallbackLoad));
}

TEST_F(TimeSourceBindingTest, BindsAndInitialisesTheNamedPlugIn) {
  SetName(plugin_.path());
  manager_.BindTimeSource(host_key_);
  EXPECT_TRUE(manager_.IsBound());
  EXPECT_TRUE(traces_.HasTrace("Time Source: " + plugin_.path()));
  EXPECT_FALSE(traces_.HasTrace(kFallbackLoad));
  EXPECT_EQ(plugin_.CallLog(), std::vector<TimeSourceEntry>{TimeSourceEntry::kInitialize});
}

// A required entry point missing refuses the library; an optional one does not.
TEST_F(TimeSourceBindingTest, MissingEntryPointsDecideByWhetherTheyAreRequired) {
  SampleTimeSource no_get_name(ZELTO_TIMESOURCE_NO_GETNAME_PATH);
  SetName(no_get_name.path());
  manager_.BindTimeSource(host_key_);
  EXPECT_FALSE(manager_.IsBound());
  EXPECT_TRUE(traces_.HasTrace(kFallbackLoad));
  EXPECT_EQ(no_get_name.Calls(TimeSourceEntry::kInitialize), 0u);

  traces_.Clear();
  SampleTimeSource no_micro_second(ZELTO_TIMESOURCE_NO_MICROSECOND_PATH);
  SetName(no_micro_second.path());
  manager_.BindTimeSource(host_key_);
  EXPECT_TRUE(manager_.IsBound());
  EXPECT_FALSE(traces_.HasTrace(kFallbackLoad));
  EXPECT_EQ(no_micro_second.Calls(TimeSourceEntry::kInitialize), 1u);
}

TEST_F(TimeSourceBindingTest, InitializeFalseAbandonsTheBinding) {
  plugin_.Configure("init=fail");
  SetName(plugin_.path());
  manager_.BindTimeSource(host_key_);
  EXPECT_FALSE(manager_.IsBound());
  EXPECT_TRUE(traces_.HasTrace(kFallbackInit));
  EXPECT_EQ(plugin_.Calls(TimeSourceEntry::kInitialize), 1u);
  EXPECT_EQ(plugin_.Calls(TimeSourceEntry::kUninitialize), 0u);
}

// REG_EXPAND_SZ is taken as stored: a path through a variable is not expanded.
TEST_F(TimeSourceBindingTest, ExpandStringIsUsedUnexpanded) {
  SetName(plugin_.path(), platform::kRegTypeExpandSz);
  manager_.BindTimeSource(host_key_);
  EXPECT_TRUE(manager_.IsBound());

  const std::string unexpanded = "%ZELTO_TEST_PLUGIN%";
#ifdef _WIN32
  _putenv(("ZELTO_TEST_PLUGIN=" + plugin_.path()).c_str());
#else
  setenv("ZELTO_TEST_PLUGIN", plugin_.path().c_str(), 1);
#endif
  SetName(unexpanded, platform::kRegTypeExpandSz);
  manager_.BindTimeSource(host_key_);
  EXPECT_FALSE(manager_.IsBound());
  EXPECT_TRUE(traces_.HasTrace("Time Source Manager: Failed to load " + unexpanded));
}

// What the 260-byte read refuses is the system clock, without a trace: a longer
// name, another type, a string without its terminator.
TEST_F(TimeSourceBindingTest, UnreadableNamesMeanTheSystemClock) {
  std::string longest(259, 'x');
  SetName(longest);
  manager_.BindTimeSource(host_key_);
  EXPECT_TRUE(traces_.HasTrace("Time Source: " + longest));  // 260 bytes: read

  traces_.Clear();
  SetName(longest + "x");
  manager_.BindTimeSource(host_key_);
  HostKey().SetDword(kTimeSourceDllValue, 1);
  manager_.BindTimeSource(host_key_);
#ifndef _WIN32
  // (The Windows registry's ANSI reads terminate the string they convert, so
  // there a stored string without its zero reads like any other.)
  const std::string path = plugin_.path();
  HostKey().SetValue(kTimeSourceDllValue, platform::kRegTypeSz, path.data(),
                     static_cast<uint32_t>(path.size()));
  manager_.BindTimeSource(host_key_);
#endif
  EXPECT_FALSE(manager_.IsBound());
  EXPECT_FALSE(HasLoadTrace());
}

// A value of up to 4 bytes counts whatever its type; longer ones give 0. The mode
// maps 0 to 30, 1 to 20 and anything else to 24 frames per second.
TEST_F(TimeSourceBindingTest, OffsetsTakeShortValuesOfAnyTypeAndTheModeGivesTheRate) {
  const uint8_t two[2] = {0x10, 0x27};  // 10000
  HostKey().SetBinary(kTimeSourceOffsetValue, two, sizeof(two));
  HostKey().SetString(kLtcTimeSourceOffsetValue, "A");  // "A\0" as two bytes: 0x41
  HostKey().SetDword(kLtcTimeSourceModeValue, 2);
  manager_.BindTimeSource(host_key_);
  EXPECT_EQ(manager_.GetTimeSourceOffset(), 10000);
  EXPECT_EQ(manager_.GetLtcTimeSourceOffset(), 0x41);
  EXPECT_EQ(manager_.GetLtcFrameRate(), 24);

  const uint8_t eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  HostKey().SetBinary(kTimeSourceOffsetValue, eight, sizeof(eight));
  HostKey().SetDword(kLtcTimeSourceOffsetValue, static_cast<uint32_t>(-2));
  HostKey().SetDword(kLtcTimeSourceModeValue, 0xFFFFFFFFu);
  manager_.BindTimeSource(host_key_);
  EXPECT_EQ(manager_.GetTimeSourceOffset(), 0);
  EXPECT_EQ(manager_.GetLtcTimeSourceOffset(), -2);
  EXPECT_EQ(manager_.GetLtcFrameRate(), 24);

  HostKey().DeleteValue(kLtcTimeSourceModeValue);
  manager_.BindTimeSource(host_key_);
  EXPECT_EQ(manager_.GetLtcFrameRate(), 30);
}

// Each binding is initialised once. A new one replaces the old, and settings that
// now say "System" drop it: either way the old library is let go. The test holds
// no reference to the variant, so a fresh load of it shows whether the module's
// was unloaded (its counters start again from zero).
TEST_F(TimeSourceBindingTest, ReplacedAndDroppedBindingsUnloadTheirLibrary) {
  const std::string variant = testing::ArtifactPath(ZELTO_TIMESOURCE_NO_MICROSECOND_PATH);
  SetName(variant);
  manager_.BindTimeSource(host_key_);
  ASSERT_TRUE(manager_.IsBound());
  SetName(plugin_.path());
  manager_.BindTimeSource(host_key_);
  manager_.BindTimeSource(host_key_);
  EXPECT_TRUE(manager_.IsBound());
  EXPECT_EQ(plugin_.Calls(TimeSourceEntry::kInitialize), 2u);
  {
    SampleTimeSource reloaded(ZELTO_TIMESOURCE_NO_MICROSECOND_PATH);
    EXPECT_EQ(reloaded.Calls(TimeSourceEntry::kInitialize), 0u);
  }
  SetName("System");
  manager_.BindTimeSource(host_key_);
  EXPECT_FALSE(manager_.IsBound());
  EXPECT_EQ(plugin_.Calls(TimeSourceEntry::kUninitialize), 0u);  // that is DisableGrab's
}

}  // namespace
}  // namespace zelto
