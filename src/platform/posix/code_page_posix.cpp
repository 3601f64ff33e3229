#include "base/utf_convert.h"
#include "platform/code_page.h"

namespace zelto::platform {

std::u16string NarrowToUtf16(std::string_view text) { return Utf8ToUtf16(text); }
std::string Utf16ToNarrow(std::u16string_view text) { return Utf16ToUtf8(text); }

}  // namespace zelto::platform
