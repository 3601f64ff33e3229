#include "module/adjustment_support_interface.h"

#include "module/com_error.h"
#include "settings/adjustment_support.h"

namespace zelto {

static_assert(sizeof(OLECHAR) == sizeof(char16_t));

HRESULT STDMETHODCALLTYPE CAdjustmentSupportInterface::GetAdjustmentCount(int32_t* count) {
  if (adjustments_ == nullptr) return E_FAIL;
  if (count == nullptr) return E_POINTER;
  *count = adjustments_->GetAdjustmentCount();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CAdjustmentSupportInterface::GetAdjustmentInfo(
    int32_t index, int32_t* id, BSTR* name, int32_t* int_min, int32_t* int_max, double* real_min,
    double* real_max, int32_t* is_integer, int32_t* word_a, int32_t* word_b, int32_t* word_c,
    int32_t* word_d) {
  if (adjustments_ == nullptr) return E_FAIL;
  if (id == nullptr || name == nullptr || int_min == nullptr || int_max == nullptr ||
      real_min == nullptr || real_max == nullptr || is_integer == nullptr || word_a == nullptr ||
      word_b == nullptr || word_c == nullptr || word_d == nullptr) {
    return E_POINTER;
  }
  return GuardedCall([&]() -> HRESULT {
    const AdjustmentEntry* entry = adjustments_->GetAdjustmentInfo(index);
    if (entry == nullptr) return E_INVALIDARG;
    if (!SysReAllocString(name, reinterpret_cast<const OLECHAR*>(entry->Name.c_str())))
      return E_OUTOFMEMORY;
    *id = entry->Id;
    *int_min = entry->IntMin;
    *int_max = entry->IntMax;
    *real_min = entry->RealMin;
    *real_max = entry->RealMax;
    *is_integer = entry->IsInteger;
    *word_a = entry->HostWordA;
    *word_b = entry->HostWordB;
    *word_c = entry->HostWordC;
    *word_d = entry->HostWordD;
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CAdjustmentSupportInterface::GetIntegerValue(int32_t id, int32_t* value) {
  if (adjustments_ == nullptr) return E_FAIL;
  if (value == nullptr) return E_POINTER;
  return GuardedCall([&]() -> HRESULT {
    adjustments_->GetIntegerValue(id, value);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CAdjustmentSupportInterface::SetIntegerValue(int32_t id, int32_t value) {
  if (adjustments_ == nullptr) return E_FAIL;
  return GuardedCall([&]() -> HRESULT {
    adjustments_->SetIntegerValue(id, value);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CAdjustmentSupportInterface::GetRealValue(int32_t id, double* value) {
  if (adjustments_ == nullptr) return E_FAIL;
  if (value == nullptr) return E_POINTER;
  return GuardedCall([&]() -> HRESULT {
    adjustments_->GetRealValue(id, value);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CAdjustmentSupportInterface::SetRealValue(int32_t id, double value) {
  if (adjustments_ == nullptr) return E_FAIL;
  return GuardedCall([&]() -> HRESULT {
    adjustments_->SetRealValue(id, value);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CAdjustmentSupportInterface::GetAuxValue(int32_t id, int32_t* value) {
  if (adjustments_ == nullptr) return E_FAIL;
  if (value == nullptr) return E_POINTER;
  return GuardedCall([&]() -> HRESULT {
    adjustments_->GetAuxValue(id, value);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CAdjustmentSupportInterface::SetAuxValue(int32_t id, int32_t value) {
  if (adjustments_ == nullptr) return E_FAIL;
  return GuardedCall([&]() -> HRESULT {
    adjustments_->SetAuxValue(id, value);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CAdjustmentSupportInterface::Trigger(int32_t id) {
  if (adjustments_ == nullptr) return E_FAIL;
  return GuardedCall([&]() -> HRESULT {
    adjustments_->Trigger(id);
    return S_OK;
  });
}

}  // namespace zelto
