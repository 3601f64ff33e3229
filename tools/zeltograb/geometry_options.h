// The tool's geometry and pacing: --roi, --scaling and --frame-rate set through
// the module's image interfaces, and the info lines that show them.
#ifndef ZELTO_TOOLS_ZELTOGRAB_GEOMETRY_OPTIONS_H_
#define ZELTO_TOOLS_ZELTOGRAB_GEOMETRY_OPTIONS_H_

#include "card_session.h"
#include "options.h"

namespace zelto::grab {

// Applies the options that are given, before any buffer is allocated. The module
// stores what it is told, so the next start comes back with it. Prints a failure
// and returns its exit status; kExitOk otherwise.
int ApplyGeometryOptions(const Options& options, CardSession& session);

// The applied region, scaling mode and size, and the frame rates.
void PrintGeometry(CardSession& session);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_GEOMETRY_OPTIONS_H_
