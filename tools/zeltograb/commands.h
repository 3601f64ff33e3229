// zeltograb's commands; each returns the process exit status.
#ifndef ZELTO_TOOLS_ZELTOGRAB_COMMANDS_H_
#define ZELTO_TOOLS_ZELTOGRAB_COMMANDS_H_

#include <string>

#include "options.h"

namespace zelto::grab {

int RunGrab(const Options& options);
int RunInfo(const Options& options);
int RunTimeSource(const Options& options);  // time_source_command.cpp
int RunSettings(const Options& options);    // settings_command.cpp
int RunSet(const Options& options);         // settings_command.cpp
int RunSelfTest(const Options& options);    // selftest_command.cpp

// Runs the report script on a grab's directory: DIR/report.png.
int DrawReport(const std::string& out_dir);  // report_command.cpp
int RunAdjust(const Options& options);       // adjust_command.cpp

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_COMMANDS_H_
