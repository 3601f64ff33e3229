#include "settings_snapshot.h"

#include "geometry/registry_layout.h"
#include "platform/registry.h"
#include "timesource/time_source_settings.h"

namespace zelto::grab {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

// ZeltoSim has up to 16 channels; a card has fewer.
constexpr int kChannelKeys = 16;

const char* const kHostValues[] = {kTimeSourceDllValue, kTimeSourceOffsetValue,
                                   kLtcTimeSourceOffsetValue, kLtcTimeSourceModeValue};
const char* const kModuleValues[] = {kInputChannelValue};
const char* const kChannelValues[] = {kLockChannelModeValue,    kStartupImageFormatValue,
                                      kStartupResolutionValue,  kScalingModeValue,
                                      kScalingXValue,           kScalingYValue,
                                      kImageSizeXValue,         kImageSizeYValue,
                                      kImageOffsetXValue,       kImageOffsetYValue,
                                      kHorizontalPositionValue, kVerticalPositionValue,
                                      kFixedRateModeValue,      kFrameRateValue,
                                      kCaptureFormatValue,      kSampleRateValue,
                                      kContrastValue,           kBrightnessValue,
                                      kBlackLevelValue,         kPhaseValue};

template <size_t N>
void SnapshotKey(const std::string& host_key, const std::string& sub, const char* const (&names)[N],
                 SettingsSnapshot* out) {
  RegistryKey key;
  if (key.Open(RegistryRoot::kCurrentUser, host_key + sub) != platform::kRegSuccess) return;
  out->keys.push_back(sub);
  for (const char* name : names) {
    uint32_t type = 0, size = 0;
    if (key.QueryValue(name, &type, nullptr, &size) != platform::kRegSuccess) continue;
    StoredValue value{sub, name, type, std::vector<uint8_t>(size)};
    if (key.QueryValue(name, &type, value.bytes.data(), &size) != platform::kRegSuccess) continue;
    value.bytes.resize(size);
    out->values.push_back(std::move(value));
  }
}

}  // namespace

SettingsSnapshot TakeSnapshot(const std::string& host_key) {
  SettingsSnapshot snapshot;
  SnapshotKey(host_key, "", kHostValues, &snapshot);
  const std::string module = kModuleKeyName;
  SnapshotKey(host_key, module, kModuleValues, &snapshot);
  for (int channel = 0; channel < kChannelKeys; ++channel) {
    SnapshotKey(host_key, module + "\\" + std::to_string(channel), kChannelValues, &snapshot);
  }
  return snapshot;
}

void WriteSnapshot(const SettingsSnapshot& snapshot, const std::string& host_key) {
  platform::DeleteRegistryTree(RegistryRoot::kCurrentUser, host_key);
  for (const StoredValue& value : snapshot.values) {
    RegistryKey key;
    if (key.Create(RegistryRoot::kCurrentUser, host_key + value.key) != platform::kRegSuccess) {
      continue;
    }
    key.SetValue(value.name.c_str(), value.type, value.bytes.data(),
                 static_cast<uint32_t>(value.bytes.size()));
  }
}

std::string CompareSnapshots(const SettingsSnapshot& before, const SettingsSnapshot& after) {
  auto place = [](const std::string& key, const std::string& name) {
    return "\"" + name + "\" under " + (key.empty() ? "the host key" : key);
  };
  for (const StoredValue& b : before.values) {
    const StoredValue* match = nullptr;
    for (const StoredValue& a : after.values) {
      if (a.key == b.key && a.name == b.name) match = &a;
    }
    if (match == nullptr) return place(b.key, b.name) + " was removed";
    if (match->type != b.type || match->bytes != b.bytes) {
      return place(b.key, b.name) + " was changed";
    }
  }
  for (const StoredValue& a : after.values) {
    bool known = false;
    for (const StoredValue& b : before.values)
      known = known || (a.key == b.key && a.name == b.name);
    if (!known) return place(a.key, a.name) + " was added";
  }
  for (const std::string& k : after.keys) {
    bool known = false;
    for (const std::string& b : before.keys) known = known || k == b;
    if (!known) return "the key " + (k.empty() ? std::string("(host key)") : k) + " was created";
  }
  return {};
}

}  // namespace zelto::grab
