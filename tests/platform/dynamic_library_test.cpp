#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace zelto::platform {
namespace {

namespace fs = std::filesystem;
using Export = int (*)(int);

std::string LibraryPath() { return testing::ArtifactPath(PLATFORM_TEST_LIBRARY_PATH); }

int CallExport(LibraryHandle library) {
  void* symbol = ResolveSymbol(library, "ZeltoFixtureTwicePlusOne");
  if (symbol == nullptr) return -1;
  return reinterpret_cast<Export>(symbol)(20);
}

TEST(DynamicLibraryTest, LoadsByNarrowPathAndResolvesTheExactName) {
  LibraryHandle library = LoadDynamicLibrary(LibraryPath().c_str());
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(CallExport(library), 41);
  // Export names are case-sensitive on both systems.
  EXPECT_EQ(ResolveSymbol(library, "zeltofixturetwiceplusone"), nullptr);
  EXPECT_EQ(ResolveSymbol(library, "ZeltoFixtureTwicePlusOn"), nullptr);
  EXPECT_EQ(ResolveSymbol(nullptr, "ZeltoFixtureTwicePlusOne"), nullptr);
  UnloadDynamicLibrary(library);
  UnloadDynamicLibrary(nullptr);
}

// The wide entry must convert the whole path, not just its ASCII part.
TEST(DynamicLibraryTest, LoadsByWidePathOutsideASCII) {
  testing::ScopedTempDir dir;
  fs::path copy = fs::path(dir.path()) / fs::path(u"biblioth\u00e8que-\u00fc") /
                  fs::path(LibraryPath()).filename();
  fs::create_directories(copy.parent_path());
  fs::copy_file(fs::path(LibraryPath()), copy);

  std::u16string wide = copy.u16string();
  LibraryHandle library = LoadDynamicLibraryWide(wide.c_str());
  ASSERT_NE(library, nullptr) << copy.string();
  EXPECT_EQ(CallExport(library), 41);
  UnloadDynamicLibrary(library);
}

TEST(DynamicLibraryTest, AFailedLoadReturnsNullAndTracesThePathAndTheReason) {
  testing::ScopedTempDir dir;
  std::string missing = (fs::path(dir.path()) / "NoSuchDriver.dll").string();
  testing::TraceCapture traces;
  EXPECT_EQ(LoadDynamicLibrary(missing.c_str()), nullptr);
  std::u16string wide = (fs::path(dir.path()) / "NoSuchWide.dll").u16string();
  EXPECT_EQ(LoadDynamicLibraryWide(wide.c_str()), nullptr);

  std::vector<std::string> texts = traces.Traces();
  ASSERT_EQ(texts.size(), 2u);
  size_t at = texts[0].find(missing);
  ASSERT_NE(at, std::string::npos) << texts[0];
  // Something after the path: the system's reason.
  EXPECT_GT(texts[0].size(), at + missing.size() + 3) << texts[0];
  EXPECT_NE(texts[1].find("NoSuchWide.dll"), std::string::npos) << texts[1];
}

}  // namespace
}  // namespace zelto::platform
