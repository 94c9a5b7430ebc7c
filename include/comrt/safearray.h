// SAFEARRAY: one-dimensional arrays with any lower bound, of variants and of
// the scalar, string and interface types a variant holds.
#pragma once

#include "comrt/variant.h"

typedef struct tagSAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
} SAFEARRAYBOUND;
typedef SAFEARRAYBOUND* LPSAFEARRAYBOUND;

typedef struct tagSAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  PVOID pvData;
  SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY;
typedef SAFEARRAY* LPSAFEARRAY;

#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_RECORD 0x0020
#define FADF_HAVEIID 0x0040
#define FADF_HAVEVARTYPE 0x0080
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800

// Makes an array with every element zero (VT_EMPTY for variants). Null for an
// element type that arrays cannot hold, for `dims` other than 1, for bounds
// whose last index is not a LONG or whose storage needs more than 32 bits, or when
// memory runs out.
COMRT_CAPI SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds);
COMRT_CAPI SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG count);
// Frees the elements (clearing each) and the array; null is allowed.
// DISP_E_ARRAYISLOCKED while locked; when a variant element cannot be cleared
// (it holds a locked array) that element's failure, with the array kept.
// E_INVALIDARG for a descriptor that is not one-dimensional.
COMRT_CAPI HRESULT SafeArrayDestroy(SAFEARRAY* array);
// Frees the elements only, leaving every element zero; fails as
// SafeArrayDestroy does.
COMRT_CAPI HRESULT SafeArrayDestroyData(SAFEARRAY* array);
// Deep copy of the array and its elements; a null array gives a null copy.
// E_INVALIDARG for a null `copy`, E_OUTOFMEMORY, or an element's copy failure
// (no copy is made then).
COMRT_CAPI HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy);
// Copies one element out: `value` points to storage of the element type (a
// VARIANT for variant arrays, which receives a deep copy; a BSTR, which
// receives a new string; an interface pointer, which receives a reference).
// The VARIANT is treated as holding nothing before. DISP_E_BADINDEX for an
// index outside the bounds, E_INVALIDARG for null pointers, E_OUTOFMEMORY.
COMRT_CAPI HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value);
// Copies one element in, releasing what the element held: `value` is a
// VARIANT* for variant arrays, the BSTR itself for string arrays, the
// interface pointer itself for interface arrays, else a pointer to the value.
// Fails as SafeArrayGetElement, or as VariantCopy for a variant element.
COMRT_CAPI HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value);
COMRT_CAPI UINT SafeArrayGetDim(SAFEARRAY* array);
COMRT_CAPI UINT SafeArrayGetElemsize(SAFEARRAY* array);
// Bounds of dimension `dim` (counted from 1). DISP_E_BADINDEX for another dim.
COMRT_CAPI HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* lowerBound);
COMRT_CAPI HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* upperBound);
// The element type. E_INVALIDARG for null pointers or a descriptor that
// carries no type.
COMRT_CAPI HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
// Locking pins the data: a locked array cannot be destroyed or resized.
// E_INVALIDARG for null; E_UNEXPECTED past 65535 locks, or to unlock an array
// that is not locked.
COMRT_CAPI HRESULT SafeArrayLock(SAFEARRAY* array);
COMRT_CAPI HRESULT SafeArrayUnlock(SAFEARRAY* array);
// Locks and hands out the element storage; pair with SafeArrayUnaccessData.
COMRT_CAPI HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
COMRT_CAPI HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
// Address of one element; stable while the array is locked. DISP_E_BADINDEX.
COMRT_CAPI HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, LONG* indices, void** element);
// Changes the element count (and lower bound) of an unlocked array; elements
// that fall off are cleared, new ones are zero. DISP_E_ARRAYISLOCKED,
// E_INVALIDARG for a last index that is not a LONG, E_OUTOFMEMORY (also for
// storage past 4 GiB); the bounds are unchanged on failure.
COMRT_CAPI HRESULT SafeArrayRedim(SAFEARRAY* array, SAFEARRAYBOUND* bound);
