#include "comrt/activation.h"

#include <atomic>

#include "comrt/class_factory.h"
#include "xml/dom_document.h"

namespace {

// Counts holds on the classes built into comrt. The library is never
// unloaded for their sake; the count is kept for the unload check a registry
// of servers will need.
struct BuiltinClassLock {
  static void Lock() { count.fetch_add(1, std::memory_order_relaxed); }
  static void Unlock() { count.fetch_sub(1, std::memory_order_relaxed); }
  static inline std::atomic<long> count{0};
};

template <class T>
IClassFactory* ClassObject() {
  static comrt::ClassFactory<T, BuiltinClassLock> factory;
  return &factory;
}

struct BuiltinClass {
  const CLSID* clsid;
  IClassFactory* (*classObject)();
};

const BuiltinClass kBuiltinClasses[] = {
    {&CLSID_FreeThreadedDOMDocument60, &ClassObject<comrt::xml::DomDocument>},
    {&CLSID_DOMDocument, &ClassObject<comrt::xml::DomDocument>},
};

// The one place that finds a class object: the built-in classes, and (once
// there is one) the registry of servers after them.
HRESULT FindClassObject(REFCLSID clsid, DWORD clsContext, REFIID iid, void** object) {
  if ((clsContext & CLSCTX_INPROC_SERVER) != 0) {
    for (const BuiltinClass& entry : kBuiltinClasses) {
      if (IsEqualGUID(clsid, *entry.clsid)) return entry.classObject()->QueryInterface(iid, object);
    }
  }
  return REGDB_E_CLASSNOTREG;
}

}  // namespace

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, void* serverInfo, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (serverInfo) return E_INVALIDARG;
  return FindClassObject(clsid, clsContext, iid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  CComPtr<IClassFactory> factory;
  const HRESULT hr = FindClassObject(clsid, clsContext, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(outer, iid, object);
}
