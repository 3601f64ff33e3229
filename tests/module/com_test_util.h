// Small helpers for tests that talk to the module through COM.
#ifndef ZELTO_TESTS_MODULE_COM_TEST_UTIL_H_
#define ZELTO_TESTS_MODULE_COM_TEST_UTIL_H_

#include <string>

#include "base/utf_convert.h"
#include "zeltorgb/zeltorgb.h"

namespace zelto::testing {

// Releases a COM pointer at scope end.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* adopted) : ptr_(adopted) {}
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(other.Detach()) {}
  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T** put() {
    Reset();
    return &ptr_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void Reset() {
    if (ptr_ != nullptr) ptr_->Release();
    ptr_ = nullptr;
  }
  T* Detach() {
    T* p = ptr_;
    ptr_ = nullptr;
    return p;
  }

 private:
  T* ptr_ = nullptr;
};

// What GetErrorInfo holds for the calling thread (and clears).
struct ErrorInfoText {
  bool present = false;
  std::string description;
  std::string source;
  GUID guid{};
};

inline std::string NarrowTestText(BSTR text) {
  if (text == nullptr) return {};
  return Utf16ToUtf8(std::u16string(text, text + SysStringLen(text)));
}

inline ErrorInfoText TakeErrorInfo() {
  ErrorInfoText result;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return result;
  result.present = true;
  BSTR text = nullptr;
  if (SUCCEEDED(info->GetDescription(&text))) result.description = NarrowTestText(text);
  SysFreeString(text);
  text = nullptr;
  if (SUCCEEDED(info->GetSource(&text))) result.source = NarrowTestText(text);
  SysFreeString(text);
  info->GetGUID(&result.guid);
  info->Release();
  return result;
}

// A BSTR from UTF-8 text, freed at scope end.
class TestBstr {
 public:
  explicit TestBstr(const std::string& text) {
    std::u16string utf16 = Utf8ToUtf16(text);
    std::basic_string<OLECHAR> wide(utf16.begin(), utf16.end());
    bstr_ = SysAllocStringLen(wide.data(), static_cast<unsigned>(wide.size()));
  }
  ~TestBstr() { SysFreeString(bstr_); }
  TestBstr(const TestBstr&) = delete;
  TestBstr& operator=(const TestBstr&) = delete;
  BSTR get() const { return bstr_; }

 private:
  BSTR bstr_ = nullptr;
};

}  // namespace zelto::testing

#endif  // ZELTO_TESTS_MODULE_COM_TEST_UTIL_H_
