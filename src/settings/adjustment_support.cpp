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

namespace {

AdjustmentEntry NewEntry(int32_t id, const char* name, HostWords words, CAdjustment* adjustment) {
  AdjustmentEntry entry;
  entry.Id = id;
  entry.Name = Utf8ToUtf16(name);
  entry.HostWordA = words.a;
  entry.HostWordB = words.b;
  entry.HostWordC = words.c;
  entry.HostWordD = words.d;
  entry.Adjustment = adjustment;
  return entry;
}

}  // namespace

void CAdjustmentSupport::AddIntegerAdjustment(int32_t id, const char* name, int32_t min,
                                              int32_t max, HostWords words,
                                              CAdjustment* adjustment) {
  AdjustmentEntry entry = NewEntry(id, name, words, adjustment);
  entry.IntMin = min;
  entry.IntMax = max;
  entry.IsInteger = 1;
  Adjustments.push_back(std::move(entry));
}

void CAdjustmentSupport::AddRealAdjustment(int32_t id, const char* name, double min, double max,
                                           HostWords words, CAdjustment* adjustment) {
  AdjustmentEntry entry = NewEntry(id, name, words, adjustment);
  entry.RealMin = min;
  entry.RealMax = max;
  entry.IsInteger = 0;
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

namespace {

// An entry's own adjustment when it has one, else the list's fallback; an
// unknown id reaches neither.
template <typename Handled, typename Unhandled>
void Dispatch(AdjustmentEntry* entry, Handled handled, Unhandled unhandled) {
  if (entry == nullptr) return;
  if (entry->Adjustment != nullptr) {
    handled(*entry->Adjustment);
  } else {
    unhandled();
  }
}

}  // namespace

void CAdjustmentSupport::GetIntegerValue(int32_t id, int32_t* value) {
  *value = 0;
  Dispatch(
      Find(id), [&](CAdjustment& a) { a.GetIntegerValue(value); },
      [&] { GetUnhandledInteger(id, value); });
}

void CAdjustmentSupport::SetIntegerValue(int32_t id, int32_t value) {
  Dispatch(
      Find(id), [&](CAdjustment& a) { a.SetIntegerValue(value); },
      [&] { SetUnhandledInteger(id, value); });
}

void CAdjustmentSupport::GetRealValue(int32_t id, double* value) {
  *value = 0.0;
  Dispatch(
      Find(id), [&](CAdjustment& a) { a.GetRealValue(value); },
      [&] { GetUnhandledReal(id, value); });
}

void CAdjustmentSupport::SetRealValue(int32_t id, double value) {
  Dispatch(
      Find(id), [&](CAdjustment& a) { a.SetRealValue(value); },
      [&] { SetUnhandledReal(id, value); });
}

void CAdjustmentSupport::GetAuxValue(int32_t id, int32_t* value) {
  *value = 0;
  Dispatch(
      Find(id), [&](CAdjustment& a) { a.GetAuxValue(value); }, [&] { GetUnhandledAux(id, value); });
}

void CAdjustmentSupport::SetAuxValue(int32_t id, int32_t value) {
  Dispatch(
      Find(id), [&](CAdjustment& a) { a.SetAuxValue(value); }, [&] { SetUnhandledAux(id, value); });
}

void CAdjustmentSupport::Trigger(int32_t id) {
  Dispatch(
      Find(id), [](CAdjustment& a) { a.Trigger(); }, [&] { TriggerUnhandled(id); });
}

}  // namespace zelto
