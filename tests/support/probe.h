// A plain object whose references tests can count, and small readers used by
// the value tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "comrt/bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/dispatch.h"
#include "comrt/object.h"

namespace comrt_test {

class Probe : public comrt::ObjectRoot<Probe, IDispatch> {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

inline CComPtr<IDispatch> MakeDispatchProbe() {
  CComPtr<IDispatch> probe;
  EXPECT_EQ(S_OK, comrt::CreateComObject<Probe>(nullptr, IID_IDispatch, reinterpret_cast<void**>(&probe)));
  return probe;
}

inline CComPtr<IUnknown> MakeProbe() {
  CComPtr<IUnknown> probe;
  EXPECT_EQ(S_OK, comrt::CreateComObject<Probe>(nullptr, IID_IUnknown, reinterpret_cast<void**>(&probe)));
  return probe;
}

// The object's reference count as its Release reports it.
inline ULONG Refs(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// The whole string, embedded zeros included.
inline std::u16string Text(BSTR text) { return std::u16string(text, SysStringLen(text)); }

}  // namespace comrt_test
