// Second process for the timebase tests: attaches to the block named on the
// command line, reports what it sees, and holds the attachment until told to let
// go.
//   timebase_peer <block name> <report file> <release file>
// The report, one line: created user_count frequency base_seconds base_milliseconds
// base_counter. It is written to a temporary name and renamed, so a reader never
// sees half of it.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "timesource/timebase.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: timebase_peer <name> <report> <release>\n");
    return 2;
  }
  zelto::Timebase timebase(argv[1]);
  timebase.AttachTimebase();
  const auto block = timebase.ReadBlock();
  if (!block) return 3;

  const std::string report = argv[2];
  const std::string temporary = report + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) return 4;
  std::fprintf(file, "%d %u %.0f %" PRId32 " %u %" PRId64 "\n", timebase.created() ? 1 : 0,
               static_cast<unsigned>(block->user_count), block->frequency, block->base_seconds,
               static_cast<unsigned>(block->base_milliseconds), block->base_counter);
  std::fclose(file);
  std::error_code error;
  std::filesystem::rename(temporary, report, error);
  if (error) return 5;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists(argv[3])) {
    if (std::chrono::steady_clock::now() > deadline) return 6;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  timebase.DetachTimebase();
  return 0;
}
