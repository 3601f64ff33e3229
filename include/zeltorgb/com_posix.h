// The COM basics a host or the module needs outside Windows: result codes,
// GUIDs, IUnknown and friends, BSTR strings and per-thread error information.
//
// Layouts and semantics follow the Windows originals: a BSTR points just past a
// 32-bit byte count and ends with a zero character; error information is kept per
// thread. The functions live in the shared library `zeltocom` (the role
// oleaut32/ole32 play on Windows), so that the module and its host see the same
// error information: link every program and module that talks COM against it.
#ifndef ZELTORGB_COM_POSIX_H_
#define ZELTORGB_COM_POSIX_H_

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#error "com_posix.h is for POSIX builds; Windows uses the system's COM headers"
#endif

#define STDMETHODCALLTYPE
#define ZELTOCOM_API __attribute__((visibility("default")))

typedef int32_t HRESULT;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef int BOOL;
typedef uint16_t WORD;
typedef void* HWND;
typedef void* LPVOID;
typedef char16_t OLECHAR;
typedef OLECHAR* BSTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* LPOLESTR;
typedef uint32_t LCID;

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define ZELTO_HRESULT(x) ((HRESULT)(uint32_t)(x))
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ZELTO_HRESULT(0x80004001u)
#define E_NOINTERFACE ZELTO_HRESULT(0x80004002u)
#define E_POINTER ZELTO_HRESULT(0x80004003u)
#define E_FAIL ZELTO_HRESULT(0x80004005u)
#define E_UNEXPECTED ZELTO_HRESULT(0x8000FFFFu)
#define E_OUTOFMEMORY ZELTO_HRESULT(0x8007000Eu)
#define E_INVALIDARG ZELTO_HRESULT(0x80070057u)
#define CLASS_E_NOAGGREGATION ZELTO_HRESULT(0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE ZELTO_HRESULT(0x80040111u)
#define SELFREG_E_TYPELIB ZELTO_HRESULT(0x80040200u)
#define SELFREG_E_CLASS ZELTO_HRESULT(0x80040201u)
#define DISP_E_EXCEPTION ZELTO_HRESULT(0x80020009u)

typedef struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;

#ifdef __cplusplus

#include <string.h>

typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef const GUID& REFGUID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IErrorInfo = {
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ICreateErrorInfo = {
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ISpecifyPropertyPages = {
    0xB196B28B, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;
};

// Enough of IDispatch to declare a dual interface; nothing here calls through it.
struct ITypeInfo;
typedef int32_t DISPID;
struct DISPPARAMS;
struct VARIANT;
struct EXCEPINFO;
struct IDispatch : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(uint32_t* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(uint32_t index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, uint32_t count,
                                                  LCID lcid, DISPID* ids) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                           DISPPARAMS* params, VARIANT* result,
                                           EXCEPINFO* exception, uint32_t* arg_error) = 0;
};

struct ISupportErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

typedef struct CAUUID {
  ULONG cElems;
  GUID* pElems;  // CoTaskMemAlloc'ed; the caller frees it with CoTaskMemFree
} CAUUID;

struct ISpecifyPropertyPages : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) = 0;
};

struct IErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* source) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* help_file) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* help_context) = 0;
};

struct ICreateErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR source) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR description) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR help_file) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD help_context) = 0;
};

extern "C" {

// BSTR: null is the empty string; SysStringLen counts characters.
ZELTOCOM_API BSTR SysAllocString(const OLECHAR* text);
ZELTOCOM_API BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length);
// Replaces *bstr by a fresh copy of `text`, freeing the old string; FALSE when out
// of memory (then *bstr is unchanged).
ZELTOCOM_API BOOL SysReAllocString(BSTR* bstr, const OLECHAR* text);
ZELTOCOM_API void SysFreeString(BSTR bstr);
ZELTOCOM_API uint32_t SysStringLen(BSTR bstr);

// The calling thread's error information: SetErrorInfo replaces it (null clears it),
// GetErrorInfo hands it over and clears it (S_FALSE and null when there is none).
ZELTOCOM_API HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
ZELTOCOM_API HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);
ZELTOCOM_API HRESULT CreateErrorInfo(ICreateErrorInfo** info);

ZELTOCOM_API void* CoTaskMemAlloc(size_t size);
ZELTOCOM_API void CoTaskMemFree(void* block);

}  // extern "C"

#endif  // __cplusplus

#endif  // ZELTORGB_COM_POSIX_H_
