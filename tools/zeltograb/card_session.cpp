#include "card_session.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "bundled_files.h"
#include "host_os.h"
#include "platform/dynamic_library.h"
#include "zeltosim_control.h"

namespace zelto::grab {
namespace {

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// Makes sure the module will find a driver; returns the driver path in use.
int PrepareDriver(const Options& options, std::string* driver_path) {
  std::string error;
  if (options.driver) {
    *driver_path = AbsolutePath(*options.driver);
    if (!WriteDriverPath(*driver_path, &error)) {
      std::fprintf(stderr, "zeltograb: %s\n", error.c_str());
      return kExitModuleError;
    }
    std::printf("zeltograb: driver set to %s\n", driver_path->c_str());
    return kExitOk;
  }
  if (std::optional<std::string> stored = ReadDriverPath()) {
    *driver_path = *stored;
    return kExitOk;
  }
  std::optional<std::string> sim = FindBundled(ZELTOGRAB_SIM_FILE, ZELTOGRAB_SIM_BUILD_DIR);
  if (!sim) {
    std::fprintf(stderr,
                 "zeltograb: no capture driver is configured (HKEY_LOCAL_MACHINE\\%s \"%s\") "
                 "and the simulated card %s is not beside the tool; give --driver PATH\n",
                 kDriverKeyPath, kDriverValueName, ZELTOGRAB_SIM_FILE);
    return kExitModuleError;
  }
  if (!WriteDriverPath(*sim, &error)) {
    std::fprintf(stderr, "zeltograb: %s\n", error.c_str());
    return kExitModuleError;
  }
  *driver_path = *sim;
  std::printf(
      "zeltograb: no capture driver was configured; using the simulated card ZeltoSim\n"
      "           %s\n"
      "           (stored as HKEY_LOCAL_MACHINE\\%s \"%s\"; --driver PATH changes it)\n",
      sim->c_str(), kDriverKeyPath, kDriverValueName);
  return kExitOk;
}

// With --sim (or ZELTOSIM in the environment) the driver must be ZeltoSim: the
// tool loads it by the path the module will use, which gives the module the same
// instance, and configures it directly.
int PrepareSimulator(const Options& options, CardSession* s) {
  if (!options.sim && std::getenv("ZELTOSIM") == nullptr) return kExitOk;
  s->simulator.handle = platform::LoadDynamicLibrary(s->driver_path.c_str());
  auto configure = reinterpret_cast<PFN_ZeltoSim_Configure>(
      s->simulator.handle != nullptr
          ? platform::ResolveSymbol(s->simulator.handle, "ZeltoSim_Configure")
          : nullptr);
  if (!options.sim) return kExitOk;
  if (configure == nullptr) {
    std::fprintf(stderr, "zeltograb: --sim needs the ZeltoSim driver; the driver is %s\n\n%s",
                 s->driver_path.c_str(), Usage(options.command).c_str());
    return kExitUsage;
  }
  // Applied once, here; the environment copy would apply it a second time.
  SetEnvironment("ZELTOSIM", "");
  if (configure(options.sim->c_str()) != 0) {
    std::fprintf(stderr,
                 "zeltograb: ZeltoSim does not take --sim \"%s\" (see sim/driver/README.md)\n\n%s",
                 options.sim->c_str(), Usage(options.command).c_str());
    return kExitUsage;
  }
  return kExitOk;
}

int CreateObject(const Options& options, CardSession* s) {
  std::string error;
  if (!options.module) {
    // Windows: a registered module first, as a host would find it.
    if (SUCCEEDED(CreateRegisteredObject(IID_IOrvaneGenericGrabber, s->grabber.PutVoid()))) {
      s->module_path = ZELTORGB_PROGID " (registered class, CoCreateInstance)";
      return kExitOk;
    }
  }
  std::string path;
  if (options.module) {
    path = *options.module;
  } else if (std::optional<std::string> found =
                 FindBundled(ZELTOGRAB_MODULE_FILE, ZELTOGRAB_MODULE_BUILD_DIR)) {
    path = *found;
  } else {
    std::fprintf(stderr, "zeltograb: the module %s is not beside the tool; give --module PATH\n",
                 ZELTOGRAB_MODULE_FILE);
    return kExitModuleError;
  }
  if (!s->library.Load(path, &error)) {
    std::fprintf(stderr, "zeltograb: %s\n", error.c_str());
    return kExitModuleError;
  }
  s->module_path = path;
  HRESULT hr = s->library.CreateObject(IID_IOrvaneGenericGrabber, s->grabber.PutVoid());
  if (FAILED(hr)) return ReportComFailure("creating the ZeltoRGB object", hr);
  return kExitOk;
}

}  // namespace

HeldLibrary::~HeldLibrary() { platform::UnloadDynamicLibrary(handle); }

int ReportComFailure(const char* what, HRESULT hr) {
  std::string description = TakeErrorDescription();
  if (description.empty()) {
    std::fprintf(stderr, "zeltograb: %s failed (%s)\n", what, DescribeHresult(hr).c_str());
  } else {
    std::fprintf(stderr, "zeltograb: %s failed: %s (%s)\n", what, description.c_str(),
                 DescribeHresult(hr).c_str());
  }
  return kExitModuleError;
}

int OpenCard(const Options& options, CardSession* s) {
  int status = PrepareDriver(options, &s->driver_path);
  if (status != kExitOk) return status;
  status = PrepareSimulator(options, s);
  if (status != kExitOk) return status;
  status = CreateObject(options, s);
  if (status != kExitOk) return status;

  HRESULT hr = s->grabber->QueryInterface(IID_IOrvaneImageProp, s->image.PutVoid());
  if (SUCCEEDED(hr)) {
    hr = s->grabber->QueryInterface(IID_IOrvaneBufferUsageProp, s->usage.PutVoid());
  }
  if (FAILED(hr)) return ReportComFailure("asking the object for its image interfaces", hr);
  // Interfaces that later versions of the module add; the tool does without them.
  if (FAILED(s->grabber->QueryInterface(IID_IOrvaneZeltoRGBImageProp, s->card_image.PutVoid()))) {
    s->card_image.Reset();
  }
  if (FAILED(s->grabber->QueryInterface(IID_IOrvaneSettingsProp, s->settings.PutVoid()))) {
    s->settings.Reset();
  }

  BSTR key = AllocBstr(options.key);
  hr = s->grabber->CreateCard(key);
  SysFreeString(key);
  if (FAILED(hr)) {
    ReportComFailure("CreateCard", hr);
    std::fprintf(stderr, "zeltograb: driver: %s%s\n", s->driver_path.c_str(),
                 FileExists(s->driver_path) ? "" : " (no such file)");
    return kExitModuleError;
  }
  return kExitOk;
}

void CloseCard(CardSession* s) {
  s->settings.Reset();
  s->card_image.Reset();
  s->usage.Reset();
  s->image.Reset();
  s->grabber.Reset();
  if (s->library.loaded() && s->library.CanUnloadNow() != S_OK) {
    std::fprintf(stderr, "zeltograb: warning: the module still holds objects (DllCanUnloadNow)\n");
  }
}

}  // namespace zelto::grab
