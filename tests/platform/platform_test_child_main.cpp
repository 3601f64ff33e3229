// Helper process for the platform tests. Modes:
//   registry-write <key> <prefix> <count> [<report file>]
//       creates HKCU\<key> and sets DWORD <prefix><i> = i for i < count (count 0:
//       until killed); after each write returns, appends "<i>\n" to the report.
//   shm-check <name> <size>
//       opens the existing object, expects byte k == k % 251 in the first <size>
//       bytes, then writes 255 - that into each byte; exit 0 when all matched.
//   shm-hold <name> <size>
//       creates or opens the object, fills it with 0x5A and waits to be killed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/shared_memory.h"

namespace {

using namespace zelto::platform;

int RegistryWrite(const char* key_path, const std::string& prefix, long count,
                  const char* report_path) {
  RegistryKey key;
  if (key.Create(RegistryRoot::kCurrentUser, key_path) != kRegSuccess) return 2;
  std::FILE* report = nullptr;
  if (report_path != nullptr) {
    report = std::fopen(report_path, "w");
    if (report == nullptr) return 3;
    std::setvbuf(report, nullptr, _IONBF, 0);
  }
  for (long i = 0; count == 0 || i < count; ++i) {
    if (key.SetDword((prefix + std::to_string(i)).c_str(), static_cast<uint32_t>(i)) !=
        kRegSuccess) {
      return 4;
    }
    if (report != nullptr) std::fprintf(report, "%ld\n", i);
  }
  if (report != nullptr) std::fclose(report);
  return 0;
}

int SharedMemoryCheck(const char* name, size_t size) {
  SharedMemory memory;
  if (!memory.OpenExisting(name)) return 2;
  auto* bytes = static_cast<unsigned char*>(memory.Map(size));
  if (bytes == nullptr) return 3;
  bool matched = true;
  for (size_t k = 0; k < size; ++k) {
    if (bytes[k] != k % 251) matched = false;
    bytes[k] = static_cast<unsigned char>(255 - k % 251);
  }
  return matched ? 0 : 4;
}

int SharedMemoryHold(const char* name, size_t size) {
  SharedMemory memory;
  bool existed = false;
  if (!memory.CreateOrOpen(name, size, &existed)) return 2;
  void* view = memory.Map(size);
  if (view == nullptr) return 3;
  std::memset(view, 0x5A, size);
  for (;;) SleepMilliseconds(1000);
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "registry-write" && (argc == 5 || argc == 6)) {
    return RegistryWrite(argv[2], argv[3], std::atol(argv[4]), argc == 6 ? argv[5] : nullptr);
  }
  if (mode == "shm-check" && argc == 4) {
    return SharedMemoryCheck(argv[2], std::strtoul(argv[3], nullptr, 10));
  }
  if (mode == "shm-hold" && argc == 4) {
    return SharedMemoryHold(argv[2], std::strtoul(argv[3], nullptr, 10));
  }
  std::fprintf(stderr, "usage: platform_test_child registry-write|shm-check|shm-hold ...\n");
  return 1;
}
