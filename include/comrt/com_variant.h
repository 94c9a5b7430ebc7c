// CComVariant: a VARIANT that owns its value and clears it on destruction.
//
// Constructors and assignments that cannot copy (memory runs out, a source of
// bad type, a type tag not allowed for the value) first leave the object
// VT_ERROR with `scode` set to the failure, then throw CAtlException with it.
// Assignments also throw when the old value cannot be cleared (it is then
// kept). The named member functions return failures instead.
#pragma once

#include <cstring>

#include "comrt/atl_exception.h"
#include "comrt/bstr.h"
#include "comrt/com_bstr.h"
#include "comrt/conversions.h"
#include "comrt/safearray.h"
#include "comrt/variant.h"

class CComVariant : public tagVARIANT {
 public:
  CComVariant() noexcept { vt = VT_EMPTY; }
  ~CComVariant() { Clear(); }

  // Deep copies.
  CComVariant(const VARIANT& source) {  // NOLINT: converts as on the platform
    vt = VT_EMPTY;
    CopyOrThrow(&source);
  }
  CComVariant(const CComVariant& source) : tagVARIANT() {
    vt = VT_EMPTY;
    CopyOrThrow(&source);
  }
  // Takes the value over, leaving `source` VT_EMPTY.
  CComVariant(CComVariant&& source) noexcept : tagVARIANT(source) { source.vt = VT_EMPTY; }

  // VT_BSTR; a null `text` gives a null string. Copies up to the first zero.
  CComVariant(LPCOLESTR text) {  // NOLINT
    vt = VT_EMPTY;
    *this = text;
  }
  // VT_BSTR with every code unit of `text`, embedded zeros included.
  CComVariant(const CComBSTR& text) {  // NOLINT
    vt = VT_EMPTY;
    *this = text;
  }
  CComVariant(bool value) noexcept {  // NOLINT
    vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  }
  // VT_I4 by default; VT_INT and VT_ERROR (an SCODE) are the other types
  // allowed, anything else is E_INVALIDARG.
  CComVariant(int value, VARTYPE type = VT_I4) {  // NOLINT
    vt = VT_EMPTY;
    SetInt(value, type);
  }
  // VT_UI4 by default, or VT_UINT; anything else is E_INVALIDARG.
  CComVariant(unsigned int value, VARTYPE type = VT_UI4) {  // NOLINT
    vt = VT_EMPTY;
    SetUnsigned(value, type);
  }
  // 64-bit integers (LONGLONG is `long` on this ABI) are VT_I8 / VT_UI8.
  CComVariant(long value) noexcept { SetScalar(VT_I8, &llVal, static_cast<LONGLONG>(value)); }       // NOLINT
  CComVariant(long long value) noexcept { SetScalar(VT_I8, &llVal, static_cast<LONGLONG>(value)); }  // NOLINT
  CComVariant(unsigned long value) noexcept {                                                          // NOLINT
    SetScalar(VT_UI8, &ullVal, static_cast<ULONGLONG>(value));
  }
  CComVariant(unsigned long long value) noexcept {  // NOLINT
    SetScalar(VT_UI8, &ullVal, static_cast<ULONGLONG>(value));
  }
  CComVariant(int8_t value) noexcept { SetScalar(VT_I1, &cVal, value); }                   // NOLINT
  CComVariant(BYTE value) noexcept { SetScalar(VT_UI1, &bVal, value); }                    // NOLINT
  CComVariant(short value) noexcept { SetScalar(VT_I2, &iVal, value); }                    // NOLINT
  CComVariant(unsigned short value) noexcept { SetScalar(VT_UI2, &uiVal, value); }         // NOLINT
  CComVariant(float value) noexcept { SetScalar(VT_R4, &fltVal, value); }                  // NOLINT
  // VT_R8 by default, or VT_DATE; anything else is E_INVALIDARG.
  CComVariant(double value, VARTYPE type = VT_R8) {  // NOLINT
    vt = VT_EMPTY;
    SetDouble(value, type);
  }
  CComVariant(const CY& value) noexcept { SetScalar(VT_CY, &cyVal, value); }  // NOLINT
  // Adds a reference; null is allowed.
  CComVariant(IUnknown* object) noexcept {  // NOLINT
    vt = VT_UNKNOWN;
    punkVal = object;
    if (object) object->AddRef();
  }
  CComVariant(IDispatch* object) noexcept {  // NOLINT
    vt = VT_DISPATCH;
    pdispVal = object;
    if (object) object->AddRef();
  }
  // VT_ARRAY of the array's element type, holding a deep copy.
  CComVariant(const SAFEARRAY* array) {  // NOLINT
    vt = VT_EMPTY;
    *this = array;
  }

  CComVariant& operator=(const CComVariant& source) {
    if (this != &source) CopyOrThrow(&source);
    return *this;
  }
  CComVariant& operator=(const VARIANT& source) {
    if (static_cast<const VARIANT*>(this) != &source) CopyOrThrow(&source);
    return *this;
  }
  CComVariant& operator=(CComVariant&& source) {
    if (this != &source) {
      ClearOrThrow();
      static_cast<tagVARIANT&>(*this) = source;
      source.vt = VT_EMPTY;
    }
    return *this;
  }
  CComVariant& operator=(LPCOLESTR text) {
    if (vt == VT_BSTR && bstrVal == text) return *this;
    // Copied before the old value goes: `text` may point into it.
    BSTR copy = text ? ::SysAllocString(text) : nullptr;
    AdoptString(copy, text != nullptr);
    return *this;
  }
  CComVariant& operator=(const CComBSTR& text) {
    if (vt == VT_BSTR && bstrVal == text.m_str) return *this;
    AdoptString(text.Copy(), text.m_str != nullptr);
    return *this;
  }
  CComVariant& operator=(bool value) {
    Reset(VT_BOOL);
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return *this;
  }
  CComVariant& operator=(int value) { return Assign(VT_I4, &lVal, value); }
  CComVariant& operator=(unsigned int value) { return Assign(VT_UI4, &ulVal, value); }
  CComVariant& operator=(long value) { return Assign(VT_I8, &llVal, static_cast<LONGLONG>(value)); }
  CComVariant& operator=(long long value) { return Assign(VT_I8, &llVal, static_cast<LONGLONG>(value)); }
  CComVariant& operator=(unsigned long value) { return Assign(VT_UI8, &ullVal, static_cast<ULONGLONG>(value)); }
  CComVariant& operator=(unsigned long long value) {
    return Assign(VT_UI8, &ullVal, static_cast<ULONGLONG>(value));
  }
  CComVariant& operator=(int8_t value) { return Assign(VT_I1, &cVal, value); }
  CComVariant& operator=(BYTE value) { return Assign(VT_UI1, &bVal, value); }
  CComVariant& operator=(short value) { return Assign(VT_I2, &iVal, value); }
  CComVariant& operator=(unsigned short value) { return Assign(VT_UI2, &uiVal, value); }
  CComVariant& operator=(float value) { return Assign(VT_R4, &fltVal, value); }
  CComVariant& operator=(double value) { return Assign(VT_R8, &dblVal, value); }
  CComVariant& operator=(const CY& value) { return Assign(VT_CY, &cyVal, value); }
  CComVariant& operator=(IUnknown* object) { return AssignInterface(VT_UNKNOWN, object); }
  CComVariant& operator=(IDispatch* object) { return AssignInterface(VT_DISPATCH, object); }
  CComVariant& operator=(const SAFEARRAY* array) {
    VARTYPE elementType = VT_EMPTY;
    SAFEARRAY* copy = nullptr;
    SAFEARRAY* source = const_cast<SAFEARRAY*>(array);
    HRESULT hr = array ? ::SafeArrayGetVartype(source, &elementType) : E_INVALIDARG;
    if (SUCCEEDED(hr)) hr = ::SafeArrayCopy(source, &copy);
    if (FAILED(hr)) FailAfterClear(hr);
    hr = Clear();
    if (FAILED(hr)) {
      ::SafeArrayDestroy(copy);
      AtlThrow(hr);
    }
    vt = static_cast<VARTYPE>(VT_ARRAY | elementType);
    parray = copy;
    return *this;
  }

  // Frees the value, leaving VT_EMPTY. Fails as VariantClear.
  HRESULT Clear() noexcept { return ::VariantClear(this); }
  // Replaces the value with a deep copy of `source`. Fails as VariantCopy.
  HRESULT Copy(const VARIANT* source) noexcept { return ::VariantCopy(this, source); }
  // Converts `source` (this value when null) to `vt` and keeps the result.
  // Fails as VariantChangeType, leaving this value as it was.
  HRESULT ChangeType(VARTYPE vt, const VARIANT* source = nullptr) noexcept {
    return ::VariantChangeType(this, source ? source : this, 0, vt);
  }
  // Hands out a copy of a VT_BSTR value, embedded zeros included. E_POINTER,
  // E_OUTOFMEMORY; DISP_E_TYPEMISMATCH for other types (*out null): convert
  // with ChangeType first.
  HRESULT CopyTo(BSTR* out) const noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
    if (!bstrVal) return S_OK;
    *out = ::SysAllocStringByteLen(reinterpret_cast<LPCSTR>(bstrVal), ::SysStringByteLen(bstrVal));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  // Takes over `source`'s value, leaving it VT_EMPTY. E_INVALIDARG for null;
  // fails as Clear (nothing taken).
  HRESULT Attach(VARIANT* source) noexcept {
    if (!source) return E_INVALIDARG;
    if (source == this) return S_OK;
    const HRESULT hr = Clear();
    if (FAILED(hr)) return hr;
    static_cast<tagVARIANT&>(*this) = *source;
    source->vt = VT_EMPTY;
    return S_OK;
  }
  // Hands the value over to `dest` (cleared first), leaving this VT_EMPTY.
  // E_POINTER for null; fails as VariantClear on `dest` (nothing handed out).
  HRESULT Detach(VARIANT* dest) noexcept {
    if (!dest) return E_POINTER;
    if (dest == this) return S_OK;
    const HRESULT hr = ::VariantClear(dest);
    if (FAILED(hr)) return hr;
    *dest = *this;
    vt = VT_EMPTY;
    return S_OK;
  }

  // Equal when the types match and so do the values: strings by content (null
  // equals empty), interfaces, arrays and references by identity, decimals by
  // numeric value. VT_EMPTY and VT_NULL equal themselves.
  bool operator==(const VARIANT& other) const noexcept {
    if (static_cast<const VARIANT*>(this) == &other) return true;
    if (vt != other.vt) return false;
    if (vt & (VT_ARRAY | VT_BYREF)) return byref == other.byref;
    switch (vt) {
      case VT_EMPTY:
      case VT_NULL:
        return true;
      case VT_I1:
      case VT_UI1:
        return bVal == other.bVal;
      case VT_I2:
      case VT_UI2:
      case VT_BOOL:
        return iVal == other.iVal;
      case VT_I4:
      case VT_UI4:
      case VT_INT:
      case VT_UINT:
      case VT_ERROR:
        return lVal == other.lVal;
      case VT_I8:
      case VT_UI8:
      case VT_CY:
        return llVal == other.llVal;
      case VT_R4:
        return fltVal == other.fltVal;
      case VT_R8:
      case VT_DATE:
        return dblVal == other.dblVal;
      case VT_BSTR: {
        const UINT length = ::SysStringLen(bstrVal);
        return length == ::SysStringLen(other.bstrVal) &&
               (length == 0 || std::memcmp(bstrVal, other.bstrVal, length * sizeof(OLECHAR)) == 0);
      }
      case VT_UNKNOWN:
      case VT_DISPATCH:
        return punkVal == other.punkVal;
      case VT_DECIMAL:
        return DecimalsEqual(decVal, other.decVal);
      default:
        return false;
    }
  }
  bool operator!=(const VARIANT& other) const noexcept { return !(*this == other); }

 private:
  [[noreturn]] void Fail(HRESULT hr) {
    vt = VT_ERROR;
    scode = hr;
    AtlThrow(hr);
  }
  // As Fail, once the old value is freed; a value that cannot be freed is kept
  // rather than leaked behind VT_ERROR.
  [[noreturn]] void FailAfterClear(HRESULT hr) {
    if (FAILED(Clear())) AtlThrow(hr);
    Fail(hr);
  }
  void CopyOrThrow(const VARIANT* source) {
    const HRESULT hr = ::VariantCopy(this, source);
    if (FAILED(hr)) FailAfterClear(hr);
  }
  void ClearOrThrow() {
    const HRESULT hr = Clear();
    if (FAILED(hr)) AtlThrow(hr);
  }
  // Clears unless the value already has `type` (nothing to free for the
  // scalar types this is used with), then sets the type.
  void Reset(VARTYPE type) {
    if (vt != type) ClearOrThrow();
    vt = type;
  }
  template <class Field, class Value>
  void SetScalar(VARTYPE type, Field* field, Value value) noexcept {
    vt = type;
    *field = value;
  }
  template <class Field, class Value>
  CComVariant& Assign(VARTYPE type, Field* field, Value value) {
    Reset(type);
    *field = value;
    return *this;
  }
  void SetInt(int value, VARTYPE type) {
    if (type != VT_I4 && type != VT_INT && type != VT_ERROR) Fail(E_INVALIDARG);
    vt = type;
    intVal = value;
  }
  void SetUnsigned(unsigned int value, VARTYPE type) {
    if (type != VT_UI4 && type != VT_UINT) Fail(E_INVALIDARG);
    vt = type;
    uintVal = value;
  }
  void SetDouble(double value, VARTYPE type) {
    if (type != VT_R8 && type != VT_DATE) Fail(E_INVALIDARG);
    vt = type;
    dblVal = value;
  }
  // Stores a string made by the caller; `wanted` says a null `copy` means the
  // allocation failed rather than a null source.
  void AdoptString(BSTR copy, bool wanted) {
    if (wanted && !copy) FailAfterClear(E_OUTOFMEMORY);
    const HRESULT hr = Clear();
    if (FAILED(hr)) {
      ::SysFreeString(copy);
      AtlThrow(hr);
    }
    vt = VT_BSTR;
    bstrVal = copy;
  }
  CComVariant& AssignInterface(VARTYPE type, IUnknown* object) {
    if (vt == type && punkVal == object) return *this;
    // Referenced first: the old value may hold the last reference to it.
    if (object) object->AddRef();
    const HRESULT hr = Clear();
    if (FAILED(hr)) {
      if (object) object->Release();
      AtlThrow(hr);
    }
    vt = type;
    punkVal = object;
    return *this;
  }
  // Numeric equality of two decimals: both are reduced to the fewest decimal
  // places that hold them exactly, so 1.0 equals 1.00 and -0 equals 0.
  static bool DecimalsEqual(const DECIMAL& a, const DECIMAL& b) noexcept {
    unsigned __int128 aValue = Magnitude(a), bValue = Magnitude(b);
    if (aValue == 0 || bValue == 0) return aValue == bValue;
    if ((a.sign & DECIMAL_NEG) != (b.sign & DECIMAL_NEG)) return false;
    int aScale = a.scale, bScale = b.scale;
    Reduce(&aValue, &aScale);
    Reduce(&bValue, &bScale);
    return aValue == bValue && aScale == bScale;
  }
  static unsigned __int128 Magnitude(const DECIMAL& value) noexcept {
    return (static_cast<unsigned __int128>(value.Hi32) << 64) | value.Lo64;
  }
  static void Reduce(unsigned __int128* value, int* scale) noexcept {
    while (*scale > 0 && *value % 10 == 0) {
      *value /= 10;
      --*scale;
    }
  }
};

static_assert(sizeof(CComVariant) == sizeof(VARIANT), "CComVariant is a VARIANT");
