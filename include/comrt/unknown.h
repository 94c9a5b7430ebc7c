// IUnknown and IClassFactory: the base of every interface, and class objects.
#pragma once

#include "comrt/guid.h"
#include "comrt/result_codes.h"

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Interfaces are abstract classes whose virtual methods stand in the platform's
// slot order, with no virtual destructor: objects delete themselves in Release.
struct IUnknown {
  // Stores an AddRef'ed pointer to the interface `iid` in *object: S_OK, or
  // E_NOINTERFACE with *object null; E_POINTER for a null `object`.
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
  // Adds a reference; returns the new count (for diagnostics only).
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  // Drops a reference, destroying the object at zero; returns the new count.
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

  // Typed form: the IID comes from the interface type.
  template <class Q>
  HRESULT QueryInterface(Q** object);

 protected:
  ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

COMRT_DECLARE_INTERFACE(IUnknown, void, IID_IUnknown);

template <class Q>
inline HRESULT IUnknown::QueryInterface(Q** object) {
  return QueryInterface(comrt::uuidof<Q>(), reinterpret_cast<void**>(object));
}

struct IClassFactory : public IUnknown {
  // Makes a new object. With `outer` set, only IID_IUnknown may be asked for
  // (CLASS_E_NOAGGREGATION otherwise) and the inner IUnknown is returned.
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
  // TRUE holds the server loaded, FALSE gives that hold back.
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

COMRT_DECLARE_INTERFACE(IClassFactory, IUnknown, IID_IClassFactory);

// The entry points that an in-process server library exports.
typedef HRESULT(STDAPICALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID clsid, REFIID iid, void** object);
typedef HRESULT(STDAPICALLTYPE* LPFNCANUNLOADNOW)();
