// ScopedLibrary unloads exactly once, when its owner lets go. A library that
// was really unloaded restarts the fixture's call count when it is loaded again.
#include "platform/scoped_library.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "test_support.h"

namespace zelto::platform {
namespace {

using NextCount = int (*)();

std::string LibraryPath() { return testing::ArtifactPath(PLATFORM_TEST_LIBRARY_PATH); }

int Next(const ScopedLibrary& library) {
  auto next = reinterpret_cast<NextCount>(library.GetFunctionPointer("ZeltoFixtureNextCount"));
  return next != nullptr ? next() : -1;
}

TEST(ScopedLibraryTest, DestructionAndResetUnload) {
  {
    ScopedLibrary library(LoadDynamicLibrary(LibraryPath().c_str()));
    ASSERT_TRUE(library.is_valid());
    EXPECT_EQ(Next(library), 1);
    EXPECT_EQ(Next(library), 2);
  }
  ScopedLibrary library(LoadDynamicLibrary(LibraryPath().c_str()));
  EXPECT_EQ(Next(library), 1);  // the destructor unloaded it
  library.reset();
  EXPECT_FALSE(library.is_valid());
  EXPECT_EQ(library.GetFunctionPointer("ZeltoFixtureNextCount"), nullptr);
  library.reset(LoadDynamicLibrary(LibraryPath().c_str()));
  EXPECT_EQ(Next(library), 1);  // reset() unloaded it
}

// A move hands the library over: the moved-from owner unloads nothing, the new
// one keeps it loaded (the count goes on) until it goes.
TEST(ScopedLibraryTest, MoveHandsOverAndReleaseGivesUp) {
  ScopedLibrary first(LoadDynamicLibrary(LibraryPath().c_str()));
  EXPECT_EQ(Next(first), 1);
  ScopedLibrary second(std::move(first));
  EXPECT_FALSE(first.is_valid());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(Next(second), 2);
  ScopedLibrary third;
  third = std::move(second);
  EXPECT_EQ(Next(third), 3);
  ScopedLibrary& same = third;
  third = std::move(same);  // a self-move keeps it
  EXPECT_EQ(Next(third), 4);

  LibraryHandle raw = third.release();
  EXPECT_FALSE(third.is_valid());
  ScopedLibrary again(raw);
  EXPECT_EQ(Next(again), 5);  // release() did not unload
}

}  // namespace
}  // namespace zelto::platform
