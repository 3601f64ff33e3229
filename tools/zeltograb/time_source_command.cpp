#include "time_source_command.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "card_session.h"
#include "commands.h"
#include "platform/dynamic_library.h"
#include "platform/registry.h"
#include "timesource/time_source_plugin.h"
#include "timesource/time_source_settings.h"

namespace zelto::grab {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

constexpr int kTimeSourceFrames = 10;

std::string PluginPath(const std::string& value) {
  std::error_code ec;
  if (value == kSystemTimeSource || !std::filesystem::is_regular_file(value, ec)) return value;
  std::filesystem::path absolute = std::filesystem::absolute(value, ec);
  return ec ? value : absolute.lexically_normal().string();
}

uint32_t ReadSmall(const RegistryKey& key, const char* name) {
  uint8_t bytes[4] = {};
  uint32_t size = sizeof(bytes);
  if (key.QueryValue(name, nullptr, bytes, &size) != platform::kRegSuccess) return 0;
  uint32_t value = 0;
  std::memcpy(&value, bytes, sizeof(value));
  return value;
}

// Whether the module will bind the library: it loads and has every required
// entry point (Initialize, which the module calls, may still refuse).
std::string CheckPlugin(const std::string& path) {
  platform::LibraryHandle library = platform::LoadDynamicLibrary(path.c_str());
  if (library == nullptr) return "cannot be loaded: the module uses the system clock";
  std::string missing_required;
  std::string missing_optional;
  for (int i = 0; i < kTimeSourceEntryCount; ++i) {
    if (platform::ResolveSymbol(library, kTimeSourceEntryNames[i]) != nullptr) continue;
    std::string& list = kTimeSourceEntryRequired[i] ? missing_required : missing_optional;
    list += (list.empty() ? "" : ", ") + std::string(kTimeSourceEntryNames[i]);
  }
  std::string name;
  if (auto get_name = reinterpret_cast<PFN_TimeSource_GetName>(
          platform::ResolveSymbol(library, kTimeSourceEntryNames[0]))) {
    if (const char* text = get_name()) name = text;
  }
  std::string result;
  if (!missing_required.empty()) {
    result = "lacks " + missing_required + ": the module uses the system clock";
  } else {
    result = "bound at every grab";
    if (!name.empty()) result += " (GetName: " + name + ")";
    if (!missing_optional.empty()) result += "; without the optional " + missing_optional;
  }
  platform::UnloadDynamicLibrary(library);
  return result;
}

}  // namespace

bool ApplyTimeSourceOptions(const Options& options, std::string* error) {
  const TimeSourceOptions& t = options.time_source;
  if (!t.dll && !t.offset_us && !t.ltc_offset && !t.ltc_mode) return true;
  RegistryKey key;
  if (key.Create(RegistryRoot::kCurrentUser, options.key) != platform::kRegSuccess) {
    *error = "cannot open HKEY_CURRENT_USER\\" + options.key;
    return false;
  }
  platform::RegStatus status = platform::kRegSuccess;
  if (t.dll) {
    const std::string path = PluginPath(*t.dll);
    status = key.SetString(kTimeSourceDllValue, path);
    std::printf("zeltograb: time source set to %s\n", path.c_str());
  }
  if (status == platform::kRegSuccess && t.offset_us) {
    status = key.SetDword(kTimeSourceOffsetValue, static_cast<uint32_t>(*t.offset_us));
  }
  if (status == platform::kRegSuccess && t.ltc_offset) {
    status = key.SetDword(kLtcTimeSourceOffsetValue, static_cast<uint32_t>(*t.ltc_offset));
  }
  if (status == platform::kRegSuccess && t.ltc_mode) {
    status = key.SetDword(kLtcTimeSourceModeValue, *t.ltc_mode);
  }
  if (status != platform::kRegSuccess) {
    *error = "cannot write the time source values under HKEY_CURRENT_USER\\" + options.key;
    return false;
  }
  return true;
}

TimeSourceSettings ReadTimeSourceSettings(const std::string& host_key) {
  TimeSourceSettings settings;
  RegistryKey key;
  if (key.Open(RegistryRoot::kCurrentUser, host_key) != platform::kRegSuccess) return settings;
  char name[kTimeSourceNameBytes];
  uint32_t type = 0;
  uint32_t size = sizeof(name);
  if (key.QueryValue(kTimeSourceDllValue, &type, name, &size) == platform::kRegSuccess &&
      (type == platform::kRegTypeSz || type == platform::kRegTypeExpandSz) &&
      std::memchr(name, '\0', size) != nullptr && name[0] != '\0') {
    settings.dll = name;
  }
  settings.plugin = settings.dll != kSystemTimeSource;
  settings.offset_us = static_cast<int32_t>(ReadSmall(key, kTimeSourceOffsetValue));
  settings.ltc_offset = static_cast<int32_t>(ReadSmall(key, kLtcTimeSourceOffsetValue));
  settings.ltc_mode = ReadSmall(key, kLtcTimeSourceModeValue);
  settings.ltc_frame_rate = LtcFrameRateForMode(settings.ltc_mode);
  return settings;
}

std::string DescribeTimeSource(const TimeSourceSettings& s) {
  char line[512];
  std::snprintf(line, sizeof line, "%s%s, offset %d us, LTC offset %d frames at %d fps",
                s.dll.c_str(), s.plugin ? "" : " (system clock)", s.offset_us, s.ltc_offset,
                s.ltc_frame_rate);
  return line;
}

std::string DescribeTimeSourceState(IOrvaneGenericGrabber* grabber) {
  ComPtr<IOrvaneTimeSourceProp> prop;
  if (FAILED(grabber->QueryInterface(IID_IOrvaneTimeSourceProp, prop.PutVoid()))) return "";
  int32_t status = 0;
  int32_t gps = 0;
  prop->GetSynchronizationStatus(&status);
  prop->IsGPSSupported(&gps);
  char line[128];
  std::snprintf(line, sizeof line, "sync status 0x%08X, GPS %s", static_cast<uint32_t>(status),
                gps != 0 ? "supported" : "not supported");
  return line;
}

int StoreTimeSourceAndOpenCard(const Options& options, TimeSourceSettings* settings,
                               CardSession* session) {
  std::string error;
  if (!ApplyTimeSourceOptions(options, &error)) {
    std::fprintf(stderr, "zeltograb: %s\n", error.c_str());
    return kExitFileError;
  }
  *settings = ReadTimeSourceSettings(options.key);
  const int status = OpenCard(options, session);
  if (status != kExitOk) CloseCard(session);
  return status;
}

int RunTimeSource(const Options& options) {
  TimeSourceSettings settings;
  CardSession s;
  int status = StoreTimeSourceAndOpenCard(options, &settings, &s);
  if (status != kExitOk) return status;
  IOrvaneGenericGrabber* grabber = s.grabber.Get();
  // The module binds at EnableGrab; a few frames let the plug-in measure.
  std::string last_code;
  HRESULT hr = grabber->AllocateBuffers(4);
  if (SUCCEEDED(hr)) hr = grabber->EnableGrab();
  for (int i = 0; SUCCEEDED(hr) && i < kTimeSourceFrames; ++i) {
    hr = grabber->ArmBuffer();
    ImageRecord* record = nullptr;
    if (SUCCEEDED(hr)) hr = grabber->GetFrame(&record);
    if (SUCCEEDED(hr) && record != nullptr && record->Data != nullptr) {
      if (auto code =
              DecodeTimeCode(static_cast<const uint8_t*>(record->Data), settings.ltc_frame_rate)) {
        last_code = *code;
      }
      hr = grabber->ReleaseCurrentFrame();
    }
  }
  if (FAILED(hr)) status = ReportComFailure("grabbing", hr);

  std::printf("host key       HKEY_CURRENT_USER\\%s\n", options.key.c_str());
  std::printf("time source    %s\n", DescribeTimeSource(settings).c_str());
  if (settings.plugin) std::printf("binding        %s\n", CheckPlugin(settings.dll).c_str());
  const std::string state = DescribeTimeSourceState(grabber);
  std::printf("plug-in state  %s\n", state.empty() ? "(no IOrvaneTimeSourceProp)" : state.c_str());
  if (settings.plugin) {
    std::printf("time code      %s\n",
                last_code.empty() ? "(none in the frames)" : last_code.c_str());
  }
  grabber->DisableGrab();
  grabber->FreeAllBuffers();
  CloseCard(&s);
  return status;
}

}  // namespace zelto::grab
