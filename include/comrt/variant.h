// VARIANT: the platform's tagged value, and its init, clear and copy.
#pragma once

#include "comrt/dispatch.h"

struct tagSAFEARRAY;
struct IRecordInfo;  // never defined: VT_RECORD values are refused

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_RECORD = 36,
  VT_INT_PTR = 37,
  VT_UINT_PTR = 38,
  VT_FILETIME = 64,
  VT_BLOB = 65,
  VT_CLSID = 72,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_RESERVED = 0x8000,
  VT_ILLEGAL = 0xffff,
  VT_ILLEGALMASKED = 0x0fff,
  VT_TYPEMASK = 0x0fff
};

struct tagVARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        tagSAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        tagSAFEARRAY** pparray;
        tagVARIANT* pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        DECIMAL* pdecVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        struct {
          PVOID pvRecord;
          IRecordInfo* pRecInfo;
        };
      };
    };
    DECIMAL decVal;
  };
};
typedef tagVARIANT* LPVARIANT;
typedef tagVARIANT* LPVARIANTARG;

static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*), "VARIANT has the platform's size");
static_assert(offsetof(VARIANT, llVal) == 8, "the value starts 8 bytes in");

// Sets the type to VT_EMPTY; touches nothing else.
COMRT_CAPI void VariantInit(VARIANTARG* value);
// Frees what the value owns (string, array, interface reference) and leaves it
// VT_EMPTY. DISP_E_BADVARTYPE (value untouched) for a type tag that is not a
// valid variant type; DISP_E_ARRAYISLOCKED (value untouched) for a locked
// array; E_INVALIDARG for null.
COMRT_CAPI HRESULT VariantClear(VARIANTARG* value);
// Clears `dest`, then makes it a deep copy of `source`: strings and arrays are
// duplicated, interfaces get a reference, by-reference values copy the
// reference. Copying a value onto itself changes nothing. DISP_E_BADVARTYPE
// for an invalid source type, E_OUTOFMEMORY (dest then VT_EMPTY), E_INVALIDARG
// for null pointers; fails as VariantClear when `dest` cannot be cleared.
COMRT_CAPI HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source);
// As VariantCopy, but a by-reference source is copied as the value it refers
// to; a referenced variant that is itself by reference is dereferenced too,
// except that a reference to a VT_BYREF|VT_VARIANT is E_INVALIDARG, as is a
// null reference. `dest` is untouched on those failures.
COMRT_CAPI HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* source);
