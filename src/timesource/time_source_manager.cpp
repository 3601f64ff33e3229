#include "timesource/time_source_manager.h"

#include <cstring>
#include <utility>

#include "platform/code_page.h"
#include "platform/registry.h"
#include "platform/trace.h"
#include "timesource/time_offsets.h"
#include "timesource/time_source_settings.h"

namespace zelto {
namespace {

using platform::RegistryKey;

// The plug-in's name, or false. RegistryKey::ReadString takes REG_SZ alone; this
// value may also be REG_EXPAND_SZ, used unexpanded.
bool ReadTimeSourceName(const RegistryKey& key, std::string* name) {
  char buffer[kTimeSourceNameBytes];
  uint32_t type = 0;
  uint32_t size = sizeof(buffer);
  if (key.QueryValue(kTimeSourceDllValue, &type, buffer, &size) != platform::kRegSuccess) {
    return false;  // missing, or larger than the buffer
  }
  if (type != platform::kRegTypeSz && type != platform::kRegTypeExpandSz) return false;
  if (std::memchr(buffer, '\0', size) == nullptr) return false;  // not terminated
  *name = buffer;
  return true;
}

// Any value of at most 4 bytes counts, whatever its type (so not ReadDword, which
// wants a REG_DWORD); a longer or missing one, or no key, gives 0.
uint32_t ReadSmallValue(const RegistryKey& key, const char* value_name) {
  if (!key.is_open()) return 0;
  uint8_t bytes[4] = {};
  uint32_t size = sizeof(bytes);
  if (key.QueryValue(value_name, nullptr, bytes, &size) != platform::kRegSuccess) return 0;
  uint32_t value = 0;
  std::memcpy(&value, bytes, sizeof(value));  // little-endian; short values zero-extended
  return value;
}

// A plug-in that throws out of Initialize has refused the binding.
bool InitializeGuarded(CTimeStamp& source) {
  try {
    return source.Initialize();
  } catch (...) {
    return false;
  }
}

}  // namespace

void CTimeSourceManager::BindTimeSource(const std::string& host_key_path) {
  std::string chosen = kSystemTimeSource;
  RegistryKey key;
  if (key.Create(platform::RegistryRoot::kCurrentUser, host_key_path) != platform::kRegSuccess) {
    key.Close();
    platform::Trace("Could not find specific time source. Defaulting to system clock.");
    Unbind();
  } else {
    std::string name;
    if (ReadTimeSourceName(key, &name) && !name.empty()) {
      chosen = name;
      platform::TraceFormat("Time Source: %s", chosen.c_str());
    }
    std::shared_ptr<CTimeStamp> source;
    if (chosen != kSystemTimeSource) {
      source = std::make_shared<CTimeStamp>(platform::NarrowToUtf16(chosen));
      if (!source->Loaded()) {
        platform::Trace("Loading the time source failed. Defaulting to system clock.");
        source.reset();
      } else if (!InitializeGuarded(*source)) {
        platform::Trace("Could not initialize the time source. Defaulting to system clock.");
        source.reset();
      }
    }
    SetTimeSource(std::move(source));
  }
  const auto offset = static_cast<int32_t>(ReadSmallValue(key, kTimeSourceOffsetValue));
  const auto ltc_offset = static_cast<int32_t>(ReadSmallValue(key, kLtcTimeSourceOffsetValue));
  const uint32_t mode = ReadSmallValue(key, kLtcTimeSourceModeValue);
  SetOffsets(offset, ltc_offset, LtcFrameRateForMode(mode));
}

void CTimeSourceManager::SetTimeSource(std::shared_ptr<CTimeStamp> time_source) {
  {
    std::lock_guard<std::mutex> lock(binding_lock_);
    TimeSource.swap(time_source);
  }
  // The earlier binding goes here, outside the lock, unless a call still uses it.
}

bool CTimeSourceManager::IsBound() const { return Snapshot() != nullptr; }

std::shared_ptr<CTimeStamp> CTimeSourceManager::Snapshot() const {
  std::lock_guard<std::mutex> lock(binding_lock_);
  return TimeSource;
}

void CTimeSourceManager::UnbindIfCurrent(const std::shared_ptr<CTimeStamp>& source) {
  std::shared_ptr<CTimeStamp> dropped;
  std::lock_guard<std::mutex> lock(binding_lock_);
  if (TimeSource == source) dropped.swap(TimeSource);
}

void CTimeSourceManager::ClearEvents() { CallOrUnbind(&CTimeStamp::ClearEvents); }

void CTimeSourceManager::Uninitialize() { CallOrUnbind(&CTimeStamp::Uninitialize); }

void CTimeSourceManager::CallOrUnbind(void (CTimeStamp::*call)()) {
  auto source = Snapshot();
  if (!source) return;
  bool threw = false;
  try {
    ((*source).*call)();
  } catch (...) {
    threw = true;
  }
  if (threw) UnbindIfCurrent(source);
}

void CTimeSourceManager::ProcessFrame(ImageRecord* record, int32_t image_bytes) {
  if (auto source = Snapshot()) {
    bool threw = false;
    try {
      source->ProcessImageData(record);
    } catch (...) {
      threw = true;
    }
    // Dropped for good, after the catch: the exception object may belong to the
    // plug-in's code and must be gone before its library can be unloaded.
    if (threw) UnbindIfCurrent(source);
  }
  if (TimeSourceOffset != 0) ApplyTimeSourceOffset(record, TimeSourceOffset);
  if (LTCTimeSourceOffset != 0 && record->Data != nullptr && image_bytes >= 4) {
    ApplyLtcOffset(static_cast<uint8_t*>(record->Data), LTCTimeSourceOffset, LTCFrameRate);
  }
}

bool CTimeSourceManager::PassToTimeSource(ImageRecord* record) {
  auto source = Snapshot();
  return source ? source->ProcessImageData(record) : false;
}

uint32_t CTimeSourceManager::GetSynchronizationStatus() {
  auto source = Snapshot();
  if (!source) return 0;
  try {
    return source->GetSynchronizationStatus();
  } catch (...) {
    return 0;
  }
}

bool CTimeSourceManager::IsGPSSupported() {
  auto source = Snapshot();
  if (!source) return false;
  try {
    return source->IsGPSSupported();
  } catch (...) {
    return false;
  }
}

bool CTimeSourceManager::GetGPSData(uint32_t value, bool flag) {
  if (auto source = Snapshot()) {
    try {
      source->GetGPSData(value, flag);
    } catch (...) {
    }
  }
  return true;
}

bool CTimeSourceManager::StopReadingGPSData() {
  auto source = Snapshot();
  if (!source) return false;
  try {
    source->StopReadingGPSData();
  } catch (...) {
  }
  return true;
}

void CTimeSourceManager::SetOffsets(int32_t time_source_offset_us, int32_t ltc_offset_frames,
                                    int32_t ltc_frame_rate) {
  TimeSourceOffset = time_source_offset_us;
  LTCTimeSourceOffset = ltc_offset_frames;
  LTCFrameRate = ltc_frame_rate;
}

}  // namespace zelto
