// The three rules that read numbers from value text.
#include "datatypes/text_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using varnel::ReadLenientInteger;
using varnel::ReadReal;
using varnel::ReadStrictInteger;

constexpr int64_t kI1Min = -128, kI1Max = 127;
constexpr int64_t kI64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kI64Min = std::numeric_limits<int64_t>::min();

HRESULT StrictFailure(std::u16string_view text, int64_t smallest = kI64Min, int64_t largest = kI64Max) {
  try {
    ReadStrictInteger(text, smallest, largest);
  } catch (HRESULT hr) {
    return hr;
  }
  return S_OK;
}

TEST(LenientIntegerRuleTest, TakesDigitsAfterBlanksAndSignAndIgnoresTheRest) {
  EXPECT_EQ(12, ReadLenientInteger(u"12abc"));
  EXPECT_EQ(-7, ReadLenientInteger(u" \t\n-7 "));
  EXPECT_EQ(5, ReadLenientInteger(u"+5"));
  EXPECT_EQ(0, ReadLenientInteger(u"abc"));
  EXPECT_EQ(0, ReadLenientInteger(u""));
  EXPECT_EQ(0, ReadLenientInteger(u"-"));
  EXPECT_EQ(0, ReadLenientInteger(u"0x10"));
  EXPECT_EQ(1, ReadLenientInteger(u"1e3"));
  EXPECT_EQ(0, ReadLenientInteger(u"- 5"));  // the sign must touch the digits
  EXPECT_EQ(4294967295, ReadLenientInteger(u"4294967295"));
}

TEST(LenientIntegerRuleTest, ClampsToTheSixtyFourBitRange) {
  EXPECT_EQ(kI64Max, ReadLenientInteger(u"9223372036854775807"));
  EXPECT_EQ(kI64Max, ReadLenientInteger(u"9223372036854775808"));
  EXPECT_EQ(kI64Max, ReadLenientInteger(u"99999999999999999999999999999"));
  EXPECT_EQ(kI64Min, ReadLenientInteger(u"-9223372036854775808"));
  EXPECT_EQ(kI64Min, ReadLenientInteger(u"-9223372036854775809"));
}

TEST(LenientIntegerRuleTest, NarrowingKeepsLowOrderBits) {
  EXPECT_EQ(-128, varnel::NarrowToLowBits<int8_t>(128));
  EXPECT_EQ(44, varnel::NarrowToLowBits<int8_t>(300));
  EXPECT_EQ(255, varnel::NarrowToLowBits<uint8_t>(-1));
  EXPECT_EQ(4294967295u, varnel::NarrowToLowBits<uint32_t>(4294967295));
  EXPECT_EQ(-1, varnel::NarrowToLowBits<int32_t>(4294967295));
}

TEST(StrictIntegerRuleTest, AcceptsOnlyWholeDecimalNumbers) {
  EXPECT_EQ(127, ReadStrictInteger(u"127", kI1Min, kI1Max));
  EXPECT_EQ(5, ReadStrictInteger(u"+5", kI1Min, kI1Max));
  EXPECT_EQ(-3, ReadStrictInteger(u"  -3", kI1Min, kI1Max));
  EXPECT_EQ(0, ReadStrictInteger(u"", kI1Min, kI1Max));
  EXPECT_EQ(7, ReadStrictInteger(u"007", kI1Min, kI1Max));
  for (std::u16string_view bad : {u"12 ", u"-", u"+", u" ", u"0x10", u"1e3", u"12abc", u"1.0", u"abc", u"--1",
                                  u"1-", u"\u0661"}) {
    EXPECT_EQ(DISP_E_BADVARTYPE, StrictFailure(bad)) << std::string(bad.begin(), bad.end());
  }
}

TEST(StrictIntegerRuleTest, RefusesValuesOutsideTheTypeAsBadVarType) {
  EXPECT_EQ(DISP_E_BADVARTYPE, StrictFailure(u"128", kI1Min, kI1Max));
  EXPECT_EQ(DISP_E_BADVARTYPE, StrictFailure(u"-129", kI1Min, kI1Max));
  EXPECT_EQ(DISP_E_BADVARTYPE, StrictFailure(u"-1", 0, 255));
  EXPECT_EQ(DISP_E_BADVARTYPE, StrictFailure(u"99999999999999999999", 0, 4294967295));
  EXPECT_EQ(4294967295, ReadStrictInteger(u"4294967295", 0, 4294967295));
}

TEST(RealRuleTest, ReadsTheLongestNumberAndIgnoresTheRest) {
  EXPECT_EQ(2.5, ReadReal(u"2.5abc"));
  EXPECT_EQ(0.0, ReadReal(u"abc"));
  EXPECT_EQ(0.0, ReadReal(u""));
  EXPECT_EQ(0.0, ReadReal(u"."));
  EXPECT_EQ(-0.5, ReadReal(u" -.5"));
  EXPECT_EQ(5.0, ReadReal(u"+5."));
  EXPECT_EQ(1.0, ReadReal(u"1,5"));
  EXPECT_EQ(1.5, ReadReal(u"1.5.7"));
  EXPECT_EQ(1500.0, ReadReal(u"1.5e3"));
  EXPECT_EQ(1500.0, ReadReal(u"1.5E+3x"));
  EXPECT_EQ(0.015, ReadReal(u"1.5e-2"));
  EXPECT_EQ(1.0, ReadReal(u"1e"));   // an exponent needs digits
  EXPECT_EQ(1.0, ReadReal(u"1e+"));
  EXPECT_EQ(0.0, ReadReal(u"0x1A"));
  EXPECT_EQ(0.0, ReadReal(u"inf"));
  EXPECT_EQ(0.0, ReadReal(u"nan"));
}

TEST(RealRuleTest, ExtremeMagnitudesBecomeInfinityOrZero) {
  EXPECT_EQ(std::numeric_limits<double>::infinity(), ReadReal(u"1e999"));
  EXPECT_EQ(-std::numeric_limits<double>::infinity(), ReadReal(u"-1e999"));
  EXPECT_EQ(0.0, ReadReal(u"1e-999"));
  EXPECT_EQ(1e308, ReadReal(u"1e308"));
  const std::u16string longDigits = u"0." + std::u16string(5000, u'3');
  EXPECT_DOUBLE_EQ(1.0 / 3.0, ReadReal(longDigits));
}

}  // namespace
