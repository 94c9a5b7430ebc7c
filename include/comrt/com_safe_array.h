// CComSafeArray<T>: owns one one-dimensional SAFEARRAY of T. The array stays
// locked while the wrapper holds it, so element references from GetAt remain
// valid until the wrapper resizes, detaches or destroys it, and nobody else
// can destroy or resize it meanwhile.
//
// VARIANT and BYTE elements are offered; other element types fail to
// compile until their traits are added.
//
// Constructors and copy assignment throw CAtlException on failure; the named
// member functions return failures, except that GetAt, GetLowerBound and
// GetUpperBound throw (E_FAIL for an empty wrapper, E_INVALIDARG for an index
// outside the bounds) since they have no result code to give.
#pragma once

#include <type_traits>

#include "comrt/atl_exception.h"
#include "comrt/safearray.h"

namespace comrt {
namespace detail {

template <class T>
struct AlwaysFalse : std::false_type {};

// What CComSafeArray needs to know about an element type.
template <class T>
struct SafeArrayElementTraits {
  static_assert(AlwaysFalse<T>::value, "CComSafeArray supports VARIANT and BYTE elements only");
};

template <>
struct SafeArrayElementTraits<VARIANT> {
  static constexpr VARTYPE kType = VT_VARIANT;
  // Stores `value` in `slot`, releasing what the slot held: a copy (one level
  // of reference resolved) when `copy`, else `value` itself, whose ownership
  // passes to the array.
  static HRESULT Store(VARIANT* slot, const VARIANT& value, bool copy) noexcept {
    if (copy) return ::VariantCopyInd(slot, &value);
    const HRESULT hr = ::VariantClear(slot);
    if (SUCCEEDED(hr)) *slot = value;
    return hr;
  }
};

template <>
struct SafeArrayElementTraits<BYTE> {
  static constexpr VARTYPE kType = VT_UI1;
  // Bytes own nothing: copying and adopting are the same.
  static HRESULT Store(BYTE* slot, const BYTE& value, bool) noexcept {
    *slot = value;
    return S_OK;
  }
};

}  // namespace detail
}  // namespace comrt

template <class T>
class CComSafeArray {
  using Traits = comrt::detail::SafeArrayElementTraits<T>;

 public:
  CComSafeArray() noexcept : m_psa(nullptr) {}
  // An array of `count` empty elements from `lowerBound`. Throws E_OUTOFMEMORY.
  explicit CComSafeArray(ULONG count, LONG lowerBound = 0) : m_psa(nullptr) { ThrowIfFailed(Create(count, lowerBound)); }
  explicit CComSafeArray(const SAFEARRAYBOUND* bound, UINT dims = 1) : m_psa(nullptr) {
    ThrowIfFailed(Create(bound, dims));
  }
  // A deep copy of `source`. Throws E_INVALIDARG for null or another element
  // type, E_OUTOFMEMORY.
  explicit CComSafeArray(const SAFEARRAY* source) : m_psa(nullptr) {
    if (!source) AtlThrow(E_INVALIDARG);
    ThrowIfFailed(CopyFrom(source));
  }
  CComSafeArray(const CComSafeArray& other) : m_psa(nullptr) {
    if (other.m_psa) ThrowIfFailed(CopyFrom(other.m_psa));
  }
  CComSafeArray(CComSafeArray&& other) noexcept : m_psa(other.m_psa) { other.m_psa = nullptr; }
  // An array someone else still locks cannot be destroyed; it is left to them
  // without the wrapper's lock.
  ~CComSafeArray() {
    if (FAILED(Destroy())) ::SafeArrayUnlock(m_psa);
  }

  // Strong guarantee: on failure the wrapper keeps its array. Copying an empty
  // wrapper empties this one.
  CComSafeArray& operator=(const CComSafeArray& other) {
    if (this == &other) return *this;
    if (!other.m_psa) {
      ThrowIfFailed(Destroy());
      return *this;
    }
    ThrowIfFailed(CopyFrom(other.m_psa));
    return *this;
  }
  CComSafeArray& operator=(const SAFEARRAY* source) {
    if (!source) AtlThrow(E_INVALIDARG);
    ThrowIfFailed(CopyFrom(source));
    return *this;
  }
  CComSafeArray& operator=(CComSafeArray&& other) {
    if (this != &other) {
      ThrowIfFailed(Destroy());
      m_psa = other.m_psa;
      other.m_psa = nullptr;
    }
    return *this;
  }

  // Replaces the held array with a new one of `count` empty elements.
  // E_OUTOFMEMORY (also for bounds SafeArrayCreate refuses); fails as Destroy
  // when the old array cannot go.
  HRESULT Create(ULONG count = 0, LONG lowerBound = 0) noexcept {
    SAFEARRAYBOUND bound;
    bound.cElements = count;
    bound.lLbound = lowerBound;
    return Create(&bound);
  }
  // As above from a bound; E_INVALIDARG for a null bound or `dims` other than 1.
  HRESULT Create(const SAFEARRAYBOUND* bound, UINT dims = 1) noexcept {
    if (!bound || dims != 1) return E_INVALIDARG;
    SAFEARRAYBOUND copy = *bound;
    SAFEARRAY* created = ::SafeArrayCreate(Traits::kType, 1, &copy);
    if (!created) return E_OUTOFMEMORY;
    return Adopt(created, true);
  }
  // Takes ownership of `array`, destroying the one held. E_INVALIDARG for
  // null, more than one dimension, or another element type; on any failure
  // the array is not taken.
  HRESULT Attach(SAFEARRAY* array) noexcept {
    if (!array) return E_INVALIDARG;
    if (array == m_psa) return S_OK;
    VARTYPE type = VT_EMPTY;
    if (::SafeArrayGetDim(array) != 1 || FAILED(::SafeArrayGetVartype(array, &type)) || type != Traits::kType) {
      return E_INVALIDARG;
    }
    return Adopt(array, false);
  }
  // Hands the array out (unlocked), leaving the wrapper empty.
  SAFEARRAY* Detach() noexcept {
    // May fail harmlessly for an array stored through GetSafeArrayPtr.
    if (m_psa) ::SafeArrayUnlock(m_psa);
    SAFEARRAY* out = m_psa;
    m_psa = nullptr;
    return out;
  }
  // Destroys the held array. DISP_E_ARRAYISLOCKED, array kept, while someone
  // else holds a lock on it.
  HRESULT Destroy() noexcept {
    const HRESULT hr = ReleaseArray(m_psa);
    if (SUCCEEDED(hr)) m_psa = nullptr;
    return hr;
  }
  // Replaces the held array with a deep copy of `source` (which may be the
  // held array). E_INVALIDARG for null or another element type, E_OUTOFMEMORY.
  HRESULT CopyFrom(const SAFEARRAY* source) noexcept {
    SAFEARRAY* from = const_cast<SAFEARRAY*>(source);
    VARTYPE type = VT_EMPTY;
    if (!from || FAILED(::SafeArrayGetVartype(from, &type)) || type != Traits::kType) return E_INVALIDARG;
    SAFEARRAY* copy = nullptr;
    const HRESULT hr = ::SafeArrayCopy(from, &copy);
    if (FAILED(hr)) return hr;
    return Adopt(copy, true);
  }
  // Hands out a deep copy (null for an empty wrapper). E_POINTER for null.
  HRESULT CopyTo(SAFEARRAY** out) const noexcept {
    if (!out) return E_POINTER;
    return ::SafeArrayCopy(m_psa, out);
  }

  // Element count; 0 for an empty wrapper.
  ULONG GetCount() const noexcept { return m_psa ? m_psa->rgsabound[0].cElements : 0; }
  LONG GetLowerBound() const {
    LONG bound = 0;
    ThrowIfFailed(m_psa ? ::SafeArrayGetLBound(m_psa, 1, &bound) : E_FAIL);
    return bound;
  }
  LONG GetUpperBound() const {
    LONG bound = 0;
    ThrowIfFailed(m_psa ? ::SafeArrayGetUBound(m_psa, 1, &bound) : E_FAIL);
    return bound;
  }
  UINT GetDimensions() const noexcept { return ::SafeArrayGetDim(m_psa); }
  static VARTYPE GetType() noexcept { return Traits::kType; }

  // The element itself, stable while the wrapper keeps this array.
  T& GetAt(LONG index) const {
    void* element = nullptr;
    if (!m_psa) AtlThrow(E_FAIL);
    if (FAILED(::SafeArrayPtrOfIndex(m_psa, &index, &element))) AtlThrow(E_INVALIDARG);
    return *static_cast<T*>(element);
  }
  T& operator[](LONG index) const { return GetAt(index); }

  // Stores `value` at `index` (see the element traits for `copy`).
  // E_INVALIDARG for an empty wrapper or an index outside the bounds; else the
  // store's failure, with the element unchanged.
  HRESULT SetAt(LONG index, const T& value, bool copy = true) noexcept {
    void* element = nullptr;
    if (!m_psa || FAILED(::SafeArrayPtrOfIndex(m_psa, &index, &element))) return E_INVALIDARG;
    return Traits::Store(static_cast<T*>(element), value, copy);
  }
  // Appends one element after the last (an empty wrapper first gets an array
  // from 0). On failure the array is as it was. E_OUTOFMEMORY, or SetAt's code.
  HRESULT Add(const T& value, bool copy = true) noexcept {
    if (!m_psa) {
      const HRESULT hr = Create();
      if (FAILED(hr)) return hr;
    }
    const ULONG count = GetCount();
    const LONG lowerBound = m_psa->rgsabound[0].lLbound;
    if (count == UINT32_MAX) return E_OUTOFMEMORY;
    HRESULT hr = Resize(count + 1, lowerBound);
    if (FAILED(hr)) return hr;
    hr = SetAt(static_cast<LONG>(static_cast<int64_t>(lowerBound) + count), value, copy);
    if (FAILED(hr)) Resize(count, lowerBound);
    return hr;
  }
  // Changes the element count and sets the lower bound (0 unless given), as
  // SafeArrayRedim does; element references taken before are invalid after.
  // An empty wrapper gets a new array. E_INVALIDARG, E_OUTOFMEMORY,
  // DISP_E_ARRAYISLOCKED when someone else holds a lock.
  HRESULT Resize(ULONG count, LONG lowerBound = 0) noexcept {
    if (!m_psa) return Create(count, lowerBound);
    SAFEARRAYBOUND bound;
    bound.cElements = count;
    bound.lLbound = lowerBound;
    // Not locked only when stored through GetSafeArrayPtr; locked after either way.
    ::SafeArrayUnlock(m_psa);
    const HRESULT hr = ::SafeArrayRedim(m_psa, &bound);
    ::SafeArrayLock(m_psa);
    return hr;
  }

  operator LPSAFEARRAY() const noexcept { return m_psa; }  // NOLINT
  // Address of the held pointer, for out parameters. An array stored there
  // unlocked is still destroyed by the wrapper, but gets its lock (and stable
  // elements) only on the next Resize.
  LPSAFEARRAY* GetSafeArrayPtr() noexcept { return &m_psa; }

  LPSAFEARRAY m_psa;

 private:
  // Locks `array` and makes it the held one, destroying the old. On failure
  // the old array stays held, and `array` is destroyed when `owned`.
  HRESULT Adopt(SAFEARRAY* array, bool owned) noexcept {
    HRESULT hr = ::SafeArrayLock(array);
    if (SUCCEEDED(hr)) {
      hr = ReleaseArray(m_psa);
      if (SUCCEEDED(hr)) {
        m_psa = array;
        return S_OK;
      }
      ::SafeArrayUnlock(array);
    }
    if (owned) ::SafeArrayDestroy(array);
    return hr;
  }
  // Drops the wrapper's lock and destroys `array`; on failure the array keeps
  // its lock as before.
  static HRESULT ReleaseArray(SAFEARRAY* array) noexcept {
    if (!array) return S_OK;
    const bool wasLocked = SUCCEEDED(::SafeArrayUnlock(array));
    const HRESULT hr = ::SafeArrayDestroy(array);
    if (FAILED(hr) && wasLocked) ::SafeArrayLock(array);
    return hr;
  }
  static void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) AtlThrow(hr);
  }
};
