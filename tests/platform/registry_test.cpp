// One list of registry cases for both backends: natively the SQLite store in a
// temporary file, on Windows (under Wine) the real registry below a unique key
// under HKEY_CURRENT_USER.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "geometry/registry_values.h"
#include "platform/clock.h"
#include "test_support.h"

#ifndef _WIN32
#include <sqlite3.h>  // to hold the store's lock as another writer would
#endif

namespace zelto::platform {
namespace {

using testing::ArtifactPath;
using testing::ChildProcess;

constexpr RegistryRoot kHkcu = RegistryRoot::kCurrentUser;

class RegistryTest : public ::testing::Test {
 protected:
  void TearDown() override { DeleteRegistryTree(kHkcu, base_); }

  // A key below this test's own base key, created.
  RegistryKey CreateKey(const std::string& relative) {
    RegistryKey key;
    EXPECT_EQ(key.Create(kHkcu, base_ + relative), kRegSuccess) << relative;
    return key;
  }

  static uint32_t ReadDword(const RegistryKey& key, const char* name) {
    uint32_t type = 0, value = 0, size = sizeof(value);
    EXPECT_EQ(key.QueryValue(name, &type, &value, &size), kRegSuccess) << name;
    EXPECT_EQ(type, kRegTypeDword) << name;
    EXPECT_EQ(size, sizeof(value)) << name;
    return value;
  }

  static std::vector<unsigned char> ReadBytes(const RegistryKey& key, const char* name,
                                              uint32_t* type) {
    uint32_t size = 0;
    EXPECT_EQ(key.QueryValue(name, type, nullptr, &size), kRegSuccess) << name;
    std::vector<unsigned char> bytes(size);
    EXPECT_EQ(key.QueryValue(name, type, bytes.data(), &size), kRegSuccess) << name;
    bytes.resize(size);
    return bytes;
  }

  testing::ScopedTempRegistry registry_;
  const std::string base_ = testing::UniqueHostKey();  // ends in a backslash
};

TEST_F(RegistryTest, CreateMakesMissingParentsAndOpenFindsOnlyExistingKeys) {
  RegistryKey key;
  EXPECT_EQ(key.Open(kHkcu, base_ + "Outer"), kRegNotFound);
  EXPECT_FALSE(key.is_open());

  CreateKey("Outer\\Middle\\Inner");
  EXPECT_EQ(key.Open(kHkcu, base_ + "Outer\\Middle"), kRegSuccess);
  EXPECT_TRUE(key.is_open());
  // Creating an existing key opens it.
  RegistryKey again = CreateKey("Outer\\Middle\\Inner");
  EXPECT_TRUE(again.is_open());
  // A failed open leaves the object closed, not holding the previous key.
  EXPECT_EQ(key.Open(kHkcu, base_ + "Outer\\Nothing"), kRegNotFound);
  EXPECT_FALSE(key.is_open());
}

TEST_F(RegistryTest, ValuesKeepTheirTypeAndBytes) {
  RegistryKey key = CreateKey("Types");
  const unsigned char binary[] = {0x00, 0xFF, 0x10, 0x00, 0x7F};
  ASSERT_EQ(key.SetDword("Dword", 0xA1B2C3D4), kRegSuccess);
  ASSERT_EQ(key.SetString("Sz", "hello"), kRegSuccess);
  ASSERT_EQ(key.SetExpandString("ExpandSz", "%TEMP%\\x"), kRegSuccess);
  ASSERT_EQ(key.SetBinary("Binary", binary, sizeof(binary)), kRegSuccess);
  ASSERT_EQ(key.SetBinary("Empty", nullptr, 0), kRegSuccess);

  EXPECT_EQ(ReadDword(key, "Dword"), 0xA1B2C3D4u);

  uint32_t type = 0;
  std::vector<unsigned char> bytes = ReadBytes(key, "Sz", &type);
  EXPECT_EQ(type, kRegTypeSz);
  // The terminating zero is stored and counted.
  EXPECT_EQ(bytes, (std::vector<unsigned char>{'h', 'e', 'l', 'l', 'o', 0}));

  bytes = ReadBytes(key, "ExpandSz", &type);
  EXPECT_EQ(type, kRegTypeExpandSz);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "%TEMP%\\x");

  bytes = ReadBytes(key, "Binary", &type);
  EXPECT_EQ(type, kRegTypeBinary);
  EXPECT_EQ(bytes, std::vector<unsigned char>(binary, binary + sizeof(binary)));

  bytes = ReadBytes(key, "Empty", &type);
  EXPECT_EQ(type, kRegTypeBinary);
  EXPECT_TRUE(bytes.empty());
}

TEST_F(RegistryTest, TooSmallBufferGivesMoreDataAndNeededSizeAndLeavesDataUntouched) {
  RegistryKey key = CreateKey("Small");
  ASSERT_EQ(key.SetString("Text", "abcdef"), kRegSuccess);

  char buffer[4];
  std::memset(buffer, 0xEE, sizeof(buffer));
  uint32_t type = 0;
  uint32_t size = sizeof(buffer);
  EXPECT_EQ(key.QueryValue("Text", &type, buffer, &size), kRegMoreData);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(type, kRegTypeSz);
  for (char c : buffer) EXPECT_EQ(static_cast<unsigned char>(c), 0xEE);

  // Zero capacity is too small as well.
  size = 0;
  EXPECT_EQ(key.QueryValue("Text", nullptr, buffer, &size), kRegMoreData);
  EXPECT_EQ(size, 7u);

  // Exactly the stored size is enough.
  char exact[7];
  size = sizeof(exact);
  EXPECT_EQ(key.QueryValue("Text", nullptr, exact, &size), kRegSuccess);
  EXPECT_STREQ(exact, "abcdef");

  // Without a buffer the call only reports type and size.
  type = 0;
  size = 0;
  EXPECT_EQ(key.QueryValue("Text", &type, nullptr, &size), kRegSuccess);
  EXPECT_EQ(type, kRegTypeSz);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(key.QueryValue("Text", nullptr, nullptr, nullptr), kRegSuccess);
}

TEST_F(RegistryTest, FailedReadLeavesOutputsUntouched) {
  RegistryKey key = CreateKey("Missing");
  uint32_t type = 77, value = 0x12345678, size = sizeof(value);
  EXPECT_EQ(key.QueryValue("Absent", &type, &value, &size), kRegNotFound);
  EXPECT_EQ(type, 77u);
  EXPECT_EQ(value, 0x12345678u);
  EXPECT_EQ(size, sizeof(value));
}

// Readers check the type themselves; the store must report the one written last.
TEST_F(RegistryTest, AValueOfAnotherTypeIsToldApart) {
  RegistryKey key = CreateKey("Retyped");
  ASSERT_EQ(key.SetString("Width", "640"), kRegSuccess);
  uint32_t type = 0, value = 0, size = sizeof(value);
  EXPECT_EQ(key.QueryValue("Width", &type, &value, &size), kRegSuccess);
  EXPECT_EQ(type, kRegTypeSz);

  ASSERT_EQ(key.SetDword("Width", 640), kRegSuccess);
  EXPECT_EQ(ReadDword(key, "Width"), 640u);

  ASSERT_EQ(key.SetBinary("Width", "\x01\x02\x03\x04", 4), kRegSuccess);
  size = sizeof(value);
  EXPECT_EQ(key.QueryValue("Width", &type, &value, &size), kRegSuccess);
  EXPECT_EQ(type, kRegTypeBinary);
}

// The typed reads take only their own type: a REG_BINARY {1, 0, 0, 0} read as a
// DWORD would turn a user's stored bytes into a setting of 1.
TEST_F(RegistryTest, ReadDwordTakesOnlyAFourByteDwordAndKeepsTheOutputOtherwise) {
  RegistryKey key = CreateKey("TypedDword");
  ASSERT_EQ(key.SetDword("Dword", 0xFFFFFFFE), kRegSuccess);
  ASSERT_EQ(key.SetString("String", "640"), kRegSuccess);
  ASSERT_EQ(key.SetBinary("Binary", "\x01\x00\x00\x00", 4), kRegSuccess);
  ASSERT_EQ(key.SetBinary("Long", "\x01\x00\x00\x00\x00\x00\x00\x00", 8), kRegSuccess);

  uint32_t value = 0;
  EXPECT_EQ(key.ReadDword("Dword", &value), kRegSuccess);
  EXPECT_EQ(value, 0xFFFFFFFEu);

  struct Case {
    const char* name;
    RegStatus status;
  };
  for (const Case& c : {Case{"String", kRegInvalidData}, Case{"Binary", kRegInvalidData},
                        Case{"Long", kRegInvalidData}, Case{"Absent", kRegNotFound}}) {
    value = 7;
    EXPECT_EQ(key.ReadDword(c.name, &value), c.status) << c.name;
    EXPECT_EQ(value, 7u) << c.name;
  }
  RegistryKey closed;
  EXPECT_EQ(closed.ReadDword("Dword", &value), kRegInvalidHandle);
  EXPECT_EQ(value, 7u);
}

TEST_F(RegistryTest, ReadStringTakesTheTextOfAStringValueOnly) {
  RegistryKey key = CreateKey("TypedString");
  const std::string long_text(1000, 'x');
  ASSERT_EQ(key.SetString("Path", "C:\\drivers\\zelto.dll"), kRegSuccess);
  ASSERT_EQ(key.SetString("Empty", ""), kRegSuccess);
  ASSERT_EQ(key.SetString("Long", long_text), kRegSuccess);
  ASSERT_EQ(key.SetValue("Bare", kRegTypeSz, "abc", 3), kRegSuccess);  // no terminator
  ASSERT_EQ(key.SetValue("Tail", kRegTypeSz, "abc\0def", 8), kRegSuccess);
  ASSERT_EQ(key.SetExpandString("Expand", "%TEMP%"), kRegSuccess);
  ASSERT_EQ(key.SetDword("Dword", 1), kRegSuccess);

  std::string text;
  EXPECT_EQ(key.ReadString("Path", &text), kRegSuccess);
  EXPECT_EQ(text, "C:\\drivers\\zelto.dll");
  EXPECT_EQ(key.ReadString("Empty", &text), kRegSuccess);
  EXPECT_EQ(text, "");
  EXPECT_EQ(key.ReadString("Long", &text), kRegSuccess);
  EXPECT_EQ(text, long_text);
  EXPECT_EQ(key.ReadString("Bare", &text), kRegSuccess);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(key.ReadString("Tail", &text), kRegSuccess);
  EXPECT_EQ(text, "abc");

  struct Case {
    const char* name;
    RegStatus status;
  };
  for (const Case& c : {Case{"Expand", kRegInvalidData}, Case{"Dword", kRegInvalidData},
                        Case{"Absent", kRegNotFound}}) {
    text = "kept";
    EXPECT_EQ(key.ReadString(c.name, &text), c.status) << c.name;
    EXPECT_EQ(text, "kept") << c.name;
  }
  RegistryKey closed;
  EXPECT_EQ(closed.ReadString("Path", &text), kRegInvalidHandle);
  EXPECT_EQ(text, "kept");
}

TEST_F(RegistryTest, KeyAndValueNamesAreCaseInsensitive) {
  RegistryKey key = CreateKey("MixedCase\\Sub");
  ASSERT_EQ(key.SetDword("ImageSizeX", 800), kRegSuccess);

  RegistryKey upper;
  ASSERT_EQ(upper.Open(kHkcu, base_ + "MIXEDCASE\\sub"), kRegSuccess);
  EXPECT_EQ(ReadDword(upper, "imagesizex"), 800u);

  // Another spelling names the same value, not a second one.
  ASSERT_EQ(upper.SetDword("IMAGESIZEX", 1024), kRegSuccess);
  EXPECT_EQ(ReadDword(key, "ImageSizeX"), 1024u);
  ASSERT_EQ(key.DeleteValue("ImageSizeX"), kRegSuccess);
  uint32_t size = 0;
  EXPECT_EQ(upper.QueryValue("IMAGESIZEX", nullptr, nullptr, &size), kRegNotFound);

  // Creating with another spelling opens the existing key.
  RegistryKey created = CreateKey("mixedcase\\SUB");
  ASSERT_EQ(created.SetDword("Marker", 1), kRegSuccess);
  EXPECT_EQ(ReadDword(key, "Marker"), 1u);
}

TEST_F(RegistryTest, DeleteValueRemovesOnlyThatValue) {
  RegistryKey key = CreateKey("Delete");
  ASSERT_EQ(key.SetDword("Gone", 1), kRegSuccess);
  ASSERT_EQ(key.SetDword("Kept", 2), kRegSuccess);

  EXPECT_EQ(key.DeleteValue("Gone"), kRegSuccess);
  EXPECT_EQ(key.QueryValue("Gone", nullptr, nullptr, nullptr), kRegNotFound);
  EXPECT_EQ(key.DeleteValue("Gone"), kRegNotFound);
  EXPECT_EQ(ReadDword(key, "Kept"), 2u);
}

TEST_F(RegistryTest, DeleteTreeRemovesSubkeysAndValuesButNotSiblings) {
  CreateKey("Tree\\A\\Deep").SetDword("Value", 1);
  CreateKey("Tree\\B").SetString("Value", "x");
  CreateKey("Tree").SetDword("Top", 3);
  CreateKey("TreeSibling").SetDword("Value", 4);

  EXPECT_EQ(DeleteRegistryTree(kHkcu, base_ + "tree"), kRegSuccess);

  RegistryKey key;
  EXPECT_EQ(key.Open(kHkcu, base_ + "Tree\\A\\Deep"), kRegNotFound);
  EXPECT_EQ(key.Open(kHkcu, base_ + "Tree\\B"), kRegNotFound);
  EXPECT_EQ(key.Open(kHkcu, base_ + "Tree"), kRegNotFound);
  ASSERT_EQ(key.Open(kHkcu, base_ + "TreeSibling"), kRegSuccess);
  EXPECT_EQ(ReadDword(key, "Value"), 4u);

  EXPECT_EQ(DeleteRegistryTree(kHkcu, base_ + "Tree"), kRegNotFound);
  // A recreated key starts empty.
  RegistryKey recreated = CreateKey("Tree\\A\\Deep");
  EXPECT_EQ(recreated.QueryValue("Value", nullptr, nullptr, nullptr), kRegNotFound);
}

TEST_F(RegistryTest, DefaultValueIsTheEmptyOrNullName) {
  RegistryKey key = CreateKey("Default");
  ASSERT_EQ(key.SetString(nullptr, "{class id}"), kRegSuccess);
  uint32_t type = 0;
  std::vector<unsigned char> bytes = ReadBytes(key, "", &type);
  EXPECT_EQ(type, kRegTypeSz);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "{class id}");

  ASSERT_EQ(key.SetString("", "replaced"), kRegSuccess);
  bytes = ReadBytes(key, nullptr, &type);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "replaced");
}

TEST_F(RegistryTest, ValuesSurviveClosingAndReopening) {
  {
    RegistryKey key = CreateKey("Persist");
    ASSERT_EQ(key.SetDword("Channel", 3), kRegSuccess);
    ASSERT_EQ(key.SetString("Driver", "zeltosim"), kRegSuccess);
  }
  RegistryKey key;
  ASSERT_EQ(key.Open(kHkcu, base_ + "Persist"), kRegSuccess);
  EXPECT_EQ(ReadDword(key, "Channel"), 3u);
  uint32_t type = 0;
  std::vector<unsigned char> bytes = ReadBytes(key, "Driver", &type);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "zeltosim");
}

TEST_F(RegistryTest, ClosedAndMovedFromKeysFailCleanly) {
  RegistryKey closed;
  uint32_t size = 0;
  EXPECT_EQ(closed.QueryValue("X", nullptr, nullptr, &size), kRegInvalidHandle);
  EXPECT_EQ(closed.SetDword("X", 1), kRegInvalidHandle);
  EXPECT_EQ(closed.DeleteValue("X"), kRegInvalidHandle);

  RegistryKey original = CreateKey("Moved");
  RegistryKey moved = std::move(original);
  EXPECT_FALSE(original.is_open());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(original.SetDword("X", 1), kRegInvalidHandle);
  EXPECT_EQ(moved.SetDword("X", 1), kRegSuccess);
  moved.Close();
  moved.Close();
  EXPECT_FALSE(moved.is_open());

  RegistryKey key = CreateKey("Moved");
  EXPECT_EQ(key.QueryValue("X", nullptr, nullptr, nullptr), kRegSuccess);
  uint32_t value = 0;
  EXPECT_EQ(key.QueryValue("X", nullptr, &value, nullptr), kRegInvalidParameter);
}

// A handle whose key another handle deleted must fail, not crash, and must not
// reach a key created later at the same path.
TEST_F(RegistryTest, HandleOfADeletedKeyFails) {
  RegistryKey stale = CreateKey("Doomed");
  ASSERT_EQ(stale.SetDword("Old", 1), kRegSuccess);
  ASSERT_EQ(DeleteRegistryTree(kHkcu, base_ + "Doomed"), kRegSuccess);

  EXPECT_NE(stale.SetDword("New", 2), kRegSuccess);
  EXPECT_NE(stale.QueryValue("Old", nullptr, nullptr, nullptr), kRegSuccess);

  RegistryKey fresh = CreateKey("Doomed");
  ASSERT_EQ(fresh.SetDword("Fresh", 3), kRegSuccess);
  EXPECT_NE(stale.QueryValue("Fresh", nullptr, nullptr, nullptr), kRegSuccess);
  EXPECT_EQ(fresh.QueryValue("New", nullptr, nullptr, nullptr), kRegNotFound);
}

TEST_F(RegistryTest, ThreadsWritingAtOnceLoseNothing) {
  constexpr int kThreads = 4;
  constexpr int kValues = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kValues; ++i) {
        // Each write opens its own key, as the card's value writers do.
        RegistryKey key;
        ASSERT_EQ(key.Create(kHkcu, base_ + "Threads"), kRegSuccess);
        std::string name = "T" + std::to_string(t) + "-" + std::to_string(i);
        ASSERT_EQ(key.SetDword(name.c_str(), static_cast<uint32_t>(t * 1000 + i)), kRegSuccess);
      }
    });
  }
  for (auto& thread : threads) thread.join();

  RegistryKey key;
  ASSERT_EQ(key.Open(kHkcu, base_ + "Threads"), kRegSuccess);
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kValues; ++i) {
      std::string name = "T" + std::to_string(t) + "-" + std::to_string(i);
      EXPECT_EQ(ReadDword(key, name.c_str()), static_cast<uint32_t>(t * 1000 + i));
    }
  }
}

TEST_F(RegistryTest, RootsAreSeparate) {
  RegistryKey user = CreateKey("Rooted");
  ASSERT_EQ(user.SetDword("Value", 1), kRegSuccess);
  RegistryKey key;
  EXPECT_EQ(key.Open(RegistryRoot::kLocalMachine, base_ + "Rooted"), kRegNotFound);
  EXPECT_EQ(key.Open(RegistryRoot::kClassesRoot, base_ + "Rooted"), kRegNotFound);
  EXPECT_EQ(DeleteRegistryTree(kHkcu, ""), kRegAccessDenied);
}

// --- Several processes -------------------------------------------------------

std::string ChildPath() { return ArtifactPath(PLATFORM_TEST_CHILD_PATH); }

TEST_F(RegistryTest, ProcessesWritingAtOnceLoseNothing) {
  constexpr int kWriters = 4;
  constexpr int kValues = 50;
  // The key does not exist yet: the writers also race to create it.
  std::vector<ChildProcess> writers(kWriters);
  for (int w = 0; w < kWriters; ++w) {
    ASSERT_TRUE(
        writers[w].Start(ChildPath(), {"registry-write", base_ + "Shared",
                                       "W" + std::to_string(w) + "-", std::to_string(kValues)}));
  }
  for (auto& writer : writers) EXPECT_EQ(writer.Wait(), 0);

  RegistryKey key;
  ASSERT_EQ(key.Open(kHkcu, base_ + "Shared"), kRegSuccess);
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValues; ++i) {
      std::string name = "W" + std::to_string(w) + "-" + std::to_string(i);
      EXPECT_EQ(ReadDword(key, name.c_str()), static_cast<uint32_t>(i)) << name;
    }
  }
}

// Numbers the writer reported as written, i.e. whose write had returned.
std::vector<long> ReportedWrites(const std::string& report_path) {
  std::ifstream report(report_path, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
  std::vector<long> written;
  size_t start = 0;
  for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
    written.push_back(std::strtol(content.c_str() + start, nullptr, 10));
  }
  return written;  // a last line without its newline is still being written
}

TEST_F(RegistryTest, AWriteThatReturnedSurvivesKillingTheWriter) {
  testing::ScopedTempDir dir;
  std::string report = (std::filesystem::path(dir.path()) / "written.txt").string();
  ChildProcess writer;
  ASSERT_TRUE(writer.Start(ChildPath(), {"registry-write", base_ + "Killed", "V", "0", report}));
  // Kill it in the middle of its stream of writes.
  for (int waited = 0; ReportedWrites(report).size() < 25 && waited < 60000; waited += 10) {
    SleepMilliseconds(10);
  }
  writer.Kill();

  std::vector<long> written = ReportedWrites(report);
  ASSERT_GE(written.size(), 25u);
  RegistryKey key;
  ASSERT_EQ(key.Open(kHkcu, base_ + "Killed"), kRegSuccess);
  for (long i : written) {
    std::string name = "V" + std::to_string(i);
    EXPECT_EQ(ReadDword(key, name.c_str()), static_cast<uint32_t>(i)) << name;
  }
  // The store is not left locked by the dead writer.
  EXPECT_EQ(key.SetDword("After", 1), kRegSuccess);
  EXPECT_EQ(ReadDword(key, "After"), 1u);
}

// --- The SQLite store --------------------------------------------------------

#ifndef _WIN32

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old, had_previous_ = true;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_previous_) {
      setenv(name_, previous_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string previous_;
  bool had_previous_ = false;
};

TEST_F(RegistryTest, StorePathIsReadWhenAKeyIsOpened) {
  CreateKey("Here").SetDword("Value", 1);
  {
    testing::ScopedTempRegistry other;
    RegistryKey key;
    EXPECT_EQ(key.Open(kHkcu, base_ + "Here"), kRegNotFound);
  }
  RegistryKey key;
  ASSERT_EQ(key.Open(kHkcu, base_ + "Here"), kRegSuccess);
  EXPECT_EQ(ReadDword(key, "Value"), 1u);
}

TEST_F(RegistryTest, DefaultStoreLivesInTheUsersConfigDirectory) {
  testing::ScopedTempDir config;
  ScopedEnv no_override("ZELTO_REGISTRY", nullptr);
  ScopedEnv xdg("XDG_CONFIG_HOME", config.path().c_str());
  {
    RegistryKey key;
    ASSERT_EQ(key.Create(RegistryRoot::kLocalMachine, "SOFTWARE\\Zelto"), kRegSuccess);
    ASSERT_EQ(key.SetDword("Value", 9), kRegSuccess);
  }
  EXPECT_TRUE(std::filesystem::exists(config.path() + "/zeltorgb/registry.db"));
}

TEST_F(RegistryTest, UnusableStoreFailsAndTraces) {
  testing::ScopedTempDir dir;
  // A directory where the database file should be.
  std::string path = dir.path() + "/not-a-file";
  std::filesystem::create_directory(path);
  ScopedEnv store("ZELTO_REGISTRY", path.c_str());
  testing::TraceCapture traces;
  RegistryKey key;
  EXPECT_EQ(key.Create(kHkcu, base_ + "X"), kRegBadKey);
  EXPECT_FALSE(key.is_open());
  std::vector<std::string> texts = traces.Traces();
  ASSERT_FALSE(texts.empty());
  EXPECT_NE(texts[0].find(path), std::string::npos) << texts[0];
}

// Another process holding the store's write lock used to make each write wait
// out a 60 s busy time-out, so a card's start-up took minutes, and the failed
// writes went unseen. A write now gives up after a few seconds, fails with a
// trace and is not reported as written; once the lock is gone writes go through.
TEST_F(RegistryTest, StoreLockedByAnotherWriterFailsAWriteSoonAndTraces) {
  CreateKey("Locked");
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(registry_.path().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  testing::TraceCapture traces;
  auto write =
      std::async(std::launch::async, [this] { return StoreDwordAt(base_ + "Locked", "Value", 5); });
  // Only ends a hang: the busy wait is a few seconds, not a minute.
  ASSERT_EQ(write.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_FALSE(write.get());
  EXPECT_TRUE(traces.HasTrace("Registry value " + base_ + "Locked\\Value not written (1010)"));
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);

  RegistryKey key;
  ASSERT_EQ(key.Open(kHkcu, base_ + "Locked"), kRegSuccess);
  uint32_t value = 0;
  EXPECT_EQ(key.ReadDword("Value", &value), kRegNotFound);
  EXPECT_TRUE(StoreDwordAt(base_ + "Locked", "Value", 5));
  EXPECT_EQ(ReadDword(key, "Value"), 5u);
}

#endif  // !_WIN32

}  // namespace
}  // namespace zelto::platform
