// One open card as a host holds it: the module loaded, the object created, its
// interfaces and a started card. Shared by the grab and info commands.
#ifndef ZELTO_TOOLS_ZELTOGRAB_CARD_SESSION_H_
#define ZELTO_TOOLS_ZELTOGRAB_CARD_SESSION_H_

#include <string>

#include "module.h"
#include "options.h"

namespace zelto::grab {

// Exit statuses of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFileError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitModuleError = 3;

// A driver library the tool itself keeps loaded for the session.
class HeldLibrary {
 public:
  HeldLibrary() = default;
  ~HeldLibrary();
  HeldLibrary(const HeldLibrary&) = delete;
  HeldLibrary& operator=(const HeldLibrary&) = delete;
  void* handle = nullptr;
};

struct CardSession {
  // The simulated card, held so that its state (what --sim configured) survives the
  // module unloading and rebinding the driver while it scans the channels.
  HeldLibrary simulator;
  ModuleLibrary library;  // unloaded after every reference below is gone
  ComPtr<IOrvaneGenericGrabber> grabber;
  ComPtr<IOrvaneImageProp> image;
  ComPtr<IOrvaneBufferUsageProp> usage;
  ComPtr<IOrvaneZeltoRGBImageProp> card_image;  // null until the module offers it
  ComPtr<IOrvaneSettingsProp> settings;         // null until the module offers it
  std::string module_path;                      // or a note that COM created the registered class
  std::string driver_path;
};

// Points the driver key at ZeltoSim when it is unset (saying so once), applies
// --sim and --driver, creates the object and runs CreateCard. Prints what went
// wrong to stderr and returns the exit status; kExitOk when the card is open.
int OpenCard(const Options& options, CardSession* session);

// Releases every interface and reports a module that still holds objects.
void CloseCard(CardSession* session);

// Prints "zeltograb: <what> failed: <COM error description> (<hresult>)" to stderr
// and returns kExitModuleError.
int ReportComFailure(const char* what, HRESULT hr);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_CARD_SESSION_H_
