// The Windows server as the system sees it: regsvr32 registers and unregisters
// it, the type library is registered from its resource, and a host creates the
// object by its ProgID through CoCreateInstance and grabs frames.
#include <gtest/gtest.h>

#include <string>

#include "../module/com_test_util.h"
#include "frame_check.h"
#include "platform/registry.h"
#include "sim_card.h"

namespace zelto {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;
using testing::ComPtr;
using testing::TestBstr;

constexpr RegistryRoot kRoot = RegistryRoot::kClassesRoot;
constexpr char kClassKey[] = "CLSID\\{7A64E52C-42A2-4AD2-8414-A05A6219358E}";
constexpr char kTypeLibKey[] = "TypeLib\\{BC99F136-E9D7-4648-B715-B4AF66D07CD2}\\1.0";

bool KeyExists(const std::string& path) { return testing::RegistryKeyExists(kRoot, path); }

std::string StringValue(const std::string& path, const char* name = "") {
  return testing::RegistryString(kRoot, path, name);
}

// Runs regsvr32 silently on the module; its exit code.
DWORD RunRegsvr32(const std::string& arguments) {
  std::string command =
      "regsvr32.exe /s " + arguments + " \"" + testing::ArtifactPath(ZELTO_MODULE_PATH) + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return ~DWORD{0};
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = ~DWORD{0};
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

class ComServerWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override {
    RunRegsvr32("/u");
    CoUninitialize();
  }
};

TEST_F(ComServerWineTest, Regsvr32WritesEveryKeyAndTheTypeLibrary) {
  ASSERT_EQ(RunRegsvr32(""), 0u);
  const std::string clsid = "{7A64E52C-42A2-4AD2-8414-A05A6219358E}";
  const std::string class_key = kClassKey;
  EXPECT_EQ(StringValue("ZeltoRGB.OrvaneZeltoRGB.1"), "OrvaneZeltoRGB Class");
  EXPECT_EQ(StringValue("ZeltoRGB.OrvaneZeltoRGB.1\\CLSID"), clsid);
  EXPECT_EQ(StringValue("ZeltoRGB.OrvaneZeltoRGB"), "OrvaneZeltoRGB Class");
  EXPECT_EQ(StringValue("ZeltoRGB.OrvaneZeltoRGB\\CLSID"), clsid);
  EXPECT_EQ(StringValue("ZeltoRGB.OrvaneZeltoRGB\\CurVer"), "ZeltoRGB.OrvaneZeltoRGB.1");
  EXPECT_EQ(StringValue(class_key), "OrvaneZeltoRGB Class");
  EXPECT_EQ(StringValue(class_key + "\\ProgID"), "ZeltoRGB.OrvaneZeltoRGB.1");
  EXPECT_EQ(StringValue(class_key + "\\VersionIndependentProgID"), "ZeltoRGB.OrvaneZeltoRGB");
  EXPECT_TRUE(KeyExists(class_key + "\\Programmable"));
  EXPECT_EQ(StringValue(class_key + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_NE(StringValue(class_key + "\\InprocServer32").find("OrvZeltoRGB.dll"), std::string::npos);
  EXPECT_EQ(StringValue(class_key + "\\TypeLib"), "{BC99F136-E9D7-4648-B715-B4AF66D07CD2}");

  // The type library is registered and describes the class and its dual interface.
  EXPECT_TRUE(KeyExists(kTypeLibKey));
  ITypeLib* library = nullptr;
  ASSERT_EQ(LoadRegTypeLib(LIBID_ZELTORGBLib, 1, 0, 0, &library), S_OK);
  BSTR name = nullptr, help = nullptr;
  ASSERT_EQ(library->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
  EXPECT_EQ(testing::NarrowTestText(name), "ZELTORGBLib");
  EXPECT_EQ(testing::NarrowTestText(help), "ZeltoRGB 1.0 Type Library");
  SysFreeString(name);
  SysFreeString(help);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IOrvaneZeltoRGB, &info), S_OK);
  info->Release();
  ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_OrvaneZeltoRGB, &info), S_OK);
  info->Release();
  library->Release();
}

TEST_F(ComServerWineTest, HostCreatesTheObjectByProgIdAndGrabs) {
  ASSERT_EQ(RunRegsvr32(""), 0u);
  testing::SimCard sim(ZELTOSIM_PATH);
  sim.Configure("pacing=free");
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"ZeltoRGB.OrvaneZeltoRGB.1", &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_OrvaneZeltoRGB));
  ASSERT_EQ(CLSIDFromProgID(L"ZeltoRGB.OrvaneZeltoRGB", &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_OrvaneZeltoRGB));
  {
    ComPtr<IOrvaneGenericGrabber> grabber;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOrvaneGenericGrabber,
                               grabber.put_void()),
              S_OK);
    // The dual interface's IDispatch is served from the embedded type library.
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(grabber->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, &info), S_OK);
    info->Release();

    TestBstr key(sim.host_key());
    ASSERT_EQ(grabber->CreateCard(key.get()), S_OK);
    ComPtr<IOrvaneImageProp> image;
    ASSERT_EQ(grabber->QueryInterface(IID_IOrvaneImageProp, image.put_void()), S_OK);
    ComPtr<IOrvaneBufferUsageProp> usage;
    ASSERT_EQ(grabber->QueryInterface(IID_IOrvaneBufferUsageProp, usage.put_void()), S_OK);
    testing::GrabAndCheck(grabber.get(), image.get(), usage.get(), 4, 100);

    // Error information reaches the host through the system's COM as well.
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(grabber->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IOrvaneZeltoRGB), S_OK);
  }
  CoFreeUnusedLibraries();
}

TEST_F(ComServerWineTest, Regsvr32UnregisterRemovesTheScriptsKeysAndKeepsClsid) {
  ASSERT_EQ(RunRegsvr32(""), 0u);
  ASSERT_TRUE(KeyExists(kClassKey));
  ASSERT_EQ(RunRegsvr32("/u"), 0u);
  EXPECT_FALSE(KeyExists("ZeltoRGB.OrvaneZeltoRGB.1"));
  EXPECT_FALSE(KeyExists("ZeltoRGB.OrvaneZeltoRGB"));
  EXPECT_FALSE(KeyExists(kClassKey));
  EXPECT_FALSE(KeyExists(kTypeLibKey));
  EXPECT_TRUE(KeyExists("CLSID"));
  CLSID clsid{};
  EXPECT_NE(CLSIDFromProgID(L"ZeltoRGB.OrvaneZeltoRGB.1", &clsid), S_OK);
}

}  // namespace
}  // namespace zelto
