#include "bundled_files.h"

#include <filesystem>
#include <system_error>

#include "host_os.h"
#include "platform/registry.h"

namespace zelto::grab {
namespace fs = std::filesystem;

std::vector<std::string> CandidatePaths(const std::string& executable_path,
                                        const std::string& file_name,
                                        const std::string& build_relative_dir) {
  std::vector<std::string> paths;
  if (executable_path.empty()) return paths;
  const fs::path dir = fs::path(executable_path).parent_path();
  paths.push_back((dir / file_name).lexically_normal().string());
  // Installed natively: the tool in bin/, the libraries in lib/.
  paths.push_back((dir / ".." / "lib" / file_name).lexically_normal().string());
  if (!build_relative_dir.empty()) {
    paths.push_back((dir / build_relative_dir / file_name).lexically_normal().string());
  }
  return paths;
}

std::optional<std::string> FindBundled(const std::string& file_name,
                                       const std::string& build_relative_dir) {
  for (const std::string& path : CandidatePaths(ExecutablePath(), file_name, build_relative_dir)) {
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) return fs::absolute(path, ec).string();
  }
  return std::nullopt;
}

std::optional<std::string> ReadDriverPath() {
  platform::RegistryKey key;
  if (key.Open(platform::RegistryRoot::kLocalMachine, kDriverKeyPath) != platform::kRegSuccess) {
    return std::nullopt;
  }
  char buffer[1024];
  uint32_t type = 0;
  uint32_t size = sizeof buffer - 1;
  if (key.QueryValue(kDriverValueName, &type, buffer, &size) != platform::kRegSuccess ||
      (type != platform::kRegTypeSz && type != platform::kRegTypeExpandSz)) {
    return std::nullopt;
  }
  buffer[size] = 0;  // the stored value need not end in a zero
  std::string path(buffer);
  if (path.empty()) return std::nullopt;
  return path;
}

bool WriteDriverPath(const std::string& path, std::string* error) {
  platform::RegistryKey key;
  platform::RegStatus status = key.Create(platform::RegistryRoot::kLocalMachine, kDriverKeyPath);
  if (status == platform::kRegSuccess) status = key.SetString(kDriverValueName, path);
  if (status != platform::kRegSuccess) {
    *error = std::string("cannot write HKEY_LOCAL_MACHINE\\") + kDriverKeyPath + " \"" +
             kDriverValueName + "\" (error " + std::to_string(status) + ")";
    return false;
  }
  return true;
}

}  // namespace zelto::grab
