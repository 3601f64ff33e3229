// The sample time source plug-in for tests: loaded by the path the module will be
// given (so both see one instance), reset, and reached through its control
// exports. Also writes the host's time source settings.
#ifndef ZELTO_TESTS_SUPPORT_SAMPLE_TIME_SOURCE_H_
#define ZELTO_TESTS_SUPPORT_SAMPLE_TIME_SOURCE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "timesource/time_source_plugin.h"
#include "zelto_time_source_control.h"

namespace zelto::testing {

class SampleTimeSource {
 public:
  // `build_path`: $<TARGET_FILE:...> of one of the plug-in's variants.
  explicit SampleTimeSource(const char* build_path);
  ~SampleTimeSource();
  SampleTimeSource(const SampleTimeSource&) = delete;
  SampleTimeSource& operator=(const SampleTimeSource&) = delete;

  const std::string& path() const { return path_; }
  void Configure(const char* config);
  ZeltoTimeSourceCounters Counters();
  uint32_t Calls(TimeSourceEntry entry) { return Counters().calls[static_cast<int>(entry)]; }
  // One TimeSourceEntry per logged call, oldest first.
  std::vector<TimeSourceEntry> CallLog();
  ZeltoTimeSourceGps Gps();

 private:
  template <typename Fn>
  Fn Resolve(const char* name);

  std::string path_;
  platform::LibraryHandle library_ = nullptr;
};

// Writes the host's time source settings under HKEY_CURRENT_USER\`host_key`:
// "TimeSourceDLL" as REG_SZ (nothing written for a null `dll`) and the three
// DWORDs.
void WriteTimeSourceSettings(const std::string& host_key, const char* dll, int32_t offset_us = 0,
                             int32_t ltc_offset = 0, uint32_t ltc_mode = 0);

}  // namespace zelto::testing

#endif  // ZELTO_TESTS_SUPPORT_SAMPLE_TIME_SOURCE_H_
