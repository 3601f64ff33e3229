// IOrvaneGenericGrabber, all but CreateCard (orvane_zeltorgb.cpp): the property
// pages, and the frame queue and grab control, each forwarded to the card.
#include "card/zelto_rgb_card.h"
#include "module/com_ptr.h"
#include "module/orvane_zeltorgb.h"
#include "module/property_frame.h"
#include "platform/trace.h"

namespace zelto {

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::ShowProperties(HWND parent, int mode) {
  platform::Trace("****************Show properties pages******************");
  if (!card_) return E_FAIL;
  return GuardedCall([&]() -> HRESULT {
    ComPtr<IUnknown> unknown;
    if (FAILED(QueryInterface(IID_IUnknown, unknown.PutVoid()))) return S_OK;
    card_->FillSettings();
    if (mode != 0) {
      ShowPropertyFrame(parent, unknown.Get(), &kPropertyPages[1], 1);
    } else {
      ComPtr<ISpecifyPropertyPages> specify;
      if (SUCCEEDED(unknown.As(IID_ISpecifyPropertyPages, &specify))) {
        CAUUID pages{};
        if (SUCCEEDED(specify->GetPages(&pages)) && pages.cElems > 0) {
          ShowPropertyFrame(parent, unknown.Get(), pages.pElems, pages.cElems);
        }
        CoTaskMemFree(pages.pElems);
      }
    }
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::AllocateBuffers(int16_t count) {
  return WithCard([&](CZeltoRGBCard& card) { card.AllocateBuffers(static_cast<int32_t>(count)); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::ReallocateBuffers() {
  return WithCard([](CZeltoRGBCard& card) { card.ReallocateBuffers(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::DeleteCurrentFrame() {
  return WithCard([](CZeltoRGBCard& card) { card.DeleteCurrentFrame(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::FreeAllBuffers() {
  return WithCard([](CZeltoRGBCard& card) { card.FreeAllBuffers(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::ReleaseCurrentFrame() {
  return WithCard([](CZeltoRGBCard& card) { card.ReleaseCurrentFrame(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::ReleaseAllFrames() {
  return WithCard([](CZeltoRGBCard& card) { card.ReleaseAllFrames(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetBufferCount(int16_t* count) {
  if (count == nullptr) return E_POINTER;
  // The host's count is 16 bits wide: larger counts wrap.
  return WithCard(
      [&](CZeltoRGBCard& card) { *count = static_cast<int16_t>(card.GetBufferCount()); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::ArmBuffer() {
  bool waited = false;
  HRESULT hr = WithCard([&](CZeltoRGBCard& card) { waited = card.ArmBuffer(); });
  if (hr == S_OK && waited) {
    SetModuleErrorInfo(kOverrunText);
    return S_FALSE;
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetFrame(ImageRecord** record) {
  if (record == nullptr) return E_POINTER;
  *record = nullptr;
  bool waited = false;
  HRESULT hr = WithCard([&](CZeltoRGBCard& card) { *record = card.GetFrame(&waited); });
  if (hr == S_OK && waited) {
    SetModuleErrorInfo(kOverrunText);
    return S_FALSE;
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::EnableGrab() {
  return WithCard([](CZeltoRGBCard& card) { card.EnableGrab(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::DisableGrab() {
  return WithCard([](CZeltoRGBCard& card) { card.DisableGrab(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SignalGrabEvent() {
  return WithCard([](CZeltoRGBCard& card) { card.SignalGrabEvent(); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SignalReadEvent() {
  return WithCard([](CZeltoRGBCard& card) { card.SignalReadEvent(); });
}

}  // namespace zelto
