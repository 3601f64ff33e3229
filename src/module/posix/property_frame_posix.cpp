#include "module/property_frame.h"

#include "platform/trace.h"

namespace zelto {

HRESULT ShowPropertyFrame(HWND /*parent*/, IUnknown* /*object*/, const CLSID* /*pages*/,
                          ULONG count) {
  platform::TraceFormat("ZeltoRGB - no property frame on this system (%u pages)",
                        static_cast<unsigned>(count));
  return S_OK;
}

}  // namespace zelto
