// The base of every creatable class of the library: its interfaces answered
// by comrt's IUnknown template, one module lock for its lifetime, and the
// aggregated free-threaded marshaler that makes its pointers usable on any
// thread.
#pragma once

#include "com/module.h"
#include "comrt/com_ptr.h"
#include "comrt/marshal.h"
#include "comrt/object.h"

namespace varnel {

template <class Derived, class... Interfaces>
class CComponentObject : public comrt::ObjectRoot<Derived, Interfaces...> {
 public:
  // A class with its own FinalConstruct calls this one first.
  HRESULT FinalConstruct() { return CoCreateFreeThreadedMarshaler(this->GetControllingUnknown(), &marshaler_); }

  HRESULT QueryOtherInterface(REFIID iid, void** object) {
    if (IsEqualGUID(iid, IID_IMarshal) && marshaler_) return marshaler_->QueryInterface(iid, object);
    *object = nullptr;
    return E_NOINTERFACE;
  }

 protected:
  CComponentObject() noexcept { ModuleLock::Lock(); }
  ~CComponentObject() { ModuleLock::Unlock(); }

 private:
  CComPtr<IUnknown> marshaler_;  // inner IUnknown of the aggregated marshaler
};

}  // namespace varnel
