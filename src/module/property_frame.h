// The system's property frame for the object's pages.
#ifndef ZELTO_MODULE_PROPERTY_FRAME_H_
#define ZELTO_MODULE_PROPERTY_FRAME_H_

#include "module/com_types.h"

namespace zelto {

inline constexpr char kPropertyFrameCaption[] = "Grabber";

// Shows the modal frame captioned "Grabber" at 0,0, owned by `parent`, for
// `object` with `count` pages. On POSIX there is no frame: the call is traced.
HRESULT ShowPropertyFrame(HWND parent, IUnknown* object, const CLSID* pages, ULONG count);

}  // namespace zelto

#endif  // ZELTO_MODULE_PROPERTY_FRAME_H_
