// The module's error convention at the COM edge.
//
// A text exception from the card becomes DISP_E_EXCEPTION with error information
// (description = the text, source = the ProgID, GUID_NULL); a wait reported by the
// card becomes S_FALSE with the description "overrun". No exception leaves a COM
// method: GuardedCall catches everything.
#ifndef ZELTO_MODULE_COM_ERROR_H_
#define ZELTO_MODULE_COM_ERROR_H_

#include <new>
#include <string>

#include "base/text_exception.h"
#include "module/com_types.h"

namespace zelto {

inline constexpr char kOverrunText[] = "overrun";

// Replaces the calling thread's error information by `text` from this module.
void SetModuleErrorInfo(const char* text);

// The host-facing result of a caught text exception: the error information is set.
HRESULT TextExceptionResult(const TextException& error);

// Result of an exception other than a text one: E_OUTOFMEMORY for bad_alloc, else
// E_UNEXPECTED. Stale error information is cleared so the host does not read it.
HRESULT UnexpectedExceptionResult(bool out_of_memory);

// Runs `body` (returning HRESULT) and turns any exception into the host result.
template <typename Body>
HRESULT GuardedCall(Body&& body) noexcept {
  try {
    return body();
  } catch (const TextException& error) {
    return TextExceptionResult(error);
  } catch (const std::bad_alloc&) {
    return UnexpectedExceptionResult(true);
  } catch (...) {
    return UnexpectedExceptionResult(false);
  }
}

// UTF-16 text from the module's UTF-8 text (base/utf_convert.h); null is empty.
std::basic_string<OLECHAR> WidenText(const char* text);
// The host's BSTR as the narrow path the card hands to the registry and library
// calls; a null BSTR is the empty string. On Windows that is the ANSI code page
// (WideCharToMultiByte), because those calls are the system's A functions: a key
// path narrowed to UTF-8 would name a different key there. On POSIX the calls
// take UTF-8, so the path is converted by base/utf_convert.h.
std::string NarrowFromBstr(BSTR text);

}  // namespace zelto

#endif  // ZELTO_MODULE_COM_ERROR_H_
