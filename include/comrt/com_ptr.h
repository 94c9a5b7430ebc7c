// CComPtr and CComQIPtr: interface pointers that hold one reference.
// Construction and assignment from a raw pointer add a reference; Attach adopts
// one; Detach hands it out.
#pragma once

#include <cassert>
#include <memory>
#include <utility>

#include "comrt/unknown.h"

template <class T>
class CComPtr {
 public:
  CComPtr() noexcept : p(nullptr) {}
  CComPtr(std::nullptr_t) noexcept : p(nullptr) {}  // NOLINT
  CComPtr(T* raw) noexcept : p(raw) {               // NOLINT: as on the platform
    if (p) p->AddRef();
  }
  CComPtr(const CComPtr& other) noexcept : CComPtr(other.p) {}
  CComPtr(CComPtr&& other) noexcept : p(other.p) { other.p = nullptr; }
  ~CComPtr() {
    if (p) p->Release();
  }

  CComPtr& operator=(T* raw) noexcept {
    if (raw != p) CComPtr(raw).Swap(*this);
    return *this;
  }
  CComPtr& operator=(const CComPtr& other) noexcept { return *this = other.p; }
  CComPtr& operator=(CComPtr&& other) noexcept {
    if (this != std::addressof(other)) CComPtr(std::move(other)).Swap(*this);
    return *this;
  }
  CComPtr& operator=(std::nullptr_t) noexcept {
    Release();
    return *this;
  }

  operator T*() const noexcept { return p; }  // NOLINT
  T& operator*() const noexcept { return *p; }
  T* operator->() const noexcept {
    assert(p != nullptr);
    return p;
  }
  // Address for an out parameter. REQUIRES: the pointer is null (else the held
  // reference would leak).
  T** operator&() noexcept {  // NOLINT
    assert(p == nullptr);
    return &p;
  }
  bool operator!() const noexcept { return p == nullptr; }

  // Drops the held reference, leaving null.
  void Release() noexcept {
    T* old = p;
    if (old) {
      p = nullptr;
      old->Release();
    }
  }
  // Adopts `raw` without adding a reference, dropping the old one.
  void Attach(T* raw) noexcept {
    T* old = p;
    p = raw;
    if (old) old->Release();
  }
  // Hands the held reference out, leaving null.
  T* Detach() noexcept {
    T* out = p;
    p = nullptr;
    return out;
  }
  // Hands out a new reference. E_POINTER for a null `out`.
  HRESULT CopyTo(T** out) const noexcept {
    if (!out) return E_POINTER;
    *out = p;
    if (p) p->AddRef();
    return S_OK;
  }
  template <class Q>
  HRESULT QueryInterface(Q** out) const noexcept {
    assert(p != nullptr);
    return p->QueryInterface(comrt::uuidof<Q>(), reinterpret_cast<void**>(out));
  }
  // True when both pointers reach the same object (compared by IUnknown).
  bool IsEqualObject(IUnknown* other) const noexcept {
    if (!p && !other) return true;
    if (!p || !other) return false;
    CComPtr<IUnknown> mine, theirs;
    p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&mine));
    other->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&theirs));
    return mine.p == theirs.p;
  }
  void Swap(CComPtr& other) noexcept { std::swap(p, other.p); }

  T* p;
};

// CComQIPtr: as CComPtr, but made or assigned from any interface by asking it
// for T (null when the object lacks T).
template <class T>
class CComQIPtr : public CComPtr<T> {
 public:
  CComQIPtr() noexcept = default;
  CComQIPtr(std::nullptr_t) noexcept {}                // NOLINT
  CComQIPtr(T* raw) noexcept : CComPtr<T>(raw) {}      // NOLINT
  CComQIPtr(const CComQIPtr& other) noexcept : CComPtr<T>(other.p) {}
  CComQIPtr(IUnknown* unknown) noexcept { Query(unknown); }  // NOLINT
  template <class Q, class = std::enable_if_t<!std::is_same<Q, T>::value>>
  CComQIPtr(const CComPtr<Q>& other) noexcept {  // NOLINT
    Query(other.p);
  }

  CComQIPtr& operator=(T* raw) noexcept {
    CComPtr<T>::operator=(raw);
    return *this;
  }
  CComQIPtr& operator=(const CComQIPtr& other) noexcept {
    CComPtr<T>::operator=(other.p);
    return *this;
  }
  CComQIPtr& operator=(IUnknown* unknown) noexcept {
    CComQIPtr(unknown).Swap(*this);
    return *this;
  }

 private:
  void Query(IUnknown* unknown) noexcept {
    if (unknown) unknown->QueryInterface(comrt::uuidof<T>(), reinterpret_cast<void**>(&this->p));
  }
};

// A pointer to IUnknown needs no query.
template <>
class CComQIPtr<IUnknown> : public CComPtr<IUnknown> {
 public:
  CComQIPtr() noexcept = default;
  CComQIPtr(IUnknown* raw) noexcept : CComPtr<IUnknown>(raw) {}  // NOLINT
  CComQIPtr& operator=(IUnknown* raw) noexcept {
    CComPtr<IUnknown>::operator=(raw);
    return *this;
  }
};
