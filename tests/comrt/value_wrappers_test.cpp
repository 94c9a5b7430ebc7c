#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/com_safe_array.h"
#include "comrt/com_variant.h"
#include "comrt/diagnostics.h"
#include "comrt/object.h"
#include "support/probe.h"

namespace {

using comrt_test::MakeDispatchProbe;
using comrt_test::MakeProbe;
using comrt_test::Refs;
using comrt_test::Text;

int64_t LiveStrings() { return comrt::diagnostics::GetLiveCounts().strings; }


const std::u16string kZeroed(u"a\0b", 3);

HRESULT ThrownBy(void (*action)()) {
  try {
    action();
  } catch (const CAtlException& e) {
    return e;
  }
  return S_OK;
}

// --- CComBSTR

TEST(CComBstrTest, CopiesAreIndependentAndKeepEmbeddedZeros) {
  CComBSTR original(3, kZeroed.data());
  CComBSTR copy(original);
  EXPECT_NE(original.m_str, copy.m_str);
  EXPECT_EQ(kZeroed, Text(copy));
  CComBSTR assigned;
  assigned = original;
  EXPECT_EQ(kZeroed, Text(assigned));
  BSTR out = nullptr;
  EXPECT_EQ(S_OK, original.CopyTo(&out));
  EXPECT_EQ(kZeroed, Text(out));
  SysFreeString(out);
  EXPECT_EQ(E_POINTER, original.CopyTo(nullptr));

  CComBSTR moved(std::move(copy));
  EXPECT_EQ(nullptr, copy.m_str);
  EXPECT_EQ(kZeroed, Text(moved));

  EXPECT_EQ(nullptr, CComBSTR(0, nullptr).m_str);
  EXPECT_EQ(std::u16string(2, u'\0'), Text(CComBSTR(2, nullptr)));
  EXPECT_EQ(E_INVALIDARG, ThrownBy([] { CComBSTR(-1, u"x"); }));
}

TEST(CComBstrTest, AppendKeepsZerosAndMayReadItsOwnText) {
  CComBSTR text(u"prefix-tail");
  text = text.m_str + 7;
  EXPECT_EQ(u"tail", Text(text));
  EXPECT_EQ(S_OK, text.Append(text.m_str, 2));
  EXPECT_EQ(u"tailta", Text(text));
  text += text;
  EXPECT_EQ(u"tailtatailta", Text(text));

  CComBSTR zeroed(3, kZeroed.data());
  text.Empty();
  EXPECT_EQ(S_OK, text.Append(static_cast<LPCOLESTR>(nullptr)));
  EXPECT_EQ(nullptr, text.m_str);
  EXPECT_EQ(S_OK, text.AppendBSTR(zeroed));
  EXPECT_EQ(S_OK, text.Append(kZeroed.data(), 3));
  text += u"!";
  EXPECT_EQ(kZeroed + kZeroed + u"!", Text(text));
  EXPECT_EQ(14u, text.ByteLength());
  EXPECT_EQ(E_INVALIDARG, text.Append(u"y", -1));
}

TEST(CComBstrTest, EqualityTreatsNullAsEmpty) {
  CComBSTR null;
  CComBSTR empty(u"");
  EXPECT_TRUE(null == empty);
  EXPECT_TRUE(null == u"");
  EXPECT_TRUE(empty == static_cast<LPCOLESTR>(nullptr));
  EXPECT_TRUE(null == nullptr);
  EXPECT_FALSE(empty == nullptr);
  CComBSTR zeroed(3, kZeroed.data());
  EXPECT_TRUE(zeroed != u"a");  // the embedded zero does not end the comparison
  EXPECT_TRUE(zeroed != CComBSTR(u"a"));
  EXPECT_TRUE(zeroed == CComBSTR(3, kZeroed.data()));
}

TEST(CComBstrTest, OwnershipTransfers) {
  CComBSTR text;
  *&text = SysAllocString(u"out parameter");
  text.Attach(SysAllocString(u"attached"));  // frees the previous
  BSTR detached = text.Detach();
  EXPECT_TRUE(!text);
  EXPECT_EQ(u"attached", Text(detached));
  text.Attach(detached);
}

// --- CComVariant

TEST(CComVariantTest, ConstructorsPickTheType) {
  // The platform's integer names land on the platform's widths.
  EXPECT_EQ(VT_I4, CComVariant(LONG{7}).vt);
  EXPECT_EQ(VT_UI4, CComVariant(ULONG{7}).vt);
  EXPECT_EQ(VT_I8, CComVariant(LONGLONG{-1}).vt);
  EXPECT_EQ(-1, CComVariant(LONGLONG{-1}).llVal);
  EXPECT_EQ(VT_I8, CComVariant(7LL).vt);
  EXPECT_EQ(VT_UI8, CComVariant(ULONGLONG{7}).vt);
  EXPECT_EQ(VT_I1, CComVariant(int8_t{-7}).vt);
  EXPECT_EQ(VT_UI1, CComVariant(BYTE{7}).vt);
  EXPECT_EQ(VT_I2, CComVariant(SHORT{-7}).vt);
  EXPECT_EQ(VT_UI2, CComVariant(USHORT{7}).vt);
  EXPECT_EQ(VT_R4, CComVariant(1.5f).vt);
  EXPECT_EQ(VT_R8, CComVariant(1.5).vt);
  EXPECT_EQ(VARIANT_TRUE, CComVariant(true).boolVal);
  EXPECT_EQ(VT_BSTR, CComVariant(u"text").vt);
  EXPECT_EQ(nullptr, CComVariant(static_cast<LPCOLESTR>(nullptr)).bstrVal);
  EXPECT_EQ(kZeroed, Text(CComVariant(CComBSTR(3, kZeroed.data())).bstrVal));

  EXPECT_EQ(VT_INT, CComVariant(7, VT_INT).vt);
  EXPECT_EQ(E_FAIL, CComVariant(E_FAIL, VT_ERROR).scode);
  EXPECT_EQ(VT_UINT, CComVariant(7u, VT_UINT).vt);
  EXPECT_EQ(VT_DATE, CComVariant(1.5, VT_DATE).vt);
  EXPECT_EQ(E_INVALIDARG, ThrownBy([] { CComVariant(7, VT_UI4); }));
  EXPECT_EQ(E_INVALIDARG, ThrownBy([] { CComVariant(7u, VT_I4); }));
  EXPECT_EQ(E_INVALIDARG, ThrownBy([] { CComVariant(1.0, VT_R4); }));
}

TEST(CComVariantTest, CopiesAreDeep) {
  CComVariant original(CComBSTR(3, kZeroed.data()));
  CComVariant copy(original);
  EXPECT_NE(original.bstrVal, copy.bstrVal);
  EXPECT_EQ(kZeroed, Text(copy.bstrVal));
  CComVariant fromVariant(static_cast<const VARIANT&>(original));
  EXPECT_EQ(original, fromVariant);

  CComVariant moved(std::move(copy));
  EXPECT_EQ(VT_EMPTY, copy.vt);
  EXPECT_EQ(kZeroed, Text(moved.bstrVal));
  copy = std::move(moved);
  EXPECT_EQ(VT_EMPTY, moved.vt);

  // Assigning text from inside the held string.
  CComVariant text(u"prefix-tail");
  text = text.bstrVal + 7;
  EXPECT_EQ(u"tail", Text(text.bstrVal));
  text = 5;  // frees the string
  EXPECT_EQ(VT_I4, text.vt);
}

TEST(CComVariantTest, FailedCopiesLeaveAnErrorValueAndThrow) {
  static VARIANT bad;
  bad.vt = VT_RECORD;
  EXPECT_EQ(DISP_E_BADVARTYPE, ThrownBy([] { CComVariant copy(bad); }));
  const int64_t before = LiveStrings();
  CComVariant value(u"old");
  try {
    value = bad;
    ADD_FAILURE() << "no exception";
  } catch (const CAtlException& e) {
    EXPECT_EQ(DISP_E_BADVARTYPE, e.m_hr);
  }
  EXPECT_EQ(VT_ERROR, value.vt);
  EXPECT_EQ(DISP_E_BADVARTYPE, value.scode);
  EXPECT_EQ(before, LiveStrings());  // the old string was freed, not lost
}

TEST(CComVariantTest, InterfacesAreReferenced) {
  CComPtr<IDispatch> probe = MakeDispatchProbe();
  {
    CComVariant asDispatch(probe.p);
    EXPECT_EQ(VT_DISPATCH, asDispatch.vt);
    CComVariant asUnknown(static_cast<IUnknown*>(probe.p));
    EXPECT_EQ(VT_UNKNOWN, asUnknown.vt);
    EXPECT_EQ(3u, Refs(probe));
    EXPECT_TRUE(asDispatch != asUnknown);  // types differ
    EXPECT_TRUE(asUnknown == CComVariant(static_cast<IUnknown*>(probe.p)));
  }
  EXPECT_EQ(1u, Refs(probe));

  // Re-typing a value that holds the last reference to the same object.
  CComVariant only(probe.p);
  probe.Release();
  IUnknown* object = only.pdispVal;
  only = object;
  EXPECT_EQ(VT_UNKNOWN, only.vt);
  EXPECT_EQ(1u, Refs(only.punkVal));
}

TEST(CComVariantTest, AttachDetachAndCopyTo) {
  VARIANT raw;
  raw.vt = VT_BSTR;
  raw.bstrVal = SysAllocStringLen(kZeroed.data(), 3);
  CComVariant value(u"replaced");
  EXPECT_EQ(S_OK, value.Attach(&raw));
  EXPECT_EQ(VT_EMPTY, raw.vt);
  BSTR out = nullptr;
  EXPECT_EQ(S_OK, value.CopyTo(&out));
  EXPECT_EQ(kZeroed, Text(out));
  SysFreeString(out);
  EXPECT_EQ(E_POINTER, value.CopyTo(nullptr));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, CComVariant(3).CopyTo(&out));

  raw.vt = VT_BSTR;
  raw.bstrVal = SysAllocString(u"cleared by Detach");
  EXPECT_EQ(S_OK, value.Detach(&raw));
  EXPECT_EQ(VT_EMPTY, value.vt);
  EXPECT_EQ(kZeroed, Text(raw.bstrVal));
  VariantClear(&raw);
  EXPECT_EQ(E_INVALIDARG, value.Attach(nullptr));
  EXPECT_EQ(E_POINTER, value.Detach(nullptr));
}

TEST(CComVariantTest, EqualityComparesTypeAndValue) {
  EXPECT_EQ(CComVariant(u"abc"), CComVariant(u"abc"));
  EXPECT_NE(CComVariant(u"abc"), CComVariant(u"abd"));
  EXPECT_EQ(CComVariant(static_cast<LPCOLESTR>(nullptr)), CComVariant(u""));
  EXPECT_NE(CComVariant(CComBSTR(3, kZeroed.data())), CComVariant(u"a"));
  EXPECT_NE(CComVariant(5), CComVariant(5LL));
  EXPECT_NE(CComVariant(5), CComVariant(6));
  EXPECT_EQ(CComVariant(), CComVariant());


  auto decimal = [](ULONGLONG digits, BYTE scale, BYTE sign) {
    CComVariant value;
    value.decVal.Lo64 = digits;
    value.decVal.Hi32 = 0;
    value.decVal.scale = scale;
    value.decVal.sign = sign;
    value.vt = VT_DECIMAL;
    return value;
  };
  EXPECT_EQ(decimal(10, 1, 0), decimal(100, 2, 0));  // 1.0 and 1.00
  EXPECT_NE(decimal(10, 1, 0), decimal(100, 2, DECIMAL_NEG));
  EXPECT_NE(decimal(10, 1, 0), decimal(10, 2, 0));
  EXPECT_EQ(decimal(0, 0, 0), decimal(0, 5, DECIMAL_NEG));
}

TEST(CComVariantTest, HoldsACopyOfAnArray) {
  CComSafeArray<VARIANT> array(2);
  array.SetAt(1, CComVariant(u"element"));
  CComVariant value(static_cast<const SAFEARRAY*>(array));
  EXPECT_EQ(VT_ARRAY | VT_VARIANT, value.vt);
  EXPECT_NE(array.m_psa, value.parray);
  EXPECT_EQ(E_INVALIDARG, ThrownBy([] { CComVariant(static_cast<const SAFEARRAY*>(nullptr)); }));
}

TEST(CComVariantTest, ChangeTypeConvertsInPlaceOrFromASourceWithoutThrowing) {
  CComVariant value(u" 42 ");
  EXPECT_EQ(S_OK, value.ChangeType(VT_I2));
  EXPECT_EQ(VT_I2, value.vt);
  EXPECT_EQ(42, value.iVal);

  const CComVariant source(2.5);
  EXPECT_EQ(S_OK, value.ChangeType(VT_BSTR, &source));
  EXPECT_EQ(u"2.5", Text(value.bstrVal));
  EXPECT_EQ(VT_R8, source.vt);  // the source is only read
  EXPECT_EQ(S_OK, value.ChangeType(VT_UI1, &source));
  EXPECT_EQ(2, value.bVal);  // half to even

  // Failures come back as codes and leave the value as it was.
  value = u"not a number";
  const BSTR kept = value.bstrVal;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, value.ChangeType(VT_I4));
  const CComVariant large(1e10);
  EXPECT_EQ(DISP_E_OVERFLOW, value.ChangeType(VT_I4, &large));
  EXPECT_EQ(VT_BSTR, value.vt);
  EXPECT_EQ(kept, value.bstrVal);
}

// --- CComSafeArray<VARIANT>

TEST(CComSafeArrayTest, ElementsStayWhereTheyAre) {
  CComSafeArray<VARIANT> array(3, -1);
  EXPECT_EQ(3u, array.GetCount());
  EXPECT_EQ(-1, array.GetLowerBound());
  EXPECT_EQ(1, array.GetUpperBound());
  VARIANT& first = array[-1];
  EXPECT_EQ(VT_EMPTY, first.vt);
  EXPECT_EQ(S_OK, array.SetAt(-1, CComVariant(u"pinned")));
  EXPECT_EQ(S_OK, array.SetAt(1, CComVariant(2)));

  // Nobody else can move or free the storage while the wrapper holds it.
  SAFEARRAYBOUND bound = {10, 0};
  EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayRedim(array, &bound));
  EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(array));
  EXPECT_EQ(&first, &array.GetAt(-1));
  EXPECT_EQ(u"pinned", Text(first.bstrVal));
}

TEST(CComSafeArrayTest, SetAtCopiesOrAdopts) {
  CComSafeArray<VARIANT> array(2);
  LONG number = 8;
  VARIANT reference;
  reference.vt = VT_BYREF | VT_I4;
  reference.plVal = &number;
  EXPECT_EQ(S_OK, array.SetAt(0, reference));
  EXPECT_EQ(VT_I4, array[0].vt);  // the copy resolves the reference
  EXPECT_EQ(8, array[0].lVal);

  const int64_t before = LiveStrings();
  VARIANT owned;
  owned.vt = VT_BSTR;
  owned.bstrVal = SysAllocString(u"adopted");
  EXPECT_EQ(S_OK, array.SetAt(1, owned, false));
  EXPECT_EQ(owned.bstrVal, array[1].bstrVal);
  EXPECT_EQ(before + 1, LiveStrings());

  EXPECT_EQ(E_INVALIDARG, array.SetAt(2, reference));
  EXPECT_EQ(E_INVALIDARG, ThrownBy([] {
              CComSafeArray<VARIANT> small(1);
              small.GetAt(1);
            }));
  EXPECT_EQ(E_FAIL, ThrownBy([] { CComSafeArray<VARIANT>().GetAt(0); }));
}

TEST(CComSafeArrayTest, AddAndResizeKeepTheLowerBound) {
  CComSafeArray<VARIANT> array;
  EXPECT_EQ(0u, array.GetCount());
  EXPECT_EQ(S_OK, array.Add(CComVariant(1)));
  EXPECT_EQ(0, array.GetLowerBound());
  array.Destroy();
  EXPECT_EQ(S_OK, array.Create(1, -5));
  EXPECT_EQ(S_OK, array.Add(CComVariant(u"second")));
  EXPECT_EQ(-4, array.GetUpperBound());
  EXPECT_EQ(u"second", Text(array[-4].bstrVal));

  VARIANT bad;
  bad.vt = VT_RECORD;
  EXPECT_EQ(DISP_E_BADVARTYPE, array.Add(bad));
  EXPECT_EQ(2u, array.GetCount());  // no half-added element

  EXPECT_EQ(S_OK, array.Resize(1, -5));  // frees the string
  EXPECT_EQ(1u, array.GetCount());
}

TEST(CComSafeArrayTest, CopiesAreDeep) {
  CComSafeArray<VARIANT> original(1, 3);
  original.SetAt(3, CComVariant(u"text"));
  CComSafeArray<VARIANT> copy(original);
  EXPECT_NE(original.m_psa, copy.m_psa);
  EXPECT_EQ(3, copy.GetLowerBound());
  EXPECT_NE(original[3].bstrVal, copy[3].bstrVal);
  copy.SetAt(3, CComVariant(u"changed"));
  EXPECT_EQ(u"text", Text(original[3].bstrVal));

  EXPECT_EQ(S_OK, copy.CopyFrom(copy));  // from itself
  EXPECT_EQ(u"changed", Text(copy[3].bstrVal));
  SAFEARRAY* out = nullptr;
  EXPECT_EQ(S_OK, copy.CopyTo(&out));
  EXPECT_EQ(0u, out->cLocks);
  SafeArrayDestroy(out);
  EXPECT_EQ(E_POINTER, copy.CopyTo(nullptr));

  copy = CComSafeArray<VARIANT>();
  EXPECT_EQ(nullptr, copy.m_psa);
  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 1);
  EXPECT_EQ(E_INVALIDARG, copy.CopyFrom(strings));
  SafeArrayDestroy(strings);
}

TEST(CComSafeArrayTest, AttachAndDetachHandOverOwnership) {
  CComSafeArray<VARIANT> array;
  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 1);
  EXPECT_EQ(E_INVALIDARG, array.Attach(strings));
  EXPECT_EQ(S_OK, SafeArrayDestroy(strings));  // still the caller's, unlocked
  EXPECT_EQ(E_INVALIDARG, array.Attach(nullptr));

  SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  EXPECT_EQ(S_OK, array.Attach(variants));
  EXPECT_EQ(1u, variants->cLocks);
  EXPECT_EQ(variants, array.Detach());
  EXPECT_EQ(0u, variants->cLocks);
  EXPECT_EQ(nullptr, array.m_psa);
  EXPECT_EQ(S_OK, SafeArrayDestroy(variants));

  // An array someone else still locks is kept until they let go.
  CComSafeArray<VARIANT> held(1);
  SafeArrayLock(held);
  EXPECT_EQ(DISP_E_ARRAYISLOCKED, held.Destroy());
  EXPECT_NE(nullptr, held.m_psa);
  SafeArrayUnlock(held);

  // An unlocked array stored through the raw pointer is still freed.
  CComSafeArray<VARIANT> outParameter;
  *outParameter.GetSafeArrayPtr() = SafeArrayCreateVector(VT_VARIANT, 0, 1);
}

TEST(CComSafeArrayTest, CreationFailuresThrow) {
  EXPECT_EQ(E_OUTOFMEMORY, ThrownBy([] { CComSafeArray<VARIANT>(0xFFFFFFFFu); }));
  EXPECT_EQ(E_INVALIDARG, ThrownBy([] { CComSafeArray<VARIANT>(static_cast<const SAFEARRAY*>(nullptr)); }));
  CComSafeArray<VARIANT> array;
  EXPECT_EQ(E_INVALIDARG, array.Create(nullptr));
  SAFEARRAYBOUND bound = {1, 0};
  EXPECT_EQ(E_INVALIDARG, array.Create(&bound, 2));
}

// --- CComSafeArray<BYTE>

TEST(CComSafeArrayTest, ByteArraysHoldBytesAndBecomeByteArrayVariants) {
  CComSafeArray<BYTE> bytes(2);
  EXPECT_EQ(S_OK, bytes.SetAt(0, 0xAB));
  EXPECT_EQ(S_OK, bytes.Add(0xFF));
  EXPECT_EQ(3u, bytes.GetCount());
  EXPECT_EQ(0, bytes[1]);
  EXPECT_EQ(0xFF, bytes[2]);
  const CComVariant value(static_cast<const SAFEARRAY*>(bytes));
  EXPECT_EQ(VT_ARRAY | VT_UI1, value.vt);
  CComSafeArray<BYTE> copy(value.parray);
  copy[0] = 1;
  EXPECT_EQ(0xAB, bytes[0]);
  CComSafeArray<VARIANT> variants(1);
  EXPECT_EQ(E_INVALIDARG, variants.CopyFrom(bytes));
  EXPECT_EQ(E_INVALIDARG, copy.CopyFrom(variants));
}

}  // namespace

namespace {

TEST(CComPtrTest, MoveAssignmentHandsTheReferenceOver) {
  CComPtr<IUnknown> source = MakeProbe();
  IUnknown* const object = source;
  const ULONG before = Refs(object);
  CComPtr<IUnknown> target;
  target = std::move(source);
  EXPECT_EQ(nullptr, source.p);
  EXPECT_EQ(object, target.p);
  EXPECT_EQ(before, Refs(object));
  target = std::move(target);  // self-move keeps the reference
  EXPECT_EQ(object, target.p);
}

}  // namespace
