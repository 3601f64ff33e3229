// The part of IOrvaneZeltoRGBImageProp beyond IOrvaneImageProp. The card's
// geometry side is not there yet: QueryInterface does not hand the interface out
// and these answer E_NOTIMPL.
#include "module/orvane_zeltorgb.h"

namespace zelto {

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetScaling(int32_t*, int32_t*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SetScaling(int32_t, int32_t) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetScalingMode(int32_t*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SetScalingMode(int32_t) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetRoi(int32_t*, int32_t*, int32_t*, int32_t*) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetFrameRate(int32_t*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SetFrameRate(int32_t) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetFixedRateMode(int32_t*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SetFixedRateMode(int32_t) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::QueryConstantOne(int32_t*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::QueryConstantZero(int32_t*) { return E_NOTIMPL; }

}  // namespace zelto
