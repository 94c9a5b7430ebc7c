// "i1", "i2", "i4", "int", "i8", "ui1", "ui2", "ui4" and "ui8": strict and
// lenient reading, the range and step checks, and writing from any variant.
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
                        Case{u"i8", VT_I8}, Case{u"ui1", VT_UI1}, Case{u"ui2", VT_UI2}, Case{u"ui4", VT_UI4},
                        Case{u"ui8", VT_UI8}}) {
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

TEST(IntegerWriteTest, RestrictionsApplyToTheValueAsWrittenNotNarrowed) {
  const Declared range{u"", u"0", u"100", u"10"};
  EXPECT_EQ(u"50", Write(u"ui1", CComVariant(50), range));
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"ui1", CComVariant(55), range));
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"ui1", CComVariant(110), range));
  // 266 would narrow to 10 for "ui1", and 65541 to 5 for "i2": the values as
  // written lie above the maximum all the same.
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"ui1", CComVariant(266), range));
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"i2", CComVariant(65541), Declared{u"", u"-10", u"10"}));
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"i2", CComVariant(-65531), Declared{u"", u"-10", u"10"}));
  // Without a range the type's own bounds are still not checked.
  EXPECT_EQ(u"65541", Write(u"i2", CComVariant(65541)));
  EXPECT_EQ(u"300", Write(u"i1", CComVariant(300)));
}

TEST(IntegerWriteTest, BoundsAtJustInsideAndJustOutside) {
  const Declared range{u"", u"-10", u"10"};
  for (const char16_t* dataType : {u"i1", u"i2", u"i4", u"i8"}) {
    SCOPED_TRACE(std::string(dataType, dataType + std::char_traits<char16_t>::length(dataType)));
    EXPECT_EQ(u"-10", Write(dataType, CComVariant(-10), range));
    EXPECT_EQ(u"-9", Write(dataType, CComVariant(-9), range));
    EXPECT_EQ(u"9", Write(dataType, CComVariant(9), range));
    EXPECT_EQ(u"10", Write(dataType, CComVariant(10), range));
    EXPECT_EQ(E_INVALIDARG, WriteFailure(dataType, CComVariant(-11), range));
    EXPECT_EQ(E_INVALIDARG, WriteFailure(dataType, CComVariant(11), range));
    EXPECT_EQ(E_INVALIDARG, WriteFailure(dataType, CComVariant(INT64_MIN), range));
    EXPECT_EQ(E_INVALIDARG, WriteFailure(dataType, CComVariant(INT64_MAX), range));
  }
  // Unsigned types: a negative value lies below any minimum, and the highest
  // 32-bit maximum is held as itself.
  const Declared unsignedRange{u"", u"0", u"4294967295"};
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"ui4", CComVariant(-1), unsignedRange));
  EXPECT_EQ(u"0", Write(u"ui4", CComVariant(0), unsignedRange));
  EXPECT_EQ(u"4294967295", Write(u"ui4", CComVariant(4294967295u), unsignedRange));
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"ui4", CComVariant(4294967296LL), unsignedRange));
  EXPECT_EQ(u"-1", Write(u"ui4", CComVariant(-1), Declared{u"", u"", u"4294967295"}));  // no minimum
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"ui1", CComVariant(-256), Declared{u"", u"0", u"255"}));
}

TEST(IntegerWriteTest, StepIsCheckedOnTheWideValue) {
  const Declared step10{u"", u"", u"", u"10"};
  EXPECT_EQ(u"-20", Write(u"i1", CComVariant(-20), step10));
  // 266 narrows to 10 for "ui1", a multiple; 266 itself is not.
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"ui1", CComVariant(266), step10));
  EXPECT_EQ(u"1000000000000", Write(u"ui1", CComVariant(1000000000000LL), step10));
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"i4", CComVariant(1000000000001LL), step10));
  // A step of -1 allows everything, the smallest 64-bit value included.
  const Declared minusOne{u"", u"", u"", u"-1"};
  EXPECT_EQ(u"-9223372036854775808", Write(u"i4", CComVariant(INT64_MIN), minusOne));
  EXPECT_EQ(u"-9223372036854775808", Write(u"i8", CComVariant(INT64_MIN), minusOne));
  EXPECT_EQ(u"-9223372036854775808", Write(u"i1", CComVariant(INT64_MIN), Declared{u"", u"", u"", u"255"}));
}

constexpr char16_t kI8Max[] = u"9223372036854775807";
constexpr char16_t kI8Min[] = u"-9223372036854775808";
constexpr char16_t kUI8Max[] = u"18446744073709551615";

TEST(WideIntegerReadTest, StrictTakesTheWholeRangeAndNothingBeyond) {
  EXPECT_EQ(INT64_MAX, Read(u"i8", kI8Max, true).llVal);
  EXPECT_EQ(INT64_MIN, Read(u"i8", kI8Min, true).llVal);
  // One past either end is refused, not clamped onto the limit.
  EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"i8", u"9223372036854775808", true));
  EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"i8", u"-9223372036854775809", true));
  EXPECT_EQ(UINT64_MAX, Read(u"ui8", kUI8Max, true).ullVal);
  EXPECT_EQ(uint64_t{1} << 63, Read(u"ui8", u"9223372036854775808", true).ullVal);
  EXPECT_EQ(5u, Read(u"ui8", u"  +5", true).ullVal);
  EXPECT_EQ(0u, Read(u"ui8", u"", true).ullVal);
  EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"ui8", u"18446744073709551616", true));
  for (std::u16string_view bad : {u"-1", u"-0", u"-", u"+", u"12 ", u"0x10", u"1e3", u"12abc", u"abc"}) {
    EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"ui8", bad, true)) << std::string(bad.begin(), bad.end());
    if (bad != u"-1" && bad != u"-0") {
      EXPECT_EQ(DISP_E_BADVARTYPE, ReadFailure(u"i8", bad, true));
    }
  }
}

TEST(WideIntegerReadTest, LenientGivesTheNearestLimit) {
  EXPECT_EQ(INT64_MAX, Read(u"i8", u"9223372036854775808", false).llVal);
  EXPECT_EQ(INT64_MIN, Read(u"i8", u"-99999999999999999999", false).llVal);
  EXPECT_EQ(0u, Read(u"ui8", u"-5", false).ullVal);
  EXPECT_EQ(UINT64_MAX, Read(u"ui8", u"99999999999999999999", false).ullVal);
  EXPECT_EQ(12u, Read(u"ui8", u" 12abc", false).ullVal);
}

TEST(WideIntegerRangeTest, SixtyFourBitBoundsAndSteps) {
  const Declared near{u"", u"-9223372036854775807", u"9223372036854775806"};
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"i8", kI8Min, true, near));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"i8", kI8Max, true, near));
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"i8", CComVariant(INT64_MIN), near));
  EXPECT_EQ(u"-9223372036854775807", Write(u"i8", CComVariant(INT64_MIN + 1), near));
  EXPECT_EQ(INT64_MIN, Read(u"i8", kI8Min, true, Declared{u"", u"", u"", u"-1"}).llVal);

  // The upper half of "ui8" compares unsigned: above every signed value.
  const Declared upperHalf{u"", u"9223372036854775808", u"18446744073709551614", u"2"};
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"ui8", u"9223372036854775807", true, upperHalf));
  EXPECT_EQ(uint64_t{1} << 63, Read(u"ui8", u"9223372036854775808", true, upperHalf).ullVal);
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"ui8", u"18446744073709551613", true, upperHalf));  // off the step
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"ui8", kUI8Max, true, upperHalf));
  EXPECT_EQ(u"18446744073709551614", Write(u"ui8", CComVariant(UINT64_MAX - 1), upperHalf));
  EXPECT_EQ(E_INVALIDARG, WriteFailure(u"ui8", CComVariant(UINT64_MAX), upperHalf));
  EXPECT_EQ(E_INVALIDARG, ReadFailure(u"ui8", u"1", true, Declared{u"", u"", u"", kUI8Max}));
}

TEST(WideIntegerWriteTest, EachConvertsToItsOwnSixtyFourBitType) {
  EXPECT_EQ(kI8Min, Write(u"i8", CComVariant(INT64_MIN)));
  EXPECT_EQ(kUI8Max, Write(u"ui8", CComVariant(UINT64_MAX)));
  EXPECT_EQ(kUI8Max, Write(u"ui8", CComVariant(kUI8Max)));
  EXPECT_EQ(u"7", Write(u"ui8", CComVariant(7)));
  // What that type cannot hold fails with the conversion's code: negatives
  // for "ui8" (unlike "ui4", which converts to a signed type).
  EXPECT_EQ(DISP_E_OVERFLOW, WriteFailure(u"i8", CComVariant(UINT64_MAX)));
  EXPECT_EQ(DISP_E_OVERFLOW, WriteFailure(u"ui8", CComVariant(-1)));
  EXPECT_EQ(DISP_E_OVERFLOW, WriteFailure(u"ui8", CComVariant(u"-1")));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, WriteFailure(u"ui8", CComVariant(u"letters")));
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
