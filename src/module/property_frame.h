// The object's property pages and the system's property frame that shows them.
#ifndef ZELTO_MODULE_PROPERTY_FRAME_H_
#define ZELTO_MODULE_PROPERTY_FRAME_H_

#include "module/com_types.h"

namespace zelto {

inline constexpr char kPropertyFrameCaption[] = "Grabber";

// The object's property map, in order; a non-zero ShowProperties mode shows the
// second page alone.
inline constexpr CLSID kPropertyPages[] = {CLSID_ZeltoRGBImagePage, CLSID_ZeltoRGBSettingsPage,
                                           CLSID_ZeltoRGBAdjustmentPage};
inline constexpr ULONG kPropertyPageCount = sizeof(kPropertyPages) / sizeof(kPropertyPages[0]);

// Shows the modal frame captioned "Grabber" at 0,0, owned by `parent`, for
// `object` with `count` pages. On POSIX there is no frame: the call is traced.
HRESULT ShowPropertyFrame(HWND parent, IUnknown* object, const CLSID* pages, ULONG count);

}  // namespace zelto

#endif  // ZELTO_MODULE_PROPERTY_FRAME_H_
