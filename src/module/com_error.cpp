#include "module/com_error.h"

namespace zelto {

std::basic_string<OLECHAR> WidenText(const char* text) {
  std::basic_string<OLECHAR> wide;
  if (text == nullptr) return wide;
  for (const char* c = text; *c != 0; ++c) {
    wide.push_back(static_cast<OLECHAR>(static_cast<unsigned char>(*c)));
  }
  return wide;
}

void SetModuleErrorInfo(const char* text) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create)) || create == nullptr) return;
  std::basic_string<OLECHAR> description = WidenText(text);
  std::basic_string<OLECHAR> source = WidenText(ZELTORGB_PROGID);
  create->SetGUID(GUID_NULL);
  create->SetDescription(description.data());
  create->SetSource(source.data());
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
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
