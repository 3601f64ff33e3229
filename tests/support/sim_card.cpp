#include "sim_card.h"

#include <stdexcept>

#include "driver/driver_binding.h"
#include "platform/registry.h"

namespace zelto::testing {

using platform::RegistryKey;
using platform::RegistryRoot;

template <typename Fn>
Fn SimCard::Resolve(const char* name) {
  void* symbol = platform::ResolveSymbol(library_, name);
  if (symbol == nullptr) throw std::runtime_error(std::string("ZeltoSim lacks ") + name);
  return reinterpret_cast<Fn>(symbol);
}

SimCard::SimCard(const char* sim_build_path, bool register_driver)
    : path_(ArtifactPath(sim_build_path)), host_key_(UniqueHostKey()) {
  library_ = platform::LoadDynamicLibrary(path_.c_str());
  if (library_ == nullptr) throw std::runtime_error("cannot load " + path_);
  Resolve<PFN_ZeltoSim_Reset>("ZeltoSim_Reset")();
  if (register_driver) RegisterDriver(path_);
}

SimCard::~SimCard() {
  platform::DeleteRegistryTree(RegistryRoot::kCurrentUser, host_key_);
  Resolve<PFN_ZeltoSim_Reset>("ZeltoSim_Reset")();
  platform::UnloadDynamicLibrary(library_);
}

void SimCard::Configure(const char* settings) {
  if (Resolve<PFN_ZeltoSim_Configure>("ZeltoSim_Configure")(settings) != 0) {
    throw std::runtime_error(std::string("bad ZeltoSim settings: ") + settings);
  }
}

void SimCard::SetSignal(uint32_t channel, bool present) {
  Resolve<PFN_ZeltoSim_SetSignal>("ZeltoSim_SetSignal")(channel, present ? 1 : 0);
}

void SimCard::SetMode(uint32_t channel, const char* mode) {
  if (Resolve<PFN_ZeltoSim_SetMode>("ZeltoSim_SetMode")(channel, mode) != 0) {
    throw std::runtime_error(std::string("bad ZeltoSim mode: ") + mode);
  }
}

void SimCard::InjectError(const char* entry_point, uint32_t code, uint32_t nth) {
  Resolve<PFN_ZeltoSim_InjectError>("ZeltoSim_InjectError")(entry_point, code, nth);
}

void SimCard::ClearErrors() { Resolve<PFN_ZeltoSim_ClearErrors>("ZeltoSim_ClearErrors")(); }

ZeltoSimCounters SimCard::Counters() {
  ZeltoSimCounters counters{};
  Resolve<PFN_ZeltoSim_GetCounters>("ZeltoSim_GetCounters")(&counters);
  return counters;
}

std::vector<ZeltoSimCall> SimCard::CallLog() {
  auto get = Resolve<PFN_ZeltoSim_GetCallLog>("ZeltoSim_GetCallLog");
  std::vector<ZeltoSimCall> calls(get(nullptr, 0));
  calls.resize(get(calls.data(), static_cast<uint32_t>(calls.size())));
  return calls;
}

void SimCard::ClearCallLog() { Resolve<PFN_ZeltoSim_ClearCallLog>("ZeltoSim_ClearCallLog")(); }

void SimCard::RegisterDriver(const std::string& library_path) {
  RegistryKey key;
  key.Create(RegistryRoot::kLocalMachine, kDriverKeyPath);
  key.SetString(kDriverPathValue, library_path);
}

void SimCard::UnregisterDriver() {
  platform::DeleteRegistryTree(RegistryRoot::kLocalMachine, kDriverKeyPath);
}

}  // namespace zelto::testing
