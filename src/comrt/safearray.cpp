#include "comrt/safearray.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "comrt/bstr.h"
#include "diagnostics_counters.h"
#include "value_sizes.h"

namespace {

using comrt::diagnostics::CountDown;
using comrt::diagnostics::CountUp;
using comrt::diagnostics::g_liveArrays;

// A descriptor and the element VARTYPE in the 4 bytes before it, where
// FADF_HAVEVARTYPE tells readers of the descriptor to look.
struct ArrayBlock {
  uint32_t reserved[3];
  uint32_t vt;
  SAFEARRAY descriptor;
};
static_assert(offsetof(ArrayBlock, descriptor) - offsetof(ArrayBlock, vt) == 4,
              "the VARTYPE sits right before the descriptor");

ArrayBlock* BlockOf(SAFEARRAY* array) {
  return reinterpret_cast<ArrayBlock*>(reinterpret_cast<char*>(array) - offsetof(ArrayBlock, descriptor));
}

// Past this many locks a lock fails instead of wrapping the count.
constexpr ULONG kMaxLocks = 0xFFFF;
// Descriptors with these flags live in the caller's memory, not ours.
constexpr USHORT kForeignStorage = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};

// Element size and the feature flag of each type an array can hold; false for
// the others.
bool DescribeElement(VARTYPE vt, ULONG* size, USHORT* features) {
  switch (vt) {
    case VT_BSTR:
      *features = FADF_BSTR;
      break;
    case VT_UNKNOWN:
      *features = FADF_UNKNOWN;
      break;
    case VT_DISPATCH:
      *features = FADF_DISPATCH;
      break;
    case VT_VARIANT:
      *features = FADF_VARIANT;
      break;
    default:
      *features = 0;
      break;
  }
  *size = static_cast<ULONG>(comrt::ValueSize(vt));
  return *size != 0;
}

// How elements are copied and freed follows the feature flags, as it does for
// every reader of a descriptor; the VARTYPE only names the type.
enum class ElementKind { kPlain, kString, kInterface, kVariant };

ElementKind KindOf(const SAFEARRAY& array) {
  if (array.fFeatures & FADF_VARIANT) return ElementKind::kVariant;
  if (array.fFeatures & FADF_BSTR) return ElementKind::kString;
  if (array.fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) return ElementKind::kInterface;
  return ElementKind::kPlain;
}

ULONG Count(const SAFEARRAY& array) { return array.rgsabound[0].cElements; }

// What every operation relies on: one dimension, an element size that fits
// the kind of element, and storage behind a non-empty array.
HRESULT CheckArray(const SAFEARRAY* array) {
  if (!array || array->cDims != 1) return E_INVALIDARG;
  ULONG expected = 0;
  switch (KindOf(*array)) {
    case ElementKind::kVariant:
      expected = sizeof(VARIANT);
      break;
    case ElementKind::kString:
    case ElementKind::kInterface:
      expected = sizeof(void*);
      break;
    case ElementKind::kPlain:
      if (array->cbElements == 0) return E_INVALIDARG;
      expected = array->cbElements;
      break;
  }
  if (array->cbElements != expected) return E_INVALIDARG;
  if (!array->pvData && Count(*array) != 0) return E_INVALIDARG;
  return S_OK;
}

bool IsLocked(const SAFEARRAY& array) { return __atomic_load_n(&array.cLocks, __ATOMIC_ACQUIRE) != 0; }

// True when the last index is a LONG, so that bounds never wrap.
bool IndicesFit(const SAFEARRAYBOUND& bound) {
  const int64_t upper = static_cast<int64_t>(bound.lLbound) + bound.cElements - 1;
  return upper >= INT32_MIN && upper <= INT32_MAX;
}

// Element storage stays within what a ULONG can count, as on the platform.
bool SizeFits(ULONG count, ULONG elementSize) {
  return static_cast<uint64_t>(count) * elementSize <= UINT32_MAX;
}

void* ElementAt(const SAFEARRAY& array, LONG index) {
  const int64_t offset = static_cast<int64_t>(index) - array.rgsabound[0].lLbound;
  if (offset < 0 || offset >= static_cast<int64_t>(Count(array))) return nullptr;
  return static_cast<char*>(array.pvData) + static_cast<size_t>(offset) * array.cbElements;
}

// Frees what the element holds and zeroes it. A variant element that cannot
// be cleared (it holds a locked array, or a bad type) is left as it was.
HRESULT ClearElement(ElementKind kind, void* element, ULONG size) {
  switch (kind) {
    case ElementKind::kVariant:
      return VariantClear(static_cast<VARIANT*>(element));
    case ElementKind::kString: {
      BSTR* slot = static_cast<BSTR*>(element);
      BSTR held = *slot;
      *slot = nullptr;
      SysFreeString(held);
      return S_OK;
    }
    case ElementKind::kInterface: {
      IUnknown** slot = static_cast<IUnknown**>(element);
      IUnknown* held = *slot;
      *slot = nullptr;
      if (held) held->Release();
      return S_OK;
    }
    case ElementKind::kPlain:
      std::memset(element, 0, size);
      return S_OK;
  }
  return S_OK;
}

// Clears elements [first, first + count); carries on past failures so that as
// much as possible is freed, and reports the first.
HRESULT ClearElements(SAFEARRAY& array, ULONG first, ULONG count) {
  const ElementKind kind = KindOf(array);
  char* data = static_cast<char*>(array.pvData);
  HRESULT result = S_OK;
  for (ULONG i = first; i < first + count; ++i) {
    const HRESULT hr = ClearElement(kind, data + static_cast<size_t>(i) * array.cbElements, array.cbElements);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

SAFEARRAY* CreateArray(VARTYPE vt, const SAFEARRAYBOUND& bound) {
  ULONG size = 0;
  USHORT features = 0;
  if (!DescribeElement(vt, &size, &features)) return nullptr;
  if (!IndicesFit(bound) || !SizeFits(bound.cElements, size)) return nullptr;
  std::unique_ptr<ArrayBlock, FreeDeleter> block(static_cast<ArrayBlock*>(std::calloc(1, sizeof(ArrayBlock))));
  if (!block) return nullptr;
  std::unique_ptr<void, FreeDeleter> data;
  if (bound.cElements != 0) {
    // Zero bytes are VT_EMPTY variants, null strings and null interfaces.
    data.reset(std::calloc(bound.cElements, size));
    if (!data) return nullptr;
  }
  block->vt = vt;
  SAFEARRAY& array = block->descriptor;
  array.cDims = 1;
  array.fFeatures = static_cast<USHORT>(FADF_HAVEVARTYPE | features);
  array.cbElements = size;
  array.cLocks = 0;
  array.pvData = data.release();
  array.rgsabound[0] = bound;
  CountUp(g_liveArrays);
  return &block.release()->descriptor;
}

// Holds a lock for a scope, so the array cannot be destroyed or resized under
// an element copy.
class ScopedLock {
 public:
  explicit ScopedLock(SAFEARRAY* array) : array_(array), result_(SafeArrayLock(array)) {}
  ~ScopedLock() {
    if (SUCCEEDED(result_)) SafeArrayUnlock(array_);
  }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;
  HRESULT result() const { return result_; }

 private:
  SAFEARRAY* array_;
  HRESULT result_;
};

struct ArrayDestroyer {
  void operator()(SAFEARRAY* array) const { SafeArrayDestroy(array); }
};

// Fills the fresh, same-shaped `copy` with deep copies of `source`'s elements.
HRESULT CopyElements(const SAFEARRAY& source, SAFEARRAY& copy) {
  const ULONG count = Count(source);
  const char* from = static_cast<const char*>(source.pvData);
  char* to = static_cast<char*>(copy.pvData);
  switch (KindOf(source)) {
    case ElementKind::kVariant:
      for (ULONG i = 0; i < count; ++i) {
        const HRESULT hr = VariantCopy(reinterpret_cast<VARIANT*>(to) + i, reinterpret_cast<const VARIANT*>(from) + i);
        if (FAILED(hr)) return hr;
      }
      return S_OK;
    case ElementKind::kString:
      for (ULONG i = 0; i < count; ++i) {
        BSTR text = reinterpret_cast<const BSTR*>(from)[i];
        if (!text) continue;
        BSTR duplicate = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text));
        if (!duplicate) return E_OUTOFMEMORY;
        reinterpret_cast<BSTR*>(to)[i] = duplicate;
      }
      return S_OK;
    case ElementKind::kInterface:
      for (ULONG i = 0; i < count; ++i) {
        IUnknown* object = reinterpret_cast<IUnknown* const*>(from)[i];
        if (object) object->AddRef();
        reinterpret_cast<IUnknown**>(to)[i] = object;
      }
      return S_OK;
    case ElementKind::kPlain:
      if (count) std::memcpy(to, from, static_cast<size_t>(count) * source.cbElements);
      return S_OK;
  }
  return S_OK;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds) {
  if (dims != 1 || !bounds) return nullptr;
  return CreateArray(vt, bounds[0]);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG count) {
  SAFEARRAYBOUND bound;
  bound.cElements = count;
  bound.lLbound = lowerBound;
  return CreateArray(vt, bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (!array) return S_OK;
  const HRESULT hr = SafeArrayDestroyData(array);
  if (FAILED(hr)) return hr;
  if (array->fFeatures & kForeignStorage) return S_OK;
  std::free(array->pvData);
  std::free(BlockOf(array));
  CountDown(g_liveArrays);
  return S_OK;
}

HRESULT SafeArrayDestroyData(SAFEARRAY* array) {
  HRESULT hr = CheckArray(array);
  if (FAILED(hr)) return hr;
  if (IsLocked(*array)) return DISP_E_ARRAYISLOCKED;
  return ClearElements(*array, 0, Count(*array));
}

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy) {
  if (!copy) return E_INVALIDARG;
  *copy = nullptr;
  if (!array) return S_OK;
  HRESULT hr = CheckArray(array);
  if (FAILED(hr)) return hr;
  VARTYPE vt = VT_EMPTY;
  hr = SafeArrayGetVartype(array, &vt);
  if (FAILED(hr)) return hr;
  ScopedLock lock(array);
  if (FAILED(lock.result())) return lock.result();
  std::unique_ptr<SAFEARRAY, ArrayDestroyer> result(CreateArray(vt, array->rgsabound[0]));
  if (!result) return E_OUTOFMEMORY;
  if (result->cbElements != array->cbElements) return E_INVALIDARG;
  hr = CopyElements(*array, *result);
  if (FAILED(hr)) return hr;
  *copy = result.release();
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value) {
  if (!indices || !value) return E_INVALIDARG;
  HRESULT hr = CheckArray(array);
  if (FAILED(hr)) return hr;
  ScopedLock lock(array);
  if (FAILED(lock.result())) return lock.result();
  const void* element = ElementAt(*array, indices[0]);
  if (!element) return DISP_E_BADINDEX;
  switch (KindOf(*array)) {
    case ElementKind::kVariant: {
      VARIANT* out = static_cast<VARIANT*>(value);
      VariantInit(out);  // the caller's storage holds nothing yet
      return VariantCopy(out, static_cast<const VARIANT*>(element));
    }
    case ElementKind::kString: {
      BSTR text = *static_cast<const BSTR*>(element);
      BSTR duplicate = nullptr;
      if (text) {
        duplicate = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text));
        if (!duplicate) hr = E_OUTOFMEMORY;
      }
      *static_cast<BSTR*>(value) = duplicate;
      return hr;
    }
    case ElementKind::kInterface: {
      IUnknown* object = *static_cast<IUnknown* const*>(element);
      if (object) object->AddRef();
      *static_cast<IUnknown**>(value) = object;
      return S_OK;
    }
    case ElementKind::kPlain:
      std::memcpy(value, element, array->cbElements);
      return S_OK;
  }
  return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value) {
  if (!indices) return E_INVALIDARG;
  HRESULT hr = CheckArray(array);
  if (FAILED(hr)) return hr;
  const ElementKind kind = KindOf(*array);
  // Strings and interfaces are passed as themselves, so null is a value there.
  if (!value && (kind == ElementKind::kVariant || kind == ElementKind::kPlain)) return E_INVALIDARG;
  ScopedLock lock(array);
  if (FAILED(lock.result())) return lock.result();
  void* element = ElementAt(*array, indices[0]);
  if (!element) return DISP_E_BADINDEX;
  switch (kind) {
    case ElementKind::kVariant:
      return VariantCopy(static_cast<VARIANT*>(element), static_cast<const VARIANT*>(value));
    case ElementKind::kString: {
      BSTR text = static_cast<BSTR>(value);
      BSTR duplicate = nullptr;
      if (text) {
        duplicate = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text));
        if (!duplicate) return E_OUTOFMEMORY;
      }
      BSTR* slot = static_cast<BSTR*>(element);
      BSTR old = *slot;
      *slot = duplicate;
      SysFreeString(old);
      return S_OK;
    }
    case ElementKind::kInterface: {
      IUnknown* object = static_cast<IUnknown*>(value);
      // Reference the new object first: it may be the one the slot holds.
      if (object) object->AddRef();
      IUnknown** slot = static_cast<IUnknown**>(element);
      IUnknown* old = *slot;
      *slot = object;
      if (old) old->Release();
      return S_OK;
    }
    case ElementKind::kPlain:
      std::memcpy(element, value, array->cbElements);
      return S_OK;
  }
  return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* array) { return array ? array->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* array) { return array ? array->cbElements : 0; }

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* lowerBound) {
  if (!array || !lowerBound) return E_INVALIDARG;
  if (dim == 0 || dim > array->cDims) return DISP_E_BADINDEX;
  if (array->cDims != 1) return E_INVALIDARG;
  *lowerBound = array->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* upperBound) {
  if (!array || !upperBound) return E_INVALIDARG;
  if (dim == 0 || dim > array->cDims) return DISP_E_BADINDEX;
  if (array->cDims != 1) return E_INVALIDARG;
  const SAFEARRAYBOUND& bound = array->rgsabound[0];
  *upperBound = static_cast<LONG>(static_cast<int64_t>(bound.lLbound) + bound.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt) {
  if (!array || !vt) return E_INVALIDARG;
  if (array->fFeatures & FADF_HAVEVARTYPE) {
    uint32_t stored;
    std::memcpy(&stored, reinterpret_cast<const char*>(array) - sizeof stored, sizeof stored);
    *vt = static_cast<VARTYPE>(stored);
    return S_OK;
  }
  // A descriptor built by hand may carry only the kind flags.
  if (array->fFeatures & FADF_BSTR) {
    *vt = VT_BSTR;
  } else if (array->fFeatures & FADF_UNKNOWN) {
    *vt = VT_UNKNOWN;
  } else if (array->fFeatures & FADF_DISPATCH) {
    *vt = VT_DISPATCH;
  } else if (array->fFeatures & FADF_VARIANT) {
    *vt = VT_VARIANT;
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* array) {
  if (!array) return E_INVALIDARG;
  ULONG locks = __atomic_load_n(&array->cLocks, __ATOMIC_RELAXED);
  do {
    if (locks >= kMaxLocks) return E_UNEXPECTED;
  } while (!__atomic_compare_exchange_n(&array->cLocks, &locks, locks + 1, true, __ATOMIC_ACQ_REL,
                                        __ATOMIC_RELAXED));
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* array) {
  if (!array) return E_INVALIDARG;
  ULONG locks = __atomic_load_n(&array->cLocks, __ATOMIC_RELAXED);
  do {
    if (locks == 0) return E_UNEXPECTED;
  } while (!__atomic_compare_exchange_n(&array->cLocks, &locks, locks - 1, true, __ATOMIC_ACQ_REL,
                                        __ATOMIC_RELAXED));
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (!array || !data) return E_INVALIDARG;
  const HRESULT hr = SafeArrayLock(array);
  if (FAILED(hr)) return hr;
  *data = array->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) { return SafeArrayUnlock(array); }

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, LONG* indices, void** element) {
  if (!indices || !element) return E_INVALIDARG;
  const HRESULT hr = CheckArray(array);
  if (FAILED(hr)) return hr;
  void* address = ElementAt(*array, indices[0]);
  if (!address) return DISP_E_BADINDEX;
  *element = address;
  return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* array, SAFEARRAYBOUND* bound) {
  if (!bound) return E_INVALIDARG;
  HRESULT hr = CheckArray(array);
  if (FAILED(hr)) return hr;
  if (IsLocked(*array)) return DISP_E_ARRAYISLOCKED;
  // Storage we did not allocate cannot be reallocated.
  if (array->fFeatures & (kForeignStorage | FADF_FIXEDSIZE)) return E_INVALIDARG;
  if (!IndicesFit(*bound)) return E_INVALIDARG;
  if (!SizeFits(bound->cElements, array->cbElements)) return E_OUTOFMEMORY;
  const ULONG oldCount = Count(*array);
  const ULONG newCount = bound->cElements;
  const size_t elementSize = array->cbElements;
  if (newCount < oldCount) {
    hr = ClearElements(*array, newCount, oldCount - newCount);
    if (FAILED(hr)) return hr;
  }
  if (newCount == 0) {
    std::free(array->pvData);
    array->pvData = nullptr;
  } else if (newCount != oldCount) {
    void* data = std::realloc(array->pvData, newCount * elementSize);
    if (data) {
      array->pvData = data;
    } else if (newCount > oldCount) {
      return E_OUTOFMEMORY;
    }  // else a failed shrink keeps the larger block, which still holds every element
    if (newCount > oldCount) {
      std::memset(static_cast<char*>(data) + oldCount * elementSize, 0, (newCount - oldCount) * elementSize);
    }
  }
  array->rgsabound[0] = *bound;
  return S_OK;
}
