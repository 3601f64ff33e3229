// COrvaneZeltoRGB: the COM object a host creates. It owns one CZeltoRGBCard
// (from CreateCard until the object dies) and shows it through the host's
// interfaces. Every method follows the convention of com_error.h; methods that
// need the card return E_FAIL before CreateCard, null out pointers give E_POINTER.
//
// The object can be aggregated: the outer unknown then governs its references and
// the inner (non-delegating) unknown is what the factory hands out. Each live
// object holds one module lock.
//
// orvane_zeltorgb.cpp holds the identity, the interface table and CreateCard; each
// interface's methods are in the file named after it (orvane_generic_grabber.cpp,
// orvane_image_prop.cpp, ...).
#ifndef ZELTO_MODULE_ORVANE_ZELTORGB_H_
#define ZELTO_MODULE_ORVANE_ZELTORGB_H_

#include <atomic>
#include <memory>

#include "module/adjustment_support_interface.h"
#include "module/com_error.h"
#include "module/com_types.h"
#include "module/setting_interface.h"
#include "module/time_source_interface.h"

namespace zelto {

class CZeltoRGBCard;

class COrvaneZeltoRGB final : public ISupportErrorInfo,
                              public IOrvaneZeltoRGB,
                              public ISpecifyPropertyPages,
                              public IOrvaneGenericGrabber,
                              public IOrvaneZeltoRGBImageProp,
                              public CAdjustmentSupportInterface,
                              public IOrvaneGenericButtonClickProp,
                              public IOrvaneBufferUsageProp,
                              public CTimeSourceInterface,
                              public CSettingInterface {
 public:
  // The class factory's work: `outer` non-null aggregates, and then only IUnknown
  // may be asked for (CLASS_E_NOAGGREGATION otherwise).
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object);

  COrvaneZeltoRGB(const COrvaneZeltoRGB&) = delete;
  COrvaneZeltoRGB& operator=(const COrvaneZeltoRGB&) = delete;

  // IUnknown of every interface: delegates to the controlling unknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ISupportErrorInfo: S_OK for IOrvaneZeltoRGB only.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  // IDispatch of the dual interface, served by the type library where there is one.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(uint32_t* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(uint32_t index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, uint32_t count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   uint32_t* arg_error) override;

  // ISpecifyPropertyPages: the three pages of the property map.
  HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

  // IOrvaneGenericGrabber.
  HRESULT STDMETHODCALLTYPE CreateCard(BSTR host_key) override;
  HRESULT STDMETHODCALLTYPE ShowProperties(HWND parent, int mode) override;
  HRESULT STDMETHODCALLTYPE AllocateBuffers(int16_t count) override;
  HRESULT STDMETHODCALLTYPE ReallocateBuffers() override;
  HRESULT STDMETHODCALLTYPE DeleteCurrentFrame() override;
  HRESULT STDMETHODCALLTYPE FreeAllBuffers() override;
  HRESULT STDMETHODCALLTYPE ReleaseCurrentFrame() override;
  HRESULT STDMETHODCALLTYPE ReleaseAllFrames() override;
  HRESULT STDMETHODCALLTYPE GetBufferCount(int16_t* count) override;
  HRESULT STDMETHODCALLTYPE ArmBuffer() override;
  HRESULT STDMETHODCALLTYPE GetFrame(ImageRecord** record) override;
  HRESULT STDMETHODCALLTYPE EnableGrab() override;
  HRESULT STDMETHODCALLTYPE DisableGrab() override;
  HRESULT STDMETHODCALLTYPE SignalGrabEvent() override;
  HRESULT STDMETHODCALLTYPE SignalReadEvent() override;

  // IOrvaneImageProp (the first part of IOrvaneZeltoRGBImageProp).
  HRESULT STDMETHODCALLTYPE GetImageGeometry(int32_t* width, int32_t* height, int32_t* offset_x,
                                             int32_t* offset_y) override;
  HRESULT STDMETHODCALLTYPE SetROI(int32_t width, int32_t height, int32_t offset_x,
                                   int32_t offset_y) override;
  HRESULT STDMETHODCALLTYPE GetImageBytes(int32_t* bytes) override;
  HRESULT STDMETHODCALLTYPE GetBitsPerPixel(int32_t* bits) override;
  HRESULT STDMETHODCALLTYPE GetBitDepth(int32_t* bits) override;
  HRESULT STDMETHODCALLTYPE GetImageFormat(int32_t* format) override;

  // The rest of IOrvaneZeltoRGBImageProp.
  HRESULT STDMETHODCALLTYPE GetScaling(int32_t* width, int32_t* height) override;
  HRESULT STDMETHODCALLTYPE SetScaling(int32_t width, int32_t height) override;
  HRESULT STDMETHODCALLTYPE GetScalingMode(int32_t* mode) override;
  HRESULT STDMETHODCALLTYPE SetScalingMode(int32_t mode) override;
  HRESULT STDMETHODCALLTYPE GetRoi(int32_t* width, int32_t* height, int32_t* offset_x,
                                   int32_t* offset_y) override;
  HRESULT STDMETHODCALLTYPE GetFrameRate(int32_t* rate) override;
  HRESULT STDMETHODCALLTYPE SetFrameRate(int32_t rate) override;
  HRESULT STDMETHODCALLTYPE GetFixedRateMode(int32_t* mode) override;
  HRESULT STDMETHODCALLTYPE SetFixedRateMode(int32_t mode) override;
  HRESULT STDMETHODCALLTYPE QueryConstantOne(int32_t* value) override;
  HRESULT STDMETHODCALLTYPE QueryConstantZero(int32_t* value) override;

  // IOrvaneGenericButtonClickProp: no buttons; answers without a card.
  HRESULT STDMETHODCALLTYPE GetButtonValue(int16_t* value) override;
  HRESULT STDMETHODCALLTYPE SetButtonValue(uint16_t button, int32_t value) override;
  HRESULT STDMETHODCALLTYPE ClickButton(uint16_t button) override;

  // IOrvaneBufferUsageProp.
  HRESULT STDMETHODCALLTYPE GetReadyCount(int32_t* count) override;
  HRESULT STDMETHODCALLTYPE GetPeakReadyCount(int32_t* count) override;
  HRESULT STDMETHODCALLTYPE GetTotalBuffers(int32_t* count) override;

  // The card, or null; for tests that must see a host thread blocked in it.
  CZeltoRGBCard* card_for_testing() const { return card_.get(); }

 private:
  // The identity and reference count of the object itself, never delegated.
  class InnerUnknown final : public IUnknown {
   public:
    explicit InnerUnknown(COrvaneZeltoRGB* owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    COrvaneZeltoRGB* owner_;
  };

  explicit COrvaneZeltoRGB(IUnknown* outer);
  ~COrvaneZeltoRGB();

  // Runs `call` on the card inside the guard; E_FAIL without a card.
  template <typename Call>
  HRESULT WithCard(Call&& call) {
    if (!card_) return E_FAIL;
    return GuardedCall([&]() -> HRESULT {
      call(*card_);
      return S_OK;
    });
  }
  // A 32-bit query of the card into `out`; E_POINTER for a null `out`.
  template <typename Query>
  HRESULT QueryCard(int32_t* out, Query&& query) {
    if (out == nullptr) return E_POINTER;
    return WithCard([&](CZeltoRGBCard& card) { *out = query(card); });
  }

  InnerUnknown inner_;
  IUnknown* controlling_;  // the outer unknown, or &inner_
  std::atomic<ULONG> references_{0};
  std::unique_ptr<CZeltoRGBCard> card_;
};

}  // namespace zelto

#endif  // ZELTO_MODULE_ORVANE_ZELTORGB_H_
