#include "card/zelto_rgb_card.h"
#include "module/orvane_zeltorgb.h"

namespace zelto {

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetReadyCount(int32_t* count) {
  return QueryCard(count, [](CZeltoRGBCard& card) { return card.GetReadyCount(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetPeakReadyCount(int32_t* count) {
  return QueryCard(count, [](CZeltoRGBCard& card) { return card.GetPeakReadyCount(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetTotalBuffers(int32_t* count) {
  return QueryCard(count, [](CZeltoRGBCard& card) { return card.GetTotalBuffers(); });
}

}  // namespace zelto
