// The one implementation of IUnknown: ObjectRoot answers QueryInterface over a
// list of interfaces (and the interfaces they extend); the wrappers below add
// the reference count and the object's lifetime, stand-alone or aggregated.
//
//   class CThing : public comrt::ObjectRoot<CThing, IThing, IOther> { ... };
//   CComPtr<IThing> thing;
//   HRESULT hr = comrt::CreateComObject<CThing>(nullptr, IID_IThing, (void**)&thing);
//
// The class may define, hiding ObjectRoot's defaults:
//   HRESULT FinalConstruct();   runs once the object has its controlling IUnknown
//   void FinalRelease();        runs before the object is destroyed
//   HRESULT QueryOtherInterface(REFIID, void**);   answers IIDs outside the list
#pragma once

#include <atomic>
#include <limits>
#include <new>
#include <type_traits>

#include "comrt/diagnostics.h"
#include "comrt/unknown.h"

namespace comrt {
namespace detail {

// True when `iid` names `Interface` or an interface it extends, IUnknown
// excepted (identity is answered separately).
template <class Interface>
bool ImplementsInterface(REFIID iid) {
  if (IsEqualGUID(iid, uuidof<Interface>())) return true;
  using Base = typename InterfaceTraits<Interface>::base;
  if constexpr (std::is_void<Base>::value || std::is_same<Base, IUnknown>::value) {
    return false;
  } else {
    return ImplementsInterface<Base>(iid);
  }
}

template <class First, class... Rest>
struct FirstOf {
  using type = First;
};

// A count far from zero, set while an object is being destroyed so that
// AddRef/Release pairs during clean-up cannot destroy it twice.
constexpr ULONG kDestroyingCount = std::numeric_limits<ULONG>::max() / 2;

}  // namespace detail

template <class Derived, class... Interfaces>
class ObjectRoot : public Interfaces... {
  static_assert(sizeof...(Interfaces) > 0, "an object implements at least one interface");
  using Primary = typename detail::FirstOf<Interfaces...>::type;

 public:
  HRESULT FinalConstruct() { return S_OK; }
  void FinalRelease() {}
  HRESULT QueryOtherInterface(REFIID, void** object) {
    *object = nullptr;
    return E_NOINTERFACE;
  }

  // The object's own IUnknown (its first interface).
  IUnknown* GetUnknown() { return static_cast<Primary*>(this); }
  // The IUnknown that owns this object's lifetime and identity: the outer
  // object's when aggregated, else its own.
  IUnknown* GetControllingUnknown() { return outer_ ? outer_ : GetUnknown(); }

  // QueryInterface over the list; AddRefs through the object's (possibly
  // delegating) AddRef.
  HRESULT InternalQueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    IUnknown* found = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown)) {
      found = GetUnknown();
    } else {
      // The first interface of the list that answers `iid` wins.
      ((found == nullptr && detail::ImplementsInterface<Interfaces>(iid)
            ? void(found = static_cast<Interfaces*>(this))
            : void()),
       ...);
    }
    if (!found) return static_cast<Derived*>(this)->QueryOtherInterface(iid, object);
    found->AddRef();
    *object = found;
    return S_OK;
  }

 protected:
  ObjectRoot() = default;
  ~ObjectRoot() = default;
  ObjectRoot(const ObjectRoot&) = delete;
  ObjectRoot& operator=(const ObjectRoot&) = delete;

  ULONG InternalAddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG InternalRelease() { return refs_.fetch_sub(1, std::memory_order_acq_rel) - 1; }
  void MarkDestroying() { refs_.store(detail::kDestroyingCount, std::memory_order_relaxed); }
  void SetOuterUnknown(IUnknown* outer) { outer_ = outer; }

 private:
  std::atomic<ULONG> refs_{0};
  IUnknown* outer_ = nullptr;  // not counted: the outer object owns us
};

// A stand-alone heap object: counts its own references and deletes itself.
template <class Base>
class CComObject final : public Base {
 public:
  CComObject() { diagnostics::ObjectConstructed(); }
  ~CComObject() {
    this->MarkDestroying();
    this->FinalRelease();
    diagnostics::ObjectDestroyed();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return this->InternalQueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return this->InternalAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG remaining = this->InternalRelease();
    if (remaining == 0) delete this;
    return remaining;
  }
  template <class Q>
  HRESULT QueryInterface(Q** object) {
    return QueryInterface(uuidof<Q>(), reinterpret_cast<void**>(object));
  }

  // Makes an object and runs FinalConstruct; on success *created holds it with
  // a reference count of 0 (the caller takes the first reference).
  // E_POINTER, E_OUTOFMEMORY, or FinalConstruct's code (object destroyed).
  static HRESULT CreateInstance(CComObject** created) {
    if (!created) return E_POINTER;
    *created = nullptr;
    CComObject* object = new (std::nothrow) CComObject();
    if (!object) return E_OUTOFMEMORY;
    object->InternalAddRef();  // keeps the object alive through FinalConstruct
    const HRESULT hr = object->FinalConstruct();
    if (FAILED(hr)) {
      object->Release();
      return hr;
    }
    object->InternalRelease();
    *created = object;
    return S_OK;
  }
};

// The part of an aggregated object that callers see: every IUnknown call goes
// to the outer object.
template <class Base>
class CComContainedObject final : public Base {
 public:
  explicit CComContainedObject(IUnknown* outer) { this->SetOuterUnknown(outer); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return this->GetControllingUnknown()->QueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return this->GetControllingUnknown()->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return this->GetControllingUnknown()->Release(); }
  template <class Q>
  HRESULT QueryInterface(Q** object) {
    return QueryInterface(uuidof<Q>(), reinterpret_cast<void**>(object));
  }
};

// An aggregated heap object: this is its inner (non-delegating) IUnknown,
// which only the outer object holds.
template <class Base>
class CComAggObject final : public IUnknown {
 public:
  explicit CComAggObject(IUnknown* outer) : contained_(outer) { diagnostics::ObjectConstructed(); }
  ~CComAggObject() {
    refs_.store(detail::kDestroyingCount, std::memory_order_relaxed);
    contained_.FinalRelease();
    diagnostics::ObjectDestroyed();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown)) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return contained_.InternalQueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG remaining = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (remaining == 0) delete this;
    return remaining;
  }

  // The aggregated object itself.
  Base* Object() { return &contained_; }

  // As CComObject::CreateInstance, for an object aggregated into `outer`.
  static HRESULT CreateInstance(IUnknown* outer, CComAggObject** created) {
    if (!created) return E_POINTER;
    *created = nullptr;
    if (!outer) return E_INVALIDARG;
    CComAggObject* object = new (std::nothrow) CComAggObject(outer);
    if (!object) return E_OUTOFMEMORY;
    object->AddRef();
    const HRESULT hr = object->contained_.FinalConstruct();
    if (FAILED(hr)) {
      object->Release();
      return hr;
    }
    object->refs_.fetch_sub(1, std::memory_order_relaxed);
    *created = object;
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{0};
  CComContainedObject<Base> contained_;
};

// Makes an object of class T, stand-alone or aggregated into `outer`, and asks
// it for `iid`. With an outer object only IID_IUnknown may be asked for
// (CLASS_E_NOAGGREGATION) and the inner IUnknown is handed out. A failed query
// destroys the object. E_POINTER, E_OUTOFMEMORY, FinalConstruct's code.
template <class T>
HRESULT CreateComObject(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && !IsEqualGUID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  IUnknown* created = nullptr;
  HRESULT hr;
  if (outer) {
    CComAggObject<T>* aggregated = nullptr;
    hr = CComAggObject<T>::CreateInstance(outer, &aggregated);
    created = aggregated;
  } else {
    CComObject<T>* standalone = nullptr;
    hr = CComObject<T>::CreateInstance(&standalone);
    if (standalone) created = standalone->GetUnknown();
  }
  if (FAILED(hr)) return hr;
  created->AddRef();
  hr = created->QueryInterface(iid, object);
  created->Release();  // destroys the object when the query failed
  return hr;
}

}  // namespace comrt
