// Class objects: one IClassFactory per creatable class, living as long as the
// module. `Module` supplies static Lock() and Unlock(), the server's lock
// count: a class object held by anyone, and every LockServer(TRUE), holds one.
#pragma once

#include <new>

#include "comrt/atl_exception.h"
#include "comrt/object.h"

namespace comrt {

template <class T, class Module>
class ClassFactory final : public ObjectRoot<ClassFactory<T, Module>, IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return this->InternalQueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    const ULONG count = this->InternalAddRef();
    if (count == 1) Module::Lock();
    return count;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = this->InternalRelease();
    if (count == 0) Module::Unlock();
    return count;  // never destroyed here: the module owns the object
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    try {
      return CreateComObject<T>(outer, iid, object);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const CAtlException& e) {
      return e.m_hr;
    } catch (...) {
      return E_FAIL;
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      Module::Lock();
    } else {
      Module::Unlock();
    }
    return S_OK;
  }
};

}  // namespace comrt
