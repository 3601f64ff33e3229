// A simulated card for tests: loads ZeltoSim (the same instance the module's
// driver binding will get), resets it, points the driver key at it and gives the
// test a registry and host key of its own.
#ifndef ZELTO_TESTS_SUPPORT_SIM_CARD_H_
#define ZELTO_TESTS_SUPPORT_SIM_CARD_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "test_support.h"
#include "zeltosim_control.h"

namespace zelto::testing {

class SimCard {
 public:
  // `sim_build_path`: $<TARGET_FILE:zeltosim>. Registers the driver path under
  // HKEY_LOCAL_MACHINE unless `register_driver` is false.
  explicit SimCard(const char* sim_build_path, bool register_driver = true);
  ~SimCard();
  SimCard(const SimCard&) = delete;
  SimCard& operator=(const SimCard&) = delete;

  const std::string& path() const { return path_; }
  const std::string& host_key() const { return host_key_; }
  // The module's key under HKEY_CURRENT_USER: host key + "ZELTORGB".
  std::string base_key() const { return host_key_ + "ZELTORGB"; }

  void Configure(const char* settings);
  void SetSignal(uint32_t channel, bool present);
  void SetMode(uint32_t channel, const char* mode);
  void InjectError(const char* entry_point, uint32_t code, uint32_t nth);
  void ClearErrors();
  ZeltoSimCounters Counters();
  std::vector<ZeltoSimCall> CallLog();
  void ClearCallLog();

  void RegisterDriver(const std::string& library_path);
  void UnregisterDriver();

 private:
  template <typename Fn>
  Fn Resolve(const char* name);

  ScopedTempRegistry registry_;
  std::string path_;
  std::string host_key_;
  platform::LibraryHandle library_ = nullptr;
};

}  // namespace zelto::testing

#endif  // ZELTO_TESTS_SUPPORT_SIM_CARD_H_
