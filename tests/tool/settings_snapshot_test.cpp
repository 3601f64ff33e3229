#include "settings_snapshot.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "test_support.h"

namespace zelto::grab {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

class SettingsSnapshotTest : public ::testing::Test {
 protected:
  void Set(const std::string& key, const char* name, uint32_t value) {
    RegistryKey k;
    ASSERT_EQ(k.Create(RegistryRoot::kCurrentUser, key), platform::kRegSuccess);
    ASSERT_EQ(k.SetDword(name, value), platform::kRegSuccess);
  }
  void SetUp() override {
    Set(user_ + "ZELTORGB", "InputChannelValue", 1);
    Set(user_ + "ZELTORGB\\1", "Image Size X", 320);
    Set(user_ + "ZELTORGB\\0", "ContrastValue", 99);
    RegistryKey k;
    k.Create(RegistryRoot::kCurrentUser, user_);
    k.SetString("TimeSourceDLL", "C:\\plugins\\ts.dll");
  }
  void TearDown() override {
    platform::DeleteRegistryTree(RegistryRoot::kCurrentUser, user_);
    platform::DeleteRegistryTree(RegistryRoot::kCurrentUser, copy_);
  }

  testing::ScopedTempRegistry registry_;
  std::string user_ = testing::UniqueHostKey();
  std::string copy_ = testing::UniqueHostKey();
};

TEST_F(SettingsSnapshotTest, ACopyHoldsTheHostChannelAndTimeSourceValuesAsStored) {
  const SettingsSnapshot user = TakeSnapshot(user_);
  EXPECT_EQ(user.values.size(), 4u);
  // What was under the copy's key before is gone.
  Set(copy_ + "ZELTORGB\\3", "PhaseValue", 7);
  WriteSnapshot(user, copy_);
  const SettingsSnapshot copy = TakeSnapshot(copy_);
  EXPECT_EQ(CompareSnapshots(user, copy), "");
  EXPECT_EQ(testing::RegistryString(RegistryRoot::kCurrentUser, copy_, "TimeSourceDLL"),
            "C:\\plugins\\ts.dll");
  int32_t width = 0;
  EXPECT_TRUE(testing::RegistryDword(RegistryRoot::kCurrentUser, copy_ + "ZELTORGB\\1",
                                     "Image Size X", &width));
  EXPECT_EQ(width, 320);
  EXPECT_FALSE(testing::RegistryKeyExists(RegistryRoot::kCurrentUser, copy_ + "ZELTORGB\\3"));
}

TEST_F(SettingsSnapshotTest, EveryKindOfChangeIsNamed) {
  const SettingsSnapshot before = TakeSnapshot(user_);
  Set(user_ + "ZELTORGB\\0", "ContrastValue", 100);
  EXPECT_EQ(CompareSnapshots(before, TakeSnapshot(user_)),
            "\"ContrastValue\" under ZELTORGB\\0 was changed");
  Set(user_ + "ZELTORGB\\0", "ContrastValue", 99);
  EXPECT_EQ(CompareSnapshots(before, TakeSnapshot(user_)), "");

  // The same number as a string is a change too.
  {
    RegistryKey k;
    k.Create(RegistryRoot::kCurrentUser, user_ + "ZELTORGB");
    k.SetString("InputChannelValue", "1");
  }
  EXPECT_NE(CompareSnapshots(before, TakeSnapshot(user_)).find("was changed"), std::string::npos);
  Set(user_ + "ZELTORGB", "InputChannelValue", 1);

  Set(user_ + "ZELTORGB\\1", "Frame Rate", 30);
  EXPECT_EQ(CompareSnapshots(before, TakeSnapshot(user_)),
            "\"Frame Rate\" under ZELTORGB\\1 was added");
  {
    RegistryKey k;
    k.Create(RegistryRoot::kCurrentUser, user_ + "ZELTORGB\\1");
    k.DeleteValue("Frame Rate");
    k.DeleteValue("Image Size X");
  }
  EXPECT_EQ(CompareSnapshots(before, TakeSnapshot(user_)),
            "\"Image Size X\" under ZELTORGB\\1 was removed");
}

TEST_F(SettingsSnapshotTest, AKeyCreatedWithoutValuesIsATrace) {
  const SettingsSnapshot before = TakeSnapshot(user_);
  RegistryKey k;
  k.Create(RegistryRoot::kCurrentUser, user_ + "ZELTORGB\\5");
  EXPECT_EQ(CompareSnapshots(before, TakeSnapshot(user_)), "the key ZELTORGB\\5 was created");
}

}  // namespace
}  // namespace zelto::grab
