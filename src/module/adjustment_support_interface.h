// CAdjustmentSupportInterface: IOrvaneAdjustment, a base of COrvaneZeltoRGB
// (which supplies IUnknown). Each method forwards to the card's adjustment list;
// E_FAIL while no card is bound (before CreateCard). An index outside the list
// given to GetAdjustmentInfo gives E_INVALIDARG and a null out pointer E_POINTER,
// both with the outputs untouched. An unknown id is not an error: getters give 0
// (0.0), setters do nothing. Unlike a setting, a set does not rebuild the list.
//
// Threads: the host's only.
#ifndef ZELTO_MODULE_ADJUSTMENT_SUPPORT_INTERFACE_H_
#define ZELTO_MODULE_ADJUSTMENT_SUPPORT_INTERFACE_H_

#include "module/com_types.h"

namespace zelto {

class CAdjustmentSupport;

class CAdjustmentSupportInterface : public IOrvaneAdjustment {
 public:
  // The list forwarded to, not owned; null before CreateCard.
  void BindAdjustments(CAdjustmentSupport* adjustments) { adjustments_ = adjustments; }

  HRESULT STDMETHODCALLTYPE GetAdjustmentCount(int32_t* count) override;
  HRESULT STDMETHODCALLTYPE GetAdjustmentInfo(int32_t index, int32_t* id, BSTR* name,
                                              int32_t* int_min, int32_t* int_max, double* real_min,
                                              double* real_max, int32_t* is_integer,
                                              int32_t* word_a, int32_t* word_b, int32_t* word_c,
                                              int32_t* word_d) override;
  HRESULT STDMETHODCALLTYPE GetIntegerValue(int32_t id, int32_t* value) override;
  HRESULT STDMETHODCALLTYPE SetIntegerValue(int32_t id, int32_t value) override;
  HRESULT STDMETHODCALLTYPE GetRealValue(int32_t id, double* value) override;
  HRESULT STDMETHODCALLTYPE SetRealValue(int32_t id, double value) override;
  HRESULT STDMETHODCALLTYPE GetAuxValue(int32_t id, int32_t* value) override;
  HRESULT STDMETHODCALLTYPE SetAuxValue(int32_t id, int32_t value) override;
  HRESULT STDMETHODCALLTYPE Trigger(int32_t id) override;

 protected:
  CAdjustmentSupportInterface() = default;
  virtual ~CAdjustmentSupportInterface() = default;

 private:
  CAdjustmentSupport* adjustments_ = nullptr;
};

}  // namespace zelto

#endif  // ZELTO_MODULE_ADJUSTMENT_SUPPORT_INTERFACE_H_
