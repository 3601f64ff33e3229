// The card's video adjustments: the fill steps of its adjustment list, the
// adjustments' forwarding and the card's read and write of each. Every value
// lives in the driver; only the two position bases are kept here.
#include <mutex>

#include "card/zelto_rgb_card.h"
#include "geometry/registry_layout.h"
#include "geometry/registry_values.h"
#include "platform/registry.h"
#include "platform/trace.h"
#include "settings/position_adjustment.h"

namespace zelto {

// One front-end adjustment: its list name, the record field and Flags bit that
// carry it, the query its reads and writes use, whether a read's result is
// looked at (and kept as the last driver result), and its value name.
struct FrontEndAdjustment {
  const char* name;
  uint32_t flags;
  int32_t CaptureParams::*field;
  uint32_t access_query;
  bool read_result_kept;
  const char* value_name;
};

namespace {

constexpr FrontEndAdjustment kContrast = {"Contrast",    kFlagContrast, &CaptureParams::Contrast,
                                          kQueryCurrent, false,         kContrastValue};
constexpr FrontEndAdjustment kBrightness = {
    "Brightness",  kFlagBrightness, &CaptureParams::Brightness,
    kQueryCurrent, false,           kBrightnessValue};
constexpr FrontEndAdjustment kBlackLevel = {
    "BlackLevel", kFlagBlackLevel, &CaptureParams::BlackLevel, kQueryCapture,
    true,         kBlackLevelValue};
constexpr FrontEndAdjustment kPhase = {"Phase",       kFlagPhase, &CaptureParams::Phase,
                                       kQueryCurrent, true,       kPhaseValue};

// Every adjustment of the card hands the host these words.
constexpr HostWords kHostWords = {0, 1, 0, 0};

CaptureParams ParamsRecord(uint32_t flags) {
  CaptureParams record{};
  record.Size = kCaptureParamsSize;
  record.Flags = flags;
  return record;
}

}  // namespace

int32_t CContrastAdjustment::ReadValue() { return card_.ReadContrast(); }
void CContrastAdjustment::WriteValue(int32_t value) { card_.WriteContrast(value); }
int32_t CBrightnessAdjustment::ReadValue() { return card_.ReadBrightness(); }
void CBrightnessAdjustment::WriteValue(int32_t value) { card_.WriteBrightness(value); }
int32_t CBlackLevelAdjustment::ReadValue() { return card_.ReadBlackLevel(); }
void CBlackLevelAdjustment::WriteValue(int32_t value) { card_.WriteBlackLevel(value); }
int32_t CPhaseAdjustment::ReadValue() { return card_.ReadPhase(); }
void CPhaseAdjustment::WriteValue(int32_t value) { card_.WritePhase(value); }
int32_t CHorizontalPositionAdjustment::ReadValue() { return card_.GetHorizontalPositionValue(); }
void CHorizontalPositionAdjustment::WriteValue(int32_t value) {
  card_.SetHorizontalPositionValue(value);
}
int32_t CVerticalPositionAdjustment::ReadValue() { return card_.GetVerticalPositionValue(); }
void CVerticalPositionAdjustment::WriteValue(int32_t value) {
  card_.SetVerticalPositionValue(value);
}

bool CZeltoRGBCard::FillAdjustments() {
  ClearAdjustments();
  int32_t id = 0;
  // A step that succeeds advances the id by one, and the list once more: the
  // ids are even. A failed step leaves its id to the next.
  const auto step = [&](bool (CZeltoRGBCard::*fill)(int32_t*)) {
    const bool filled = (this->*fill)(&id);
    if (filled) ++id;
    return filled;
  };
  step(&CZeltoRGBCard::FillContrastData);
  step(&CZeltoRGBCard::FillBrightnessData);
  step(&CZeltoRGBCard::FillBlackLevelData);
  step(&CZeltoRGBCard::FillPhaseData);
  step(&CZeltoRGBCard::FillHorizontalPositionData);
  return step(&CZeltoRGBCard::FillVerticalPositionData);
}

bool CZeltoRGBCard::FillFrontEnd(const FrontEndAdjustment& adjustment, CAdjustment* handler,
                                 int32_t* id) {
  // The results are not looked at: a failed read leaves the zeroed field.
  CaptureParams record = ParamsRecord(adjustment.flags);
  int32_t min;
  int32_t max;
  {
    std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
    Driver().RGBCaptureGetParameters(Channel.handle(), &record, kQueryMinimum);
    min = record.*adjustment.field;
    Driver().RGBCaptureGetParameters(Channel.handle(), &record, kQueryMaximum);
    max = record.*adjustment.field;
  }
  AddIntegerAdjustment(*id, adjustment.name, min, max, kHostWords, handler);
  ++*id;
  return true;
}

bool CZeltoRGBCard::FillContrastData(int32_t* id) {
  return FillFrontEnd(kContrast, &contrast_, id);
}
bool CZeltoRGBCard::FillBrightnessData(int32_t* id) {
  return FillFrontEnd(kBrightness, &brightness_, id);
}
bool CZeltoRGBCard::FillBlackLevelData(int32_t* id) {
  return FillFrontEnd(kBlackLevel, &black_level_, id);
}
bool CZeltoRGBCard::FillPhaseData(int32_t* id) { return FillFrontEnd(kPhase, &phase_, id); }

int32_t CZeltoRGBCard::ReadFrontEnd(const FrontEndAdjustment& adjustment) {
  CaptureParams record = ParamsRecord(adjustment.flags);
  uint32_t result;
  {
    std::lock_guard<std::recursive_mutex> lock(Channel.DriverLock);
    result = Driver().RGBCaptureGetParameters(Channel.handle(), &record, adjustment.access_query);
  }
  if (adjustment.read_result_kept) LastDriverResult = result;
  // Contrast and Brightness too: a field the driver did not fill reads as 0.
  return result == kRgbErrorNoError ? record.*adjustment.field : 0;
}

void CZeltoRGBCard::WriteFrontEnd(const FrontEndAdjustment& adjustment, int32_t value) {
  CaptureParams record = ParamsRecord(adjustment.flags);
  record.*adjustment.field = value;
  // From the change through its persisting: never between the capture thread's
  // loading of the stored values.
  std::lock_guard<std::recursive_mutex> lock(SettingsLock());
  Driver().RGBCaptureSetParameters(Channel.handle(), &record, adjustment.access_query);
  if (!LoadingSettings) StoreDwordValue(adjustment.value_name, value);
}

int32_t CZeltoRGBCard::ReadContrast() { return ReadFrontEnd(kContrast); }
void CZeltoRGBCard::WriteContrast(int32_t value) { WriteFrontEnd(kContrast, value); }
int32_t CZeltoRGBCard::ReadBrightness() { return ReadFrontEnd(kBrightness); }
void CZeltoRGBCard::WriteBrightness(int32_t value) { WriteFrontEnd(kBrightness, value); }
int32_t CZeltoRGBCard::ReadBlackLevel() { return ReadFrontEnd(kBlackLevel); }
void CZeltoRGBCard::WriteBlackLevel(int32_t value) { WriteFrontEnd(kBlackLevel, value); }
int32_t CZeltoRGBCard::ReadPhase() { return ReadFrontEnd(kPhase); }
void CZeltoRGBCard::WritePhase(int32_t value) { WriteFrontEnd(kPhase, value); }

bool CZeltoRGBCard::FillHorizontalPositionData(int32_t* id) {
  CaptureParams record;
  if (!ReadTimingAndPositions(&record, "FillHorizontalPositionData() - error")) return false;
  const PositionRange range = HorizontalPositionRange(record, Geometry.ImageSizeX);
  HorPositionBase = range.base;
  AddIntegerAdjustment(*id, "Horizontal Position", range.min, range.max, kHostWords,
                       &horizontal_position_);
  ++*id;
  return true;
}

bool CZeltoRGBCard::FillVerticalPositionData(int32_t* id) {
  CaptureParams record;
  if (!ReadTimingAndPositions(&record, "FillVerticalPositionData() - error")) return false;
  const PositionRange range = VerticalPositionRange(record, Geometry.ImageSizeY);
  VerPositionBase = range.base;
  AddIntegerAdjustment(*id, "Vertical Position", range.min, range.max, kHostWords,
                       &vertical_position_);
  ++*id;
  return true;
}

// The positions count from the base of the timing just read rather than the one
// of the last rebuild: after a mode change that one names another place.
int32_t CZeltoRGBCard::GetHorizontalPositionValue() {
  CaptureParams record;
  if (!ReadTimingAndPositions(&record, "GetHorizontalPositionValue() - error")) return 0;
  HorPositionBase = HorizontalPositionBase(record);
  return HorizontalPositionToHost(record.HorPosition, HorPositionBase);
}

void CZeltoRGBCard::SetHorizontalPositionValue(int32_t value) {
  // Read, change and write back the whole record with no other parameter call
  // in between, and persist before the next change.
  std::lock_guard<std::recursive_mutex> lock(SettingsLock());
  CaptureParams record;
  if (!ReadTimingAndPositions(&record,
                              "SetHorizontalPositionValue() - error in RGBCaptureGetParameters()"))
    return;
  HorPositionBase = HorizontalPositionBase(record);
  record.HorPosition = HorizontalPositionToDriver(value, HorPositionBase);
  LastDriverResult = Driver().RGBCaptureSetParameters(Channel.handle(), &record, kQueryCurrent);
  if (LastDriverResult != kRgbErrorNoError) {
    platform::Trace("SetHorizontalPositionValue() - error in RGBCaptureSetParameters()");
    return;
  }
  // A saved position still waiting for a mode change would undo this one there.
  Geometry.HorPositionPending = false;
  if (!LoadingSettings) StoreDwordValue(kHorizontalPositionValue, value);
}

int32_t CZeltoRGBCard::GetVerticalPositionValue() {
  CaptureParams record;
  if (!ReadTimingAndPositions(&record, "GetVerticalPositionValue() - error")) return 0;
  VerPositionBase = VerticalPositionBase(record);
  return VerticalPositionToHost(record.VerPosition, VerPositionBase);
}

void CZeltoRGBCard::SetVerticalPositionValue(int32_t value) {
  std::lock_guard<std::recursive_mutex> lock(SettingsLock());
  CaptureParams record;
  if (!ReadTimingAndPositions(&record,
                              "SetVerticalPositionValue() - error in RGBCaptureGetParameters()"))
    return;
  VerPositionBase = VerticalPositionBase(record);
  record.VerPosition = VerticalPositionToDriver(value, VerPositionBase);
  LastDriverResult = Driver().RGBCaptureSetParameters(Channel.handle(), &record, kQueryCurrent);
  if (LastDriverResult != kRgbErrorNoError) {
    platform::Trace("SetVerticalPositionValue() - error in RGBCaptureSetParameters()");
    return;
  }
  Geometry.VerPositionPending = false;
  if (!LoadingSettings) StoreDwordValue(kVerticalPositionValue, value);
}

void CZeltoRGBCard::ApplyPendingPositions() {
  // Under the lock, so a host's position write comes wholly before (and then
  // supersedes the saved value) or after.
  std::lock_guard<std::recursive_mutex> lock(SettingsLock());
  if (Geometry.HorPositionPending) {
    HorPositionBase = GetHorOffsetMin();
    SetHorizontalPositionValue(Geometry.PendingHorPosition);
    Geometry.HorPositionPending = false;
  }
  if (Geometry.VerPositionPending) {
    VerPositionBase = GetVerOffsetMin();
    SetVerticalPositionValue(Geometry.PendingVerPosition);
    Geometry.VerPositionPending = false;
  }
}

void CZeltoRGBCard::LoadUserAdjustments(const platform::RegistryKey& key) {
  constexpr struct {
    const char* name;
    void (CZeltoRGBCard::*write)(int32_t);
  } kStored[] = {
      {kContrastValue, &CZeltoRGBCard::WriteContrast},
      {kBrightnessValue, &CZeltoRGBCard::WriteBrightness},
      {kBlackLevelValue, &CZeltoRGBCard::WriteBlackLevel},
      {kPhaseValue, &CZeltoRGBCard::WritePhase},
  };
  for (const auto& stored : kStored) {
    int32_t value = 0;
    if (ReadDwordValue(key, stored.name, &value) == platform::kRegSuccess)
      (this->*stored.write)(value);
  }
}

}  // namespace zelto
