#include <cstdio>
#include <cstdlib>
#include <string>

#include "bundled_files.h"
#include "card_session.h"
#include "commands.h"

namespace zelto::grab {
namespace {

// The script names Debian's python3 (where python3-matplotlib lives) itself;
// Windows has no such line, so its python runs it.
#ifdef _WIN32
constexpr const char* kRunner = "python ";
#else
constexpr const char* kRunner = "";
#endif

std::string Quoted(const std::string& text) {
#ifdef _WIN32
  return "\"" + text + "\"";
#else
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
#endif
}

}  // namespace

int DrawReport(const std::string& out_dir) {
  // Installed beside the tool as zeltograb-report; in the build tree, the
  // source's scripts/report.
  std::optional<std::string> script = FindBundled("zeltograb-report", ".");
  if (!script) script = FindBundled("report", ZELTOGRAB_REPORT_BUILD_DIR);
  if (!script) {
    std::fprintf(stderr, "zeltograb: no report: zeltograb-report is not beside the tool\n");
    return kExitFileError;
  }
  std::fflush(stdout);
  const std::string command = std::string(kRunner) + Quoted(*script) + " " + Quoted(out_dir);
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "zeltograb: the report was not drawn (%s)\n", command.c_str());
    return kExitFileError;
  }
  return kExitOk;
}

}  // namespace zelto::grab
