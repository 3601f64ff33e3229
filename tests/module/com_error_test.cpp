// The COM edge's error convention: which exception becomes which result, and what
// the host then finds in the error information.
#include "module/com_error.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "com_test_util.h"

namespace zelto {
namespace {

using testing::TakeErrorInfo;

TEST(ComErrorTest, TextExceptionBecomesDispExceptionWithItsText) {
  HRESULT hr = GuardedCall([]() -> HRESULT { throw TextException(kNotEnoughMemoryText); });
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
  testing::ErrorInfoText info = TakeErrorInfo();
  ASSERT_TRUE(info.present);
  EXPECT_EQ(info.description, "Not Enough memory");
  EXPECT_EQ(info.source, "ZeltoRGB.OrvaneZeltoRGB.1");
  EXPECT_TRUE(IsEqualGUID(info.guid, GUID_NULL));
  // GetErrorInfo hands the information over once.
  EXPECT_FALSE(TakeErrorInfo().present);
}

TEST(ComErrorTest, OtherExceptionsNeitherEscapeNorLeaveStaleInformation) {
  SetModuleErrorInfo("stale");
  EXPECT_EQ(GuardedCall([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
  EXPECT_FALSE(TakeErrorInfo().present);
  SetModuleErrorInfo("stale");
  EXPECT_EQ(GuardedCall([]() -> HRESULT { throw std::runtime_error("x"); }), E_UNEXPECTED);
  EXPECT_FALSE(TakeErrorInfo().present);
  EXPECT_EQ(GuardedCall([]() -> HRESULT { throw 42; }), E_UNEXPECTED);
}

TEST(ComErrorTest, ResultsWithoutExceptionPassThrough) {
  EXPECT_EQ(GuardedCall([] { return S_FALSE; }), S_FALSE);
  EXPECT_EQ(GuardedCall([] { return E_INVALIDARG; }), E_INVALIDARG);
}

TEST(ComErrorTest, ErrorInformationBelongsToTheThreadThatSetIt) {
  SetModuleErrorInfo(kOverrunText);
  bool seen_elsewhere = true;
  std::thread other([&] { seen_elsewhere = TakeErrorInfo().present; });
  other.join();
  EXPECT_FALSE(seen_elsewhere);
  EXPECT_EQ(TakeErrorInfo().description, "overrun");
}

TEST(ComErrorTest, HostStringsBecomeNarrowPaths) {
  testing::TestBstr key("Software\\ZeltoTests\\1-2\\");
  EXPECT_EQ(NarrowFromBstr(key.get()), "Software\\ZeltoTests\\1-2\\");
  EXPECT_EQ(NarrowFromBstr(nullptr), "");
}

}  // namespace
}  // namespace zelto
