// "i1", "i2", "i4", "int", "ui1", "ui2" and "ui4": strict and lenient reading,
// the range and step checks, and writing from any variant.
#include <gtest/gtest.h>

#include "datatypes/converter_test_support.h"

namespace {

using datatypes_test::Declared;
using datatypes_test::FailureOf;
using datatypes_test::Make;

CComVariant Read(const std::u16string& dataType, std::u16string_view text, bool strict, const Declared& declared = {}) {
  return Make(dataType, declared)->StringToVariant(text, strict);
}

HRESULT ReadFailure(const std::u16string& dataType, std::u16string_view text, bool strict,
                    const Declared& declared = {}) {
  return FailureOf([&] { Read(dataType, text, strict, declared); });
}

std::u16string Write(const std::u16string& dataType, CComVariant value, const Declared& declared = {}) {
  return Make(dataType, declared)->VariantToString(std::move(value));
}

HRESULT WriteFailure(const std::u16string& dataType, CComVariant value, const Declared& declared = {}) {
  return FailureOf([&] { Write(dataType, std::move(value), declared); });
}

TEST(IntegerReadTest, EachTypeGivesItsVariantType) {
  struct Case {
    const char16_t* dataType;
    VARTYPE vt;
  };
  for (const Case& c : {Case{u"i1", VT_I1}, Case{u"i2", VT_I2}, Case{u"i4", VT_I4}, Case{u"int", VT_I4},
                        Case{u"ui1", VT_UI1}, Case{u"ui2", VT_UI2}, Case{u"ui4", VT_UI4}}) {
    EXPECT_EQ(c.vt, Read(c.dataType, u"7", true).vt);
    EXPECT_EQ(c.vt, Read(c.dataType, u"7", false).vt);
  }
}

TEST(IntegerReadTest, StrictRefusesWhatTheTypeCannotHold) {
  EXPECT_EQ(127, Read(u"i1", u"127", true).cVal);
  EXPECT_EQ(-128, Read(u"i1", u"-128", true).cVal);
  EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"i1", u"128", true));
  EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"i1", u"-129", true));
  EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"ui1", u"-1", true));
  EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"ui2", u"65536", true));
  EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"i4", u"2147483648", true));
  EXPECT_EQ(4294967295u, Read(u"ui4", u"4294967295", true).ulVal);
  EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"ui4", u"4294967296", true));
  EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"i4", u"12 ", true));
  EXPECT_EQ(0, Read(u"i4", u"", true).lVal);
}

TEST(IntegerReadTest, LenientNarrowsByLowOrderBitsAndReadsEveryValueOfItsType) {
  EXPECT_EQ(-128, Read(u"i1", u"128", false).cVal);
  EXPECT_EQ(44, Read(u"i1", u"300", false).cVal);
  EXPECT_EQ(255, Read(u"ui1", u"-1", false).bVal);
  EXPECT_EQ(12, Read(u"i2", u"12abc", false).iVal);
  EXPECT_EQ(0, Read(u"i2", u"abc", false).iVal);
  // Computed in 64 bits: the whole "ui4" range reads unchanged.
  EXPECT_EQ(4294967295u, Read(u"ui4", u"4294967295", false).ulVal);
  EXPECT_EQ(3000000000u, Read(u"ui4", u"3000000000", false).ulVal);
}

TEST(IntegerRangeTest, MinimumMaximumAndStepFailWithInvalidArg) {
  const Declared range{u"", u"1", u"9", u"2"};
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"i4", u"1", true, range));  // the step counts from zero
  EXPECT_EQ(2, Read(u"i4", u"2", true, range).lVal);
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"i4", u"0", true, range));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"i4", u"10", true, range));
  EXPECT_EQ(8, Read(u"i4", u"8", false, range).lVal);

  const Declared step5{u"", u"", u"", u"5"};
  EXPECT_EQ(10, Read(u"i2", u"10", true, step5).iVal);
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"i2", u"12", true, step5));
  EXPECT_EQ(-10, Read(u"i2", u"-10", true, step5).iVal);

  // A maximum alone restricts from above only; an empty minimum sets none.
  const Declared maximumOnly{u"", u"", u"100"};
  EXPECT_EQ(-5000, Read(u"i4", u"-5000", true, maximumOnly).lVal);
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"i4", u"101", true, maximumOnly));
  // A strict failure of the type itself wins over the range.
  EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"i4", u"x", true, maximumOnly));
}

TEST(IntegerRangeTest, RestrictionTextsUseTheSixtyFourBitLenientRule) {
  const Declared uiMaximum{u"", u"", u"4294967295"};
  EXPECT_EQ(3000000000u, Read(u"ui4", u"3000000000", true, uiMaximum).ulVal);
  // A step of 1.5 is held as 1.
  const Declared fractionalStep{u"", u"", u"", u"1.5"};
  EXPECT_EQ(3, Read(u"i4", u"3", true, fractionalStep).lVal);
  // A list on an integer variable restricts nothing.
  Declared listed;
  listed.allowed = {u"1", u"2"};
  EXPECT_EQ(5, Read(u"i4", u"5", true, listed).lVal);
}

TEST(IntegerRangeTest, ZeroAndMinusOneStepsDoNotBreakTheCheck) {
  const Declared zeroStep{u"", u"", u"", u"0"};
  EXPECT_EQ(7, Read(u"i4", u"7", true, zeroStep).lVal);  // no step at all
  const Declared minusOne{u"", u"", u"", u"-1"};
  EXPECT_EQ(INT32_MIN, Read(u"i4", u"-2147483648", true, minusOne).lVal);
  // 4294967295 narrows to -1 for "i4" as well.
  const Declared wrappedMinusOne{u"", u"", u"", u"4294967295"};
  EXPECT_EQ(INT32_MIN, Read(u"i4", u"-2147483648", true, wrappedMinusOne).lVal);
  EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"i4", u"-", true, minusOne));
}

TEST(IntegerWriteTest, WritesAnyVariantThatConvertsToAnInteger) {
  EXPECT_EQ(u"300", Write(u"i1", CComVariant(300)));  // the type's own bounds are not checked
  EXPECT_EQ(u"42", Write(u"i1", CComVariant(u"42")));
  EXPECT_EQ(u"-1", Write(u"ui4", CComVariant(-1)));
  EXPECT_EQ(u"3000000000", Write(u"ui4", CComVariant(3000000000u)));
  EXPECT_EQ(u"-1", Write(u"i4", CComVariant(true)));
  EXPECT_EQ(u"0", Write(u"i2", CComVariant(0)));
  EXPECT_EQ(u"-2147483648", Write(u"i4", CComVariant(INT32_MIN)));
  EXPECT_EQ(u"2", Write(u"i4", datatypes_test::Real8(2.5)));  // half to even
  EXPECT_EQ(DISP_E_TYPEMISMATCH, WriteFailure(u"i1", CComVariant(u"letters")));
  EXPECT_EQ(u"0", Write(u"i4", CComVariant()));  // the platform reads empty as zero
  CComVariant null;
  null.vt = VT_NULL;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, WriteFailure(u"i4", null));
  CComVariant huge;
  huge.vt = VT_UI8;
  huge.ullVal = 18446744073709551615ull;
  EXPECT_EQ(DISP_E_OVERFLOW, WriteFailure(u"ui4", huge));
}

TEST(IntegerWriteTest, RestrictionsApplyToTheValueNarrowedToTheType) {
  const Declared range{u"", u"0", u"100", u"10"};
  EXPECT_EQ(u"50", Write(u"ui1", CComVariant(50), range));
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"ui1", CComVariant(55), range));
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"ui1", CComVariant(110), range));
  // 300 narrows to 44 for "ui1": off the step.
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"ui1", CComVariant(300), range));
  // 266 narrows to 10: allowed, and written as given.
  EXPECT_EQ(u"266", Write(u"ui1", CComVariant(266), range));
}

TEST(IntegerTypesTest, IntIsI4) {
  const Declared range{u"", u"-5", u"5"};
  for (const char16_t* dataType : {u"i4", u"int"}) {
    EXPECT_EQ(VT_I4, Read(dataType, u"-5", true, range).vt);
    EXPECT_EQ(E_INVALIDARG, ReadFailure(dataType, u"6", true, range));
    EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(dataType, u"2147483648", true, range));
    EXPECT_EQ(u"-5", Write(dataType, CComVariant(-5), range));
  }
}

}  // namespace
