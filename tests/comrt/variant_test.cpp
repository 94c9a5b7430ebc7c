#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>

#include "comrt/bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/diagnostics.h"
#include "comrt/object.h"
#include "support/probe.h"
#include "comrt/safearray.h"
#include "comrt/variant.h"

namespace {

using comrt_test::MakeDispatchProbe;
using comrt_test::MakeProbe;
using comrt_test::Refs;
using comrt_test::Text;

comrt::diagnostics::LiveCounts Live() { return comrt::diagnostics::GetLiveCounts(); }


const std::u16string kZeroed(u"a\0b", 3);

VARIANT Value(VARTYPE vt, void* pointer) {
  VARIANT value;
  value.vt = vt;
  value.byref = pointer;
  return value;
}

VARIANT StringValue(const std::u16string& text) {
  return Value(VT_BSTR, SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

VARIANT& At(SAFEARRAY* array, LONG index) {
  void* element = nullptr;
  EXPECT_EQ(S_OK, SafeArrayPtrOfIndex(array, &index, &element));
  return *static_cast<VARIANT*>(element);
}

TEST(VariantClearTest, NestedArraysReleaseEverything) {
  const auto before = Live();
  CComPtr<IUnknown> probe = MakeProbe();
  VARIANT object = Value(VT_UNKNOWN, probe.p);
  SAFEARRAY* inner = SafeArrayCreateVector(VT_VARIANT, -1, 2);
  At(inner, -1) = StringValue(u"deep");
  LONG index = 0;
  EXPECT_EQ(S_OK, SafeArrayPutElement(inner, &index, &object));
  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 1);
  BSTR listed = SysAllocString(u"listed");
  EXPECT_EQ(S_OK, SafeArrayPutElement(strings, &index, listed));
  SysFreeString(listed);

  SAFEARRAY* outer = SafeArrayCreateVector(VT_VARIANT, 0, 4);
  At(outer, 0) = Value(VT_ARRAY | VT_VARIANT, inner);  // adopted
  At(outer, 1) = StringValue(u"shallow");
  At(outer, 3) = Value(VT_ARRAY | VT_BSTR, strings);
  index = 2;
  EXPECT_EQ(S_OK, SafeArrayPutElement(outer, &index, &object));
  EXPECT_EQ(3u, Refs(probe));  // ours, the inner array's, the outer array's

  VARIANT value = Value(VT_ARRAY | VT_VARIANT, outer);
  EXPECT_EQ(S_OK, VariantClear(&value));
  EXPECT_EQ(VT_EMPTY, value.vt);
  EXPECT_EQ(1u, Refs(probe));
  probe.Release();
  EXPECT_EQ(before, Live());
}

BYTE& ByteAt(SAFEARRAY* array, LONG index) {
  void* element = nullptr;
  EXPECT_EQ(S_OK, SafeArrayPtrOfIndex(array, &index, &element));
  return *static_cast<BYTE*>(element);
}

VARIANT ByteArrayValue(std::initializer_list<BYTE> bytes) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), static_cast<BYTE*>(array->pvData));
  return Value(VT_ARRAY | VT_UI1, array);
}

// Byte arrays, alone and inside arrays of variants, are copied deeply and
// freed by clearing (the test main fails the test on any array left over).
TEST(VariantByteArrayTest, CopiesAreDeepAtEveryLevelAndClearingFreesThem) {
  VARIANT bytes = ByteArrayValue({1, 2, 3});
  VARIANT copy;
  VariantInit(&copy);
  EXPECT_EQ(S_OK, VariantCopy(&copy, &bytes));
  ASSERT_EQ(VT_ARRAY | VT_UI1, copy.vt);
  ByteAt(copy.parray, 0) = 9;
  EXPECT_EQ(1, ByteAt(bytes.parray, 0));
  EXPECT_EQ(3, ByteAt(copy.parray, 2));

  SAFEARRAY* outer = SafeArrayCreateVector(VT_VARIANT, 1, 2);
  At(outer, 1) = ByteArrayValue({});  // adopted: an empty byte array
  LONG index = 2;
  EXPECT_EQ(S_OK, SafeArrayPutElement(outer, &index, &bytes));  // copied in
  EXPECT_NE(bytes.parray, At(outer, 2).parray);
  VARIANT nested = Value(VT_ARRAY | VT_VARIANT, outer);
  EXPECT_EQ(S_OK, VariantCopy(&copy, &nested));  // frees the earlier copy
  EXPECT_NE(At(outer, 2).parray, At(copy.parray, 2).parray);
  EXPECT_EQ(0u, At(copy.parray, 1).parray->rgsabound[0].cElements);
  VARIANT out;
  EXPECT_EQ(S_OK, SafeArrayGetElement(copy.parray, &index, &out));
  EXPECT_EQ(2, ByteAt(out.parray, 1));
  for (VARIANT* value : {&out, &copy, &nested, &bytes}) EXPECT_EQ(S_OK, VariantClear(value));
}

TEST(VariantClearTest, ReferencesOwnNothing) {
  BSTR text = SysAllocString(u"referent");
  VARIANT value = Value(VT_BYREF | VT_BSTR, &text);
  EXPECT_EQ(S_OK, VariantClear(&value));
  EXPECT_EQ(u"referent", Text(text));
  SysFreeString(text);
}

TEST(VariantClearTest, RefusesBadTypesAndLockedArrays) {
  VARIANT value;
  value.lVal = 7;
  const VARTYPE bad[] = {VT_RECORD,          VT_VARIANT,           VT_VOID,           VT_LPWSTR,
                         VT_VECTOR | VT_I4,  VT_RESERVED | VT_I4,  VT_ARRAY | VT_RECORD,
                         VT_BYREF | VT_RECORD, VT_ARRAY | VT_VOID, 0x0FFF,            VT_ILLEGAL,
                         // No array holds nothing.
                         VT_ARRAY | VT_EMPTY, VT_ARRAY | VT_NULL, VT_BYREF | VT_ARRAY | VT_EMPTY};
  for (VARTYPE vt : bad) {
    value.vt = vt;
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantClear(&value)) << vt;
    EXPECT_EQ(vt, value.vt);
    EXPECT_EQ(7, value.lVal);
  }
  EXPECT_EQ(E_INVALIDARG, VariantClear(nullptr));
  VariantInit(nullptr);

  value = Value(VT_ARRAY | VT_VARIANT, SafeArrayCreateVector(VT_VARIANT, 0, 1));
  SafeArrayLock(value.parray);
  EXPECT_EQ(DISP_E_ARRAYISLOCKED, VariantClear(&value));
  EXPECT_EQ(VT_ARRAY | VT_VARIANT, value.vt);
  SafeArrayUnlock(value.parray);
  EXPECT_EQ(S_OK, VariantClear(&value));
}

TEST(VariantCopyTest, StringsAreDuplicatedWithEmbeddedZeros) {
  VARIANT source = StringValue(kZeroed);
  VARIANT copy;
  VariantInit(&copy);
  EXPECT_EQ(S_OK, VariantCopy(&copy, &source));
  EXPECT_NE(source.bstrVal, copy.bstrVal);
  EXPECT_EQ(kZeroed, Text(copy.bstrVal));
  VariantClear(&source);
  source = Value(VT_BSTR, SysAllocStringByteLen("xyz", 3));
  EXPECT_EQ(S_OK, VariantCopy(&copy, &source));  // also frees the previous copy
  EXPECT_EQ(3u, SysStringByteLen(copy.bstrVal));
  VariantClear(&source);
  VariantClear(&copy);
}

TEST(VariantCopyTest, ArraysOfStringVariantsAreIndependent) {
  VARIANT source = Value(VT_ARRAY | VT_VARIANT, SafeArrayCreateVector(VT_VARIANT, 5, 2));
  At(source.parray, 5) = StringValue(u"first");
  At(source.parray, 6) = StringValue(kZeroed);
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(S_OK, VariantCopy(&copy, &source));
  ASSERT_NE(source.parray, copy.parray);
  for (LONG index : {5, 6}) EXPECT_NE(At(source.parray, index).bstrVal, At(copy.parray, index).bstrVal);
  EXPECT_EQ(kZeroed, Text(At(copy.parray, 6).bstrVal));

  VARIANT changed = StringValue(u"changed");
  LONG index = 5;
  SafeArrayPutElement(copy.parray, &index, &changed);
  VariantClear(&changed);
  EXPECT_EQ(u"first", Text(At(source.parray, 5).bstrVal));
  VariantClear(&source);
  VariantClear(&copy);
}

TEST(VariantCopyTest, InterfacesReferencesAndDecimals) {
  CComPtr<IUnknown> probe = MakeProbe();
  VARIANT source = Value(VT_DISPATCH, probe.p);  // handled alike; the type tag is what counts
  VARIANT copy;
  VariantInit(&copy);
  EXPECT_EQ(S_OK, VariantCopy(&copy, &source));
  EXPECT_EQ(2u, Refs(probe));

  LONG number = 4;
  source = Value(VT_BYREF | VT_I4, &number);
  EXPECT_EQ(S_OK, VariantCopy(&copy, &source));
  EXPECT_EQ(1u, Refs(probe));
  EXPECT_EQ(VT_BYREF | VT_I4, copy.vt);
  EXPECT_EQ(&number, copy.plVal);

  source.decVal.Hi32 = 1;
  source.decVal.Lo64 = 0x0123456789ABCDEFull;
  source.decVal.scale = 3;
  source.decVal.sign = DECIMAL_NEG;
  source.vt = VT_DECIMAL;
  EXPECT_EQ(S_OK, VariantCopy(&copy, &source));
  EXPECT_EQ(0, std::memcmp(&source, &copy, sizeof(DECIMAL)));
}

TEST(VariantCopyTest, OntoItselfOrFromInsideTheDestination) {
  VARIANT value = StringValue(u"same");
  BSTR held = value.bstrVal;
  EXPECT_EQ(S_OK, VariantCopy(&value, &value));
  EXPECT_EQ(held, value.bstrVal);
  VariantClear(&value);

  // The source lives in the array the destination is about to free.
  value = Value(VT_ARRAY | VT_VARIANT, SafeArrayCreateVector(VT_VARIANT, 0, 1));
  At(value.parray, 0) = StringValue(u"inside");
  EXPECT_EQ(S_OK, VariantCopy(&value, &At(value.parray, 0)));
  EXPECT_EQ(VT_BSTR, value.vt);
  EXPECT_EQ(u"inside", Text(value.bstrVal));
  VariantClear(&value);
}

TEST(VariantCopyTest, FailuresLeaveTheDestinationAlone) {
  VARIANT dest = StringValue(u"kept");
  VARIANT source;
  source.vt = VT_RECORD;
  EXPECT_EQ(DISP_E_BADVARTYPE, VariantCopy(&dest, &source));
  EXPECT_EQ(DISP_E_BADVARTYPE, VariantCopyInd(&dest, &source));
  // A reference under a tag that names nothing is never followed.
  source.vt = VT_BYREF | VT_ARRAY | VT_EMPTY;
  source.byref = reinterpret_cast<void*>(uintptr_t{0x10});
  EXPECT_EQ(DISP_E_BADVARTYPE, VariantCopyInd(&dest, &source));
  EXPECT_EQ(u"kept", Text(dest.bstrVal));
  EXPECT_EQ(E_INVALIDARG, VariantCopy(nullptr, &dest));
  EXPECT_EQ(E_INVALIDARG, VariantCopy(&dest, nullptr));
  EXPECT_EQ(E_INVALIDARG, VariantCopyInd(&dest, nullptr));
  VariantClear(&dest);
}

TEST(VariantCopyIndTest, CopiesWhatTheReferencePointsTo) {
  CComPtr<IUnknown> probe = MakeProbe();
  BSTR text = SysAllocStringLen(kZeroed.data(), 3);
  SHORT number = -2;
  IUnknown* raw = probe;
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 1);
  VARIANT copy;
  VariantInit(&copy);

  VARIANT source = Value(VT_BYREF | VT_I2, &number);
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_I2, copy.vt);
  EXPECT_EQ(-2, copy.iVal);

  source = Value(VT_BYREF | VT_BSTR, &text);
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_BSTR, copy.vt);
  EXPECT_NE(text, copy.bstrVal);
  EXPECT_EQ(kZeroed, Text(copy.bstrVal));

  source = Value(VT_BYREF | VT_UNKNOWN, &raw);
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_UNKNOWN, copy.vt);
  EXPECT_EQ(2u, Refs(probe));

  DECIMAL decimal{};
  decimal.Lo64 = 15;
  decimal.scale = 1;
  source = Value(VT_BYREF | VT_DECIMAL, &decimal);
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_DECIMAL, copy.vt);  // not overwritten by the decimal's reserved word
  EXPECT_EQ(15u, copy.decVal.Lo64);

  source = Value(VT_BYREF | VT_ARRAY | VT_I4, &array);
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_ARRAY | VT_I4, copy.vt);
  EXPECT_NE(array, copy.parray);
  EXPECT_EQ(1u, Refs(probe));

  SafeArrayDestroy(array);
  VariantClear(&copy);
  SysFreeString(text);
}

TEST(VariantCopyIndTest, ReferencedVariants) {
  SHORT number = 9;
  VARIANT byRefNumber = Value(VT_BYREF | VT_I2, &number);
  VARIANT text = StringValue(u"inner");
  VARIANT copy;
  VariantInit(&copy);

  VARIANT source = Value(VT_BYREF | VT_VARIANT, &text);
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_NE(text.bstrVal, copy.bstrVal);
  EXPECT_EQ(u"inner", Text(copy.bstrVal));

  // A by-reference value inside is resolved as well...
  source.pvarVal = &byRefNumber;
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_I2, copy.vt);
  EXPECT_EQ(9, copy.iVal);

  // ...but not a reference to a reference to a variant, nor a null reference.
  VARIANT chained = Value(VT_BYREF | VT_VARIANT, &text);
  source.pvarVal = &chained;
  EXPECT_EQ(E_INVALIDARG, VariantCopyInd(&copy, &source));
  source.pvarVal = nullptr;
  EXPECT_EQ(E_INVALIDARG, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_I2, copy.vt);

  // Copying a reference onto the variant it refers to.
  source.pvarVal = &text;
  ASSERT_EQ(S_OK, VariantCopyInd(&text, &source));
  EXPECT_EQ(u"inner", Text(text.bstrVal));
  VariantClear(&text);
}

}  // namespace
