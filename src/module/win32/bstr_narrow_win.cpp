// The host's strings in the ANSI code page, as the card's registry and library
// calls take them.
#include "module/com_error.h"

namespace zelto {

std::string NarrowFromBstr(BSTR text) {
  std::string narrow;
  int length = static_cast<int>(SysStringLen(text));
  if (text == nullptr || length == 0) return narrow;
  int bytes = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return narrow;
  narrow.resize(static_cast<size_t>(bytes));
  WideCharToMultiByte(CP_ACP, 0, text, length, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

}  // namespace zelto
