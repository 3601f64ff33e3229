#include "sample_time_source.h"

#include <stdexcept>

#include "platform/registry.h"
#include "test_support.h"
#include "timesource/time_source_settings.h"

namespace zelto::testing {

template <typename Fn>
Fn SampleTimeSource::Resolve(const char* name) {
  void* symbol = platform::ResolveSymbol(library_, name);
  if (symbol == nullptr) throw std::runtime_error(std::string("the plug-in lacks ") + name);
  return reinterpret_cast<Fn>(symbol);
}

SampleTimeSource::SampleTimeSource(const char* build_path) : path_(ArtifactPath(build_path)) {
  library_ = platform::LoadDynamicLibrary(path_.c_str());
  if (library_ == nullptr) throw std::runtime_error("cannot load " + path_);
  Resolve<PFN_ZeltoTimeSource_Reset>("ZeltoTimeSource_Reset")();
}

SampleTimeSource::~SampleTimeSource() {
  Resolve<PFN_ZeltoTimeSource_Reset>("ZeltoTimeSource_Reset")();
  platform::UnloadDynamicLibrary(library_);
}

void SampleTimeSource::Configure(const char* config) {
  if (Resolve<PFN_ZeltoTimeSource_Configure>("ZeltoTimeSource_Configure")(config) != 0) {
    throw std::runtime_error(std::string("bad plug-in configuration: ") + config);
  }
}

ZeltoTimeSourceCounters SampleTimeSource::Counters() {
  ZeltoTimeSourceCounters counters{};
  Resolve<PFN_ZeltoTimeSource_GetCounters>("ZeltoTimeSource_GetCounters")(&counters);
  return counters;
}

std::vector<TimeSourceEntry> SampleTimeSource::CallLog() {
  auto get = Resolve<PFN_ZeltoTimeSource_GetCallLog>("ZeltoTimeSource_GetCallLog");
  std::vector<uint32_t> raw(4096);
  raw.resize(get(raw.data(), static_cast<uint32_t>(raw.size())));
  std::vector<TimeSourceEntry> log;
  for (uint32_t entry : raw) log.push_back(static_cast<TimeSourceEntry>(entry));
  return log;
}

ZeltoTimeSourceGps SampleTimeSource::Gps() {
  ZeltoTimeSourceGps gps{};
  Resolve<PFN_ZeltoTimeSource_GetGps>("ZeltoTimeSource_GetGps")(&gps);
  return gps;
}

void WriteTimeSourceSettings(const std::string& host_key, const char* dll, int32_t offset_us,
                             int32_t ltc_offset, uint32_t ltc_mode) {
  platform::RegistryKey key;
  if (key.Create(platform::RegistryRoot::kCurrentUser, host_key) != platform::kRegSuccess) {
    throw std::runtime_error("cannot create " + host_key);
  }
  if (dll != nullptr) key.SetString(kTimeSourceDllValue, dll);
  key.SetDword(kTimeSourceOffsetValue, static_cast<uint32_t>(offset_us));
  key.SetDword(kLtcTimeSourceOffsetValue, static_cast<uint32_t>(ltc_offset));
  key.SetDword(kLtcTimeSourceModeValue, ltc_mode);
}

}  // namespace zelto::testing
