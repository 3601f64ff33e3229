// The POSIX COM runtime: BSTRs keep their length and may hold zeros, and the
// error information of a thread is replaced, handed over and released.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "module/com_error.h"
#include "zeltorgb/com_posix.h"

namespace zelto {
namespace {

TEST(ComRuntimePosixTest, BstrKeepsItsLengthPrefix) {
  const OLECHAR with_zero[] = {u'a', 0, u'b'};
  BSTR text = SysAllocStringLen(with_zero, 3);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(text[2], u'b');
  EXPECT_EQ(text[3], 0);
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(text) - 4, 4);
  EXPECT_EQ(prefix, 6u);  // bytes, as on Windows
  SysFreeString(text);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  BSTR blank = SysAllocStringLen(nullptr, 2);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(blank[0], 0);
  EXPECT_EQ(SysStringLen(blank), 2u);
  SysFreeString(blank);
}

TEST(ComRuntimePosixTest, ReAllocReplacesTheCallersString) {
  BSTR text = nullptr;
  ASSERT_TRUE(SysReAllocString(&text, u"Input Channel"));
  EXPECT_EQ(SysStringLen(text), 13u);
  ASSERT_TRUE(SysReAllocString(&text, u"RGB 24"));
  EXPECT_EQ(std::u16string(text), u"RGB 24");
  ASSERT_TRUE(SysReAllocString(&text, nullptr));
  EXPECT_EQ(text, nullptr);
  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
}

TEST(ComRuntimePosixTest, ErrorInfoIsReplacedAndHandedOverOnce) {
  SetModuleErrorInfo("first");
  SetModuleErrorInfo("second");
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  BSTR description = nullptr;
  ASSERT_EQ(info->GetDescription(&description), S_OK);
  EXPECT_EQ(std::u16string(description), u"second");
  SysFreeString(description);
  info->Release();
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
}

// The conversion itself is tested in base/; here, that the BSTR's own length
// bounds it, so a zero inside is kept rather than ending the path.
TEST(ComRuntimePosixTest, HostPathsAreConvertedToUtf8ByTheirLength) {
  const OLECHAR path[] = {u'K', 0x00E9, 0, u'x'};
  BSTR text = SysAllocStringLen(path, 4);
  EXPECT_EQ(NarrowFromBstr(text), std::string("K\xC3\xA9\0x", 5));
  SysFreeString(text);
}

}  // namespace
}  // namespace zelto
