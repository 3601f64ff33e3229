#include "module/orvane_zeltorgb.h"

#include <new>

#include "card/zelto_rgb_card.h"
#include "module/com_error.h"
#include "module/module_lock.h"
#include "module/property_frame.h"
#include "module/type_library.h"
#include "platform/trace.h"

namespace zelto {
namespace {

// The property map, in order; a non-zero ShowProperties mode shows the second.
constexpr CLSID kPropertyPages[] = {CLSID_ZeltoRGBImagePage, CLSID_ZeltoRGBSettingsPage,
                                    CLSID_ZeltoRGBAdjustmentPage};
constexpr ULONG kPropertyPageCount = sizeof(kPropertyPages) / sizeof(kPropertyPages[0]);

}  // namespace

// ---- creation, identity, references ----

COrvaneZeltoRGB::COrvaneZeltoRGB(IUnknown* outer)
    : inner_(this), controlling_(outer != nullptr ? outer : &inner_) {
  LockModule();
}

COrvaneZeltoRGB::~COrvaneZeltoRGB() {
  // The card goes first: it stops capture and unloads the driver while the
  // interface members it was handed are still there.
  card_.reset();
  UnlockModule();
}

HRESULT COrvaneZeltoRGB::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  auto* created = new (std::nothrow) COrvaneZeltoRGB(outer);
  if (created == nullptr) return E_OUTOFMEMORY;
  // The inner unknown holds the creation reference; a failed query drops it again.
  created->inner_.AddRef();
  HRESULT hr = created->inner_.QueryInterface(riid, object);
  created->inner_.Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::InnerUnknown::QueryInterface(REFIID riid,
                                                                         void** object) {
  if (object == nullptr) return E_POINTER;
  COrvaneZeltoRGB* o = owner_;
  IUnknown* found = nullptr;
  if (IsEqualIID(riid, IID_IUnknown)) {
    found = this;
  } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
    found = static_cast<ISupportErrorInfo*>(o);
  } else if (IsEqualIID(riid, IID_IOrvaneZeltoRGB) || IsEqualIID(riid, IID_IDispatch)) {
    found = static_cast<IOrvaneZeltoRGB*>(o);
  } else if (IsEqualIID(riid, IID_ISpecifyPropertyPages)) {
    found = static_cast<ISpecifyPropertyPages*>(o);
  } else if (IsEqualIID(riid, IID_IOrvaneGenericGrabber)) {
    found = static_cast<IOrvaneGenericGrabber*>(o);
  } else if (IsEqualIID(riid, IID_IOrvaneImageProp)) {
    found = static_cast<IOrvaneImageProp*>(static_cast<IOrvaneZeltoRGBImageProp*>(o));
  } else if (IsEqualIID(riid, IID_IOrvaneGenericButtonClickProp)) {
    found = static_cast<IOrvaneGenericButtonClickProp*>(o);
  } else if (IsEqualIID(riid, IID_IOrvaneBufferUsageProp)) {
    found = static_cast<IOrvaneBufferUsageProp*>(o);
  }
  // IOrvaneZeltoRGBImageProp, IOrvaneAdjustment, IOrvaneSettingsProp and
  // IOrvaneTimeSourceProp join the table with their card sides.
  *object = found;
  if (found == nullptr) return E_NOINTERFACE;
  found->AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE COrvaneZeltoRGB::InnerUnknown::AddRef() {
  return ++owner_->references_;
}

ULONG STDMETHODCALLTYPE COrvaneZeltoRGB::InnerUnknown::Release() {
  ULONG left = --owner_->references_;
  if (left == 0) delete owner_;
  return left;
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::QueryInterface(REFIID riid, void** object) {
  return controlling_->QueryInterface(riid, object);
}
ULONG STDMETHODCALLTYPE COrvaneZeltoRGB::AddRef() { return controlling_->AddRef(); }
ULONG STDMETHODCALLTYPE COrvaneZeltoRGB::Release() { return controlling_->Release(); }

// ---- ISupportErrorInfo, IDispatch, ISpecifyPropertyPages ----

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID_IOrvaneZeltoRGB) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetTypeInfoCount(uint32_t* count) {
  return DualGetTypeInfoCount(count);
}
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetTypeInfo(uint32_t index, LCID /*lcid*/,
                                                       ITypeInfo** info) {
  return DualGetTypeInfo(index, info);
}
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetIDsOfNames(REFIID /*riid*/, LPOLESTR* names,
                                                         uint32_t count, LCID /*lcid*/,
                                                         DISPID* ids) {
  return DualGetIDsOfNames(names, count, ids);
}
HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::Invoke(DISPID id, REFIID /*riid*/, LCID /*lcid*/,
                                                  WORD flags, DISPPARAMS* params,
                                                  VARIANT* result, EXCEPINFO* exception,
                                                  uint32_t* arg_error) {
  return DualInvoke(static_cast<IOrvaneZeltoRGB*>(this), id, flags, params, result, exception,
                    arg_error);
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetPages(CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(kPropertyPages)));
  if (pages->pElems == nullptr) return E_OUTOFMEMORY;
  for (ULONG i = 0; i < kPropertyPageCount; ++i) pages->pElems[i] = kPropertyPages[i];
  pages->cElems = kPropertyPageCount;
  return S_OK;
}

// ---- the card guard ----

template <typename Call>
HRESULT COrvaneZeltoRGB::WithCard(Call&& call) {
  if (!card_) return E_FAIL;
  return GuardedCall([&]() -> HRESULT {
    call(*card_);
    return S_OK;
  });
}

template <typename Query>
HRESULT COrvaneZeltoRGB::QueryCard(int32_t* out, Query&& query) {
  if (out == nullptr) return E_POINTER;
  return WithCard([&](CZeltoRGBCard& card) { *out = query(card); });
}

// ---- IOrvaneGenericGrabber ----

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::CreateCard(BSTR host_key) {
  platform::Trace("ZeltoRGB - Loading ZeltoRGB");
  return GuardedCall([&]() -> HRESULT {
    // A second CreateCard replaces the card; the old one must let go of the
    // driver and its channel before the new one opens them.
    card_.reset();
    try {
      card_ = std::make_unique<CZeltoRGBCard>(NarrowFromBstr(host_key));
    } catch (const TextException&) {
      throw;
    } catch (...) {
      // Whatever stopped the start-up, the host sees the start-up failure.
      throw TextException(kCameraInitFailedText);
    }
    // The settings, adjustment and time source interfaces get their card here
    // once they are part of the object.
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::ShowProperties(HWND parent, int mode) {
  platform::Trace("****************Show properties pages******************");
  if (!card_) return E_FAIL;
  return GuardedCall([&]() -> HRESULT {
    IUnknown* unknown = nullptr;
    if (FAILED(QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)))) return S_OK;
    // The settings list is refreshed here once the card has one.
    if (mode != 0) {
      ShowPropertyFrame(parent, unknown, &kPropertyPages[1], 1);
    } else {
      ISpecifyPropertyPages* specify = nullptr;
      if (SUCCEEDED(unknown->QueryInterface(IID_ISpecifyPropertyPages,
                                            reinterpret_cast<void**>(&specify)))) {
        CAUUID pages{};
        if (SUCCEEDED(specify->GetPages(&pages)) && pages.cElems > 0) {
          ShowPropertyFrame(parent, unknown, pages.pElems, pages.cElems);
        }
        CoTaskMemFree(pages.pElems);
        specify->Release();
      }
    }
    unknown->Release();
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

// ---- IOrvaneImageProp ----

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetImageGeometry(int32_t* width, int32_t* height,
                                                            int32_t* offset_x,
                                                            int32_t* offset_y) {
  if (width == nullptr || height == nullptr || offset_x == nullptr || offset_y == nullptr) {
    return E_POINTER;
  }
  return WithCard(
      [&](CZeltoRGBCard& card) { card.GetImageGeometry(width, height, offset_x, offset_y); });
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SetROI(int32_t /*width*/, int32_t /*height*/,
                                                  int32_t /*offset_x*/, int32_t /*offset_y*/) {
  // The card's region of interest arrives with its geometry side.
  if (!card_) return E_FAIL;
  return E_NOTIMPL;
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

// ---- IOrvaneZeltoRGBImageProp (not handed out yet) ----

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

// ---- IOrvaneGenericButtonClickProp ----

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetButtonValue(int16_t* value) {
  if (value == nullptr) return E_POINTER;
  *value = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::SetButtonValue(uint16_t /*button*/,
                                                          int32_t /*value*/) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::ClickButton(uint16_t /*button*/) { return S_OK; }

// ---- IOrvaneBufferUsageProp ----

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
