// ComPtr<T>: owns one reference to a COM interface and releases it in its
// destructor, so no return or exception path forgets a Release (as libobs's
// util/windows/ComPtr.hpp and WRL's ComPtr do).
//
// Header only and free of the module's other code: the host tool and the POSIX
// COM runtime use it too. Not thread-safe; one owner at a time, like a raw pointer.
//
//   ComPtr<IErrorInfo> info;
//   if (GetErrorInfo(0, info.Put()) == S_OK) Use(info.Get());   // released here
#ifndef ZELTO_MODULE_COM_PTR_H_
#define ZELTO_MODULE_COM_PTR_H_

#include <cstddef>
#include <utility>

#include "zeltorgb/zeltorgb.h"

namespace zelto {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}  // NOLINT: null converts, as for a raw pointer
  ~ComPtr() { Reset(); }

  // Copies share the interface: each holds a reference of its own.
  ComPtr(const ComPtr& other) : p_(other.p_) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  // Takes over a reference the caller already owns (no AddRef).
  static ComPtr Adopt(T* p) {
    ComPtr owner;
    owner.p_ = p;
    return owner;
  }
  // Takes a reference of its own to `p` (AddRef).
  static ComPtr Share(T* p) {
    if (p != nullptr) p->AddRef();
    return Adopt(p);
  }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // The slot for an out parameter (`T**`, or `void**` for QueryInterface and
  // class factories); whatever was held is released first.
  T** Put() {
    Reset();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  // Hands the reference to the caller, who must release it.
  T* Detach() { return std::exchange(p_, nullptr); }

  void Reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }

  // Asks the held object for interface `riid` into `out`; E_POINTER when empty.
  template <typename U>
  HRESULT As(REFIID riid, ComPtr<U>* out) const {
    if (p_ == nullptr || out == nullptr) return E_POINTER;
    return p_->QueryInterface(riid, out->PutVoid());
  }

 private:
  T* p_ = nullptr;
};

}  // namespace zelto

#endif  // ZELTO_MODULE_COM_PTR_H_
