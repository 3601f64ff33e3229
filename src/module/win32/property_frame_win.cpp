#include "module/property_frame.h"

#include <olectl.h>

namespace zelto {

HRESULT ShowPropertyFrame(HWND parent, IUnknown* object, const CLSID* pages, ULONG count) {
  wchar_t caption[] = L"Grabber";
  IUnknown* objects[] = {object};
  return OleCreatePropertyFrame(parent, 0, 0, caption, 1, objects, count, const_cast<CLSID*>(pages),
                                GetUserDefaultLCID(), 0, nullptr);
}

}  // namespace zelto
