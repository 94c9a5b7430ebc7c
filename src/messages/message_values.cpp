#include "messages/message_values.h"

namespace varnel {

HRESULT StoreStringCopy(BSTR text, CComBSTR& target) noexcept {
  BSTR copy = nullptr;
  if (text) {
    copy = SysAllocString(text);
    if (!copy) return E_OUTOFMEMORY;
  }
  target.Attach(copy);
  return S_OK;
}

HRESULT HandOutStringCopy(const CComBSTR& stored, BSTR* out) noexcept {
  if (!out) return E_FAIL;
  *out = nullptr;
  if (!stored.m_str) return S_OK;
  *out = SysAllocStringLen(stored.m_str, SysStringLen(stored.m_str));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT StoreVariantCopy(const VARIANT& value, CComVariant& target) noexcept {
  VARIANT copy;
  VariantInit(&copy);
  const HRESULT hr = VariantCopy(&copy, &value);
  if (FAILED(hr)) return hr;
  target.Clear();
  target.Attach(&copy);
  return S_OK;
}

HRESULT HandOutVariantCopy(const CComVariant& stored, VARIANT* out) noexcept {
  if (!out) return E_FAIL;
  return VariantCopy(out, &stored);
}

}  // namespace varnel
