// Self-registration through the built module's own exports: the registry script's
// keys and values, the class key replaced whole, and what unregistration leaves.
#include "module/registration.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/dynamic_library.h"
#include "platform/registry.h"
#include "test_support.h"

namespace zelto {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

constexpr RegistryRoot kRoot = RegistryRoot::kClassesRoot;

bool KeyExists(const std::string& path) { return testing::RegistryKeyExists(kRoot, path); }

std::string StringValue(const std::string& path, const char* name = "") {
  return testing::RegistryString(kRoot, path, name);
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = platform::LoadDynamicLibrary(module_path_.c_str());
    ASSERT_NE(library_, nullptr) << module_path_;
    register_ = reinterpret_cast<ZeltoDllRegisterServerFn>(
        platform::ResolveSymbol(library_, "DllRegisterServer"));
    unregister_ = reinterpret_cast<ZeltoDllRegisterServerFn>(
        platform::ResolveSymbol(library_, "DllUnregisterServer"));
    ASSERT_NE(register_, nullptr);
    ASSERT_NE(unregister_, nullptr);
  }
  void TearDown() override {
    if (unregister_ != nullptr) unregister_();
    platform::UnloadDynamicLibrary(library_);
  }

  testing::ScopedTempRegistry registry_;
  std::string module_path_ = testing::ArtifactPath(ZELTO_MODULE_PATH);
  platform::LibraryHandle library_ = nullptr;
  ZeltoDllRegisterServerFn register_ = nullptr;
  ZeltoDllRegisterServerFn unregister_ = nullptr;
};

TEST_F(RegistrationTest, WritesTheScriptsKeysAndValues) {
  ASSERT_EQ(register_(), S_OK);
  const std::string clsid = GuidToString(CLSID_OrvaneZeltoRGB);
  const std::string class_key = "CLSID\\" + clsid;
  EXPECT_EQ(clsid, "{7A64E52C-42A2-4AD2-8414-A05A6219358E}");

  EXPECT_EQ(StringValue("ZeltoRGB.OrvaneZeltoRGB.1"), "OrvaneZeltoRGB Class");
  EXPECT_EQ(StringValue("ZeltoRGB.OrvaneZeltoRGB.1\\CLSID"), clsid);
  EXPECT_EQ(StringValue("ZeltoRGB.OrvaneZeltoRGB"), "OrvaneZeltoRGB Class");
  EXPECT_EQ(StringValue("ZeltoRGB.OrvaneZeltoRGB\\CLSID"), clsid);
  EXPECT_EQ(StringValue("ZeltoRGB.OrvaneZeltoRGB\\CurVer"), "ZeltoRGB.OrvaneZeltoRGB.1");

  EXPECT_EQ(StringValue(class_key), "OrvaneZeltoRGB Class");
  EXPECT_EQ(StringValue(class_key + "\\ProgID"), "ZeltoRGB.OrvaneZeltoRGB.1");
  EXPECT_EQ(StringValue(class_key + "\\VersionIndependentProgID"), "ZeltoRGB.OrvaneZeltoRGB");
  EXPECT_TRUE(KeyExists(class_key + "\\Programmable"));
  EXPECT_EQ(StringValue(class_key + "\\Programmable"), "<absent>");
  EXPECT_EQ(StringValue(class_key + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(StringValue(class_key + "\\TypeLib"), "{BC99F136-E9D7-4648-B715-B4AF66D07CD2}");

  // The server path names the module that registered itself.
  std::string server = StringValue(class_key + "\\InprocServer32");
  std::string expected = module_path_;
#ifdef _WIN32
  for (char& c : server) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  for (char& c : expected) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
#endif
  EXPECT_EQ(server, expected);
}

TEST_F(RegistrationTest, ReplacesTheClassKeyWhole) {
  const std::string class_key = "CLSID\\" + GuidToString(CLSID_OrvaneZeltoRGB);
  {
    RegistryKey stale;
    ASSERT_EQ(stale.Create(kRoot, class_key + "\\LocalServer32"), platform::kRegSuccess);
    ASSERT_EQ(stale.SetString("", "old.exe"), platform::kRegSuccess);
  }
  ASSERT_EQ(register_(), S_OK);
  EXPECT_FALSE(KeyExists(class_key + "\\LocalServer32"));
  // Registering twice is harmless.
  ASSERT_EQ(register_(), S_OK);
  EXPECT_EQ(StringValue(class_key + "\\ProgID"), "ZeltoRGB.OrvaneZeltoRGB.1");
}

TEST_F(RegistrationTest, UnregistrationRemovesItsKeysAndLeavesClsid) {
  const std::string neighbour = "CLSID\\{00000000-1111-2222-3333-444444444444}";
  {
    RegistryKey other;
    ASSERT_EQ(other.Create(kRoot, neighbour), platform::kRegSuccess);
  }
  ASSERT_EQ(register_(), S_OK);
  ASSERT_EQ(unregister_(), S_OK);
  EXPECT_FALSE(KeyExists("ZeltoRGB.OrvaneZeltoRGB.1"));
  EXPECT_FALSE(KeyExists("ZeltoRGB.OrvaneZeltoRGB"));
  EXPECT_FALSE(KeyExists("CLSID\\" + GuidToString(CLSID_OrvaneZeltoRGB)));
  EXPECT_TRUE(KeyExists("CLSID"));
  EXPECT_TRUE(KeyExists(neighbour));
  platform::DeleteRegistryTree(kRoot, neighbour);
  // A second unregistration finds nothing to remove and still succeeds.
  EXPECT_EQ(unregister_(), S_OK);
}

}  // namespace
}  // namespace zelto
