// The part of IOrvaneZeltoRGBImageProp beyond IOrvaneImageProp: scaling, the
// applied region and the module-paced frame rate. Every method runs inside the
// object's exception guard; null out pointers give E_POINTER.
#include "card/zelto_rgb_card.h"
#include "module/orvane_zeltorgb.h"

namespace zelto {

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetScaling(int32_t* width, int32_t* height) {
  if (width == nullptr || height == nullptr) return E_POINTER;
  return WithCard([&](CZeltoRGBCard& card) { card.GetScaling(width, height); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SetScaling(int32_t width, int32_t height) {
  return WithCard([&](CZeltoRGBCard& card) { card.SetScaling(width, height); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetScalingMode(int32_t* mode) {
  return QueryCard(mode, [](CZeltoRGBCard& card) { return card.GetScalingMode(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SetScalingMode(int32_t mode) {
  return WithCard([&](CZeltoRGBCard& card) { card.SetScalingMode(mode); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetRoi(int32_t* width, int32_t* height,
                                                  int32_t* offset_x, int32_t* offset_y) {
  if (width == nullptr || height == nullptr || offset_x == nullptr || offset_y == nullptr) {
    return E_POINTER;
  }
  return WithCard([&](CZeltoRGBCard& card) { card.GetRoi(width, height, offset_x, offset_y); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetFrameRate(int32_t* rate) {
  return QueryCard(rate, [](CZeltoRGBCard& card) { return card.GetFrameRate(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SetFrameRate(int32_t rate) {
  return WithCard([&](CZeltoRGBCard& card) { card.SetFrameRate(rate); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetFixedRateMode(int32_t* mode) {
  return QueryCard(mode, [](CZeltoRGBCard& card) { return card.GetFixedRateMode(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SetFixedRateMode(int32_t mode) {
  return WithCard([&](CZeltoRGBCard& card) { card.SetFixedRateMode(mode); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::QueryConstantOne(int32_t* value) {
  return QueryCard(value, [](CZeltoRGBCard& card) { return card.QueryConstantOne(); });
}

// Answers without reaching the card, in every state.
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::QueryConstantZero(int32_t* value) {
  if (value == nullptr) return E_POINTER;
  *value = 0;
  return S_OK;
}

}  // namespace zelto
