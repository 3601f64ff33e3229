#include <windows.h>

#include "platform/code_page.h"

namespace zelto::platform {

std::u16string NarrowToUtf16(std::string_view text) {
  std::u16string wide;
  const int length = static_cast<int>(text.size());
  if (length == 0) return wide;
  int chars = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (chars <= 0) return wide;
  wide.resize(static_cast<size_t>(chars));
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<wchar_t*>(wide.data()),
                      chars);
  return wide;
}

std::string Utf16ToNarrow(std::u16string_view text) {
  std::string narrow;
  const int length = static_cast<int>(text.size());
  if (length == 0) return narrow;
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  int bytes = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return narrow;
  narrow.resize(static_cast<size_t>(bytes));
  WideCharToMultiByte(CP_ACP, 0, wide, length, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

}  // namespace zelto::platform
