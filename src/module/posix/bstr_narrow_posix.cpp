#include "base/utf_convert.h"
#include "module/com_error.h"

namespace zelto {

std::string NarrowFromBstr(BSTR text) {
  if (text == nullptr) return {};
  return Utf16ToUtf8(std::u16string_view(text, SysStringLen(text)));
}

}  // namespace zelto
