// zeltograb: grabs frames through the ZeltoRGB module the way a host does.
#include <cstdio>
#include <string>
#include <vector>

#include "card_session.h"
#include "commands.h"
#include "host_os.h"
#include "image_file.h"
#include "options.h"

int main(int argc, char** argv) {
  using namespace zelto::grab;
  std::vector<std::string> args(argv + 1, argv + argc);
  ParseResult parsed = ParseCommandLine(args, PngSupported(), PngPreferred());
  if (!parsed.ok) {
    std::fprintf(stderr, "zeltograb: %s\n\n%s", parsed.error.c_str(),
                 Usage(parsed.options.command).c_str());
    return kExitUsage;
  }
  const Options& options = parsed.options;
  if (options.help) {
    std::fputs(Usage(options.command).c_str(), stdout);
    return kExitOk;
  }
  ComScope com;
  int status = kExitOk;
  try {
    switch (options.command) {
      case Command::kGrab: status = RunGrab(options); break;
      case Command::kTimeSource: status = RunTimeSource(options); break;
      case Command::kSettings: status = RunSettings(options); break;
      case Command::kSet: status = RunSet(options); break;
      case Command::kSelfTest: status = RunSelfTest(options); break;
      case Command::kAdjust: status = RunAdjust(options); break;
      default: status = RunInfo(options); break;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zeltograb: %s\n", e.what());
    status = kExitFileError;
  }
  std::fflush(stdout);
  return status;
}
