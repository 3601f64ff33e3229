// The host's time source values as zeltograb writes and shows them, and the
// timesource command. The values live under HKEY_CURRENT_USER\<host key> itself;
// the module reads them at every EnableGrab.
#ifndef ZELTO_TOOLS_ZELTOGRAB_TIME_SOURCE_COMMAND_H_
#define ZELTO_TOOLS_ZELTOGRAB_TIME_SOURCE_COMMAND_H_

#include <cstdint>
#include <string>

#include "card_session.h"
#include "module.h"
#include "options.h"

namespace zelto::grab {

// What the host key holds now, read the way the module reads it.
struct TimeSourceSettings {
  std::string dll = "System";  // "System" also when absent or empty
  bool plugin = false;         // dll names a plug-in library
  int32_t offset_us = 0;
  int32_t ltc_offset = 0;
  uint32_t ltc_mode = 0;
  int32_t ltc_frame_rate = 30;
};

// Writes what --time-source, --time-offset, --ltc-offset and --ltc-mode gave (a
// plug-in path that names a file is made absolute) and says so on stdout; false
// with `error` when the key cannot be written.
bool ApplyTimeSourceOptions(const Options& options, std::string* error);
TimeSourceSettings ReadTimeSourceSettings(const std::string& host_key);
// What grab and timesource do first: store the time source options, read the
// settings back into `settings` and open the card into `session`. Prints a
// failure and returns its exit status (the session closed again); kExitOk else.
int StoreTimeSourceAndOpenCard(const Options& options, TimeSourceSettings* settings,
                               CardSession* session);

// One line: the source, the offsets and the time code rate.
std::string DescribeTimeSource(const TimeSourceSettings& settings);
// The plug-in's synchronisation status and GPS support through
// IOrvaneTimeSourceProp; "" when the object does not offer it.
std::string DescribeTimeSourceState(IOrvaneGenericGrabber* grabber);

int RunTimeSource(const Options& options);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_TIME_SOURCE_COMMAND_H_
