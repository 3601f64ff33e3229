// The one conversion between UTF-16 and UTF-8 of the module, the host tool and the
// POSIX platform backend.
//
// Both directions are total: malformed input is never an error and never passes
// through. An unpaired UTF-16 surrogate, and each maximal ill-formed subsequence of
// UTF-8 (a stray continuation byte, a truncated sequence, an overlong form, an
// encoded surrogate, a value above U+10FFFF), becomes one U+FFFD, as Unicode's
// recommended practice and the WHATWG encoding standard do. Input is counted, not
// terminated: an embedded zero is an ordinary character.
//
// Windows keeps the host's BSTRs in the ANSI code page where they meet the A
// functions (module/com_error.h); this conversion is for text that is UTF-8 by
// contract: POSIX paths, traces and the tool's console output.
#ifndef ZELTO_BASE_UTF_CONVERT_H_
#define ZELTO_BASE_UTF_CONVERT_H_

#include <string>
#include <string_view>

namespace zelto {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace zelto

#endif  // ZELTO_BASE_UTF_CONVERT_H_
