#include "timesource/time_stamp.h"

#include <utility>

#include "platform/code_page.h"
#include "platform/trace.h"

namespace zelto {
namespace {

struct EntrySlot {
  const char* name;
  bool required;
};

constexpr EntrySlot kSlots[kTimeSourceEntryCount] = {
#define ZELTO_TIME_SOURCE_SLOT(name, required, result, params) {#name, required},
    ZELTO_TIME_SOURCE_ENTRY_POINTS(ZELTO_TIME_SOURCE_SLOT)
#undef ZELTO_TIME_SOURCE_SLOT
};

}  // namespace

CTimeStamp::CTimeStamp(std::u16string name) : LibraryName_(std::move(name)) {
  Library.reset(platform::LoadDynamicLibraryWide(LibraryName_.c_str()));
  if (!Library.is_valid()) {
    platform::TraceFormat("Time Source Manager: Failed to load %s",
                          platform::Utf16ToNarrow(LibraryName_).c_str());
    return;
  }
  // The table's members follow the lookup order, one pointer each.
  void* addresses[kTimeSourceEntryCount] = {};
  bool complete = true;
  for (int i = 0; i < kTimeSourceEntryCount; ++i) {
    addresses[i] = Library.GetFunctionPointer(kSlots[i].name);
    if (addresses[i] == nullptr && kSlots[i].required) complete = false;
  }
  int i = 0;
#define ZELTO_TIME_SOURCE_ASSIGN(name, required, result, params) \
  Entries.name = reinterpret_cast<PFN_TimeSource_##name>(addresses[i++]);
  ZELTO_TIME_SOURCE_ENTRY_POINTS(ZELTO_TIME_SOURCE_ASSIGN)
#undef ZELTO_TIME_SOURCE_ASSIGN
  Loaded_ = complete;
}

CTimeStamp::~CTimeStamp() = default;

bool CTimeStamp::Initialize() { return Entries.Initialize != nullptr && Entries.Initialize() != 0; }

void CTimeStamp::Uninitialize() {
  if (Entries.Uninitialize != nullptr) Entries.Uninitialize();
}

void CTimeStamp::ClearEvents() {
  if (Entries.ClearEvents != nullptr) Entries.ClearEvents();
}

bool CTimeStamp::ProcessImageData(ImageRecord* record) {
  return Entries.ProcessImageData != nullptr && Entries.ProcessImageData(record) != 0;
}

uint32_t CTimeStamp::GetSynchronizationStatus() {
  return Entries.GetSynchronizationStatus != nullptr ? Entries.GetSynchronizationStatus() : 0;
}

bool CTimeStamp::IsGPSSupported() {
  return Entries.IsGPSSupported != nullptr && Entries.IsGPSSupported() != 0;
}

void CTimeStamp::GetGPSData(uint32_t value, bool flag) {
  if (Entries.GetGPSData != nullptr) Entries.GetGPSData(value, flag ? 1 : 0);
}

void CTimeStamp::StopReadingGPSData() {
  if (Entries.StopReadingGPSData != nullptr) Entries.StopReadingGPSData();
}

}  // namespace zelto
