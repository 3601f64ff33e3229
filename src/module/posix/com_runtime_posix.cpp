// The COM runtime of the POSIX build: BSTRs, per-thread error information and the
// task allocator. Built as its own shared library so that every module and host in
// a process shares one copy of the thread-local error information.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "module/com_ptr.h"
#include "zeltorgb/com_posix.h"

namespace {

constexpr size_t kLengthPrefix = sizeof(uint32_t);

size_t StringLength(const OLECHAR* text) {
  size_t length = 0;
  if (text != nullptr) {
    while (text[length] != 0) ++length;
  }
  return length;
}

uint32_t* PrefixOf(BSTR bstr) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(bstr) - kLengthPrefix);
}

class ErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
 public:
  ErrorInfo() = default;
  ErrorInfo(const ErrorInfo&) = delete;
  ErrorInfo& operator=(const ErrorInfo&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IErrorInfo)) {
      *object = static_cast<IErrorInfo*>(this);
    } else if (IsEqualIID(riid, IID_ICreateErrorInfo)) {
      *object = static_cast<ICreateErrorInfo*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override {
    if (guid == nullptr) return E_INVALIDARG;
    *guid = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* source) override { return Copy(source_, source); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) override {
    return Copy(description_, description);
  }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* help_file) override {
    return Copy(help_file_, help_file);
  }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* help_context) override {
    if (help_context == nullptr) return E_INVALIDARG;
    *help_context = help_context_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) override {
    guid_ = guid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR source) override { return Store(&source_, source); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR description) override {
    return Store(&description_, description);
  }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR help_file) override {
    return Store(&help_file_, help_file);
  }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD help_context) override {
    help_context_ = help_context;
    return S_OK;
  }

 private:
  ~ErrorInfo() {
    SysFreeString(source_);
    SysFreeString(description_);
    SysFreeString(help_file_);
  }

  static HRESULT Copy(BSTR from, BSTR* to) {
    if (to == nullptr) return E_INVALIDARG;
    *to = from == nullptr ? nullptr : SysAllocStringLen(from, SysStringLen(from));
    return (from != nullptr && *to == nullptr) ? E_OUTOFMEMORY : S_OK;
  }
  static HRESULT Store(BSTR* field, const OLECHAR* text) {
    BSTR copy = text == nullptr ? nullptr : SysAllocString(text);
    if (text != nullptr && copy == nullptr) return E_OUTOFMEMORY;
    SysFreeString(*field);
    *field = copy;
    return S_OK;
  }

  std::atomic<ULONG> references_{1};
  GUID guid_ = GUID_NULL;
  BSTR source_ = nullptr;
  BSTR description_ = nullptr;
  BSTR help_file_ = nullptr;
  DWORD help_context_ = 0;
};

// Released when its thread ends.
thread_local zelto::ComPtr<IErrorInfo> g_thread_error;

}  // namespace

extern "C" {

BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length) {
  size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
  if (bytes > UINT32_MAX - kLengthPrefix - sizeof(OLECHAR)) return nullptr;
  auto* block = static_cast<char*>(std::malloc(kLengthPrefix + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  uint32_t stored = static_cast<uint32_t>(bytes);
  std::memcpy(block, &stored, kLengthPrefix);
  BSTR bstr = reinterpret_cast<BSTR>(block + kLengthPrefix);
  if (text != nullptr) {
    std::memcpy(bstr, text, bytes);
  } else {
    std::memset(bstr, 0, bytes);
  }
  bstr[length] = 0;
  return bstr;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  return SysAllocStringLen(text, static_cast<uint32_t>(StringLength(text)));
}

BOOL SysReAllocString(BSTR* bstr, const OLECHAR* text) {
  if (bstr == nullptr) return 0;
  BSTR copy = SysAllocString(text);
  if (text != nullptr && copy == nullptr) return 0;
  SysFreeString(*bstr);
  *bstr = copy;
  return 1;
}

void SysFreeString(BSTR bstr) {
  if (bstr != nullptr) std::free(PrefixOf(bstr));
}

uint32_t SysStringLen(BSTR bstr) {
  if (bstr == nullptr) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, PrefixOf(bstr), kLengthPrefix);
  return bytes / sizeof(OLECHAR);
}

HRESULT SetErrorInfo(ULONG /*reserved*/, IErrorInfo* info) {
  g_thread_error = zelto::ComPtr<IErrorInfo>::Share(info);
  return S_OK;
}

HRESULT GetErrorInfo(ULONG /*reserved*/, IErrorInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  *info = g_thread_error.Detach();
  return *info == nullptr ? S_FALSE : S_OK;
}

HRESULT CreateErrorInfo(ICreateErrorInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  auto* created = new (std::nothrow) ErrorInfo();
  *info = created;
  return created == nullptr ? E_OUTOFMEMORY : S_OK;
}

void* CoTaskMemAlloc(size_t size) { return std::malloc(size == 0 ? 1 : size); }

void CoTaskMemFree(void* block) { std::free(block); }

}  // extern "C"
