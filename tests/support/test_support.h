// Helpers shared by the test binaries.
#ifndef ZELTO_TESTS_SUPPORT_TEST_SUPPORT_H_
#define ZELTO_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "platform/trace.h"

namespace zelto::testing {

// Path of a file built by this project, as the program under test must name it:
// unchanged natively, "Z:\..." under Wine. `build_path` comes from a
// $<TARGET_FILE:...> compile definition.
std::string ArtifactPath(const char* build_path);

// Gives the test a registry of its own for its lifetime. Natively: a fresh SQLite
// file in a temporary directory (ZELTO_REGISTRY points at it). On Windows: nothing
// to redirect, so use UniqueHostKey() for keys under HKEY_CURRENT_USER.
class ScopedTempRegistry {
 public:
  ScopedTempRegistry();
  ~ScopedTempRegistry();
  ScopedTempRegistry(const ScopedTempRegistry&) = delete;
  ScopedTempRegistry& operator=(const ScopedTempRegistry&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
  bool had_previous_ = false;
};

// A host key path under HKEY_CURRENT_USER unique to this process and call, ending
// in a backslash: "Software\ZeltoTests\<pid>-<n>\".
std::string UniqueHostKey();

// Reading back what a test stored or the code under test wrote.
bool RegistryKeyExists(platform::RegistryRoot root, const std::string& path);
// The REG_SZ value `name` of `path`: "<no key>", "<absent>" or "<not REG_SZ>" when
// there is none.
std::string RegistryString(platform::RegistryRoot root, const std::string& path,
                           const char* name = "");
// A REG_DWORD value; false when absent or of another type.
bool RegistryDword(platform::RegistryRoot root, const std::string& path, const char* name,
                   int32_t* value);

// A temporary directory removed with its content at destruction.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Long enough that only a hang reaches it, on a loaded machine and under Wine.
inline constexpr std::chrono::seconds kHangLimit{60};

// Polls `condition` (a millisecond apart) until it holds; false when `limit` passed
// first. For waiting on an observable state of another thread or process: the
// limit only turns a hang into a failure, so callers assert the result.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = kHangLimit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Captures every trace and message box while alive.
class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  std::vector<std::string> Traces() const;
  std::vector<std::string> MessageBoxes() const;
  bool HasTrace(const std::string& text) const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> traces_;
  std::vector<std::string> message_boxes_;
  platform::TraceHook previous_;
};

}  // namespace zelto::testing

#endif  // ZELTO_TESTS_SUPPORT_TEST_SUPPORT_H_
