// zeltograb's side of the module's enumerated settings, through its settings
// interface (IOrvaneSettingsProp) as a host reaches them: the grab options that
// set the capture format and rate. The settings and set commands are in
// commands.h.
#ifndef ZELTO_TOOLS_ZELTOGRAB_SETTINGS_COMMAND_H_
#define ZELTO_TOOLS_ZELTOGRAB_SETTINGS_COMMAND_H_

#include <string>
#include <vector>

#include "card_session.h"
#include "options.h"
#include "settings_options.h"

namespace zelto::grab {

// Sets --capture-format and --capture-rate when given, before any buffer is
// allocated; the module stores them for the next start. Prints a failure and
// returns its exit status (kExitUsage for a value the module does not offer,
// with the ones it does); kExitOk otherwise.
int ApplyCaptureOptions(const Options& options, CardSession& session);

// The settings list as it stands: every entry, its options and its current
// value. Stops at the first failing call, named in `failed_call`; `out` then
// holds the entries read before it.
HRESULT ReadSettingEntries(IOrvaneSettingsProp* settings, std::vector<SettingInfo>* out,
                           std::string* failed_call);
// The module's settings list as a host reads it, rebuilt from the card's state
// first: every entry, its options and its current value. Prints a failure and
// returns its exit status; kExitOk otherwise.
int ReadSettingsList(IOrvaneSettingsProp* settings, std::vector<SettingInfo>* out);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_SETTINGS_COMMAND_H_
