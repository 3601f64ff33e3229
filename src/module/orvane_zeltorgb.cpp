#include "module/orvane_zeltorgb.h"

#include <new>

#include "card/zelto_rgb_card.h"
#include "module/com_ptr.h"
#include "module/module_lock.h"
#include "platform/trace.h"

namespace zelto {
namespace {

template <typename Interface>
IUnknown* CastTo(COrvaneZeltoRGB* object) {
  return static_cast<Interface*>(object);
}

// For an interface the object has only as the base of another.
template <typename Interface, typename Via>
IUnknown* CastVia(COrvaneZeltoRGB* object) {
  return static_cast<Interface*>(static_cast<Via*>(object));
}

struct InterfaceEntry {
  const IID* iid;
  IUnknown* (*cast)(COrvaneZeltoRGB*);
};

// The interfaces QueryInterface hands out, in the object's table order. IUnknown is
// not here: it is the inner unknown, the object's identity.
constexpr InterfaceEntry kInterfaces[] = {
    {&IID_ISupportErrorInfo, &CastTo<ISupportErrorInfo>},
    {&IID_IOrvaneZeltoRGB, &CastTo<IOrvaneZeltoRGB>},
    {&IID_IDispatch, &CastTo<IOrvaneZeltoRGB>},
    {&IID_ISpecifyPropertyPages, &CastTo<ISpecifyPropertyPages>},
    {&IID_IOrvaneGenericGrabber, &CastTo<IOrvaneGenericGrabber>},
    {&IID_IOrvaneImageProp, &CastVia<IOrvaneImageProp, IOrvaneZeltoRGBImageProp>},
    {&IID_IOrvaneZeltoRGBImageProp, &CastTo<IOrvaneZeltoRGBImageProp>},
    {&IID_IOrvaneAdjustment, &CastTo<IOrvaneAdjustment>},
    {&IID_IOrvaneGenericButtonClickProp, &CastTo<IOrvaneGenericButtonClickProp>},
    {&IID_IOrvaneBufferUsageProp, &CastTo<IOrvaneBufferUsageProp>},
    {&IID_IOrvaneTimeSourceProp, &CastTo<IOrvaneTimeSourceProp>},
    {&IID_IOrvaneSettingsProp, &CastTo<IOrvaneSettingsProp>},
};

}  // namespace

// ---- creation, identity, references ----

COrvaneZeltoRGB::COrvaneZeltoRGB(IUnknown* outer)
    : inner_(this), controlling_(outer != nullptr ? outer : &inner_) {
  LockModule();
}

COrvaneZeltoRGB::~COrvaneZeltoRGB() {
  // The card goes first: it stops capture and unloads the driver while the
  // interface members it was handed are still there.
  SetQueue(nullptr);
  BindSettings(nullptr);
  BindAdjustments(nullptr);
  card_.reset();
  UnlockModule();
}

HRESULT COrvaneZeltoRGB::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  auto* created = new (std::nothrow) COrvaneZeltoRGB(outer);
  if (created == nullptr) return E_OUTOFMEMORY;
  // The creation reference, dropped on return: after a failed query that deletes
  // the object again.
  created->inner_.AddRef();
  auto creation = ComPtr<IUnknown>::Adopt(&created->inner_);
  return creation->QueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::InnerUnknown::QueryInterface(REFIID riid,
                                                                        void** object) {
  if (object == nullptr) return E_POINTER;
  IUnknown* found = nullptr;
  if (IsEqualIID(riid, IID_IUnknown)) {
    found = this;
  } else {
    for (const InterfaceEntry& entry : kInterfaces) {
      if (IsEqualIID(riid, *entry.iid)) {
        found = entry.cast(owner_);
        break;
      }
    }
  }
  *object = found;
  if (found == nullptr) return E_NOINTERFACE;
  found->AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE COrvaneZeltoRGB::InnerUnknown::AddRef() { return ++owner_->references_; }

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

// ---- ISupportErrorInfo ----

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID_IOrvaneZeltoRGB) ? S_OK : S_FALSE;
}

// ---- IOrvaneGenericGrabber::CreateCard ----

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::CreateCard(BSTR host_key) {
  platform::Trace("ZeltoRGB - Loading ZeltoRGB");
  return GuardedCall([&]() -> HRESULT {
    // A second CreateCard replaces the card; the old one must let go of the
    // driver and its channel before the new one opens them.
    SetQueue(nullptr);
    BindSettings(nullptr);
    BindAdjustments(nullptr);
    card_.reset();
    try {
      card_ = std::make_unique<CZeltoRGBCard>(NarrowFromBstr(host_key));
    } catch (const TextException&) {
      throw;
    } catch (...) {
      // Whatever stopped the start-up, the host sees the start-up failure.
      throw TextException(kCameraInitFailedText);
    }
    SetQueue(card_.get());
    BindSettings(card_.get());
    BindAdjustments(card_.get());
    return S_OK;
  });
}

}  // namespace zelto
