// Text in the narrow code page the OS's "A" functions use, to and from UTF-16:
// the active ANSI code page on Windows, UTF-8 on POSIX (base/utf_convert.h).
// Total in both directions: what the code page cannot hold becomes the system's
// replacement character.
#ifndef ZELTO_PLATFORM_CODE_PAGE_H_
#define ZELTO_PLATFORM_CODE_PAGE_H_

#include <string>
#include <string_view>

namespace zelto::platform {

std::u16string NarrowToUtf16(std::string_view text);
std::string Utf16ToNarrow(std::u16string_view text);

}  // namespace zelto::platform

#endif  // ZELTO_PLATFORM_CODE_PAGE_H_
