// IOrvaneGenericButtonClickProp: the card has no buttons, so the answers need no card.
#include "module/orvane_zeltorgb.h"

namespace zelto {

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetButtonValue(int16_t* value) {
  if (value == nullptr) return E_POINTER;
  *value = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SetButtonValue(uint16_t /*button*/, int32_t /*value*/) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::ClickButton(uint16_t /*button*/) { return S_OK; }

}  // namespace zelto
