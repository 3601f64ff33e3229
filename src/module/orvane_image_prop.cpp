#include "card/zelto_rgb_card.h"
#include "module/orvane_zeltorgb.h"

namespace zelto {

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetImageGeometry(int32_t* width, int32_t* height,
                                                            int32_t* offset_x, int32_t* offset_y) {
  if (width == nullptr || height == nullptr || offset_x == nullptr || offset_y == nullptr) {
    return E_POINTER;
  }
  return WithCard(
      [&](CZeltoRGBCard& card) { card.GetImageGeometry(width, height, offset_x, offset_y); });
}

// While grabbing the card refuses with a text exception: DISP_E_EXCEPTION.
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SetROI(int32_t width, int32_t height, int32_t offset_x,
                                                  int32_t offset_y) {
  return WithCard([&](CZeltoRGBCard& card) { card.SetROI(width, height, offset_x, offset_y); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetImageBytes(int32_t* bytes) {
  return QueryCard(bytes, [](CZeltoRGBCard& card) { return card.GetImageBytes(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetBitsPerPixel(int32_t* bits) {
  return QueryCard(bits, [](CZeltoRGBCard& card) { return card.GetBitsPerPixel(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetBitDepth(int32_t* bits) {
  return QueryCard(bits, [](CZeltoRGBCard& card) { return card.GetBitDepth(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetImageFormat(int32_t* format) {
  return QueryCard(format, [](CZeltoRGBCard& card) { return card.GetImageFormat(); });
}

}  // namespace zelto
