#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "comrt/bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/diagnostics.h"
#include "comrt/object.h"
#include "support/probe.h"
#include "comrt/safearray.h"

namespace {

using comrt_test::MakeDispatchProbe;
using comrt_test::MakeProbe;
using comrt_test::Refs;
using comrt_test::Text;

comrt::diagnostics::LiveCounts Live() { return comrt::diagnostics::GetLiveCounts(); }


template <class T>
T& At(SAFEARRAY* array, LONG index) {
  void* element = nullptr;
  EXPECT_EQ(S_OK, SafeArrayPtrOfIndex(array, &index, &element));
  return *static_cast<T*>(element);
}

TEST(SafeArrayCreateTest, DescribesEachElementType) {
  struct Expected {
    VARTYPE vt;
    ULONG size;
    USHORT kindFlag;
  };
  const Expected types[] = {
      {VT_I1, 1, 0},   {VT_UI1, 1, 0},  {VT_I2, 2, 0},    {VT_UI2, 2, 0},  {VT_BOOL, 2, 0},     {VT_I4, 4, 0},
      {VT_UI4, 4, 0},  {VT_INT, 4, 0},  {VT_UINT, 4, 0},  {VT_R4, 4, 0},   {VT_ERROR, 4, 0},    {VT_I8, 8, 0},
      {VT_UI8, 8, 0},  {VT_R8, 8, 0},   {VT_CY, 8, 0},    {VT_DATE, 8, 0}, {VT_DECIMAL, 16, 0},
      {VT_BSTR, 8, FADF_BSTR},          {VT_UNKNOWN, 8, FADF_UNKNOWN},     {VT_DISPATCH, 8, FADF_DISPATCH},
      {VT_VARIANT, sizeof(VARIANT), FADF_VARIANT},
  };
  for (const Expected& type : types) {
    SAFEARRAY* array = SafeArrayCreateVector(type.vt, 0, 3);
    ASSERT_NE(nullptr, array) << type.vt;
    EXPECT_EQ(type.size, SafeArrayGetElemsize(array));
    EXPECT_EQ(FADF_HAVEVARTYPE | type.kindFlag, array->fFeatures);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(S_OK, SafeArrayGetVartype(array, &vt));
    EXPECT_EQ(type.vt, vt);
    EXPECT_EQ(1u, SafeArrayGetDim(array));
    EXPECT_EQ(S_OK, SafeArrayDestroy(array));
  }
}

TEST(SafeArrayCreateTest, RefusesWhatItCannotHold) {
  const auto before = Live();
  const VARTYPE refused[] = {VT_EMPTY, VT_NULL, VT_RECORD, VT_VOID, VT_ARRAY | VT_I4, VT_BYREF | VT_I4, VT_ILLEGAL};
  for (VARTYPE vt : refused) EXPECT_EQ(nullptr, SafeArrayCreateVector(vt, 0, 1)) << vt;
  SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
  EXPECT_EQ(nullptr, SafeArrayCreate(VT_I4, 2, bounds));
  EXPECT_EQ(nullptr, SafeArrayCreate(VT_I4, 0, bounds));
  EXPECT_EQ(nullptr, SafeArrayCreate(VT_I4, 1, nullptr));
  // Storage past 32 bits, and upper bounds that would not be a LONG.
  EXPECT_EQ(nullptr, SafeArrayCreateVector(VT_VARIANT, 0, 0xFFFFFFFFu));
  EXPECT_EQ(nullptr, SafeArrayCreateVector(VT_I1, INT_MAX, 2));
  EXPECT_EQ(nullptr, SafeArrayCreateVector(VT_I1, INT_MIN, 0));
  EXPECT_EQ(before, Live());
  EXPECT_EQ(0u, SafeArrayGetDim(nullptr));
  EXPECT_EQ(0u, SafeArrayGetElemsize(nullptr));
}

TEST(SafeArrayBoundsTest, AnyLowerBoundAndNoWrapAround) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, -3, 5);
  LONG bound = 0;
  EXPECT_EQ(S_OK, SafeArrayGetLBound(array, 1, &bound));
  EXPECT_EQ(-3, bound);
  EXPECT_EQ(S_OK, SafeArrayGetUBound(array, 1, &bound));
  EXPECT_EQ(1, bound);
  EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetLBound(array, 0, &bound));
  EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetUBound(array, 2, &bound));

  LONG value = 0;
  for (LONG index : {-3, 1}) {
    value = index * 10;
    EXPECT_EQ(S_OK, SafeArrayPutElement(array, &index, &value));
    value = 0;
    EXPECT_EQ(S_OK, SafeArrayGetElement(array, &index, &value));
    EXPECT_EQ(index * 10, value);
  }
  void* element = nullptr;
  for (LONG index : {-4, 2, INT_MIN, INT_MAX}) {
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPutElement(array, &index, &value)) << index;
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(array, &index, &value)) << index;
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPtrOfIndex(array, &index, &element)) << index;
  }
  SafeArrayDestroy(array);

  // The extreme bounds that still fit.
  array = SafeArrayCreateVector(VT_I1, INT_MAX, 1);
  EXPECT_EQ(S_OK, SafeArrayGetUBound(array, 1, &bound));
  EXPECT_EQ(INT_MAX, bound);
  SafeArrayDestroy(array);
}

TEST(SafeArrayElementTest, StringsAreCopiedInAndOut) {
  const auto before = Live();
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 1, 2);
  BSTR text = SysAllocStringLen(u"a\0b", 3);
  LONG index = 1;
  EXPECT_EQ(S_OK, SafeArrayPutElement(array, &index, text));
  EXPECT_NE(text, At<BSTR>(array, 1));
  EXPECT_EQ(S_OK, SafeArrayPutElement(array, &index, text));  // replaces, freeing the old copy
  BSTR out = nullptr;
  EXPECT_EQ(S_OK, SafeArrayGetElement(array, &index, &out));
  EXPECT_EQ(std::u16string(u"a\0b", 3), Text(out));
  EXPECT_NE(out, At<BSTR>(array, 1));
  SysFreeString(out);
  EXPECT_EQ(S_OK, SafeArrayPutElement(array, &index, nullptr));
  EXPECT_EQ(nullptr, At<BSTR>(array, 1));
  EXPECT_EQ(S_OK, SafeArrayPutElement(array, &index, text));
  SysFreeString(text);
  EXPECT_EQ(S_OK, SafeArrayDestroy(array));
  EXPECT_EQ(before, Live());
}

TEST(SafeArrayElementTest, InterfacesAreReferenced) {
  CComPtr<IUnknown> first = MakeProbe();
  CComPtr<IUnknown> second = MakeProbe();
  SAFEARRAY* array = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
  LONG index = 0;
  EXPECT_EQ(S_OK, SafeArrayPutElement(array, &index, first.p));
  EXPECT_EQ(S_OK, SafeArrayPutElement(array, &index, first.p));  // same object again
  EXPECT_EQ(2u, Refs(first));
  IUnknown* out = nullptr;
  EXPECT_EQ(S_OK, SafeArrayGetElement(array, &index, &out));
  EXPECT_EQ(first.p, out);
  EXPECT_EQ(3u, Refs(first));
  out->Release();
  EXPECT_EQ(S_OK, SafeArrayPutElement(array, &index, second.p));
  EXPECT_EQ(1u, Refs(first));
  SafeArrayDestroy(array);
  EXPECT_EQ(1u, Refs(second));
}

TEST(SafeArrayElementTest, VariantsAreCopiedInAndOut) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  LONG index = 0;
  VARIANT value;
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(u"v");
  EXPECT_EQ(S_OK, SafeArrayPutElement(array, &index, &value));
  VariantClear(&value);
  value.vt = VT_RECORD;  // the receiving storage is not read (or cleared)
  EXPECT_EQ(S_OK, SafeArrayGetElement(array, &index, &value));
  EXPECT_NE(value.bstrVal, At<VARIANT>(array, 0).bstrVal);
  VariantClear(&value);

  value.vt = VT_RECORD;
  EXPECT_EQ(DISP_E_BADVARTYPE, SafeArrayPutElement(array, &index, &value));
  EXPECT_EQ(u"v", Text(At<VARIANT>(array, 0).bstrVal));
  EXPECT_EQ(E_INVALIDARG, SafeArrayPutElement(array, &index, nullptr));
  EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(array, nullptr, &value));
  EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(nullptr, &index, &value));
  SafeArrayDestroy(array);
}

TEST(SafeArrayLockTest, LockedArraysStayPut) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  EXPECT_EQ(E_UNEXPECTED, SafeArrayUnlock(array));
  void* data = nullptr;
  EXPECT_EQ(S_OK, SafeArrayAccessData(array, &data));
  EXPECT_EQ(array->pvData, data);
  EXPECT_EQ(S_OK, SafeArrayLock(array));
  SAFEARRAYBOUND bound = {4, 0};
  EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayRedim(array, &bound));
  EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroyData(array));
  EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(array));
  EXPECT_EQ(S_OK, SafeArrayUnlock(array));
  EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(array));
  EXPECT_EQ(S_OK, SafeArrayUnaccessData(array));
  EXPECT_EQ(E_INVALIDARG, SafeArrayLock(nullptr));
  EXPECT_EQ(E_INVALIDARG, SafeArrayAccessData(array, nullptr));
  EXPECT_EQ(S_OK, SafeArrayDestroy(array));
  EXPECT_EQ(S_OK, SafeArrayDestroy(nullptr));
}

TEST(SafeArrayLockTest, DestroyStopsAtAnElementHoldingALockedArray) {
  SAFEARRAY* inner = SafeArrayCreateVector(VT_I4, 0, 1);
  SAFEARRAY* outer = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  At<VARIANT>(outer, 0).vt = VT_ARRAY | VT_I4;
  At<VARIANT>(outer, 0).parray = inner;  // adopted
  SafeArrayLock(inner);
  EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(outer));
  EXPECT_EQ(inner, At<VARIANT>(outer, 0).parray);
  SafeArrayUnlock(inner);
  EXPECT_EQ(S_OK, SafeArrayDestroy(outer));
}

TEST(SafeArrayCopyTest, CopiesAreDeepAndKeepBounds) {
  CComPtr<IUnknown> probe = MakeProbe();
  SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, -2, 2);
  At<VARIANT>(variants, -2).vt = VT_BSTR;
  At<VARIANT>(variants, -2).bstrVal = SysAllocString(u"one");
  At<VARIANT>(variants, -1).vt = VT_UNKNOWN;
  At<VARIANT>(variants, -1).punkVal = probe;
  probe.p->AddRef();

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(S_OK, SafeArrayCopy(variants, &copy));
  LONG bound = 0;
  SafeArrayGetLBound(copy, 1, &bound);
  EXPECT_EQ(-2, bound);
  EXPECT_EQ(variants->fFeatures, copy->fFeatures);
  EXPECT_NE(At<VARIANT>(variants, -2).bstrVal, At<VARIANT>(copy, -2).bstrVal);
  EXPECT_EQ(u"one", Text(At<VARIANT>(copy, -2).bstrVal));
  EXPECT_EQ(3u, Refs(probe));
  SafeArrayDestroy(copy);
  EXPECT_EQ(2u, Refs(probe));
  SafeArrayDestroy(variants);

  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 2);
  At<BSTR>(strings, 1) = SysAllocStringByteLen("odd", 3);
  ASSERT_EQ(S_OK, SafeArrayCopy(strings, &copy));
  EXPECT_EQ(nullptr, At<BSTR>(copy, 0));
  EXPECT_EQ(3u, SysStringByteLen(At<BSTR>(copy, 1)));
  EXPECT_NE(At<BSTR>(strings, 1), At<BSTR>(copy, 1));
  SafeArrayDestroy(copy);
  SafeArrayDestroy(strings);

  EXPECT_EQ(S_OK, SafeArrayCopy(nullptr, &copy));
  EXPECT_EQ(nullptr, copy);
  EXPECT_EQ(E_INVALIDARG, SafeArrayCopy(strings, nullptr));
}

TEST(SafeArrayCopyTest, AFailedElementCopyLeavesNothing) {
  const auto before = Live();
  SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  At<VARIANT>(variants, 0).vt = VT_BSTR;
  At<VARIANT>(variants, 0).bstrVal = SysAllocString(u"copied first");
  At<VARIANT>(variants, 1).vt = VT_RECORD;
  SAFEARRAY* copy = nullptr;
  EXPECT_EQ(DISP_E_BADVARTYPE, SafeArrayCopy(variants, &copy));
  EXPECT_EQ(nullptr, copy);
  At<VARIANT>(variants, 1).vt = VT_EMPTY;
  SafeArrayDestroy(variants);
  EXPECT_EQ(before, Live());
}

TEST(SafeArrayRedimTest, ShrinkingFreesAndGrowingZeroes) {
  const auto before = Live();
  CComPtr<IUnknown> probe = MakeProbe();
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 3);
  At<VARIANT>(array, 1).vt = VT_BSTR;
  At<VARIANT>(array, 1).bstrVal = SysAllocString(u"dropped");
  At<VARIANT>(array, 2).vt = VT_UNKNOWN;
  At<VARIANT>(array, 2).punkVal = probe;
  probe.p->AddRef();
  At<VARIANT>(array, 0).vt = VT_I4;
  At<VARIANT>(array, 0).lVal = 5;

  SAFEARRAYBOUND bound = {1, 10};
  EXPECT_EQ(S_OK, SafeArrayRedim(array, &bound));
  EXPECT_EQ(1u, Refs(probe));
  EXPECT_EQ(before.strings, Live().strings);
  EXPECT_EQ(5, At<VARIANT>(array, 10).lVal);  // kept, under its new index

  bound = {4, -1};
  EXPECT_EQ(S_OK, SafeArrayRedim(array, &bound));
  EXPECT_EQ(5, At<VARIANT>(array, -1).lVal);
  for (LONG i = 0; i < 3; ++i) EXPECT_EQ(VT_EMPTY, At<VARIANT>(array, i).vt);

  bound = {0, 0};
  EXPECT_EQ(S_OK, SafeArrayRedim(array, &bound));
  LONG upper = 0;
  SafeArrayGetUBound(array, 1, &upper);
  EXPECT_EQ(-1, upper);
  bound = {2, INT_MAX};
  EXPECT_EQ(E_INVALIDARG, SafeArrayRedim(array, &bound));
  EXPECT_EQ(E_INVALIDARG, SafeArrayRedim(array, nullptr));
  EXPECT_EQ(E_INVALIDARG, SafeArrayRedim(nullptr, &bound));
  SafeArrayDestroy(array);
  probe.Release();
  EXPECT_EQ(before, Live());
}

}  // namespace
