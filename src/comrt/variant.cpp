#include "comrt/variant.h"

#include <cstring>

#include "comrt/bstr.h"
#include "comrt/safearray.h"
#include "value_sizes.h"

namespace {

// The types a variant may hold by value.
bool IsValueType(VARTYPE base) {
  switch (base) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_DECIMAL:
      return true;
    default:
      return false;
  }
}

bool IsValidType(VARTYPE vt) {
  const VARTYPE base = vt & VT_TYPEMASK;
  switch (vt & ~VT_TYPEMASK) {
    case 0:
      return IsValueType(base);
    case VT_BYREF:
      return IsValueType(base) || base == VT_VARIANT;
    case VT_ARRAY:
    case VT_BYREF | VT_ARRAY:  // SAFEARRAY** out-parameters
      // No array holds nothing: arrays of VT_EMPTY or VT_NULL do not exist.
      return (IsValueType(base) && base != VT_EMPTY && base != VT_NULL) || base == VT_VARIANT;
    default:
      return false;
  }
}

// Makes `out` (which owns nothing) a deep copy of the valid `source`. On
// failure `out` is VT_EMPTY and nothing was allocated.
HRESULT CopyOwned(VARIANT* out, const VARIANT& source) {
  VARIANT copy = source;  // every byte: DECIMAL fills the whole variant
  const VARTYPE vt = source.vt;
  if (vt & VT_BYREF) {
    // The referent belongs to whoever handed out the reference.
  } else if (vt & VT_ARRAY) {
    if (source.parray) {
      copy.parray = nullptr;
      const HRESULT hr = SafeArrayCopy(source.parray, &copy.parray);
      if (FAILED(hr)) {
        out->vt = VT_EMPTY;
        return hr;
      }
    }
  } else if (vt == VT_BSTR) {
    if (source.bstrVal) {
      // By bytes, so odd lengths and embedded zeros survive.
      copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source.bstrVal),
                                           SysStringByteLen(source.bstrVal));
      if (!copy.bstrVal) {
        out->vt = VT_EMPTY;
        return E_OUTOFMEMORY;
      }
    }
  } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
    if (source.punkVal) source.punkVal->AddRef();
  }
  *out = copy;
  out->vt = vt;
  return S_OK;
}

// A by-value view of what the valid by-reference `source` refers to. The view
// owns nothing: its string, interface or array still belongs to the referent.
HRESULT Dereference(const VARIANT& source, VARIANT* view) {
  const VARTYPE target = source.vt & ~VT_BYREF;
  VARIANT result;
  std::memset(&result, 0, sizeof result);
  if (target == VT_EMPTY || target == VT_NULL) {
    // Nothing lies behind the reference to read.
    *view = result;
    view->vt = target;
    return S_OK;
  }
  if (!source.byref) return E_INVALIDARG;
  if (target & VT_ARRAY) {
    result.parray = *source.pparray;
  } else if (target == VT_VARIANT) {
    const VARIANT& inner = *source.pvarVal;
    // A reference to a reference to a variant could chain without end.
    if (inner.vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
    if (!IsValidType(inner.vt)) return DISP_E_BADVARTYPE;
    if (inner.vt & VT_BYREF) return Dereference(inner, view);
    *view = inner;
    return S_OK;
  } else if (target == VT_DECIMAL) {
    result.decVal = *source.pdecVal;
  } else {
    std::memcpy(&result.llVal, source.byref, comrt::ValueSize(target));
  }
  *view = result;
  view->vt = target;
  return S_OK;
}

// Replaces what `dest` holds with `copy`, which the caller made before
// clearing so that a source living inside `dest` is still readable while being
// copied. Takes ownership of `copy` either way.
HRESULT Replace(VARIANT* dest, HRESULT copyResult, VARIANT* copy) {
  const HRESULT cleared = VariantClear(dest);
  if (FAILED(cleared)) {
    if (SUCCEEDED(copyResult)) VariantClear(copy);
    return cleared;
  }
  if (FAILED(copyResult)) return copyResult;
  *dest = *copy;
  return S_OK;
}

}  // namespace

void VariantInit(VARIANTARG* value) {
  if (value) value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* value) {
  if (!value) return E_INVALIDARG;
  const VARTYPE vt = value->vt;
  if (!IsValidType(vt)) return DISP_E_BADVARTYPE;
  if (vt & VT_BYREF) {
    // Owns nothing.
  } else if (vt & VT_ARRAY) {
    if (value->parray) {
      // A locked array stays where it is, still held by this value.
      const HRESULT hr = SafeArrayDestroy(value->parray);
      if (FAILED(hr)) return hr;
    }
  } else if (vt == VT_BSTR) {
    SysFreeString(value->bstrVal);
  } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
    IUnknown* held = value->punkVal;
    // Empty before releasing: the object's clean-up may look at this value.
    value->vt = VT_EMPTY;
    if (held) held->Release();
  }
  value->vt = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source) {
  if (!dest || !source) return E_INVALIDARG;
  if (!IsValidType(source->vt)) return DISP_E_BADVARTYPE;
  if (dest == source) return S_OK;
  VARIANT copy;
  const HRESULT hr = CopyOwned(&copy, *source);
  return Replace(dest, hr, &copy);
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* source) {
  if (!dest || !source) return E_INVALIDARG;
  if (!IsValidType(source->vt)) return DISP_E_BADVARTYPE;
  if (!(source->vt & VT_BYREF)) return VariantCopy(dest, source);
  VARIANT view;
  HRESULT hr = Dereference(*source, &view);
  if (FAILED(hr)) return hr;
  VARIANT copy;
  hr = CopyOwned(&copy, view);
  return Replace(dest, hr, &copy);
}
