#include "module/orvane_zeltorgb.h"
#include "module/property_frame.h"

namespace zelto {

HRESULT STDMETHODCALLTYPE COrvaneZeltoRGB::GetPages(CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(kPropertyPages)));
  if (pages->pElems == nullptr) return E_OUTOFMEMORY;
  for (ULONG i = 0; i < kPropertyPageCount; ++i) pages->pElems[i] = kPropertyPages[i];
  pages->cElems = kPropertyPageCount;
  return S_OK;
}

}  // namespace zelto
