#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "comrt/bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/diagnostics.h"
#include "comrt/object.h"
#include "comrt/safearray.h"
#include "comrt/variant.h"

namespace {

// An object whose references the tests can count.
class Probe : public comrt::ObjectRoot<Probe, IDispatch> {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

CComPtr<IDispatch> MakeProbe() {
  CComPtr<IDispatch> probe;
  EXPECT_EQ(S_OK, comrt::CreateComObject<Probe>(nullptr, IID_IDispatch, reinterpret_cast<void**>(&probe)));
  return probe;
}

ULONG Refs(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

comrt::diagnostics::LiveCounts Live() { return comrt::diagnostics::GetLiveCounts(); }

std::u16string Text(BSTR text) { return std::u16string(text, SysStringLen(text)); }

VARIANT StringValue(const std::u16string& text) {
  VARIANT value;
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return value;
}

VARIANT ArrayValue(SAFEARRAY* array) {
  VARIANT value;
  value.vt = VT_ARRAY | VT_VARIANT;
  value.parray = array;
  return value;
}

void Put(SAFEARRAY* array, LONG index, VARIANT value) {
  EXPECT_EQ(S_OK, SafeArrayPutElement(array, &index, &value));
  VariantClear(&value);
}

const std::u16string kZeroed(u"a\0b", 3);

TEST(VariantClearTest, FreesWhatTheValueOwns) {
  const auto before = Live();
  CComPtr<IDispatch> probe = MakeProbe();
  VARIANT value = StringValue(u"text");
  EXPECT_EQ(S_OK, VariantClear(&value));
  EXPECT_EQ(VT_EMPTY, value.vt);

  value.vt = VT_DISPATCH;
  value.pdispVal = probe;
  probe.p->AddRef();
  EXPECT_EQ(S_OK, VariantClear(&value));
  EXPECT_EQ(1u, Refs(probe));

  value = ArrayValue(SafeArrayCreateVector(VT_VARIANT, 0, 2));
  EXPECT_EQ(S_OK, VariantClear(&value));
  probe.Release();
  EXPECT_EQ(before, Live());
}

TEST(VariantClearTest, ReferencesOwnNothing) {
  BSTR text = SysAllocString(u"referent");
  VARIANT value;
  value.vt = VT_BYREF | VT_BSTR;
  value.pbstrVal = &text;
  EXPECT_EQ(S_OK, VariantClear(&value));
  EXPECT_EQ(u"referent", Text(text));
  SysFreeString(text);
}

TEST(VariantClearTest, NestedArraysReleaseEverything) {
  const auto before = Live();
  CComPtr<IDispatch> probe = MakeProbe();
  VARIANT object;
  object.vt = VT_UNKNOWN;
  object.punkVal = probe;
  LONG index = 0;
  SAFEARRAY* inner = SafeArrayCreateVector(VT_VARIANT, -1, 2);
  Put(inner, -1, StringValue(u"deep"));
  EXPECT_EQ(S_OK, SafeArrayPutElement(inner, &index, &object));

  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 1);
  BSTR listed = SysAllocString(u"listed");
  EXPECT_EQ(S_OK, SafeArrayPutElement(strings, &index, listed));
  SysFreeString(listed);

  SAFEARRAY* outer = SafeArrayCreateVector(VT_VARIANT, 0, 4);
  Put(outer, 0, ArrayValue(inner));
  Put(outer, 1, StringValue(u"shallow"));
  index = 2;
  EXPECT_EQ(S_OK, SafeArrayPutElement(outer, &index, &object));
  VARIANT stringArray;
  stringArray.vt = VT_ARRAY | VT_BSTR;
  stringArray.parray = strings;
  Put(outer, 3, stringArray);
  EXPECT_EQ(3u, Refs(probe));  // ours, the inner array's, the outer array's

  VARIANT value = ArrayValue(outer);
  EXPECT_EQ(S_OK, VariantClear(&value));
  EXPECT_EQ(1u, Refs(probe));
  probe.Release();
  EXPECT_EQ(before, Live());
}

TEST(VariantClearTest, RefusesBadTypesAndLockedArrays) {
  VARIANT value;
  value.lVal = 7;
  const VARTYPE bad[] = {VT_RECORD,           VT_VARIANT,          VT_VOID,           VT_LPWSTR,
                         VT_VECTOR | VT_I4,   VT_RESERVED | VT_I4, VT_ARRAY | VT_RECORD, VT_BYREF | VT_RECORD,
                         VT_ARRAY | VT_VOID,  0x0FFF,              VT_ILLEGAL};
  for (VARTYPE vt : bad) {
    value.vt = vt;
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantClear(&value)) << vt;
    EXPECT_EQ(vt, value.vt);
    EXPECT_EQ(7, value.lVal);
  }
  EXPECT_EQ(E_INVALIDARG, VariantClear(nullptr));
  VariantInit(nullptr);

  value = ArrayValue(SafeArrayCreateVector(VT_VARIANT, 0, 1));
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

  // An odd byte count is kept too.
  SysFreeString(source.bstrVal);
  source.bstrVal = SysAllocStringByteLen("xyz", 3);
  EXPECT_EQ(S_OK, VariantCopy(&copy, &source));  // also frees the previous copy
  EXPECT_EQ(3u, SysStringByteLen(copy.bstrVal));
  VariantClear(&source);
  VariantClear(&copy);
}

TEST(VariantCopyTest, ArraysOfStringVariantsAreIndependent) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 5, 2);
  Put(array, 5, StringValue(u"first"));
  Put(array, 6, StringValue(kZeroed));
  VARIANT source = ArrayValue(array);
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(S_OK, VariantCopy(&copy, &source));
  ASSERT_NE(source.parray, copy.parray);

  Put(copy.parray, 5, StringValue(u"changed"));
  VARIANT* original = nullptr;
  VARIANT* copied = nullptr;
  LONG index = 5;
  SafeArrayPtrOfIndex(source.parray, &index, reinterpret_cast<void**>(&original));
  SafeArrayPtrOfIndex(copy.parray, &index, reinterpret_cast<void**>(&copied));
  EXPECT_EQ(u"first", Text(original->bstrVal));
  EXPECT_EQ(u"changed", Text(copied->bstrVal));
  index = 6;
  SafeArrayPtrOfIndex(source.parray, &index, reinterpret_cast<void**>(&original));
  SafeArrayPtrOfIndex(copy.parray, &index, reinterpret_cast<void**>(&copied));
  EXPECT_NE(original->bstrVal, copied->bstrVal);
  EXPECT_EQ(kZeroed, Text(copied->bstrVal));
  VariantClear(&source);
  VariantClear(&copy);
}

TEST(VariantCopyTest, InterfacesGainAReference) {
  CComPtr<IDispatch> probe = MakeProbe();
  VARIANT source;
  source.vt = VT_DISPATCH;
  source.pdispVal = probe;
  VARIANT copy;
  VariantInit(&copy);
  EXPECT_EQ(S_OK, VariantCopy(&copy, &source));
  EXPECT_EQ(2u, Refs(probe));
  VariantClear(&copy);
  EXPECT_EQ(1u, Refs(probe));
}

TEST(VariantCopyTest, ReferencesAndDecimalsCopyAsBytes) {
  LONG number = 4;
  VARIANT source;
  source.vt = VT_BYREF | VT_I4;
  source.plVal = &number;
  VARIANT copy;
  VariantInit(&copy);
  EXPECT_EQ(S_OK, VariantCopy(&copy, &source));
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

  // The source lives in the array the destination is about to free.
  VariantClear(&value);
  value = ArrayValue(SafeArrayCreateVector(VT_VARIANT, 0, 1));
  Put(value.parray, 0, StringValue(u"inside"));
  VARIANT* element = nullptr;
  LONG zero = 0;
  SafeArrayPtrOfIndex(value.parray, &zero, reinterpret_cast<void**>(&element));
  EXPECT_EQ(S_OK, VariantCopy(&value, element));
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
  EXPECT_EQ(u"kept", Text(dest.bstrVal));
  EXPECT_EQ(E_INVALIDARG, VariantCopy(nullptr, &dest));
  EXPECT_EQ(E_INVALIDARG, VariantCopy(&dest, nullptr));
  EXPECT_EQ(E_INVALIDARG, VariantCopyInd(&dest, nullptr));
  VariantClear(&dest);
}

TEST(VariantCopyIndTest, DereferencesOneLevel) {
  CComPtr<IDispatch> probe = MakeProbe();
  BSTR text = SysAllocStringLen(kZeroed.data(), 3);
  SHORT number = -2;
  DECIMAL decimal{};
  decimal.Lo64 = 15;
  decimal.scale = 1;
  VARIANT source;
  VARIANT copy;
  VariantInit(&copy);

  source.vt = VT_BYREF | VT_I2;
  source.piVal = &number;
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_I2, copy.vt);
  EXPECT_EQ(-2, copy.iVal);

  source.vt = VT_BYREF | VT_BSTR;
  source.pbstrVal = &text;
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_BSTR, copy.vt);
  EXPECT_NE(text, copy.bstrVal);
  EXPECT_EQ(kZeroed, Text(copy.bstrVal));

  IDispatch* raw = probe;
  source.vt = VT_BYREF | VT_DISPATCH;
  source.ppdispVal = &raw;
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_DISPATCH, copy.vt);
  EXPECT_EQ(2u, Refs(probe));

  source.vt = VT_BYREF | VT_DECIMAL;
  source.pdecVal = &decimal;
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_DECIMAL, copy.vt);
  EXPECT_EQ(15u, copy.decVal.Lo64);
  EXPECT_EQ(1, copy.decVal.scale);
  EXPECT_EQ(1u, Refs(probe));

  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 1);
  source.vt = VT_BYREF | VT_ARRAY | VT_I4;
  source.pparray = &array;
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_ARRAY | VT_I4, copy.vt);
  EXPECT_NE(array, copy.parray);
  SafeArrayDestroy(array);
  VariantClear(&copy);
  SysFreeString(text);
}

TEST(VariantCopyIndTest, ReferencedVariants) {
  SHORT number = 9;
  VARIANT byRefNumber;
  byRefNumber.vt = VT_BYREF | VT_I2;
  byRefNumber.piVal = &number;
  VARIANT text = StringValue(u"inner");
  VARIANT source;
  source.vt = VT_BYREF | VT_VARIANT;
  VARIANT copy;
  VariantInit(&copy);

  source.pvarVal = &text;
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_NE(text.bstrVal, copy.bstrVal);
  EXPECT_EQ(u"inner", Text(copy.bstrVal));

  // A by-reference value inside is resolved as well.
  source.pvarVal = &byRefNumber;
  ASSERT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_EQ(VT_I2, copy.vt);
  EXPECT_EQ(9, copy.iVal);

  // But not a reference to a reference to a variant, nor a null reference.
  VARIANT chained;
  chained.vt = VT_BYREF | VT_VARIANT;
  chained.pvarVal = &text;
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

TEST(VariantCopyIndTest, ValuesCopyAsVariantCopyDoes) {
  VARIANT source = StringValue(u"plain");
  VARIANT copy;
  VariantInit(&copy);
  EXPECT_EQ(S_OK, VariantCopyInd(&copy, &source));
  EXPECT_NE(source.bstrVal, copy.bstrVal);
  EXPECT_EQ(u"plain", Text(copy.bstrVal));
  VariantClear(&source);
  VariantClear(&copy);
}

}  // namespace
