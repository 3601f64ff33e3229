#include "settings/adjustment_support.h"

#include "base/utf_convert.h"

namespace zelto {

void CAdjustmentSupport::GetUnhandledInteger(int32_t, int32_t* value) { *value = 0; }
void CAdjustmentSupport::SetUnhandledInteger(int32_t, int32_t) {}
void CAdjustmentSupport::GetUnhandledReal(int32_t, double* value) { *value = 0.0; }
void CAdjustmentSupport::SetUnhandledReal(int32_t, double) {}
void CAdjustmentSupport::GetUnhandledAux(int32_t, int32_t* value) { *value = 0; }
void CAdjustmentSupport::SetUnhandledAux(int32_t, int32_t) {}
void CAdjustmentSupport::TriggerUnhandled(int32_t) {}

void CAdjustmentSupport::AddIntegerAdjustment(int32_t id, const char* name, int32_t min,
                                              int32_t max, HostWords words,
                                              CAdjustment* adjustment) {
  AdjustmentEntry entry;
  entry.Id = id;
  entry.Name = Utf8ToUtf16(name);
  entry.IntMin = min;
  entry.IntMax = max;
  entry.IsInteger = 1;
  entry.HostWordA = words.a;
  entry.HostWordB = words.b;
  entry.HostWordC = words.c;
  entry.HostWordD = words.d;
  entry.Adjustment = adjustment;
  Adjustments.push_back(std::move(entry));
}

void CAdjustmentSupport::AddRealAdjustment(int32_t id, const char* name, double min, double max,
                                           HostWords words, CAdjustment* adjustment) {
  AdjustmentEntry entry;
  entry.Id = id;
  entry.Name = Utf8ToUtf16(name);
  entry.RealMin = min;
  entry.RealMax = max;
  entry.IsInteger = 0;
  entry.HostWordA = words.a;
  entry.HostWordB = words.b;
  entry.HostWordC = words.c;
  entry.HostWordD = words.d;
  entry.Adjustment = adjustment;
  Adjustments.push_back(std::move(entry));
}

const AdjustmentEntry* CAdjustmentSupport::GetAdjustmentInfo(int32_t index) const {
  if (index < 0 || index >= GetAdjustmentCount()) return nullptr;
  return &Adjustments[static_cast<size_t>(index)];
}

AdjustmentEntry* CAdjustmentSupport::Find(int32_t id) {
  for (AdjustmentEntry& entry : Adjustments) {
    if (entry.Id == id) return &entry;
  }
  return nullptr;
}

void CAdjustmentSupport::GetIntegerValue(int32_t id, int32_t* value) {
  *value = 0;
  AdjustmentEntry* entry = Find(id);
  if (entry == nullptr) return;
  if (entry->Adjustment != nullptr) {
    entry->Adjustment->GetIntegerValue(value);
  } else {
    GetUnhandledInteger(id, value);
  }
}

void CAdjustmentSupport::SetIntegerValue(int32_t id, int32_t value) {
  AdjustmentEntry* entry = Find(id);
  if (entry == nullptr) return;
  if (entry->Adjustment != nullptr) {
    entry->Adjustment->SetIntegerValue(value);
  } else {
    SetUnhandledInteger(id, value);
  }
}

void CAdjustmentSupport::GetRealValue(int32_t id, double* value) {
  *value = 0.0;
  AdjustmentEntry* entry = Find(id);
  if (entry == nullptr) return;
  if (entry->Adjustment != nullptr) {
    entry->Adjustment->GetRealValue(value);
  } else {
    GetUnhandledReal(id, value);
  }
}

void CAdjustmentSupport::SetRealValue(int32_t id, double value) {
  AdjustmentEntry* entry = Find(id);
  if (entry == nullptr) return;
  if (entry->Adjustment != nullptr) {
    entry->Adjustment->SetRealValue(value);
  } else {
    SetUnhandledReal(id, value);
  }
}

void CAdjustmentSupport::GetAuxValue(int32_t id, int32_t* value) {
  *value = 0;
  AdjustmentEntry* entry = Find(id);
  if (entry == nullptr) return;
  if (entry->Adjustment != nullptr) {
    entry->Adjustment->GetAuxValue(value);
  } else {
    GetUnhandledAux(id, value);
  }
}

void CAdjustmentSupport::SetAuxValue(int32_t id, int32_t value) {
  AdjustmentEntry* entry = Find(id);
  if (entry == nullptr) return;
  if (entry->Adjustment != nullptr) {
    entry->Adjustment->SetAuxValue(value);
  } else {
    SetUnhandledAux(id, value);
  }
}

void CAdjustmentSupport::Trigger(int32_t id) {
  AdjustmentEntry* entry = Find(id);
  if (entry == nullptr) return;
  if (entry->Adjustment != nullptr) {
    entry->Adjustment->Trigger();
  } else {
    TriggerUnhandled(id);
  }
}

}  // namespace zelto
