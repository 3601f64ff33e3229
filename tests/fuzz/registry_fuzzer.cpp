// libFuzzer target over what the module reads from the registry at start-up: the
// driver path under HKEY_LOCAL_MACHINE and every value of the persistence layout,
// each with any type and content. Each input is written into a registry of the
// fuzzer's own, then a host creates an object, calls CreateCard and grabs briefly
// on ZeltoSim.
//
// Besides the sanitizers, an input fails when a started card reports an image it
// cannot deliver (a size outside the simulated card's range or bytes that do not
// match it) or leaves a driver handle or buffer behind once the object is gone.
//
// Input, read front to back (missing bytes read as 0):
//   byte  the card: bit 0 / bit 1 signal on channel 0 / 1, bits 2-4 the mode
//   byte  the driver path: 0 ZeltoSim's path as REG_SZ, 1 the same without its
//         terminator, 2 the path followed by <n, n bytes> without terminator,
//         3 absent, 4 REG_EXPAND_SZ, 5 REG_BINARY, 6 REG_DWORD, 7 <n, n bytes> as a
//         file name in ZeltoSim's directory
//   then for InputChannelValue and each channel-key value in kChannelValues order:
//   byte  the form: 0 absent, 1 REG_DWORD <4 bytes little-endian>, 2 REG_SZ,
//         3 REG_BINARY, 4 REG_EXPAND_SZ, 5 REG_DWORD of another size, each of
//         2-5 followed by <n, n bytes>; anything else absent.
// The channel-key values go under the key of the stored channel (channel 0 when
// none is stored as a DWORD).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/driver_binding.h"
#include "geometry/registry_layout.h"
#include "geometry/registry_values.h"
#include "module/class_factory.h"
#include "platform/clock.h"
#include "platform/dynamic_library.h"
#include "platform/registry.h"
#include "platform/trace.h"
#include "zeltorgb/zeltorgb.h"
#include "zeltosim_control.h"

namespace {

using zelto::platform::RegistryKey;
using zelto::platform::RegistryRoot;

constexpr const char* kChannelValues[] = {
    zelto::kLockChannelModeValue,    zelto::kStartupImageFormatValue,
    zelto::kStartupResolutionValue,  zelto::kScalingModeValue,
    zelto::kScalingXValue,           zelto::kScalingYValue,
    zelto::kImageSizeXValue,         zelto::kImageSizeYValue,
    zelto::kImageOffsetXValue,       zelto::kImageOffsetYValue,
    zelto::kHorizontalPositionValue, zelto::kVerticalPositionValue,
    zelto::kFixedRateModeValue,      zelto::kFrameRateValue,
    zelto::kCaptureFormatValue,      zelto::kSampleRateValue,
    zelto::kContrastValue,           zelto::kBrightnessValue,
    zelto::kBlackLevelValue,         zelto::kPhaseValue,
};

constexpr const char* kModes[8] = {"1024x768@60",  "640x480@60",   "800x600@75",
                                   "1280x1024@60", "1600x1200@60", "1920x1080@59.94",
                                   "1024x768@75",  "640x480@59.94"};

// ZeltoSim's output is at most 2000 pixels each way; without a signal the
// startup resolution stands in for the mode, up to its 2048 x 2048 fallback.
constexpr int32_t kLargestImageSide = 2048;
constexpr char kHostKey[] = "Software\\ZeltoFuzz\\";

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint32_t Dword() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t{Byte()} << (8 * i);
    return value;
  }
  std::vector<uint8_t> Bytes() {
    std::vector<uint8_t> bytes(Byte());
    for (uint8_t& b : bytes) b = Byte();
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "registry fuzzer: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

struct Sim {
  PFN_ZeltoSim_Reset reset;
  PFN_ZeltoSim_Configure configure;
  PFN_ZeltoSim_GetCounters counters;
};

Sim& Simulator() {
  static Sim sim = [] {
    // Held for the whole run: the module's binding gets this same instance.
    zelto::platform::LibraryHandle library = zelto::platform::LoadDynamicLibrary(ZELTOSIM_PATH);
    if (library == nullptr) Fail("cannot load ZeltoSim");
    const auto resolve = [library](const char* name) {
      void* symbol = zelto::platform::ResolveSymbol(library, name);
      if (symbol == nullptr) Fail("ZeltoSim lacks a control function");
      return symbol;
    };
    return Sim{reinterpret_cast<PFN_ZeltoSim_Reset>(resolve("ZeltoSim_Reset")),
               reinterpret_cast<PFN_ZeltoSim_Configure>(resolve("ZeltoSim_Configure")),
               reinterpret_cast<PFN_ZeltoSim_GetCounters>(resolve("ZeltoSim_GetCounters"))};
  }();
  return sim;
}

void SetBytes(RegistryKey& key, const char* name, uint32_t type, const std::vector<uint8_t>& b) {
  key.SetValue(name, type, b.data(), static_cast<uint32_t>(b.size()));
}

std::vector<uint8_t> Text(const std::string& text, bool terminated) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  if (terminated) bytes.push_back(0);
  return bytes;
}

void WriteDriverPath(Input& in) {
  RegistryKey key;
  key.Create(RegistryRoot::kLocalMachine, zelto::kDriverKeyPath);
  const std::string path = ZELTOSIM_PATH;
  const char* name = zelto::kDriverPathValue;
  switch (in.Byte() & 7) {
    case 0: SetBytes(key, name, zelto::platform::kRegTypeSz, Text(path, true)); break;
    case 1: SetBytes(key, name, zelto::platform::kRegTypeSz, Text(path, false)); break;
    case 2: {
      std::vector<uint8_t> bytes = Text(path, false);
      const std::vector<uint8_t> tail = in.Bytes();
      bytes.insert(bytes.end(), tail.begin(), tail.end());
      SetBytes(key, name, zelto::platform::kRegTypeSz, bytes);
      break;
    }
    case 3: break;
    case 4: SetBytes(key, name, zelto::platform::kRegTypeExpandSz, Text(path, true)); break;
    case 5: SetBytes(key, name, zelto::platform::kRegTypeBinary, Text(path, true)); break;
    case 6: key.SetDword(name, in.Dword()); break;
    default: {
      // A name in ZeltoSim's directory, never a path out of it.
      std::string file;
      for (uint8_t b : in.Bytes()) file.push_back(b == '/' ? '_' : static_cast<char>(b));
      const std::string dir = path.substr(0, path.rfind('/') + 1);
      SetBytes(key, name, zelto::platform::kRegTypeSz, Text(dir + file, true));
    }
  }
}

// Writes one value in the form the input gives; returns the DWORD written, if any.
bool WriteValue(Input& in, RegistryKey& key, const char* name, int32_t* dword) {
  switch (in.Byte()) {
    case 1:
      *dword = static_cast<int32_t>(in.Dword());
      key.SetDword(name, static_cast<uint32_t>(*dword));
      return true;
    case 2: SetBytes(key, name, zelto::platform::kRegTypeSz, in.Bytes()); break;
    case 3: SetBytes(key, name, zelto::platform::kRegTypeBinary, in.Bytes()); break;
    case 4: SetBytes(key, name, zelto::platform::kRegTypeExpandSz, in.Bytes()); break;
    case 5: {
      std::vector<uint8_t> bytes = in.Bytes();
      if (bytes.size() == 4) bytes.push_back(0);
      SetBytes(key, name, zelto::platform::kRegTypeDword, bytes);
      break;
    }
    default: break;
  }
  return false;
}

// The free-running card delivers within milliseconds; an image the card cannot
// fill (a region it refused) may never bring a frame, so the wait is short.
bool WaitForFrame(IOrvaneGenericGrabber* grabber) {
  for (int i = 0; i < 50; ++i) {
    int16_t ready = 0;
    if (grabber->GetBufferCount(&ready) == S_OK && ready > 0) return true;
    zelto::platform::SleepMilliseconds(1);
  }
  return false;
}

void CheckImage(IOrvaneGenericGrabber* grabber) {
  IOrvaneImageProp* image = nullptr;
  if (grabber->QueryInterface(IID_IOrvaneImageProp, reinterpret_cast<void**>(&image)) != S_OK) {
    Fail("no IOrvaneImageProp");
  }
  int32_t width = 0, height = 0, offset_x = 0, offset_y = 0, bits = 0, bytes = 0;
  image->GetImageGeometry(&width, &height, &offset_x, &offset_y);
  image->GetBitsPerPixel(&bits);
  image->GetImageBytes(&bytes);
  image->Release();
  if (width <= 0 || height <= 0 || width > kLargestImageSide || height > kLargestImageSide) {
    std::fprintf(stderr, "registry fuzzer: image %d x %d\n", width, height);
    Fail("a started card reports an image size out of range");
  }
  if (int64_t{width} * height * (bits / 8) != bytes) {
    std::fprintf(stderr, "registry fuzzer: %d x %d x %d bits in %d bytes\n", width, height, bits,
                 bytes);
    Fail("a started card reports image bytes that do not match its image");
  }
}

void Grab(IOrvaneGenericGrabber* grabber) {
  CheckImage(grabber);
  if (grabber->AllocateBuffers(2) != S_OK || grabber->EnableGrab() != S_OK) return;
  int16_t free_buffers = 0;
  grabber->GetBufferCount(&free_buffers);
  for (int16_t i = 0; i < free_buffers; ++i) grabber->ArmBuffer();
  for (int frame = 0; frame < 2 && WaitForFrame(grabber); ++frame) {
    ImageRecord* record = nullptr;
    if (FAILED(grabber->GetFrame(&record)) || record == nullptr || record->Data == nullptr) {
      Fail("a ready frame came without its data");
    }
    grabber->ReleaseCurrentFrame();
    grabber->ArmBuffer();
  }
  grabber->DisableGrab();
}

IClassFactory* Factory() {
  static IClassFactory* factory = [] {
    IClassFactory* f = nullptr;
    if (zelto::GetClassObject(CLSID_OrvaneZeltoRGB, IID_IClassFactory,
                              reinterpret_cast<void**>(&f)) != S_OK) {
      Fail("no class factory");
    }
    return f;
  }();
  return factory;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A registry of the fuzzer's own, on tmpfs when there is one: every write syncs.
  std::string dir =
      std::getenv("ZELTO_FUZZ_TMP") != nullptr ? std::getenv("ZELTO_FUZZ_TMP") : "/dev/shm";
  std::string templ = dir + "/zelto-fuzz-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) {
    templ = "/tmp/zelto-fuzz-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) Fail("no temporary directory");
  }
  setenv("ZELTO_REGISTRY", (templ + "/registry.db").c_str(), 1);
  // Start-ups that fail show a message box for each input: kept off stderr.
  zelto::platform::SetTraceHook([](zelto::platform::TraceKind, const std::string&) {});
  Simulator();
  Factory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  Sim& sim = Simulator();
  sim.reset();
  const uint8_t card = in.Byte();
  const std::string config = std::string("pacing=free;ch0.signal=") + ((card & 1) ? "1" : "0") +
                             ";ch1.signal=" + ((card & 2) ? "1" : "0") +
                             ";mode=" + kModes[(card >> 2) & 7];
  if (sim.configure(config.c_str()) != 0) Fail("ZeltoSim refused its configuration");

  zelto::platform::DeleteRegistryTree(RegistryRoot::kLocalMachine, zelto::kDriverKeyPath);
  zelto::platform::DeleteRegistryTree(RegistryRoot::kCurrentUser, kHostKey);
  WriteDriverPath(in);
  const std::string base_key = std::string(kHostKey) + zelto::kModuleKeyName;
  int32_t channel = 0;
  {
    RegistryKey base;
    base.Create(RegistryRoot::kCurrentUser, base_key);
    if (!WriteValue(in, base, zelto::kInputChannelValue, &channel)) channel = 0;
  }
  {
    RegistryKey values;
    values.Create(RegistryRoot::kCurrentUser, zelto::ChannelKey(base_key, channel));
    int32_t unused = 0;
    for (const char* name : kChannelValues) WriteValue(in, values, name, &unused);
  }

  IOrvaneGenericGrabber* grabber = nullptr;
  if (Factory()->CreateInstance(nullptr, IID_IOrvaneGenericGrabber,
                                reinterpret_cast<void**>(&grabber)) != S_OK) {
    Fail("CreateInstance failed");
  }
  std::vector<OLECHAR> key(kHostKey, kHostKey + sizeof(kHostKey) - 1);
  BSTR host_key = SysAllocStringLen(key.data(), static_cast<unsigned>(key.size()));
  const HRESULT hr = grabber->CreateCard(host_key);
  SysFreeString(host_key);
  if (hr == S_OK) {
    Grab(grabber);
  } else if (hr != DISP_E_EXCEPTION) {
    Fail("CreateCard answered neither S_OK nor the start-up failure");
  }
  grabber->Release();

  ZeltoSimCounters counters{};
  sim.counters(&counters);
  if (counters.open_handles != 0) Fail("a driver handle is left open after Release");
  if (counters.live_buffers != 0) Fail("a driver buffer is left allocated after Release");
  return 0;
}
