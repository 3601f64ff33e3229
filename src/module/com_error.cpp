#include "module/com_error.h"

#include "base/utf_convert.h"
#include "module/com_ptr.h"

namespace zelto {

std::basic_string<OLECHAR> WidenText(const char* text) {
  if (text == nullptr) return {};
  // OLECHAR is wchar_t on Windows: copied unit by unit, not reinterpreted.
  std::u16string wide = Utf8ToUtf16(text);
  return std::basic_string<OLECHAR>(wide.begin(), wide.end());
}

void SetModuleErrorInfo(const char* text) {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.Put())) || !create) return;
  std::basic_string<OLECHAR> description = WidenText(text);
  std::basic_string<OLECHAR> source = WidenText(ZELTORGB_PROGID);
  create->SetGUID(GUID_NULL);
  create->SetDescription(description.data());
  create->SetSource(source.data());
  ComPtr<IErrorInfo> info;
  if (SUCCEEDED(create.As(IID_IErrorInfo, &info))) SetErrorInfo(0, info.Get());
}

HRESULT TextExceptionResult(const TextException& error) {
  SetModuleErrorInfo(error.text());
  return DISP_E_EXCEPTION;
}

HRESULT UnexpectedExceptionResult(bool out_of_memory) {
  SetErrorInfo(0, nullptr);
  return out_of_memory ? E_OUTOFMEMORY : E_UNEXPECTED;
}

}  // namespace zelto
