// The one exception type the module throws to report a failure: a constant text
// ("Camera Initialization FAILED...", "Not Enough memory"). The COM edge turns it
// into DISP_E_EXCEPTION with the text as the error description.
#ifndef ZELTO_BASE_TEXT_EXCEPTION_H_
#define ZELTO_BASE_TEXT_EXCEPTION_H_

namespace zelto {

class TextException {
 public:
  explicit TextException(const char* text) : text_(text) {}
  const char* text() const { return text_; }

 private:
  const char* text_;  // static storage
};

inline constexpr const char kCameraInitFailedText[] = "Camera Initialization FAILED...";
inline constexpr const char kNotEnoughMemoryText[] = "Not Enough memory";
// A change that would re-create the image buffers while grabbing runs.
inline constexpr const char kBuffersInUseText[] =
    "Not possible while grabbing: the image buffers are in use (call DisableGrab first)";

}  // namespace zelto

#endif  // ZELTO_BASE_TEXT_EXCEPTION_H_
