#include "test_support.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace zelto::testing {
namespace fs = std::filesystem;

std::string ArtifactPath(const char* build_path) {
#ifdef _WIN32
  std::string path = build_path;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
#else
  return build_path;
#endif
}

namespace {
std::string MakeTempDir() {
  std::random_device rd;
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path dir = base / ("zelto-test-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(dir, ec)) return dir.string();
  }
}
}  // namespace

ScopedTempDir::ScopedTempDir() : path_(MakeTempDir()) {}
ScopedTempDir::~ScopedTempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

ScopedTempRegistry::ScopedTempRegistry() {
#ifndef _WIN32
  if (const char* old = std::getenv("ZELTO_REGISTRY")) {
    had_previous_ = true;
    previous_ = old;
  }
  path_ = MakeTempDir() + "/registry.db";
  setenv("ZELTO_REGISTRY", path_.c_str(), 1);
#endif
}

ScopedTempRegistry::~ScopedTempRegistry() {
#ifndef _WIN32
  if (had_previous_) {
    setenv("ZELTO_REGISTRY", previous_.c_str(), 1);
  } else {
    unsetenv("ZELTO_REGISTRY");
  }
  std::error_code ec;
  fs::remove_all(fs::path(path_).parent_path(), ec);
#endif
}

std::string UniqueHostKey() {
  static std::atomic<int> counter{0};
  return "Software\\ZeltoTests\\" + std::to_string(getpid()) + "-" + std::to_string(counter++) +
         "\\";
}

bool RegistryKeyExists(platform::RegistryRoot root, const std::string& path) {
  platform::RegistryKey key;
  return key.Open(root, path) == platform::kRegSuccess;
}

std::string RegistryString(platform::RegistryRoot root, const std::string& path, const char* name) {
  platform::RegistryKey key;
  if (key.Open(root, path) != platform::kRegSuccess) return "<no key>";
  char data[1024] = {};
  uint32_t type = 0;
  uint32_t size = sizeof(data) - 1;
  if (key.QueryValue(name, &type, data, &size) != platform::kRegSuccess) return "<absent>";
  if (type != platform::kRegTypeSz) return "<not REG_SZ>";
  return std::string(data);
}

bool RegistryDword(platform::RegistryRoot root, const std::string& path, const char* name,
                   int32_t* value) {
  platform::RegistryKey key;
  if (key.Open(root, path) != platform::kRegSuccess) return false;
  uint32_t type = 0, data = 0, size = sizeof(data);
  if (key.QueryValue(name, &type, &data, &size) != platform::kRegSuccess) return false;
  if (type != platform::kRegTypeDword) return false;
  *value = static_cast<int32_t>(data);
  return true;
}

TraceCapture::TraceCapture() {
  previous_ = platform::SetTraceHook([this](platform::TraceKind kind, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    (kind == platform::TraceKind::kMessageBox ? message_boxes_ : traces_).push_back(text);
  });
}

TraceCapture::~TraceCapture() { platform::SetTraceHook(previous_); }

std::vector<std::string> TraceCapture::Traces() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return traces_;
}

std::vector<std::string> TraceCapture::MessageBoxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return message_boxes_;
}

bool TraceCapture::HasTrace(const std::string& text) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& t : traces_) {
    if (t == text) return true;
  }
  return false;
}

void TraceCapture::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  traces_.clear();
  message_boxes_.clear();
}

}  // namespace zelto::testing
